# SPDX-License-Identifier: MIT
# End-to-end cases: the installer executable is run as a child process over
# distribution trees made in temporary directories.
ostrel_add_test(installer_end_to_end_test
  installer_entry_end_to_end_test.cpp
  installer_manifest_end_to_end_test.cpp
  installer_deployment_end_to_end_test.cpp
  installer_path_length_end_to_end_test.cpp)
target_link_libraries(installer_end_to_end_test PRIVATE ostrel_installer_support)

# The installer's files under real system calls, which strace shows and
# tampers with: Linux alone.
if(NOT WIN32)
  ostrel_add_test(installer_posix_end_to_end_test installer_posix_end_to_end_test.cpp)
  target_link_libraries(installer_posix_end_to_end_test PRIVATE ostrel_installer_support)
endif()
