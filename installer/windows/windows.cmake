# What ostrel-install.exe carries as a Windows program, and the release
# archive. Every text below takes its version from project() alone.
enable_language(RC)

set(OSTREL_DESCRIPTION "Ostrel runtime installer")
set(OSTREL_COPYRIGHT "Copyright (C) 2026 the Ostrel developers")
set(OSTREL_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
set(OSTREL_VERSION_COMMAS
    ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0)

set(ostrel_windows_dir ${CMAKE_CURRENT_BINARY_DIR}/windows)
configure_file(windows/ostrel-install.manifest.in ${ostrel_windows_dir}/ostrel-install.manifest
               @ONLY)
configure_file(windows/ostrel-install.rc.in ${ostrel_windows_dir}/ostrel-install.rc @ONLY)
configure_file(windows/README.txt.in ${ostrel_windows_dir}/README.txt @ONLY NEWLINE_STYLE CRLF)
target_sources(ostrel-install PRIVATE ${ostrel_windows_dir}/ostrel-install.rc)
set_property(SOURCE ${ostrel_windows_dir}/ostrel-install.rc APPEND PROPERTY OBJECT_DEPENDS
             ${ostrel_windows_dir}/ostrel-install.manifest)

# The same sources give the same bytes: no time stamp in the PE header, and
# no path of the build tree in the program.
target_link_options(ostrel-install PRIVATE -Wl,--no-insert-timestamp)
target_compile_options(ostrel-install PRIVATE -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.)

# cmake --build --preset windows --target release
set(ostrel_release_zip
    ${PROJECT_BINARY_DIR}/release/ostrel-install-${PROJECT_VERSION}-win64.zip)
add_custom_command(
  OUTPUT ${ostrel_release_zip} ${ostrel_release_zip}.sha256
  COMMAND ${CMAKE_COMMAND} -DEXECUTABLE=$<TARGET_FILE:ostrel-install>
          -DREADME=${ostrel_windows_dir}/README.txt -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
          -DZIP=${ostrel_release_zip} -P ${PROJECT_SOURCE_DIR}/cmake/release.cmake
  DEPENDS ostrel-install ${ostrel_windows_dir}/README.txt ${PROJECT_SOURCE_DIR}/cmake/release.cmake
  COMMENT "Packing ${ostrel_release_zip}"
  VERBATIM)
add_custom_target(release DEPENDS ${ostrel_release_zip} ${ostrel_release_zip}.sha256)
set_target_properties(release PROPERTIES OSTREL_ARCHIVE ${ostrel_release_zip})
