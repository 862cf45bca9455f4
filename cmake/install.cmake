# SPDX-License-Identifier: MIT
# What `cmake --install` puts under the prefix: the inifile library, static
# or, with BUILD_SHARED_LIBS, shared (on Windows inifile.dll and its import
# library), its header, a CMake package and pkg-config files. A static build
# and a shared one install side by side into one prefix, each adding its own
# part to what the other left:
#   find_package(inifile)  gives inifile::inifile_static and
#     inifile::inifile_shared for what is installed, and inifile::inifile:
#     the shared library where it is installed, else the static one;
#   pkg-config  inifile-static  is the static library, and  inifile  the
#     shared one, or the static one where no shared one was installed.
# The installer goes to bin/ where it is a program people run, on Windows;
# elsewhere it is only the tests' vehicle, so it is installed there only on
# request.
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
  install(TARGETS ostrel-install RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

get_target_property(ostrel_inifile_type inifile TYPE)
if(ostrel_inifile_type STREQUAL "SHARED_LIBRARY")
  set(ostrel_inifile_kind shared)
else()
  set(ostrel_inifile_kind static)
endif()

set_target_properties(inifile PROPERTIES EXPORT_NAME inifile_${ostrel_inifile_kind})
install(TARGETS inifile EXPORT inifile ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
                                       LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
                                       RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/inifile/inifile.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/inifile)

# inifileConfig.cmake is the same from either build; the targets file is
# each build's own.
set(ostrel_inifile_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/inifile)
install(EXPORT inifile NAMESPACE inifile:: FILE inifile-${ostrel_inifile_kind}-targets.cmake
        DESTINATION ${ostrel_inifile_package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/inifileConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/inifileConfig.cmake
              ${PROJECT_BINARY_DIR}/inifileConfigVersion.cmake
        DESTINATION ${ostrel_inifile_package_dir})

# The .pc files name the prefix as configured, as a distribution's do, so
# that pkg-config knows /usr/include and the multiarch /usr/lib for the
# system's own; directories configured as absolute paths stay as they are.
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(OSTREL_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(OSTREL_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
set(ostrel_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(ostrel_inifile_kind STREQUAL "shared")
  # A program that links the shared library is told so, as the CMake
  # package tells it.
  set(OSTREL_PC_CFLAGS " -DINIFILE_SHARED")
  set(OSTREL_PC_LIBS "-linifile")
  configure_file(${CMAKE_CURRENT_LIST_DIR}/inifile.pc.in ${PROJECT_BINARY_DIR}/inifile.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/inifile.pc DESTINATION ${ostrel_pc_dir})
else()
  # The archive by its file name, which the linker takes even where the
  # shared library stands beside it.
  set(OSTREL_PC_CFLAGS "")
  set(OSTREL_PC_LIBS "-l:${CMAKE_STATIC_LIBRARY_PREFIX}inifile${CMAKE_STATIC_LIBRARY_SUFFIX}")
  configure_file(${CMAKE_CURRENT_LIST_DIR}/inifile.pc.in ${PROJECT_BINARY_DIR}/inifile-static.pc
                 @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/inifile-static.pc DESTINATION ${ostrel_pc_dir})
  # inifile.pc too, but only where no shared build has put its own.
  install(CODE "set(ostrel_pc_dir [[${ostrel_pc_dir}]])
                set(ostrel_pc [[${PROJECT_BINARY_DIR}/inifile-static.pc]])")
  install(CODE [[
    if(NOT IS_ABSOLUTE "${ostrel_pc_dir}")
      string(PREPEND ostrel_pc_dir "${CMAKE_INSTALL_PREFIX}/")
    endif()
    if(NOT EXISTS "$ENV{DESTDIR}${ostrel_pc_dir}/inifile.pc")
      file(INSTALL "${ostrel_pc}" DESTINATION "${ostrel_pc_dir}" RENAME inifile.pc)
    endif()
  ]])
endif()
