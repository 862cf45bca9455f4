# SPDX-License-Identifier: MIT
# cmake -DOBJDUMP=<objdump for the target> -DPROGRAM=<program.exe> -P check_imports.cmake
#
# Fails unless every DLL that PROGRAM imports is one that every Windows system
# has: KERNEL32.dll, msvcrt.dll, ucrtbase.dll or an api-ms-win-crt-*.dll,
# compared without regard to case. A program that needs anything else, such
# as the MinGW runtime DLLs, does not start without them beside it.
cmake_minimum_required(VERSION 3.21)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} RESULT_VARIABLE result OUTPUT_VARIABLE dump
                ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed (${result}): ${errors}")
endif()

string(REGEX MATCHALL "DLL Name: [^\r\n]+" import_lines "${dump}")
set(imports)
set(foreign)
foreach(line IN LISTS import_lines)
  string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  list(APPEND imports ${dll})
  string(TOLOWER "${dll}" lower)
  if(NOT lower MATCHES "^(kernel32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
    list(APPEND foreign ${dll})
  endif()
endforeach()

string(TOLOWER "${imports}" lower_imports)
if(NOT "kernel32.dll" IN_LIST lower_imports)
  message(FATAL_ERROR "${PROGRAM}: no import of KERNEL32.dll found, so this is no Windows "
                      "program or ${OBJDUMP} does not read it:\n${dump}")
endif()
if(foreign)
  list(JOIN foreign ", " foreign)
  # NOTICE prints the line as it is, unwrapped, for tests to match.
  message(NOTICE "${PROGRAM} imports DLLs that Windows does not have: ${foreign}")
  message(FATAL_ERROR "${PROGRAM} would need those DLLs beside it")
endif()
list(JOIN imports ", " imports)
message(STATUS "${PROGRAM} imports only system DLLs: ${imports}")
