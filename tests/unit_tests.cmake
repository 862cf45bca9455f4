# Unit tests of the INI library and the platform layer: one program per area,
# plus ini_fault_test and installer_fault_test, the only programs linked with the
# fault-injection seam.

add_library(ostrel_test_support STATIC support/temp_dir.cpp support/ini_view.cpp)
target_include_directories(ostrel_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(ostrel_test_support PUBLIC inifile PRIVATE ostrel_warnings)

ostrel_add_test(ini_document_test ini_document_test.cpp)
target_link_libraries(ini_document_test PRIVATE ostrel_test_support)

ostrel_add_test(ini_load_test ini_load_test.cpp)
target_link_libraries(ini_load_test PRIVATE ostrel_test_support ostrel_platform)

ostrel_add_test(ini_save_test ini_save_test.cpp)
target_link_libraries(ini_save_test PRIVATE ostrel_test_support ostrel_platform)

ostrel_add_test(platform_test platform_test.cpp)
target_link_libraries(platform_test PRIVATE ostrel_test_support ostrel_platform)

# The fault-injection seam wraps malloc, realloc, free, platform_read and
# platform_write for this program alone. The platform functions are C++, so
# the linker knows them by their mangled names, which spell intptr_t's type:
# long on 64-bit POSIX, long long on 64-bit Windows, int on 32-bit targets.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ostrel_intptr_code x)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ostrel_intptr_code l)
else()
  set(ostrel_intptr_code i)
endif()
set(ostrel_read_symbol _Z13platform_read${ostrel_intptr_code}Pvj)
set(ostrel_write_symbol _Z14platform_write${ostrel_intptr_code}PKvj)

# ostrel_link_fault_injection(TARGET): links the seam into one test program.
function(ostrel_link_fault_injection target)
  target_sources(${target} PRIVATE support/fault_injection.cpp)
  target_compile_definitions(${target} PRIVATE
    FAULT_PLATFORM_READ_SYMBOL="${ostrel_read_symbol}"
    FAULT_PLATFORM_WRITE_SYMBOL="${ostrel_write_symbol}")
  target_link_options(${target} PRIVATE
    -Wl,--wrap=malloc -Wl,--wrap=realloc -Wl,--wrap=free
    -Wl,--wrap=${ostrel_read_symbol} -Wl,--wrap=${ostrel_write_symbol})
endfunction()

ostrel_add_test(ini_fault_test ini_fault_test.cpp)
target_link_libraries(ini_fault_test PRIVATE ostrel_test_support ostrel_platform)
ostrel_link_fault_injection(ini_fault_test)

ostrel_add_test(installer_fault_test installer_fault_test.cpp support/distribution.cpp)
target_link_libraries(installer_fault_test PRIVATE ostrel_test_support ostrel_installer_steps)
ostrel_link_fault_injection(installer_fault_test)

if(NOT WIN32)
  ostrel_add_test(platform_posix_test platform_posix_test.cpp)
  target_link_libraries(platform_posix_test PRIVATE ostrel_test_support ostrel_platform)
endif()
