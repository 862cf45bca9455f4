# cmake -DBUILD_DIR=<build tree> -DCONSUMER_DIR=<tests/consumer> -DWORK_DIR=<scratch>
#       -DCXX_COMPILER=<compiler> -P install_consumer_test.cmake
#
# Installs the build into a fresh prefix under WORK_DIR, checks what the
# prefix holds, then configures, builds and runs tests/consumer against it.
# Fails at the first step that goes wrong.
cmake_minimum_required(VERSION 3.21)
function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
                  ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${output}")
  endif()
  message(STATUS "${what}: done")
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})

run_step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The installer and the library's one public header; nothing private.
file(GLOB_RECURSE installed RELATIVE ${prefix} ${prefix}/*)
foreach(expected bin/ostrel-install include/inifile/inifile.h)
  if(NOT expected IN_LIST installed)
    message(FATAL_ERROR "${expected} was not installed; the prefix holds: ${installed}")
  endif()
endforeach()
foreach(private ini_internal.h platform.h)
  if(installed MATCHES "(^|;|/)${private}(;|$)")
    message(FATAL_ERROR "the private header ${private} was installed: ${installed}")
  endif()
endforeach()

run_step("configure the consumer" ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build
         -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
run_step("build the consumer" ${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run_step("run the consumer" ${WORK_DIR}/build/inifile_consumer ${WORK_DIR}/saved.ini)
