# What `cmake --install` gives a user of the library: the build is installed
# into a scratch prefix once, then each test takes it as a consumer would.
if(NOT OSTREL_INSTALL)
  return()
endif()
enable_language(C) # for the C consumers

set(ostrel_install_work ${CMAKE_CURRENT_BINARY_DIR}/install)
set(ostrel_install_test ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
    -DWORK_DIR=${ostrel_install_work} -DPREFIX=${ostrel_install_work}/prefix
    -DLIBDIR=${CMAKE_INSTALL_LIBDIR} -DNM=${CMAKE_NM} -DWITH_INSTALLER=${OSTREL_INSTALL_INSTALLER}
    -DCONSUMER_DIR=${CMAKE_CURRENT_SOURCE_DIR}/consumer -DREADME=${PROJECT_SOURCE_DIR}/README.md
    -DC_COMPILER=${CMAKE_C_COMPILER} -DCXX_COMPILER=${CMAKE_CXX_COMPILER})
set(ostrel_install_script -P ${CMAKE_CURRENT_SOURCE_DIR}/install_test.cmake)

add_test(NAME install_into_a_scratch_prefix COMMAND ${ostrel_install_test} -DSTEP=install
                                                   ${ostrel_install_script})
set_tests_properties(install_into_a_scratch_prefix PROPERTIES FIXTURES_SETUP ostrel_installed)

set(ostrel_install_steps symbols)
if(NOT CMAKE_CROSSCOMPILING)
  list(APPEND ostrel_install_steps cmake_consumer c_consumer readme_example)
endif()
foreach(step ${ostrel_install_steps})
  add_test(NAME install_${step} COMMAND ${ostrel_install_test} -DSTEP=${step} ${ostrel_install_script})
  set_tests_properties(install_${step} PROPERTIES FIXTURES_REQUIRED ostrel_installed)
endforeach()
