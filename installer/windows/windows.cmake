# SPDX-License-Identifier: MIT
# What ostrel-install.exe carries as a Windows program, and the release
# archive. Every text below takes its version from project() alone.
enable_language(RC)

set(OSTREL_DESCRIPTION "Ostrel runtime installer")
set(OSTREL_COPYRIGHT "Copyright (C) 2026 the Ostrel developers")
set(OSTREL_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
set(OSTREL_VERSION_COMMAS
    ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(OSTREL_ARCHITECTURE amd64)
else()
  set(OSTREL_ARCHITECTURE x86)
endif()
set(OSTREL_README_TITLE "ostrel-install ${PROJECT_VERSION}")
string(LENGTH "${OSTREL_README_TITLE}" ostrel_title_length)
string(REPEAT "=" ${ostrel_title_length} OSTREL_README_UNDERLINE)

set(ostrel_windows_dir ${CMAKE_CURRENT_BINARY_DIR}/windows)
configure_file(windows/ostrel-install.manifest.in ${ostrel_windows_dir}/ostrel-install.manifest
               @ONLY)
configure_file(windows/ostrel-install.rc.in ${ostrel_windows_dir}/ostrel-install.rc @ONLY)
# The README of each release says how to check its signature, or that it
# has none; the license goes with both, as its terms ask. configure_file
# ends the template's lines with CR LF, but not the lines of a value.
set(OSTREL_README_SIGNATURE
    "This ostrel-install.exe carries no digital signature. The signed release,\r\n"
    "and how to check its signature, are described in README.md in the\r\n"
    "project's sources.")
string(CONCAT OSTREL_README_SIGNATURE ${OSTREL_README_SIGNATURE})
configure_file(windows/README.txt.in ${ostrel_windows_dir}/README.txt @ONLY NEWLINE_STYLE CRLF)
set(OSTREL_README_SIGNATURE
    "To check its signature: the Digital Signatures tab of the file's Properties,\r\n"
    "or Get-AuthenticodeSignature .\\ostrel-install.exe in PowerShell (Valid).")
string(CONCAT OSTREL_README_SIGNATURE ${OSTREL_README_SIGNATURE})
configure_file(windows/README.txt.in ${ostrel_windows_dir}/signed/README.txt @ONLY
               NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${ostrel_windows_dir}/LICENSE.txt @ONLY
               NEWLINE_STYLE CRLF)

# What users download carries no debug information; the build tree keeps
# the program with it, for the debugger. objcopy stamps the PE header with
# the time of day unless SOURCE_DATE_EPOCH gives one: 0, as the linker
# leaves it.
set(ostrel_release_executable ${ostrel_windows_dir}/ostrel-install.exe)
add_custom_command(OUTPUT ${ostrel_release_executable}
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY} --strip-debug
          $<TARGET_FILE:ostrel-install> ${ostrel_release_executable}
  DEPENDS ostrel-install
  VERBATIM)
add_custom_target(release-executable DEPENDS ${ostrel_release_executable})
target_sources(ostrel-install PRIVATE ${ostrel_windows_dir}/ostrel-install.rc)
set_property(SOURCE ${ostrel_windows_dir}/ostrel-install.rc APPEND PROPERTY OBJECT_DEPENDS
             ${ostrel_windows_dir}/ostrel-install.manifest)

# cmake --build --preset windows --target release. The archive is packed
# anew on every build of the target: its times come from the commit, which
# the build does not see change.
set(ostrel_release_zip
    ${PROJECT_BINARY_DIR}/release/ostrel-install-${PROJECT_VERSION}-win64.zip)
add_custom_target(release
  COMMAND ${CMAKE_COMMAND} -DEXECUTABLE=${ostrel_release_executable}
          -DREADME=${ostrel_windows_dir}/README.txt -DLICENSE=${ostrel_windows_dir}/LICENSE.txt
          -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DZIP=${ostrel_release_zip}
          -P ${PROJECT_SOURCE_DIR}/cmake/release.cmake
  BYPRODUCTS ${ostrel_release_zip} ${ostrel_release_zip}.sha256
  DEPENDS release-executable
  COMMENT "Packing ${ostrel_release_zip}"
  VERBATIM)
set_target_properties(release PROPERTIES OSTREL_ARCHIVE ${ostrel_release_zip}
                                         OSTREL_EXECUTABLE ${ostrel_release_executable})

# cmake --build --preset windows --target release-signed, with the variables
# that cmake/sign-release.sh reads. Its archive goes to a directory of its
# own, so that it never stands where the unsigned one does.
set(ostrel_signed_release
    ${PROJECT_BINARY_DIR}/release-signed/ostrel-install-${PROJECT_VERSION}-win64)
set(ostrel_signed_zip ${ostrel_signed_release}.zip)
add_custom_target(release-signed
  COMMAND ${PROJECT_SOURCE_DIR}/cmake/sign-release.sh ${CMAKE_COMMAND}
          ${ostrel_release_executable} ${ostrel_windows_dir}/signed/README.txt
          ${ostrel_windows_dir}/LICENSE.txt ${PROJECT_SOURCE_DIR} ${ostrel_signed_zip}
          ${OSTREL_DESCRIPTION}
  BYPRODUCTS ${ostrel_signed_zip} ${ostrel_signed_zip}.sha256
             ${ostrel_signed_release}.exe.p7s ${ostrel_signed_release}.signed-with.txt
  DEPENDS release-executable
  COMMENT "Signing ostrel-install.exe into ${ostrel_signed_zip}"
  VERBATIM)
set_target_properties(release-signed PROPERTIES OSTREL_ARCHIVE ${ostrel_signed_zip})
