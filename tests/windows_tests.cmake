# SPDX-License-Identifier: MIT
# Checks that only the Windows build can make; under Wine when built on Linux.

# ostrel-install.exe must start on a bare Windows: it may import only DLLs that
# every Windows system has, its C and C++ runtimes being linked in.
set(ostrel_check_imports -DOBJDUMP=${CMAKE_OBJDUMP} -P ${CMAKE_CURRENT_SOURCE_DIR}/check_imports.cmake)
add_test(NAME windows_installer_imports_only_system_dlls
         COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:ostrel-install> ${ostrel_check_imports})

# The check itself must catch a program that needs the MinGW runtime DLLs:
# this one is linked without -static.
add_executable(dynamic_runtime_probe dynamic_runtime_probe.cpp)
set_property(TARGET dynamic_runtime_probe PROPERTY LINK_OPTIONS "")
add_test(NAME windows_import_check_catches_runtime_dlls
         COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:dynamic_runtime_probe>
                 ${ostrel_check_imports})
set_tests_properties(windows_import_check_catches_runtime_dlls PROPERTIES
  PASS_REGULAR_EXPRESSION "imports DLLs that Windows does not have: [^\n]*libstdc\\+\\+-6\\.dll")

# What Windows reads from the executable, and the release archive.
ostrel_add_test(windows_resources_test windows_resources_test.cpp)
target_link_libraries(windows_resources_test PRIVATE ostrel_installer_support version)
target_compile_definitions(windows_resources_test PRIVATE OSTREL_VERSION="${PROJECT_VERSION}")

get_target_property(ostrel_release_zip release OSTREL_ARCHIVE)
get_target_property(ostrel_release_executable release OSTREL_EXECUTABLE)
add_test(NAME windows_release_archive_holds_the_executable_and_readme
         COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DOBJDUMP=${CMAKE_OBJDUMP}
                 -DEXECUTABLE=${ostrel_release_executable} -DZIP=${ostrel_release_zip}
                 -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/release-archive
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/release_archive_test.cmake)

# The signed release, with a throwaway certificate: it verifies, signs alike
# twice, rebuilds from a fresh clone and its detached signature, and still
# installs under Wine. This test and the one above build targets of this
# tree, which two runs of make at once could both rebuild.
if(CMAKE_CROSSCOMPILING_EMULATOR MATCHES "wine-run\\.sh")
  get_target_property(ostrel_signed_zip release-signed OSTREL_ARCHIVE)
  add_test(NAME windows_signed_release_verifies_rebuilds_and_installs
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/signed_release_test.sh ${PROJECT_BINARY_DIR}
                   ${ostrel_signed_zip} $<TARGET_FILE:windows_resources_test>
                   ${CMAKE_CROSSCOMPILING_EMULATOR})
  set_tests_properties(windows_signed_release_verifies_rebuilds_and_installs
                       windows_release_archive_holds_the_executable_and_readme
                       PROPERTIES RESOURCE_LOCK ostrel_build_tree)
endif()

# Two drives for the cases about a root at the top of a drive, and a small
# one that fills up, a tmpfs (mounted only when the tests run as root). Wine takes
# drive letters from symbolic links in its prefix's dosdevices directory, so
# under wine-run.sh each drive is mapped to a fresh scratch directory before
# the cases and unmapped after them; elsewhere the cases skip.
set(ostrel_top_drive O)
set(ostrel_current_drive P)
set(ostrel_small_drive Q)
set(ostrel_drive_fixture)
if(CMAKE_CROSSCOMPILING_EMULATOR MATCHES "wine-run\\.sh")
  list(GET CMAKE_CROSSCOMPILING_EMULATOR 1 ostrel_wine_prefix)
  foreach(action map unmap)
    add_test(NAME windows_drives_${action}
             COMMAND ${CMAKE_COMMAND} -DACTION=${action} -DPREFIX=${ostrel_wine_prefix}
                     -DDRIVES=${ostrel_top_drive},${ostrel_current_drive},${ostrel_small_drive}
                     -DSMALL_DRIVE=${ostrel_small_drive} -DSMALL_SIZE=1m
                     -DDIRECTORY=${CMAKE_CURRENT_BINARY_DIR}/drives
                     -P ${CMAKE_CURRENT_SOURCE_DIR}/wine_drives.cmake)
  endforeach()
  set_tests_properties(windows_drives_map PROPERTIES FIXTURES_SETUP ostrel_drives)
  set_tests_properties(windows_drives_unmap PROPERTIES FIXTURES_CLEANUP ostrel_drives)
  set(ostrel_drive_fixture FIXTURES_REQUIRED ostrel_drives)
endif()
# The cases of the small drive fill it up, so they take turns.
add_executable(windows_behaviour_test windows_behaviour_test.cpp)
target_link_libraries(windows_behaviour_test PRIVATE GTest::gtest_main ostrel_warnings
                                                     ostrel_installer_support
                                                     ostrel_installer_platform)
ostrel_discover_tests(windows_behaviour_test TEST_FILTER "*-SmallDrive.*"
                      PROPERTIES ${ostrel_drive_fixture})
ostrel_discover_tests(windows_behaviour_test TEST_FILTER "SmallDrive.*"
                      PROPERTIES ${ostrel_drive_fixture} RESOURCE_LOCK ostrel_small_drive)
target_compile_definitions(windows_behaviour_test PRIVATE
  OSTREL_TOP_DRIVE="${ostrel_top_drive}:" OSTREL_CURRENT_DRIVE="${ostrel_current_drive}:"
  OSTREL_SMALL_DRIVE="${ostrel_small_drive}:")

# Wine refuses to write a read-only file only to users other than root, so
# the read-only cases skip when the tests run as root. This runs them once
# more as the user nobody; it fails when they skip or fail there.
if(CMAKE_CROSSCOMPILING_EMULATOR MATCHES "wine-run\\.sh")
  list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 ostrel_wine_run)
  add_test(NAME WindowsBehaviourAsAnotherUser.ReadOnlyTargets
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine_as_nobody.sh ${ostrel_wine_run}
                   ${CMAKE_CURRENT_BINARY_DIR}/wine-as-nobody
                   $<TARGET_FILE:windows_behaviour_test> --gtest_filter=WindowsBehaviour.ReadOnly*)
  set_tests_properties(WindowsBehaviourAsAnotherUser.ReadOnlyTargets PROPERTIES
    SKIP_RETURN_CODE 77
    FAIL_REGULAR_EXPRESSION "\\[  SKIPPED \\]|\\[  PASSED  \\] 0 tests|${ostrel_wine_crash}")
endif()

# The installer with names that are not ASCII, once in code page 1252, the
# default, and once in 932, which Wine takes from the locale ja_JP.UTF-8.
add_executable(windows_text_test windows_text_test.cpp)
target_link_libraries(windows_text_test PRIVATE GTest::gtest_main ostrel_warnings
                                                ostrel_installer_support ostrel_installer_platform)
ostrel_discover_tests(windows_text_test TEST_FILTER "CodePage1252.*")
ostrel_discover_tests(windows_text_test TEST_FILTER "CodePage932.*"
                      PROPERTIES ENVIRONMENT LC_ALL=ja_JP.UTF-8)

# The installer's messages on a terminal, through Wine's console: tmux gives
# it one.
if(CMAKE_CROSSCOMPILING_EMULATOR MATCHES "wine-run\\.sh")
  add_test(NAME windows_console_shows_messages_as_typed
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows_console_test.sh
                   ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:ostrel-install>)
  set_tests_properties(windows_console_shows_messages_as_typed PROPERTIES SKIP_RETURN_CODE 77)
endif()
