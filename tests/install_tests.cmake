# What `cmake --install` gives a user of the library: the build is installed
# into a scratch prefix once, then each test takes it as a consumer would.
# The shared library is built apart, from the same sources with
# BUILD_SHARED_LIBS, installed into a prefix of its own and taken the same
# ways; natively its ABI is compared with the baseline in tests/abi/.
if(NOT OSTREL_INSTALL)
  return()
endif()
enable_language(C) # for the C consumers

set(ostrel_install_work ${CMAKE_CURRENT_BINARY_DIR}/install)
if(CMAKE_CROSSCOMPILING_EMULATOR)
  # A list, which one argument of the test command cannot carry as it is.
  string(REPLACE ";" "|" ostrel_install_emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
else()
  set(ostrel_install_emulator "")
endif()
find_program(OSTREL_ABIDIFF abidiff)
find_program(OSTREL_ABIDW abidw)
set(ostrel_install_test ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
    -DWORK_DIR=${ostrel_install_work} -DPREFIX=${ostrel_install_work}/prefix
    -DSHARED_PREFIX=${ostrel_install_work}/shared-prefix -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DLIBDIR=${CMAKE_INSTALL_LIBDIR} -DNM=${CMAKE_NM} -DOBJDUMP=${CMAKE_OBJDUMP}
    -DREADELF=${CMAKE_READELF} -DWITH_INSTALLER=${OSTREL_INSTALL_INSTALLER}
    -DCONSUMER_DIR=${CMAKE_CURRENT_SOURCE_DIR}/consumer -DREADME=${PROJECT_SOURCE_DIR}/README.md
    -DC_COMPILER=${CMAKE_C_COMPILER} -DCXX_COMPILER=${CMAKE_CXX_COMPILER}
    -DGENERATOR=${CMAKE_GENERATOR} -DTOOLCHAIN=${CMAKE_TOOLCHAIN_FILE}
    -DEMULATOR=${ostrel_install_emulator} -DABIDIFF=${OSTREL_ABIDIFF} -DABIDW=${OSTREL_ABIDW}
    -DABI_BASELINE=${CMAKE_CURRENT_SOURCE_DIR}/abi/libinifile.so.1.abi)
set(ostrel_install_script -P ${CMAKE_CURRENT_SOURCE_DIR}/install_test.cmake)

add_test(NAME install_into_a_scratch_prefix COMMAND ${ostrel_install_test} -DSTEP=install
                                                   ${ostrel_install_script})
set_tests_properties(install_into_a_scratch_prefix PROPERTIES FIXTURES_SETUP ostrel_installed)
add_test(NAME install_shared_into_a_scratch_prefix
         COMMAND ${ostrel_install_test} -DSTEP=shared_install ${ostrel_install_script})
set_tests_properties(install_shared_into_a_scratch_prefix PROPERTIES
                     FIXTURES_SETUP ostrel_shared_installed)

set(ostrel_install_steps symbols)
set(ostrel_shared_steps shared_symbols shared_cmake_consumer shared_c_consumer)
if(NOT CMAKE_CROSSCOMPILING)
  list(APPEND ostrel_install_steps cmake_consumer c_consumer readme_example)
  list(APPEND ostrel_shared_steps shared_abi)
endif()
foreach(step ${ostrel_install_steps})
  add_test(NAME install_${step} COMMAND ${ostrel_install_test} -DSTEP=${step} ${ostrel_install_script})
  set_tests_properties(install_${step} PROPERTIES FIXTURES_REQUIRED ostrel_installed)
endforeach()
foreach(step ${ostrel_shared_steps})
  add_test(NAME install_${step} COMMAND ${ostrel_install_test} -DSTEP=${step} ${ostrel_install_script})
  set_tests_properties(install_${step} PROPERTIES FIXTURES_REQUIRED ostrel_shared_installed)
endforeach()

# cmake --build build --target abi-baseline: writes the shared library's
# ABI as the new baseline, for a change to the interface that is meant.
if(NOT CMAKE_CROSSCOMPILING)
  add_custom_target(abi-baseline
    COMMAND ${ostrel_install_test} -DSTEP=shared_install ${ostrel_install_script}
    COMMAND ${ostrel_install_test} -DSTEP=shared_abi -DUPDATE=ON ${ostrel_install_script}
    VERBATIM)
endif()
