# cmake -DBUILD_DIR=<Windows build> -DEXECUTABLE=<ostrel-install.exe> -DZIP=<archive>
#       -DWORK_DIR=<scratch> -P release_archive_test.cmake
#
# Builds the release target, then checks the archive: exactly
# ostrel-install.exe, the very file the build made, and README.txt with
# CR LF line ends; and its .sha256 file in sha256sum's format.
cmake_minimum_required(VERSION 3.21)

execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target release
                COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ZIP} OUTPUT_VARIABLE listing
                COMMAND_ERROR_IS_FATAL ANY)
if(NOT listing STREQUAL "ostrel-install.exe\nREADME.txt\n")
  message(FATAL_ERROR "the archive holds:\n${listing}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${WORK_DIR}
                COMMAND_ERROR_IS_FATAL ANY)

file(SHA256 ${EXECUTABLE} built)
file(SHA256 ${WORK_DIR}/ostrel-install.exe packed)
if(NOT built STREQUAL packed)
  message(FATAL_ERROR "the archive's ostrel-install.exe is not the one the build made")
endif()

# In hex, as file(READ) of text drops carriage returns: "0d 0a " is CR LF.
file(READ ${WORK_DIR}/README.txt readme HEX)
string(REGEX REPLACE "(..)" "\\1 " bytes "${readme}")
string(REPLACE "0d 0a " "" without_crlf "${bytes}")
if(without_crlf MATCHES "(^| )(0d|0a) " OR NOT bytes MATCHES "0d 0a $")
  message(FATAL_ERROR "README.txt has a line not ended by CR LF")
endif()

file(SHA256 ${ZIP} hash)
get_filename_component(name ${ZIP} NAME)
file(READ ${ZIP}.sha256 checksum)
if(NOT checksum STREQUAL "${hash}  ${name}\n")
  message(FATAL_ERROR "${name}.sha256 holds \"${checksum}\", not \"${hash}  ${name}\"")
endif()
