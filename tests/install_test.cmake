# cmake -DSTEP=<step> -DBUILD_DIR=... -DWORK_DIR=... -DPREFIX=... -DSHARED_PREFIX=...
#       -DSOURCE_DIR=... -DLIBDIR=... -DNM=... -DOBJDUMP=... -DREADELF=...
#       -DWITH_INSTALLER=ON|OFF -DCONSUMER_DIR=... -DREADME=... -DC_COMPILER=...
#       -DCXX_COMPILER=... -DGENERATOR=... [-DTOOLCHAIN=...] [-DEMULATOR=a|b]
#       -DABIDIFF=... -DABIDW=... -DABI_BASELINE=... [-DUPDATE=ON] -P install_test.cmake
#
# One step of taking the installed library as a user would:
#   install         installs the build into PREFIX and checks what it holds
#   symbols         every global name the installed archive defines starts
#                   with ini_, and a shared object built from the archive
#                   exports none of them
#   cmake_consumer  a C++ project finds the CMake package and links it
#   c_consumer      a C99 program, built only from pkg-config's flags, loads,
#                   edits, saves and reloads a file
#   readme_example  the README's example builds from pkg-config's flags and
#                   does what the README says, on its first run and after
# and the same of the shared library, built from SOURCE_DIR with
# BUILD_SHARED_LIBS (for Windows too, with TOOLCHAIN):
#   shared_install         builds it and installs it into SHARED_PREFIX
#   shared_symbols         it exports exactly the functions of the header,
#                          with SONAME libinifile.so.1; on Windows
#                          inifile.dll imports only system DLLs and carries
#                          its version information
#   shared_cmake_consumer  the C++ consumer, through find_package, and
#   shared_c_consumer      the C99 consumer, through pkg-config, link it and
#                          run: natively needing libinifile.so.1, on Windows
#                          under EMULATOR with inifile.dll beside them
#   shared_abi             its ABI, as abidiff sees it, is the one recorded
#                          in ABI_BASELINE; with UPDATE=ON, abidw records it
#                          there instead
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

# Sets flags to pkg-config's flags for linking the inifile installed under
# prefix, with the further options given (--static).
function(pkg_config_flags flags prefix)
  find_program(PKG_CONFIG pkg-config REQUIRED)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
  run_step("pkg-config" ${PKG_CONFIG} --cflags --libs ${ARGN} inifile)
  string(STRIP "${step_output}" output)
  separate_arguments(output UNIX_COMMAND "${output}")
  set(${flags} ${output} PARENT_SCOPE)
endfunction()

# Sets names to the functions that the header installed under prefix
# declares, each on a line of its own that starts with INIFILE_API.
function(header_functions names prefix)
  file(STRINGS ${prefix}/include/inifile/inifile.h lines REGEX "^[A-Za-z].*[ *]ini_[a-z_]+\\(")
  set(found)
  foreach(line ${lines})
    if(line MATCHES "[ *](ini_[a-z_]+)\\(")
      set(name ${CMAKE_MATCH_1})
      if(NOT line MATCHES "^INIFILE_API ")
        message(FATAL_ERROR "${name} is declared without INIFILE_API: ${line}")
      endif()
      list(APPEND found ${name})
    endif()
  endforeach()
  list(LENGTH found count)
  if(count LESS 20)
    message(FATAL_ERROR "only ${count} functions found in the header: ${found}")
  endif()
  list(SORT found)
  set(${names} ${found} PARENT_SCOPE)
endfunction()

# Fails unless the sorted list exported names the same functions as the
# header installed under prefix.
function(expect_header_functions what exported prefix)
  header_functions(declared ${prefix})
  set(missing ${declared})
  list(REMOVE_ITEM missing ${exported})
  set(extra ${exported})
  list(REMOVE_ITEM extra ${declared})
  if(missing OR extra)
    message(FATAL_ERROR "${what} exports what the header does not declare: [${extra}], and "
                        "not what it does: [${missing}]")
  endif()
  list(LENGTH exported count)
  message(STATUS "${what} exports the ${count} functions of the header and nothing else")
endfunction()

# Fails unless readelf -d shows that the ELF file program needs
# libinifile.so.1.
function(expect_needs_shared_library program)
  run_step("readelf" ${READELF} -d ${program})
  if(NOT step_output MATCHES "\\(NEEDED\\)[^\n]*\\[libinifile\\.so\\.1\\]")
    message(FATAL_ERROR "${program} does not need libinifile.so.1:\n${step_output}")
  endif()
endfunction()

# Runs a consumer that links the shared library with its arguments, with
# the directory of the library beside it or on its search path.
function(run_shared_consumer what program)
  if(EMULATOR)
    file(COPY ${SHARED_PREFIX}/bin/inifile.dll DESTINATION ${step_dir})
    string(REPLACE "|" ";" emulator "${EMULATOR}")
    run_step("run ${what} under Wine" ${emulator} ${program} ${ARGN})
  else()
    expect_needs_shared_library(${program})
    run_step("run ${what}" ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${SHARED_PREFIX}/${LIBDIR}
             ${program} ${ARGN})
  endif()
  message(STATUS "${step_output}")
endfunction()

# The path a program under Wine takes for a path here: Wine's drive Z: is the
# root of this file system.
function(program_path out path)
  if(EMULATOR)
    set(${out} "Z:${path}" PARENT_SCOPE)
  else()
    set(${out} "${path}" PARENT_SCOPE)
  endif()
endfunction()

set(step_dir ${WORK_DIR}/${STEP})
file(REMOVE_RECURSE ${step_dir})
file(MAKE_DIRECTORY ${step_dir})
set(suffix "") # of a program's file
if(TOOLCHAIN)
  set(suffix .exe)
endif()

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

  # A shared object that links the archive exports its own names alone.
  if(NOT TOOLCHAIN)
    file(WRITE ${step_dir}/plugin.c [[
#include <inifile/inifile.h>

int plugin_sections(const char *path)
{
    IniDocument *doc = ini_load_file(path);
    int count = doc != NULL ? doc->section_count : -1;
    ini_free_document(doc);
    return count;
}
]])
    pkg_config_flags(flags ${PREFIX} --static)
    run_step("build a shared object from the archive" ${C_COMPILER} -std=c99 -Wall -Werror
             -shared -fPIC ${step_dir}/plugin.c ${flags} -o ${step_dir}/libplugin.so)
    run_step("nm -D" ${NM} -D --defined-only ${step_dir}/libplugin.so)
    if(step_output MATCHES "(^|\n)[0-9a-fA-F]+ [A-Za-z] (ini_[^\n]*)")
      message(FATAL_ERROR "a shared object built from the archive exports ${CMAKE_MATCH_2}:\n"
                          "${step_output}")
    endif()
    if(NOT step_output MATCHES " plugin_sections\n")
      message(FATAL_ERROR "the shared object exports not its own function:\n${step_output}")
    endif()
  endif()

elseif(STEP STREQUAL "cmake_consumer")
  run_step("configure the consumer" ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${step_dir}/build
           -DCMAKE_PREFIX_PATH=${PREFIX} -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
  run_step("build the consumer" ${CMAKE_COMMAND} --build ${step_dir}/build)
  run_step("run the consumer" ${step_dir}/build/inifile_consumer ${step_dir}/saved.ini)

elseif(STEP STREQUAL "c_consumer")
  pkg_config_flags(flags ${PREFIX} --static)
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
  pkg_config_flags(flags ${PREFIX} --static)
  run_step("compile the README example as C++" ${CXX_COMPILER} -std=c++17 -Wall -Wextra -Werror
           -x c++ ${step_dir}/example.c -x none ${flags} -o ${step_dir}/example)
  run_step("compile the README example as C" ${C_COMPILER} -std=c99 -Wall -Wextra -pedantic
           -Werror ${step_dir}/example.c ${flags} -o ${step_dir}/example)
  # Runs of the example one after another, each with what app.ini holds
  # before it (NONE: no file; KEPT: what the run before left), the status it
  # must end with, a pattern of what it must print, and what app.ini must
  # hold after it.
  function(readme_run before status pattern saved)
    if(before STREQUAL "NONE")
      file(REMOVE ${step_dir}/app.ini)
    elseif(NOT before STREQUAL "KEPT")
      file(WRITE ${step_dir}/app.ini "${before}")
    endif()
    execute_process(COMMAND ${step_dir}/example WORKING_DIRECTORY ${step_dir}
                    RESULT_VARIABLE run_status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    set(left "(none)")
    if(EXISTS ${step_dir}/app.ini)
      file(READ ${step_dir}/app.ini left)
    endif()
    if(NOT run_status EQUAL status OR NOT output MATCHES "${pattern}" OR NOT left STREQUAL saved)
      message(FATAL_ERROR "the README example, with app.ini \"${before}\", gave status "
                          "${run_status}, printed \"${output}\" and left \"${left}\"; expected "
                          "${status}, \"${pattern}\" and \"${saved}\"")
    endif()
  endfunction()
  set(home "[paths]\nhome=C:\\\\Users\\\\me\n")
  readme_run(NONE 0 "^home is not set\n$" "[paths]\nruns=1\n")
  readme_run(KEPT 0 "^home is not set\n$" "[paths]\nruns=2\n")
  readme_run("[paths]\nhome = C:\\\\Users\\\\me ; where the files go\n" 0
             "^home is C:\\\\Users\\\\me\n$" "${home}runs=1\n")
  readme_run(KEPT 0 "^home is C:\\\\Users\\\\me\n$" "${home}runs=2\n")
  readme_run("[paths]\nbad\n" 1 "^app.ini: [^\n]*line 2\n$" "[paths]\nbad\n")

elseif(STEP STREQUAL "shared_install")
  set(build ${WORK_DIR}/shared-build)
  # With debug information for abidw, which names the sources as they stand
  # in the tree, wherever it is.
  set(options -DBUILD_SHARED_LIBS=ON -DOSTREL_BUILD_TESTS=OFF -DOSTREL_INSTALL_INSTALLER=OFF
              -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-ffile-prefix-map=${SOURCE_DIR}/=)
  if(TOOLCHAIN)
    list(APPEND options -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
  else()
    list(APPEND options -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
  endif()
  run_step("configure the shared build" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${build} -G ${GENERATOR}
           ${options})
  run_step("build the shared library" ${CMAKE_COMMAND} --build ${build} --target inifile)
  file(REMOVE_RECURSE ${SHARED_PREFIX})
  run_step("install the shared library" ${CMAKE_COMMAND} --install ${build} --prefix ${SHARED_PREFIX})
  file(GLOB_RECURSE installed RELATIVE ${SHARED_PREFIX} ${SHARED_PREFIX}/*)
  if(TOOLCHAIN)
    set(libraries bin/inifile.dll ${LIBDIR}/libinifile.dll.a)
  else()
    set(libraries ${LIBDIR}/libinifile.so ${LIBDIR}/libinifile.so.1 ${LIBDIR}/libinifile.so.1.0.0)
  endif()
  set(expected ${libraries} include/inifile/inifile.h ${LIBDIR}/pkgconfig/inifile.pc
               ${LIBDIR}/cmake/inifile/inifileConfig.cmake
               ${LIBDIR}/cmake/inifile/inifileConfig-relwithdebinfo.cmake
               ${LIBDIR}/cmake/inifile/inifileConfigVersion.cmake)
  list(SORT installed)
  list(SORT expected)
  if(NOT installed STREQUAL expected)
    message(FATAL_ERROR "the shared build installed [${installed}], not [${expected}]")
  endif()

elseif(STEP STREQUAL "shared_symbols")
  set(exported)
  if(TOOLCHAIN)
    set(dll ${SHARED_PREFIX}/bin/inifile.dll)
    run_step("objdump -p" ${OBJDUMP} -p ${dll})
    if(NOT step_output MATCHES "\\[Ordinal/Name Pointer\\] Table\n(.*)")
      message(FATAL_ERROR "${dll} has no export table:\n${step_output}")
    endif()
    string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" lines "${CMAKE_MATCH_1}")
    foreach(line ${lines})
      string(REGEX REPLACE "^\t\\[ *[0-9]+\\] " "" name "${line}")
      list(APPEND exported ${name})
    endforeach()
    run_step("check the DLL's imports" ${CMAKE_COMMAND} -DOBJDUMP=${OBJDUMP} -DPROGRAM=${dll}
             -P ${SOURCE_DIR}/tests/check_imports.cmake)
    # The version information's texts, which windres stores as UTF-16, each
    # name followed by its value.
    file(STRINGS ${dll} texts ENCODING UTF-16LE)
    file(READ ${SHARED_PREFIX}/${LIBDIR}/pkgconfig/inifile.pc pc)
    string(REGEX MATCH "Version: ([0-9.]+)" ignored "${pc}")
    set(version ${CMAKE_MATCH_1})
    foreach(pair FileVersion=${version} ProductVersion=${version} OriginalFilename=inifile.dll)
      string(REPLACE "=" ";" pair_pattern "${pair}")
      string(REPLACE "." "\\." pair_pattern "${pair_pattern}")
      if(NOT texts MATCHES ";${pair_pattern};")
        message(FATAL_ERROR "${dll} does not carry ${pair} in its version information")
      endif()
    endforeach()
  else()
    set(library ${SHARED_PREFIX}/${LIBDIR}/libinifile.so)
    run_step("nm -D" ${NM} -D --defined-only ${library})
    string(REGEX MATCHALL "[0-9a-fA-F]+ [A-Za-z] [^\n]+" lines "${step_output}")
    foreach(line ${lines})
      string(REGEX REPLACE "^[0-9a-fA-F]+ [A-Za-z] " "" name "${line}")
      list(APPEND exported ${name})
    endforeach()
    run_step("readelf -d" ${READELF} -d ${library})
    if(NOT step_output MATCHES "\\(SONAME\\)[^\n]*\\[libinifile\\.so\\.1\\]")
      message(FATAL_ERROR "${library} has not the SONAME libinifile.so.1:\n${step_output}")
    endif()
  endif()
  list(SORT exported)
  expect_header_functions("the shared library" "${exported}" ${SHARED_PREFIX})

elseif(STEP STREQUAL "shared_cmake_consumer")
  set(options -Dinifile_DIR=${SHARED_PREFIX}/${LIBDIR}/cmake/inifile)
  if(TOOLCHAIN)
    # The consumer carries its own C++ runtime, as the tests' programs do.
    list(APPEND options -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}
                        "-DCMAKE_EXE_LINKER_FLAGS=-static-libgcc -static-libstdc++")
  else()
    list(APPEND options -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
  endif()
  run_step("configure the consumer" ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${step_dir}/build
           -DCMAKE_RUNTIME_OUTPUT_DIRECTORY=${step_dir} ${options})
  run_step("build the consumer" ${CMAKE_COMMAND} --build ${step_dir}/build)
  program_path(saved ${step_dir}/saved.ini)
  run_shared_consumer("the consumer" ${step_dir}/inifile_consumer${suffix} ${saved})

elseif(STEP STREQUAL "shared_c_consumer")
  pkg_config_flags(flags ${SHARED_PREFIX})
  if(NOT flags MATCHES "-DINIFILE_SHARED")
    message(FATAL_ERROR "pkg-config does not define INIFILE_SHARED: ${flags}")
  endif()
  run_step("compile the C consumer" ${C_COMPILER} -std=c99 -Wall -Wextra -pedantic -Werror
           ${CONSUMER_DIR}/consumer.c ${flags} -o ${step_dir}/c_consumer${suffix})
  program_path(directory ${step_dir})
  run_shared_consumer("the C consumer" ${step_dir}/c_consumer${suffix} ${directory})

elseif(STEP STREQUAL "shared_abi")
  # The functions the library exports and the types they reach; what the
  # baseline records is the same whatever the tree's or the build's place.
  set(library ${SHARED_PREFIX}/${LIBDIR}/libinifile.so.1)
  if(UPDATE)
    run_step("abidw" ${ABIDW} --no-corpus-path --no-comp-dir-path --no-show-locs
             --out-file ${ABI_BASELINE} ${library})
    message(STATUS "${ABI_BASELINE} now records the ABI of ${library}")
  else()
    if(NOT ABIDIFF)
      message(FATAL_ERROR "the ABI check needs abidiff (Debian package abigail-tools)")
    endif()
    execute_process(COMMAND ${ABIDIFF} ${ABI_BASELINE} ${library}
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "the ABI of ${library} is not the one recorded in ${ABI_BASELINE} "
                          "(abidiff status ${result}):\n${output}\nA change that is meant "
                          "updates the baseline: cmake --build <build> --target abi-baseline")
    endif()
    message(STATUS "the ABI of ${library} is the one recorded in ${ABI_BASELINE}")
  endif()

else()
  message(FATAL_ERROR "unknown STEP \"${STEP}\"")
endif()
