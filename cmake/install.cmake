# What `cmake --install` puts under the prefix: the inifile library (one
# archive, the file layer inside it; or, with BUILD_SHARED_LIBS, the shared
# library and on Windows its import library) with its header, a CMake
# package, taken with  find_package(inifile)  and
# target_link_libraries(... inifile::inifile),  and a pkg-config file. The installer goes to bin/ where it is a program
# people run, on Windows; elsewhere it is only the tests' vehicle, so it is
# installed there only on request.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(WIN32)
  set(ostrel_install_installer_default ON)
else()
  set(ostrel_install_installer_default OFF)
endif()
option(OSTREL_INSTALL_INSTALLER "Install ostrel-install (on by default for Windows targets)"
       ${ostrel_install_installer_default})
if(OSTREL_INSTALL_INSTALLER)
  install(TARGETS ostrel-install RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(TARGETS inifile EXPORT inifile ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
                                       LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
                                       RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/inifile/inifile.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/inifile)

set(ostrel_inifile_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/inifile)
install(EXPORT inifile NAMESPACE inifile:: FILE inifileConfig.cmake
        DESTINATION ${ostrel_inifile_package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/inifileConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/inifileConfigVersion.cmake
        DESTINATION ${ostrel_inifile_package_dir})

# The .pc file finds the prefix from its own place, so the prefix given to
# `cmake --install --prefix` holds, whatever the build was configured with;
# directories configured as absolute paths stay as they are.
file(RELATIVE_PATH ostrel_pc_to_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
set(OSTREL_PC_PREFIX "\${pcfiledir}/${ostrel_pc_to_prefix}")
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(OSTREL_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(OSTREL_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(OSTREL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
endif()
# A program that links the shared library is told so, as the CMake package
# tells it.
get_target_property(ostrel_inifile_type inifile TYPE)
if(ostrel_inifile_type STREQUAL "SHARED_LIBRARY")
  set(OSTREL_PC_CFLAGS " -DINIFILE_SHARED")
else()
  set(OSTREL_PC_CFLAGS "")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/inifile.pc.in ${PROJECT_BINARY_DIR}/inifile.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/inifile.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
