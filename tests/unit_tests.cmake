# SPDX-License-Identifier: MIT
# Unit tests of the INI library, the platform layer and the installer's steps
# in-process: one program per area. ini_fault_test, installer_fault_test and
# installer_entry_test are the only programs linked with the test seam.

ostrel_add_test(ini_document_test ini_document_test.cpp)
target_link_libraries(ini_document_test PRIVATE ostrel_test_support)

ostrel_add_test(ini_load_test ini_load_test.cpp)
target_link_libraries(ini_load_test PRIVATE ostrel_test_support)

ostrel_add_test(ini_save_test ini_save_test.cpp)
target_link_libraries(ini_save_test PRIVATE ostrel_test_support)
ostrel_add_test(platform_test platform_test.cpp)
target_link_libraries(platform_test PRIVATE ostrel_test_support ostrel_installer_platform)

# ostrel_link_fault_injection(TARGET): links the seam into one test program. It
# wraps malloc, realloc and the platform functions that
# support/fault_injection.cpp lists, for the programs that link it and for
# them alone.
function(ostrel_link_fault_injection target)
  target_sources(${target} PRIVATE support/fault_injection.cpp)
  target_link_libraries(${target} PRIVATE ostrel_installer_platform)
  target_link_options(${target} PRIVATE
    -Wl,--wrap=malloc -Wl,--wrap=realloc
    -Wl,--wrap=ini_platform_read -Wl,--wrap=ini_platform_write -Wl,--wrap=ini_platform_flush
    -Wl,--wrap=ini_platform_close -Wl,--wrap=ini_platform_begin_replace
    -Wl,--wrap=ini_platform_move_into_place -Wl,--wrap=ini_platform_remove_temporary
    -Wl,--wrap=installer_platform_executable_path
    -Wl,--wrap=installer_platform_owns_console_window
    -Wl,--wrap=installer_platform_full_directory)
endfunction()

ostrel_add_test(ini_fault_test ini_fault_test.cpp)
target_link_libraries(ini_fault_test PRIVATE ostrel_test_support)
ostrel_link_fault_injection(ini_fault_test)

ostrel_add_test(installer_fault_test installer_fault_test.cpp)
target_link_libraries(installer_fault_test PRIVATE ostrel_installer_support ostrel_installer_steps)
ostrel_link_fault_injection(installer_fault_test)

# The installer's entry in-process, the seam giving the platform's answers.
ostrel_add_test(installer_entry_test installer_entry_test.cpp)
target_link_libraries(installer_entry_test PRIVATE ostrel_test_support ostrel_installer_steps)
ostrel_link_fault_injection(installer_entry_test)

# What only POSIX systems can show, of the file layer and of the library.
if(NOT WIN32)
  ostrel_add_test(platform_posix_test platform_posix_test.cpp)
  target_link_libraries(platform_posix_test PRIVATE ostrel_test_support ostrel_installer_platform)
  ostrel_add_test(ini_posix_test ini_posix_test.cpp)
  target_link_libraries(ini_posix_test PRIVATE ostrel_test_support ostrel_installer_platform)
endif()

# The loader against the fuzzers' model over every short file: about 5 s in
# the native build and 100 s in the sanitizer build, which keeps it for the
# address and undefined-behaviour checks over its 21 million loads. Not under
# Wine, where emulation would make it the longest test by far for the same
# loader code.
if(NOT CMAKE_CROSSCOMPILING)
  ostrel_add_test(ini_load_exhaustive_test ini_load_exhaustive_test.cpp)
  target_link_libraries(ini_load_exhaustive_test PRIVATE ostrel_test_support)
endif()
