# SPDX-License-Identifier: MIT
# Whether the tests are built, and the GoogleTest they need: a native build
# takes the installed one (Debian package libgtest-dev); a cross-compiled
# build, for whose target none is prebuilt, builds its sources,
# OSTREL_GOOGLETEST_SOURCE_DIR (Debian package googletest). Asked for with
# -DOSTREL_BUILD_TESTS=ON, as the presets and CI do, the tests stop the
# configuration where GoogleTest is missing. Otherwise a top-level build has
# them where it is found, and says once why not where it is not: the library
# needs nothing but a compiler.
set(OSTREL_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest's sources, which the tests of a cross-compiled build build")
if(DEFINED OSTREL_BUILD_TESTS)
  set(ostrel_googletest_wanted REQUIRED)
else()
  set(OSTREL_BUILD_TESTS ${PROJECT_IS_TOP_LEVEL})
  set(ostrel_googletest_wanted QUIET)
endif()
if(OSTREL_BUILD_TESTS AND NOT CMAKE_CROSSCOMPILING)
  find_package(GTest ${ostrel_googletest_wanted})
  set(ostrel_googletest_found ${GTest_FOUND})
  set(ostrel_googletest_missing "GoogleTest (Debian package libgtest-dev) was not found")
elseif(OSTREL_BUILD_TESTS)
  if(EXISTS ${OSTREL_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
    set(ostrel_googletest_found ON)
  else()
    set(ostrel_googletest_found OFF)
    string(CONCAT ostrel_googletest_missing "their build needs GoogleTest's sources "
                  "(Debian package googletest) in ${OSTREL_GOOGLETEST_SOURCE_DIR}")
  endif()
  if(NOT ostrel_googletest_found AND ostrel_googletest_wanted STREQUAL "REQUIRED")
    message(FATAL_ERROR "The tests cannot be built: ${ostrel_googletest_missing} "
                        "(OSTREL_GOOGLETEST_SOURCE_DIR)")
  endif()
endif()
if(OSTREL_BUILD_TESTS AND NOT ostrel_googletest_found)
  message(STATUS "The tests are off: ${ostrel_googletest_missing}; -DOSTREL_BUILD_TESTS=ON "
                 "makes that an error")
  set(OSTREL_BUILD_TESTS OFF)
endif()
