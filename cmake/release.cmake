# SPDX-License-Identifier: MIT
# cmake -DEXECUTABLE=<ostrel-install.exe> -DREADME=<README.txt> -DLICENSE=<LICENSE.txt>
#       -DSOURCE_DIR=<source tree> -DZIP=<zip to write> -P release.cmake
#
# Packs the executable, README.txt and LICENSE.txt into ZIP, and writes ZIP.sha256 in
# sha256sum's format. The archive is the same byte for byte wherever and
# whenever it is made from the same files: fixed order, permissions and
# times (those of the commit, or SOURCE_DATE_EPOCH), no extra fields.
cmake_minimum_required(VERSION 3.21)

find_program(OSTREL_ZIP zip)
if(NOT OSTREL_ZIP)
  message(FATAL_ERROR "The release archive needs zip (Debian package zip)")
endif()

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${SOURCE_DIR} log -1 --format=%ct RESULT_VARIABLE result
                  OUTPUT_VARIABLE epoch ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "No commit time in ${SOURCE_DIR}: set SOURCE_DATE_EPOCH")
  endif()
endif()

get_filename_component(release_dir ${ZIP} DIRECTORY)
set(staging ${release_dir}/staging)
file(REMOVE_RECURSE ${staging})
file(REMOVE ${ZIP} ${ZIP}.sha256)
file(MAKE_DIRECTORY ${staging})
file(COPY_FILE ${EXECUTABLE} ${staging}/ostrel-install.exe)
file(COPY_FILE ${README} ${staging}/README.txt)
file(COPY_FILE ${LICENSE} ${staging}/LICENSE.txt)
file(CHMOD ${staging}/ostrel-install.exe PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
     GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(CHMOD ${staging}/README.txt ${staging}/LICENSE.txt PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# zip stores local times: TZ=UTC makes them the same everywhere. -X leaves
# out the owner and the extra time fields.
execute_process(COMMAND touch -d @${epoch} ostrel-install.exe README.txt LICENSE.txt
                COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${staging})
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${OSTREL_ZIP} -q -X -9 ${ZIP}
                        ostrel-install.exe README.txt LICENSE.txt
                COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${staging})
file(REMOVE_RECURSE ${staging})

file(SHA256 ${ZIP} hash)
get_filename_component(zip_name ${ZIP} NAME)
file(WRITE ${ZIP}.sha256 "${hash}  ${zip_name}\n")
