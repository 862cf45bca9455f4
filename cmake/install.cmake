# SPDX-License-Identifier: MIT
# What `cmake --install` puts under the prefix, in two components. inifile:
# the library, static or, with BUILD_SHARED_LIBS, shared (on Windows
# inifile.dll and its import library), its header, a CMake package and
# pkg-config files; `cmake --install <build> --component inifile` takes it
# from a build that made the library alone. A static build and a shared one
# install side by side into one prefix, each adding its own part to what the
# other left:
#   find_package(inifile)  gives inifile::inifile_static and
#     inifile::inifile_shared for what is installed, and inifile::inifile:
#     the shared library where it is installed, else the static one;
#   pkg-config  inifile-static  is the static library, and  inifile  the
#     shared one, or the static one where no shared one was installed.
# installer: ostrel-install, in bin/ where it is a program people run, on
# Windows; elsewhere it is only the tests' vehicle, so it is installed there
# only on request.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(WIN32 AND TARGET ostrel-install)
  set(ostrel_install_installer_default ON)
else()
  set(ostrel_install_installer_default OFF)
endif()
option(OSTREL_INSTALL_INSTALLER "Install ostrel-install (on by default for Windows targets)"
       ${ostrel_install_installer_default})
if(OSTREL_INSTALL_INSTALLER)
  install(TARGETS ostrel-install RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT installer)
endif()

get_target_property(ostrel_inifile_type inifile TYPE)
if(ostrel_inifile_type STREQUAL "SHARED_LIBRARY")
  set(ostrel_inifile_kind shared)
else()
  set(ostrel_inifile_kind static)
endif()

set_target_properties(inifile PROPERTIES EXPORT_NAME inifile_${ostrel_inifile_kind})
install(TARGETS inifile EXPORT inifile
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT inifile
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT inifile
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT inifile)
install(FILES ${PROJECT_SOURCE_DIR}/inifile/inifile.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/inifile COMPONENT inifile)

# inifileConfig.cmake is the same from either build; the targets file is
# each build's own.
set(ostrel_inifile_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/inifile)
install(EXPORT inifile NAMESPACE inifile:: FILE inifile-${ostrel_inifile_kind}-targets.cmake
        DESTINATION ${ostrel_inifile_package_dir} COMPONENT inifile)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/inifileConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/inifileConfig.cmake
              ${PROJECT_BINARY_DIR}/inifileConfigVersion.cmake
        DESTINATION ${ostrel_inifile_package_dir} COMPONENT inifile)

# The .pc files name the prefix they are installed under, as a
# distribution's do, so that pkg-config knows /usr/include and the multiarch
# /usr/lib for the system's own: the configured one, or the one that
# `cmake --install --prefix` gives, which is why they are written at install
# time; under DESTDIR still the configured one. Directories configured as
# absolute paths stay as they are.
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(OSTREL_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(OSTREL_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
if(ostrel_inifile_kind STREQUAL "shared")
  # A program that links the shared library is told so, as the CMake
  # package tells it.
  set(OSTREL_PC_CFLAGS " -DINIFILE_SHARED")
  set(OSTREL_PC_LIBS "-linifile")
  set(ostrel_pc_name inifile.pc)
else()
  # The archive by its file name, which the linker takes even where the
  # shared library stands beside it.
  set(OSTREL_PC_CFLAGS "")
  set(OSTREL_PC_LIBS "-l:${CMAKE_STATIC_LIBRARY_PREFIX}inifile${CMAKE_STATIC_LIBRARY_SUFFIX}")
  set(ostrel_pc_name inifile-static.pc)
endif()
# Everything but the prefix now; it stays @ostrel_pc_prefix@ for the install
# to fill in.
set(OSTREL_PC_PREFIX "@ostrel_pc_prefix@")
configure_file(${CMAKE_CURRENT_LIST_DIR}/inifile.pc.in ${PROJECT_BINARY_DIR}/${ostrel_pc_name}.in
               @ONLY)
install(CODE "set(ostrel_pc_dir [[${CMAKE_INSTALL_LIBDIR}/pkgconfig]])
              set(ostrel_pc_name ${ostrel_pc_name})
              set(ostrel_pc_template [[${PROJECT_BINARY_DIR}/${ostrel_pc_name}.in]])"
        COMPONENT inifile)
# A static build writes inifile.pc too, but only where no shared build has
# put its own.
install(CODE [[
  # A prefix given as a relative path is taken from the directory that
  # `cmake --install` runs in, as the files are.
  get_filename_component(ostrel_pc_prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
  if(NOT IS_ABSOLUTE "${ostrel_pc_dir}")
    string(PREPEND ostrel_pc_dir "${ostrel_pc_prefix}/")
  endif()
  set(ostrel_pc_names ${ostrel_pc_name})
  if(ostrel_pc_name STREQUAL "inifile-static.pc"
     AND NOT EXISTS "$ENV{DESTDIR}${ostrel_pc_dir}/inifile.pc")
    list(APPEND ostrel_pc_names inifile.pc)
  endif()
  file(READ "${ostrel_pc_template}" ostrel_pc)
  foreach(ostrel_pc_file IN LISTS ostrel_pc_names)
    set(ostrel_pc_file "${ostrel_pc_dir}/${ostrel_pc_file}")
    message(STATUS "Installing: $ENV{DESTDIR}${ostrel_pc_file}")
    file(CONFIGURE OUTPUT "$ENV{DESTDIR}${ostrel_pc_file}" CONTENT "${ostrel_pc}" @ONLY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${ostrel_pc_file}")
  endforeach()
]] COMPONENT inifile)
