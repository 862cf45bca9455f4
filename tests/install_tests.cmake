# The release artifacts: `cmake --install` into a scratch prefix, and a
# separate project that finds the installed inifile package and links it.
if(NOT OSTREL_INSTALL)
  return()
endif()
add_test(NAME install_gives_a_usable_inifile_package
         COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
                 -DCONSUMER_DIR=${CMAKE_CURRENT_SOURCE_DIR}/consumer
                 -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/install-consumer
                 -DCXX_COMPILER=${CMAKE_CXX_COMPILER}
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/install_consumer_test.cmake)
