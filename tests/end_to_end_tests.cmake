# End-to-end cases: the installer executable is run as a child process over
# distribution trees made in temporary directories. The test program is built
# for the same platform as the installer; the process helper is chosen here.
if(NOT TARGET ostrel-install)
  message(STATUS "No ostrel-install target: the installer's end-to-end cases are left out")
  return()
endif()

if(WIN32)
  set(ostrel_process_source support/process_win32.cpp)
else()
  set(ostrel_process_source support/process_posix.cpp)
endif()

ostrel_add_test(installer_end_to_end_test
  installer_entry_end_to_end_test.cpp
  installer_manifest_end_to_end_test.cpp
  installer_deployment_end_to_end_test.cpp
  installer_path_length_end_to_end_test.cpp
  support/distribution.cpp
  support/installer_run.cpp
  support/process_common.cpp
  ${ostrel_process_source})
target_compile_definitions(installer_end_to_end_test
  PRIVATE OSTREL_INSTALLER_PATH="$<TARGET_FILE:ostrel-install>")
add_dependencies(installer_end_to_end_test ostrel-install)
