# SPDX-License-Identifier: MIT
# What `cmake --install` gives a user of the library: this build installs
# what it made, static or shared, with its own directories, into a staging
# directory as a package build does (DESTDIR); then each test takes it there
# as a consumer would (see install_test.cmake).
if(NOT OSTREL_INSTALL)
  return()
endif()
enable_language(C) # for the C consumers

# How this build was configured (its kind, ostrel_inifile_kind, comes from
# cmake/install.cmake), for the programs the tests build against it and for
# the build of the other kind that the side-by-side test installs. Lists go
# into one argument of the test command as a|b.
set(ostrel_build_options -G ${CMAKE_GENERATOR} -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER}
    -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER} -DCMAKE_C_FLAGS=${CMAKE_C_FLAGS}
    -DCMAKE_CXX_FLAGS=${CMAKE_CXX_FLAGS} -DCMAKE_EXE_LINKER_FLAGS=${CMAKE_EXE_LINKER_FLAGS}
    -DCMAKE_SHARED_LINKER_FLAGS=${CMAKE_SHARED_LINKER_FLAGS})
set(ostrel_install_dirs -DCMAKE_INSTALL_PREFIX=${CMAKE_INSTALL_PREFIX}
    -DCMAKE_INSTALL_LIBDIR=${CMAKE_INSTALL_LIBDIR} -DCMAKE_INSTALL_BINDIR=${CMAKE_INSTALL_BINDIR}
    -DCMAKE_INSTALL_INCLUDEDIR=${CMAKE_INSTALL_INCLUDEDIR})
foreach(list ostrel_build_options ostrel_install_dirs CMAKE_CROSSCOMPILING_EMULATOR)
  string(REPLACE ";" "|" ${list}_joined "${${list}}")
endforeach()

find_program(OSTREL_ABIDIFF abidiff)
find_program(OSTREL_ABIDW abidw)
set(ostrel_install_work ${CMAKE_CURRENT_BINARY_DIR}/install)
set(ostrel_install_test ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
    -DWORK_DIR=${ostrel_install_work} -DSTAGE=${ostrel_install_work}/stage
    -DKIND=${ostrel_inifile_kind} -DVERSION=${PROJECT_VERSION} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DPREFIX=${CMAKE_INSTALL_PREFIX} -DLIBDIR=${CMAKE_INSTALL_FULL_LIBDIR}
    -DINCLUDEDIR=${CMAKE_INSTALL_FULL_INCLUDEDIR} -DBINDIR=${CMAKE_INSTALL_FULL_BINDIR}
    "-DINSTALL_DIRS=${ostrel_install_dirs_joined}" -DNM=${CMAKE_NM} -DOBJDUMP=${CMAKE_OBJDUMP}
    -DREADELF=${CMAKE_READELF} -DWITH_INSTALLER=${OSTREL_INSTALL_INSTALLER}
    -DCONSUMER_DIR=${CMAKE_CURRENT_SOURCE_DIR}/consumer -DREADME=${PROJECT_SOURCE_DIR}/README.md
    -DC_COMPILER=${CMAKE_C_COMPILER} -DCXX_COMPILER=${CMAKE_CXX_COMPILER}
    "-DC_FLAGS=${CMAKE_C_FLAGS}" "-DCXX_FLAGS=${CMAKE_CXX_FLAGS}"
    "-DBUILD_OPTIONS=${ostrel_build_options_joined}"
    "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR_joined}" -DABIDIFF=${OSTREL_ABIDIFF}
    -DABIDW=${OSTREL_ABIDW} -DABI_BASELINE=${CMAKE_CURRENT_SOURCE_DIR}/abi/libinifile.so.1.abi)
set(ostrel_install_script -P ${CMAKE_CURRENT_SOURCE_DIR}/install_test.cmake)

add_test(NAME install_into_a_staging_directory COMMAND ${ostrel_install_test} -DSTEP=install
                                                       ${ostrel_install_script})
set_tests_properties(install_into_a_staging_directory PROPERTIES FIXTURES_SETUP ostrel_installed)

# A configuration of the sources without GoogleTest, which needs no build.
add_test(NAME configure_without_googletest COMMAND ${ostrel_install_test} -DSTEP=no_googletest
                                                   ${ostrel_install_script})

# Each step runs after the install; the side-by-side and sub-project steps
# also make builds of their own.
set(ostrel_install_steps symbols cmake_consumer c_consumer side_by_side prefix components)
if(NOT CMAKE_CROSSCOMPILING)
  list(APPEND ostrel_install_steps readme_example subproject)
  if(ostrel_inifile_kind STREQUAL "shared")
    list(APPEND ostrel_install_steps abi)
  endif()
endif()
foreach(step ${ostrel_install_steps})
  add_test(NAME install_${step} COMMAND ${ostrel_install_test} -DSTEP=${step} ${ostrel_install_script})
  set_tests_properties(install_${step} PROPERTIES FIXTURES_REQUIRED ostrel_installed)
endforeach()
if(TEST install_abi)
  set_tests_properties(install_abi PROPERTIES SKIP_REGULAR_EXPRESSION "-- SKIPPED: ")

  # cmake --build <shared build> --target abi-baseline: writes the shared
  # library's ABI as the new baseline, for a change to the interface that is
  # meant.
  add_custom_target(abi-baseline
    COMMAND ${ostrel_install_test} -DSTEP=install ${ostrel_install_script}
    COMMAND ${ostrel_install_test} -DSTEP=abi -DUPDATE=ON ${ostrel_install_script}
    VERBATIM)
  add_dependencies(abi-baseline inifile)
endif()
