# cmake -DSTEP=<step> -DBUILD_DIR=... -DWORK_DIR=... -DPREFIX=... -DLIBDIR=... -DNM=...
#       -DWITH_INSTALLER=ON|OFF -DCONSUMER_DIR=... -DREADME=... -DC_COMPILER=...
#       -DCXX_COMPILER=... -P install_test.cmake
#
# One step of taking the installed library as a user would:
#   install         installs the build into PREFIX and checks what it holds
#   symbols         every global name the installed archive defines starts
#                   with ini_
#   cmake_consumer  a C++ project finds the CMake package and links it
#   c_consumer      a C99 program, built only from pkg-config's flags, loads,
#                   edits, saves and reloads a file
#   readme_example  the README's example builds from pkg-config's flags and
#                   does what the README says
cmake_minimum_required(VERSION 3.21)

# Runs a command; fails with its output when it fails, else sets
# step_output to what it printed.
function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
                  ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${output}")
  endif()
  set(step_output "${output}" PARENT_SCOPE)
endfunction()

# Sets flags to pkg-config's flags for a static link of the installed inifile.
function(pkg_config_flags flags)
  find_program(PKG_CONFIG pkg-config REQUIRED)
  set(ENV{PKG_CONFIG_PATH} ${PREFIX}/${LIBDIR}/pkgconfig)
  run_step("pkg-config" ${PKG_CONFIG} --cflags --libs --static inifile)
  string(STRIP "${step_output}" output)
  separate_arguments(output UNIX_COMMAND "${output}")
  set(${flags} ${output} PARENT_SCOPE)
endfunction()

set(step_dir ${WORK_DIR}/${STEP})
file(REMOVE_RECURSE ${step_dir})
file(MAKE_DIRECTORY ${step_dir})

if(STEP STREQUAL "install")
  file(REMOVE_RECURSE ${PREFIX})
  run_step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
  file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
  set(expected include/inifile/inifile.h ${LIBDIR}/pkgconfig/inifile.pc
               ${LIBDIR}/cmake/inifile/inifileConfig.cmake)
  foreach(file ${installed})
    if(file MATCHES "(^|/)(lib)?inifile\\.(a|lib)$")
      list(APPEND expected ${file})
    endif()
  endforeach()
  set(installer_files ${installed})
  list(FILTER installer_files INCLUDE REGEX "^bin/ostrel-install(\\.exe)?$")
  if(WITH_INSTALLER)
    list(APPEND expected ${installer_files})
    if(NOT installer_files)
      message(FATAL_ERROR "the installer was not installed: ${installed}")
    endif()
  elseif(installer_files)
    message(FATAL_ERROR "the installer was installed, though it was not asked for")
  endif()
  foreach(file ${expected})
    list(REMOVE_ITEM installed ${file})
  endforeach()
  list(FILTER installed EXCLUDE REGEX "^${LIBDIR}/cmake/inifile/inifile(Config-[a-z]*|ConfigVersion)\\.cmake$")
  if(installed)
    message(FATAL_ERROR "unexpected files were installed: ${installed}")
  endif()

elseif(STEP STREQUAL "symbols")
  file(GLOB archives ${PREFIX}/${LIBDIR}/*.a ${PREFIX}/${LIBDIR}/*.lib)
  if(NOT archives)
    message(FATAL_ERROR "no archive under ${PREFIX}/${LIBDIR}")
  endif()
  run_step("nm" ${NM} -g --defined-only ${archives})
  string(REPLACE "\n" ";" lines "${step_output}")
  set(foreign)
  set(count 0)
  foreach(line ${lines})
    # "ADDRESS TYPE NAME"; file headers and blank lines hold no symbol.
    if(line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (.+)$")
      set(name ${CMAKE_MATCH_1})
      math(EXPR count "${count} + 1")
      if(NOT name MATCHES "^ini_")
        list(APPEND foreign ${name})
      endif()
    endif()
  endforeach()
  if(foreign)
    message(FATAL_ERROR "the installed archives define names without the ini_ prefix: ${foreign}")
  endif()
  if(count EQUAL 0)
    message(FATAL_ERROR "nm listed no symbol at all:\n${step_output}")
  endif()
  message(STATUS "${count} global names, each starting with ini_")

elseif(STEP STREQUAL "cmake_consumer")
  run_step("configure the consumer" ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${step_dir}/build
           -DCMAKE_PREFIX_PATH=${PREFIX} -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
  run_step("build the consumer" ${CMAKE_COMMAND} --build ${step_dir}/build)
  run_step("run the consumer" ${step_dir}/build/inifile_consumer ${step_dir}/saved.ini)

elseif(STEP STREQUAL "c_consumer")
  pkg_config_flags(flags)
  run_step("compile the C consumer" ${C_COMPILER} -std=c99 -Wall -Wextra -pedantic -Werror
           ${CONSUMER_DIR}/consumer.c ${flags} -o ${step_dir}/c_consumer)
  run_step("run the C consumer" ${step_dir}/c_consumer ${step_dir})

elseif(STEP STREQUAL "readme_example")
  file(READ ${README} readme)
  if(NOT readme MATCHES "## Using the library.*\n```c\n(.*)\n```")
    message(FATAL_ERROR "no C example under \"## Using the library\" in ${README}")
  endif()
  # The first fenced block after the heading, not the last.
  string(FIND "${CMAKE_MATCH_1}" "\n```" end)
  string(SUBSTRING "${CMAKE_MATCH_1}" 0 ${end} example)
  file(WRITE ${step_dir}/example.c "${example}\n")
  pkg_config_flags(flags)
  run_step("compile the README example as C++" ${CXX_COMPILER} -std=c++17 -Wall -Wextra -Werror
           -x c++ ${step_dir}/example.c -x none ${flags} -o ${step_dir}/example)
  run_step("compile the README example as C" ${C_COMPILER} -std=c99 -Wall -Wextra -pedantic
           -Werror ${step_dir}/example.c ${flags} -o ${step_dir}/example)
  file(WRITE ${step_dir}/app.ini "[paths]\nhome = C:\\\\Users\\\\me ; where the files go\n")
  execute_process(COMMAND ${step_dir}/example WORKING_DIRECTORY ${step_dir}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  file(READ ${step_dir}/app.ini saved)
  set(expected_saved "[paths]\nhome=C:\\\\Users\\\\me\nruns=1\n")
  if(NOT result EQUAL 0 OR NOT output STREQUAL "home is C:\\Users\\me\n"
     OR NOT saved STREQUAL expected_saved)
    message(FATAL_ERROR "the README example gave status ${result}, printed \"${output}\" and "
                        "saved \"${saved}\"; expected 0, \"home is C:\\Users\\me\" and "
                        "\"${expected_saved}\"")
  endif()

else()
  message(FATAL_ERROR "unknown STEP \"${STEP}\"")
endif()
