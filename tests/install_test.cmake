# SPDX-License-Identifier: MIT
# cmake -DSTEP=<step> -D<parameter>=... -P install_test.cmake, with the
# parameters that install_tests.cmake gives (a list in one of them as a|b).
#
# One step of taking the library that the build in BUILD_DIR made, of KIND
# (static or shared), as a user would, with the build's PREFIX and full
# LIBDIR, INCLUDEDIR and BINDIR (INSTALL_DIRS the options that give them),
# and its compilers, flags and toolchain (BUILD_OPTIONS):
#   install         installs the build under STAGE (DESTDIR): exactly the
#                   files of its kind, in its directories, with .pc files
#                   that name PREFIX
#   prefix          installs it with --prefix elsewhere, given relative to
#                   the working directory: its .pc files name that prefix,
#                   and the C consumer builds from them
#   components      installs component inifile alone: the files of install
#                   but the installer; and component installer: that alone
#   no_googletest   configures the sources without GoogleTest: the tests
#                   are off, said in one line; asked for, they are an error
#   symbols         static: every global name the archive defines starts
#                   with ini_, and a shared object built from it exports none
#                   of them; shared: it exports exactly the header's
#                   functions, with SONAME libinifile.so.1, or as inifile.dll
#                   imports only system DLLs and carries its version texts
#   cmake_consumer  a C++ project finds the CMake package and links it
#   c_consumer      a C99 program, built only from pkg-config's flags, loads,
#                   edits, saves and reloads a file
#   readme_example  the README's example builds from pkg-config's flags and
#                   does what the README says, on its first run and after
#   abi             the shared library's ABI, as abidiff sees it, is the one
#                   in ABI_BASELINE (skipped, saying why, without abidiff or
#                   debug information); with UPDATE=ON abidw writes it there
#   side_by_side    a build of the other kind, configured alike, makes the
#                   library alone and installs component inifile into one
#                   prefix with this one; then each library is reached
#                   through CMake and through pkg-config
#   subproject      the C++ consumer adds the source tree with
#                   add_subdirectory and its own -Wold-style-cast: it builds
#                   the library's sources alone, with no -Werror
# Each consumer loads the shared library exactly when it should, and runs,
# natively or under EMULATOR.
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

# Sets flags to pkg-config's flags for package as installed under stage,
# which it takes for the system root. The system's directories stay in, as
# they are the stage's.
function(pkg_config_flags flags stage package)
  find_program(PKG_CONFIG pkg-config REQUIRED)
  set(ENV{PKG_CONFIG_LIBDIR} ${stage}${LIBDIR}/pkgconfig)
  set(ENV{PKG_CONFIG_SYSROOT_DIR} ${stage})
  set(ENV{PKG_CONFIG_ALLOW_SYSTEM_CFLAGS} 1)
  set(ENV{PKG_CONFIG_ALLOW_SYSTEM_LIBS} 1)
  run_step("pkg-config ${package}" ${PKG_CONFIG} --cflags --libs ${package})
  string(STRIP "${step_output}" output)
  separate_arguments(output UNIX_COMMAND "${output}")
  set(${flags} ${output} PARENT_SCOPE)
endfunction()

# Fails unless program, a consumer that linked the library of kind, needs
# the shared library exactly when kind is shared; then runs it with its
# arguments, with the shared library installed under stage beside it or on
# its search path.
function(run_consumer what program kind stage)
  if(EMULATOR)
    run_step("objdump -p" ${OBJDUMP} -p ${program})
    set(loads_shared "DLL Name: inifile\\.dll")
    if(kind STREQUAL "shared")
      get_filename_component(directory ${program} DIRECTORY)
      file(COPY ${stage}${BINDIR}/inifile.dll DESTINATION ${directory})
    endif()
    string(REPLACE "|" ";" command "${EMULATOR}")
  else()
    run_step("readelf -d" ${READELF} -d ${program})
    set(loads_shared "\\(NEEDED\\)[^\n]*\\[libinifile\\.so\\.1\\]")
    set(command ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${stage}${LIBDIR})
  endif()
  if(kind STREQUAL "shared" AND NOT step_output MATCHES "${loads_shared}")
    message(FATAL_ERROR "${what} does not load the shared library:\n${step_output}")
  elseif(kind STREQUAL "static" AND step_output MATCHES "${loads_shared}")
    message(FATAL_ERROR "${what} loads the shared library, not the static one:\n${step_output}")
  endif()
  run_step("run ${what}" ${command} ${program} ${ARGN})
  message(STATUS "${what}: ${step_output}")
endfunction()

# Fails unless installing the build under stage (DESTDIR) with the options
# of `cmake --install` puts there exactly the files given.
function(install_exactly stage options)
  file(REMOVE_RECURSE ${stage})
  run_step("install ${options}" ${CMAKE_COMMAND} -E env DESTDIR=${stage} ${CMAKE_COMMAND}
           --install ${BUILD_DIR} ${options})
  file(GLOB_RECURSE installed RELATIVE ${stage} ${stage}/*)
  list(TRANSFORM installed PREPEND /)
  # The targets of the build's configuration, named after it.
  list(FILTER installed EXCLUDE REGEX "^${package_dir}/inifile-${KIND}-targets-[a-z]+\\.cmake$")
  list(SORT installed)
  set(expected ${ARGN})
  list(SORT expected)
  if(NOT "${installed}" STREQUAL "${expected}")
    message(FATAL_ERROR "cmake --install ${options} installed [${installed}], not [${expected}]")
  endif()
endfunction()

# Fails unless each .pc file installed under stage names prefix.
function(pc_files_name stage prefix)
  file(GLOB pc_files ${stage}${LIBDIR}/pkgconfig/*.pc)
  foreach(pc ${pc_files})
    file(STRINGS ${pc} prefix_line REGEX "^prefix=" LIMIT_COUNT 1)
    if(NOT prefix_line STREQUAL "prefix=${prefix}")
      message(FATAL_ERROR "${pc} names its prefix \"${prefix_line}\", not prefix=${prefix}")
    endif()
  endforeach()
endfunction()

# Builds the C++ consumer in directory against the package installed under
# stage, linking target, then runs it.
function(cmake_consumer directory stage target kind)
  set(options ${BUILD_OPTIONS} -DINIFILE_TARGET=${target})
  if(EMULATOR)
    # The toolchain searches its own root alone, so the package is named;
    # the consumer carries its C++ runtime, as the tests' programs do.
    list(APPEND options -Dinifile_DIR=${stage}${LIBDIR}/cmake/inifile
                        "-DCMAKE_EXE_LINKER_FLAGS=-static-libgcc -static-libstdc++")
  else()
    list(APPEND options -DCMAKE_PREFIX_PATH=${stage}${PREFIX})
  endif()
  run_step("configure the consumer" ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${directory}
           -DCMAKE_RUNTIME_OUTPUT_DIRECTORY=${directory} ${options})
  run_step("build the consumer" ${CMAKE_COMMAND} --build ${directory})
  run_consumer("the consumer of ${target}" ${directory}/inifile_consumer${suffix} ${kind} ${stage}
               ${wine_root}${directory}/saved.ini)
endfunction()

# Builds the C consumer in directory from pkg-config's flags for package as
# installed under stage, then runs it.
function(c_consumer directory stage package kind)
  pkg_config_flags(flags "${stage}" ${package})
  if(kind STREQUAL "shared" AND NOT flags MATCHES "-DINIFILE_SHARED")
    message(FATAL_ERROR "pkg-config's ${package} does not define INIFILE_SHARED: ${flags}")
  endif()
  file(MAKE_DIRECTORY ${directory})
  run_step("compile the C consumer" ${C_COMPILER} ${C_FLAGS} -std=c99 -Wall -Wextra -pedantic
           -Werror ${CONSUMER_DIR}/consumer.c ${flags} -o ${directory}/c_consumer${suffix})
  run_consumer("the C consumer of ${package}" ${directory}/c_consumer${suffix} ${kind} "${stage}"
               ${wine_root}${directory})
endfunction()

set(step_dir ${WORK_DIR}/${STEP})
file(REMOVE_RECURSE ${step_dir})
file(MAKE_DIRECTORY ${step_dir})
# A program's file suffix, and the drive under Wine of this file system's
# root.
set(suffix "")
set(wine_root "")
if(EMULATOR)
  set(suffix .exe)
  set(wine_root Z:)
endif()
string(COMPARE EQUAL "${KIND}" shared shared)
separate_arguments(C_FLAGS UNIX_COMMAND "${C_FLAGS}")
separate_arguments(CXX_FLAGS UNIX_COMMAND "${CXX_FLAGS}")
string(REPLACE "|" ";" BUILD_OPTIONS "${BUILD_OPTIONS}")
string(REPLACE "|" ";" INSTALL_DIRS "${INSTALL_DIRS}")
set(package_dir ${LIBDIR}/cmake/inifile)

# What component inifile installs, and the installer.
set(library_files ${INCLUDEDIR}/inifile/inifile.h ${LIBDIR}/pkgconfig/inifile.pc
                  ${package_dir}/inifileConfig.cmake ${package_dir}/inifileConfigVersion.cmake
                  ${package_dir}/inifile-${KIND}-targets.cmake)
if(KIND STREQUAL "static")
  list(APPEND library_files ${LIBDIR}/libinifile.a ${LIBDIR}/pkgconfig/inifile-static.pc)
elseif(EMULATOR)
  list(APPEND library_files ${BINDIR}/inifile.dll ${LIBDIR}/libinifile.dll.a)
else()
  string(REGEX MATCH "^[0-9]+" major ${VERSION})
  list(APPEND library_files ${LIBDIR}/libinifile.so ${LIBDIR}/libinifile.so.${major}
                            ${LIBDIR}/libinifile.so.${VERSION})
endif()
set(installer_files "")
if(WITH_INSTALLER)
  set(installer_files ${BINDIR}/ostrel-install${suffix})
endif()

if(STEP STREQUAL "install")
  install_exactly(${STAGE} "" ${library_files} ${installer_files})
  pc_files_name(${STAGE} ${PREFIX})

elseif(STEP STREQUAL "prefix")
  set(moved ${step_dir}/moved)
  foreach(directory LIBDIR INCLUDEDIR BINDIR)
    file(RELATIVE_PATH relative ${PREFIX} ${${directory}})
    set(${directory} ${moved}/${relative})
  endforeach()
  # Given as a path relative to where `cmake --install` runs.
  run_step("install --prefix" ${CMAKE_COMMAND} -E chdir ${step_dir} ${CMAKE_COMMAND}
           --install ${BUILD_DIR} --prefix moved)
  pc_files_name("" ${moved})
  c_consumer(${step_dir}/c_consumer "" inifile ${KIND})

elseif(STEP STREQUAL "components")
  install_exactly(${step_dir}/inifile "--component;inifile" ${library_files})
  install_exactly(${step_dir}/installer "--component;installer" ${installer_files})

elseif(STEP STREQUAL "no_googletest")
  set(configure ${CMAKE_COMMAND} -S ${SOURCE_DIR} ${BUILD_OPTIONS}
      -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DOSTREL_GOOGLETEST_SOURCE_DIR=${step_dir}/absent)
  run_step("configure without GoogleTest" ${configure} -B ${step_dir}/default)
  string(REGEX MATCHALL "\n-- The tests are off: [^\n]*GoogleTest" said "\n${step_output}")
  list(LENGTH said count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "configured without GoogleTest, it said ${count} times why the tests are "
                        "off:\n${step_output}")
  endif()
  execute_process(COMMAND ${configure} -B ${step_dir}/asked -DOSTREL_BUILD_TESTS=ON
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(result EQUAL 0 OR NOT output MATCHES "GTest|GoogleTest")
    message(FATAL_ERROR "asked for the tests without GoogleTest, the configuration ended with "
                        "${result}:\n${output}")
  endif()

elseif(STEP STREQUAL "symbols" AND KIND STREQUAL "static")
  run_step("nm" ${NM} -g --defined-only ${STAGE}${LIBDIR}/libinifile.a)
  string(REGEX MATCHALL "[0-9a-fA-F]+ [A-Za-z] [^\n]+" lines "${step_output}")
  list(TRANSFORM lines REPLACE "^[0-9a-fA-F]+ [A-Za-z] " "")
  set(foreign ${lines})
  list(FILTER foreign EXCLUDE REGEX "^ini_")
  if(foreign)
    message(FATAL_ERROR "the installed archive defines names without the ini_ prefix: ${foreign}")
  endif()
  list(LENGTH lines count)
  if(count EQUAL 0)
    message(FATAL_ERROR "nm listed no symbol at all:\n${step_output}")
  endif()
  message(STATUS "${count} global names, each starting with ini_")
  # The library never prints: none of what only the installer uses is in it.
  run_step("nm -u" ${NM} --undefined-only ${STAGE}${LIBDIR}/libinifile.a)
  if(step_output MATCHES "[ \n](fputs|puts|v?f?printf|fwrite|f?putc|putchar)\n")
    message(FATAL_ERROR "the installed archive calls ${CMAKE_MATCH_1}, though the library never "
                        "prints")
  endif()

  # A shared object that links the archive exports its own names alone.
  if(NOT EMULATOR)
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
    pkg_config_flags(flags ${STAGE} inifile-static)
    run_step("build a shared object from the archive" ${C_COMPILER} ${C_FLAGS} -std=c99 -Wall
             -Werror -shared -fPIC ${step_dir}/plugin.c ${flags} -o ${step_dir}/libplugin.so)
    run_step("nm -D" ${NM} -D --defined-only ${step_dir}/libplugin.so)
    if(step_output MATCHES "(^|\n)[0-9a-fA-F]+ [A-Za-z] (ini_[^\n]*)")
      message(FATAL_ERROR "a shared object built from the archive exports ${CMAKE_MATCH_2}:\n"
                          "${step_output}")
    endif()
    if(NOT step_output MATCHES " plugin_sections\n")
      message(FATAL_ERROR "the shared object exports not its own function:\n${step_output}")
    endif()
  endif()

elseif(STEP STREQUAL "symbols")
  if(EMULATOR)
    set(dll ${STAGE}${BINDIR}/inifile.dll)
    run_step("objdump -p" ${OBJDUMP} -p ${dll})
    if(NOT step_output MATCHES "\\[Ordinal/Name Pointer\\] Table\n(.*)")
      message(FATAL_ERROR "${dll} has no export table:\n${step_output}")
    endif()
    string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" exported "${CMAKE_MATCH_1}")
    list(TRANSFORM exported REPLACE "^\t\\[ *[0-9]+\\] " "")
    run_step("check the DLL's imports" ${CMAKE_COMMAND} -DOBJDUMP=${OBJDUMP} -DPROGRAM=${dll}
             -P ${SOURCE_DIR}/tests/check_imports.cmake)
    # The version information's texts, which windres stores as UTF-16, each
    # name followed by its value.
    file(STRINGS ${dll} texts ENCODING UTF-16LE)
    foreach(pair FileVersion=${VERSION} ProductVersion=${VERSION} OriginalFilename=inifile.dll)
      string(REPLACE "=" ";" pair_pattern "${pair}")
      string(REPLACE "." "\\." pair_pattern "${pair_pattern}")
      if(NOT texts MATCHES ";${pair_pattern};")
        message(FATAL_ERROR "${dll} does not carry ${pair} in its version information")
      endif()
    endforeach()
  else()
    set(library ${STAGE}${LIBDIR}/libinifile.so)
    run_step("nm -D" ${NM} -D --defined-only ${library})
    string(REGEX MATCHALL "[0-9a-fA-F]+ [A-Za-z] [^\n]+" exported "${step_output}")
    list(TRANSFORM exported REPLACE "^[0-9a-fA-F]+ [A-Za-z] " "")
    run_step("readelf -d" ${READELF} -d ${library})
    if(NOT step_output MATCHES "\\(SONAME\\)[^\n]*\\[libinifile\\.so\\.1\\]")
      message(FATAL_ERROR "${library} has not the SONAME libinifile.so.1:\n${step_output}")
    endif()
  endif()
  # The header declares each function on a line that starts with INIFILE_API;
  # the lines' semicolons, which file(STRINGS) escapes, go first.
  file(STRINGS ${STAGE}${INCLUDEDIR}/inifile/inifile.h declared
       REGEX "^[A-Za-z].*[ *]ini_[a-z_]+\\(")
  string(REPLACE "\\;" "" declared "${declared}")
  set(unmarked ${declared})
  list(FILTER unmarked EXCLUDE REGEX "^INIFILE_API ")
  list(TRANSFORM declared REPLACE "^.*[ *](ini_[a-z_]+)\\(.*$" "\\1")
  list(LENGTH declared count)
  if(unmarked OR count LESS 20)
    message(FATAL_ERROR "${count} functions found in the header, declared without INIFILE_API: "
                        "[${unmarked}]")
  endif()
  set(missing ${declared})
  list(REMOVE_ITEM missing ${exported})
  set(extra ${exported})
  list(REMOVE_ITEM extra ${declared})
  if(missing OR extra)
    message(FATAL_ERROR "the shared library exports what the header does not declare: "
                        "[${extra}], and not what it does: [${missing}]")
  endif()
  message(STATUS "the shared library exports the ${count} functions of the header and nothing else")

elseif(STEP STREQUAL "cmake_consumer")
  cmake_consumer(${step_dir} ${STAGE} inifile::inifile ${KIND})

elseif(STEP STREQUAL "c_consumer")
  c_consumer(${step_dir} ${STAGE} inifile ${KIND})

elseif(STEP STREQUAL "readme_example")
  file(READ ${README} readme)
  if(NOT readme MATCHES "## Using the library.*\n```c\n(.*)\n```")
    message(FATAL_ERROR "no C example under \"## Using the library\" in ${README}")
  endif()
  # The first fenced block after the heading, not the last.
  string(FIND "${CMAKE_MATCH_1}" "\n```" end)
  string(SUBSTRING "${CMAKE_MATCH_1}" 0 ${end} example)
  file(WRITE ${step_dir}/example.c "${example}\n")
  file(WRITE ${step_dir}/example.cpp "${example}\n")
  pkg_config_flags(flags ${STAGE} inifile)
  run_step("compile the README example as C++" ${CXX_COMPILER} ${CXX_FLAGS} -std=c++17 -Wall
           -Wextra -Werror ${step_dir}/example.cpp ${flags} -o ${step_dir}/example)
  run_step("compile the README example as C" ${C_COMPILER} ${C_FLAGS} -std=c99 -Wall -Wextra
           -pedantic -Werror ${step_dir}/example.c ${flags} -o ${step_dir}/example)
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
    execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${STAGE}${LIBDIR}
                            ${step_dir}/example
                    WORKING_DIRECTORY ${step_dir} RESULT_VARIABLE run_status
                    OUTPUT_VARIABLE output ERROR_VARIABLE output)
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

elseif(STEP STREQUAL "abi")
  # The functions the library exports and the types they reach; what the
  # baseline records is the same whatever the tree's or the build's place.
  set(library ${STAGE}${LIBDIR}/libinifile.so.1)
  run_step("readelf -S" ${READELF} -S ${library})
  if(NOT step_output MATCHES "\\.debug_info")
    set(reason "${library} has no debug information; build with -g, as RelWithDebInfo does")
    if(UPDATE)
      message(FATAL_ERROR "${reason}")
    endif()
    message(STATUS "SKIPPED: ${reason}")
  elseif(UPDATE)
    run_step("abidw" ${ABIDW} --no-corpus-path --no-comp-dir-path --no-show-locs
             --out-file ${ABI_BASELINE} ${library})
    # The sources named as they stand in the tree, whatever its place or the
    # build's prefix map.
    file(READ ${ABI_BASELINE} abi)
    string(REPLACE "path='${SOURCE_DIR}/" "path='" abi "${abi}")
    string(REPLACE "path='./" "path='" abi "${abi}")
    file(WRITE ${ABI_BASELINE} "${abi}")
    message(STATUS "${ABI_BASELINE} now records the ABI of ${library}")
  elseif(NOT ABIDIFF)
    message(STATUS "SKIPPED: the ABI check needs abidiff (Debian package abigail-tools)")
  else()
    execute_process(COMMAND ${ABIDIFF} ${ABI_BASELINE} ${library}
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "the ABI of ${library} is not the one recorded in ${ABI_BASELINE} "
                          "(abidiff status ${result}):\n${output}\nA change that is meant "
                          "updates the baseline: cmake --build <build> --target abi-baseline")
    endif()
    message(STATUS "the ABI of ${library} is the one recorded in ${ABI_BASELINE}")
  endif()

elseif(STEP STREQUAL "side_by_side")
  string(COMPARE NOTEQUAL "${KIND}" shared other_shared)
  set(other_build ${step_dir}/other-build)
  run_step("configure the other build" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${other_build}
           ${BUILD_OPTIONS} ${INSTALL_DIRS} -DBUILD_SHARED_LIBS=${other_shared}
           -DOSTREL_BUILD_TESTS=OFF)
  run_step("build the other library" ${CMAKE_COMMAND} --build ${other_build} --target inifile)
  # This build first, then the other: a static build followed by a shared
  # one in one CI stage, the other way round in the other.
  set(stage ${step_dir}/stage)
  foreach(build ${BUILD_DIR} ${other_build})
    run_step("install ${build}" ${CMAKE_COMMAND} -E env DESTDIR=${stage}
             ${CMAKE_COMMAND} --install ${build} --component inifile)
  endforeach()
  cmake_consumer(${step_dir}/default ${stage} inifile::inifile shared)
  cmake_consumer(${step_dir}/static ${stage} inifile::inifile_static static)
  cmake_consumer(${step_dir}/shared ${stage} inifile::inifile_shared shared)
  c_consumer(${step_dir}/c_default ${stage} inifile shared)
  c_consumer(${step_dir}/c_static ${stage} inifile-static static)

elseif(STEP STREQUAL "subproject")
  set(build ${step_dir}/build)
  set(options ${BUILD_OPTIONS})
  list(TRANSFORM options REPLACE "^(-DCMAKE_CXX_FLAGS=.*)$" "\\1 -Wold-style-cast")
  run_step("configure the consumer with the source tree" ${CMAKE_COMMAND} -S ${CONSUMER_DIR}
           -B ${build} ${options}
           -DINIFILE_SOURCE_DIR=${SOURCE_DIR} -DBUILD_SHARED_LIBS=${shared}
           -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)
  run_step("build the consumer and the library" ${CMAKE_COMMAND} --build ${build})
  # The consumer's source and the library's alone, each compiled with the
  # consumer's flags and no -Werror.
  file(STRINGS ${build}/compile_commands.json commands REGEX "\"command\": ")
  file(STRINGS ${build}/compile_commands.json sources REGEX "\"file\": ")
  list(TRANSFORM sources REPLACE "^.*\"file\": \"([^\"]*)\".*$" "\\1")
  list(REMOVE_ITEM sources ${CONSUMER_DIR}/main.cpp)
  set(foreign ${sources})
  list(FILTER foreign EXCLUDE REGEX "^${SOURCE_DIR}/(inifile|platform)/")
  if(NOT sources OR foreign)
    message(FATAL_ERROR "the sub-project compiles [${foreign}] beside the library [${sources}]")
  endif()
  set(unlike ${commands})
  list(FILTER unlike EXCLUDE REGEX " -Wold-style-cast ")
  if(unlike OR commands MATCHES "-Werror[ \"]")
    message(FATAL_ERROR "the sub-project compiles without the consumer's flags or with -Werror:"
                        "\n${commands}")
  endif()
  run_step("run the consumer" ${build}/inifile_consumer ${step_dir}/saved.ini)

else()
  message(FATAL_ERROR "unknown STEP \"${STEP}\"")
endif()
