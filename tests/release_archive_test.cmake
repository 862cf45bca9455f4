# SPDX-License-Identifier: MIT
# cmake -DBUILD_DIR=<Windows build> -DEXECUTABLE=<ostrel-install.exe> -DZIP=<archive>
#       -DOBJDUMP=<objdump> -DWORK_DIR=<scratch> -P release_archive_test.cmake
#
# Builds the release target, then checks the archive: exactly
# ostrel-install.exe, the very file the build made for release, without
# debug information; README.txt, which says it is not signed; and
# LICENSE.txt, both with CR LF line ends; and its .sha256 file in
# sha256sum's format.
cmake_minimum_required(VERSION 3.21)

execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target release
                COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ZIP} OUTPUT_VARIABLE listing
                COMMAND_ERROR_IS_FATAL ANY)
if(NOT listing STREQUAL "ostrel-install.exe\nREADME.txt\nLICENSE.txt\n")
  message(FATAL_ERROR "the archive holds:\n${listing}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${WORK_DIR}
                COMMAND_ERROR_IS_FATAL ANY)

file(SHA256 ${EXECUTABLE} built)
file(SHA256 ${WORK_DIR}/ostrel-install.exe packed)
if(NOT built STREQUAL packed)
  message(FATAL_ERROR "the archive's ostrel-install.exe is not the one the build made")
endif()

execute_process(COMMAND ${OBJDUMP} -h ${WORK_DIR}/ostrel-install.exe OUTPUT_VARIABLE sections
                COMMAND_ERROR_IS_FATAL ANY)
if(sections MATCHES "\\.debug_[a-z_]+")
  message(FATAL_ERROR "the archive's ostrel-install.exe carries ${CMAKE_MATCH_0} and more")
endif()

file(READ ${WORK_DIR}/README.txt readme)
if(readme MATCHES "Get-AuthenticodeSignature" OR NOT readme MATCHES "carries no digital signature")
  message(FATAL_ERROR "README.txt does not say that this ostrel-install.exe is not signed")
endif()
file(READ ${WORK_DIR}/LICENSE.txt license)
if(NOT license MATCHES "^MIT License")
  message(FATAL_ERROR "LICENSE.txt holds no license")
endif()

# In hex, as file(READ) of text drops carriage returns: "0d 0a " is CR LF.
foreach(text README.txt LICENSE.txt)
  file(READ ${WORK_DIR}/${text} bytes HEX)
  string(REGEX REPLACE "(..)" "\\1 " bytes "${bytes}")
  string(REPLACE "0d 0a " "" without_crlf "${bytes}")
  if(without_crlf MATCHES "(^| )(0d|0a) " OR NOT bytes MATCHES "0d 0a $")
    message(FATAL_ERROR "${text} has a line not ended by CR LF")
  endif()
endforeach()

file(SHA256 ${ZIP} hash)
get_filename_component(name ${ZIP} NAME)
file(READ ${ZIP}.sha256 checksum)
if(NOT checksum STREQUAL "${hash}  ${name}\n")
  message(FATAL_ERROR "${name}.sha256 holds \"${checksum}\", not \"${hash}  ${name}\"")
endif()
