# What `cmake --install` puts under the prefix: the installer in bin/, and the
# inifile library for other CMake projects, which take it with
#   find_package(inifile)  and  target_link_libraries(... inifile::inifile)
# inifile is a static library that calls the static ostrel_platform, so both
# are installed and exported; the consumer links the two without naming the
# second. The platform header stays private: inifile.h does not include it.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS ostrel-install RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(TARGETS inifile ostrel_platform EXPORT inifile ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/inifile/inifile.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/inifile)

set(OSTREL_INIFILE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/inifile)
install(EXPORT inifile NAMESPACE inifile:: FILE inifileConfig.cmake
        DESTINATION ${OSTREL_INIFILE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/inifileConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/inifileConfigVersion.cmake
        DESTINATION ${OSTREL_INIFILE_PACKAGE_DIR})
