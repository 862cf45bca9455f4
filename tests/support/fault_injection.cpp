/* SPDX-License-Identifier: MIT */
/* The wrappers behind fault_injection.h. The linker's --wrap=NAME sends every
 * reference to NAME from another object here, to the symbol __wrap_NAME, and
 * lets __real_NAME reach the real NAME. Those symbols are given below as
 * assembler names, so that no C++ identifier holds "__".
 */
#include "support/fault_injection.h"

#include <stddef.h>
#include <string.h>

#include "platform/installer_platform.h"
#include "platform/platform_replace.h"

#define FAULT_STRINGIFY(text) #text
#define FAULT_EXPANDED_STRING(text) FAULT_STRINGIFY(text)
/* The assembler name of a linker symbol: the target's label prefix, then the
 * name. */
#define FAULT_ASM_NAME(name) FAULT_EXPANDED_STRING(__USER_LABEL_PREFIX__) name

/* Declares the two ends of one wrapped function: fault_real_NAME, the real
 * one, and fault_wrapped_NAME, the wrapper defined below. */
#define FAULT_WRAPPED(result, name, parameters)                                                    \
    result fault_real_##name parameters __asm__(FAULT_ASM_NAME("__real_" #name));                  \
    result fault_wrapped_##name parameters __asm__(FAULT_ASM_NAME("__wrap_" #name));

/* Every function the seam wraps, as tests/unit_tests.cmake lists them. */
extern "C" {
FAULT_WRAPPED(void *, malloc, (size_t size))
FAULT_WRAPPED(void *, realloc, (void *block, size_t size))
FAULT_WRAPPED(int32_t, ini_platform_read, (IniPlatformFile file, void *buffer, uint32_t size))
FAULT_WRAPPED(int, ini_platform_write, (IniPlatformFile file, const void *data, uint32_t size))
FAULT_WRAPPED(int, ini_platform_flush, (IniPlatformFile file))
FAULT_WRAPPED(int, ini_platform_close, (IniPlatformFile file))
FAULT_WRAPPED(int, ini_platform_begin_replace,
              (const char *target, const char *model, int may_write_in_place,
               IniPlatformReplacement *replacement))
FAULT_WRAPPED(int, ini_platform_move_into_place, (const IniPlatformReplacement *replacement))
FAULT_WRAPPED(void, ini_platform_remove_temporary, (const IniPlatformReplacement *replacement))
FAULT_WRAPPED(uint32_t, installer_platform_executable_path, (char *buffer, uint32_t size))
FAULT_WRAPPED(int, installer_platform_owns_console_window, (void))
FAULT_WRAPPED(int, installer_platform_full_directory,
              (const char *directory, char *buffer, uint32_t size))
}

static bool fault_watching;
static long fault_allocation_countdown = -1;
static bool fault_allocation_happened;
static long fault_allocation_count;
static uint32_t fault_read_limit;
static long fault_read_countdown = -1;
static FaultWrite fault_write_how;
static long fault_call_countdowns[FAULT_CALL_KINDS] = {-1, -1, -1, -1};
static long fault_call_counts[FAULT_CALL_KINDS];
static bool fault_call_ends; /* the armed call ends the process rather than failing */
static bool fault_process_ended;

/* Counts one allocation and tells whether it is the one to fail. */
static bool fault_allocation_fails()
{
    fault_allocation_count++;
    if (fault_allocation_countdown >= 0 && fault_allocation_countdown-- == 0) {
        fault_allocation_happened = true;
        return true;
    }
    return false;
}

void *fault_wrapped_malloc(size_t size)
{
    return fault_watching && fault_allocation_fails() ? NULL : fault_real_malloc(size);
}

void *fault_wrapped_realloc(void *block, size_t size)
{
    return fault_watching && fault_allocation_fails() ? NULL : fault_real_realloc(block, size);
}

int32_t fault_wrapped_ini_platform_read(IniPlatformFile file, void *buffer, uint32_t size)
{
    if (fault_watching) {
        if (fault_read_countdown >= 0 && fault_read_countdown-- == 0) {
            return -1;
        }
        if (fault_read_limit != 0 && size > fault_read_limit) {
            size = fault_read_limit;
        }
    }
    return fault_real_ini_platform_read(file, buffer, size);
}

/* Counts one call of kind call and tells whether it is to do nothing and
 * fail: the armed one, or any once the process has ended. */
static bool fault_call_fails(FaultCall call)
{
    if (!fault_watching) {
        return false;
    }
    fault_call_counts[call]++;
    if (fault_call_countdowns[call] >= 0 && fault_call_countdowns[call]-- == 0) {
        fault_process_ended = fault_call_ends;
        return true;
    }
    return fault_process_ended;
}

int fault_wrapped_ini_platform_write(IniPlatformFile file, const void *data, uint32_t size)
{
    if (fault_call_fails(FAULT_CALL_WRITE)) {
        if (!fault_process_ended && fault_write_how == FAULT_WRITE_ALL_BUT_LAST && size > 1) {
            fault_real_ini_platform_write(file, data, size - 1);
        }
        return 0;
    }
    return fault_real_ini_platform_write(file, data, size);
}

int fault_wrapped_ini_platform_flush(IniPlatformFile file)
{
    return fault_call_fails(FAULT_CALL_FLUSH) ? 0 : fault_real_ini_platform_flush(file);
}

int fault_wrapped_ini_platform_close(IniPlatformFile file)
{
    bool fails = fault_call_fails(FAULT_CALL_CLOSE);
    int closed = fault_real_ini_platform_close(file);
    return fails ? 0 : closed;
}

int fault_wrapped_ini_platform_move_into_place(const IniPlatformReplacement *replacement)
{
    return fault_call_fails(FAULT_CALL_MOVE) ? 0
                                             : fault_real_ini_platform_move_into_place(replacement);
}

int fault_wrapped_ini_platform_begin_replace(const char *target, const char *model,
                                             int may_write_in_place,
                                             IniPlatformReplacement *replacement)
{
    if (fault_process_ended) {
        return 0;
    }
    return fault_real_ini_platform_begin_replace(target, model, may_write_in_place, replacement);
}

void fault_wrapped_ini_platform_remove_temporary(const IniPlatformReplacement *replacement)
{
    if (!fault_process_ended) {
        fault_real_ini_platform_remove_temporary(replacement);
    }
}

void fault_reset()
{
    fault_watching = false;
    fault_allocation_countdown = -1;
    fault_allocation_happened = false;
    fault_allocation_count = 0;
    fault_read_limit = 0;
    fault_read_countdown = -1;
    fault_write_how = FAULT_WRITE_NOTHING;
    for (int call = 0; call < FAULT_CALL_KINDS; call++) {
        fault_call_countdowns[call] = -1;
        fault_call_counts[call] = 0;
    }
    fault_call_ends = false;
    fault_process_ended = false;
}

void fault_start()
{
    fault_watching = true;
}

void fault_stop()
{
    fault_watching = false;
}

void fault_fail_allocation(long countdown)
{
    fault_allocation_countdown = countdown;
    fault_allocation_happened = false;
}

bool fault_allocation_failed()
{
    return fault_allocation_happened;
}

long fault_allocations()
{
    return fault_allocation_count;
}

void fault_limit_reads(uint32_t most)
{
    fault_read_limit = most;
}

void fault_fail_read(long countdown)
{
    fault_read_countdown = countdown;
}

void fault_fail_write(long countdown, FaultWrite how)
{
    fault_fail_call(FAULT_CALL_WRITE, countdown);
    fault_write_how = how;
}

void fault_fail_call(FaultCall call, long countdown)
{
    fault_call_countdowns[call] = countdown;
    fault_call_ends = false;
}

void fault_end_at_call(FaultCall call, long countdown)
{
    fault_call_countdowns[call] = countdown;
    fault_call_ends = true;
}

long fault_calls(FaultCall call)
{
    return fault_call_counts[call];
}

/* The executable path the wrapper reports instead of the real one; null: the
 * real one. */
static const char *fault_executable_path_text;
static uint32_t fault_executable_path_result;

uint32_t fault_wrapped_installer_platform_executable_path(char *buffer, uint32_t size)
{
    if (fault_executable_path_text == NULL) {
        return fault_real_installer_platform_executable_path(buffer, size);
    }
    size_t length = strlen(fault_executable_path_text);
    if (length < size) {
        memcpy(buffer, fault_executable_path_text, length + 1);
    }
    return fault_executable_path_result;
}

void fault_report_executable_path(const char *path, uint32_t result)
{
    fault_executable_path_text = path;
    fault_executable_path_result = result;
}

static int fault_own_console_window = -1;

int fault_wrapped_installer_platform_owns_console_window(void)
{
    return fault_own_console_window < 0 ? fault_real_installer_platform_owns_console_window()
                                        : fault_own_console_window;
}

void fault_report_own_console_window(int answer)
{
    fault_own_console_window = answer;
}

static bool fault_full_directory_fails = false;

int fault_wrapped_installer_platform_full_directory(const char *directory, char *buffer,
                                                    uint32_t size)
{
    return fault_full_directory_fails
               ? 0
               : fault_real_installer_platform_full_directory(directory, buffer, size);
}

void fault_fail_full_directory(bool fails)
{
    fault_full_directory_fails = fails;
}
