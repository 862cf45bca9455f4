# SPDX-License-Identifier: MIT
# Sanitizer and fuzzing builds. Included before any target is defined, so the
# flags reach every target of this project (libraries, the installer, tests,
# fuzz targets) and nothing outside it.

option(OSTREL_SANITIZE
       "Build with AddressSanitizer (leak checking included) and UndefinedBehaviorSanitizer; any report ends the program"
       OFF)
option(OSTREL_BUILD_FUZZERS "Build the libFuzzer targets in fuzz/ (Clang only; implies OSTREL_SANITIZE)"
       OFF)

if(OSTREL_SANITIZE OR OSTREL_BUILD_FUZZERS)
  if(WIN32)
    message(FATAL_ERROR "OSTREL_SANITIZE and OSTREL_BUILD_FUZZERS are for the native build only")
  endif()
  # -fno-sanitize-recover=all: undefined behaviour ends the program like an
  # address error does, so no report can scroll by unnoticed.
  set(ostrel_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all
                            -fno-omit-frame-pointer)
  add_compile_options(${ostrel_sanitize_flags})
  add_link_options(${ostrel_sanitize_flags})
endif()

if(OSTREL_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "OSTREL_BUILD_FUZZERS needs Clang (libFuzzer), e.g. -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Coverage feedback from all our code; only the fuzz targets link libFuzzer's
  # main (fuzz/CMakeLists.txt).
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
