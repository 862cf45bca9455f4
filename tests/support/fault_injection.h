/* SPDX-License-Identifier: MIT */
/* The one seam through which tests make allocations and file operations
 * fail, end the process in the middle of saving a file, and give the installer the answers of its
 * platform.
 *
 * A test program that links fault_injection.cpp is linked with the GNU
 * linker's --wrap for malloc, realloc, the file layer's reads, writes,
 * flushes, closes and the steps of a replacement, and
 * installer_platform_executable_path, installer_platform_owns_console_window and
 * installer_platform_full_directory (see
 * tests/unit_tests.cmake). Every call
 * to them from the program's own
 * objects and static libraries then passes through the wrappers defined
 * there, which call the real function unless a test armed a fault. The
 * library and the platform layer carry no test code of their own.
 *
 * Faults are armed and counted only while watching (fault_start to
 * fault_stop), so that the test's own allocations and gtest's stay out of the
 * count: watch nothing but the call under test. Every function here is for one
 * thread; nothing is locked. */
#ifndef OSTREL_TESTS_SUPPORT_FAULT_INJECTION_H
#define OSTREL_TESTS_SUPPORT_FAULT_INJECTION_H

#include <stddef.h>
#include <stdint.h>

/* The calls of the file layer that a test can count, make fail, or end the
 * process at. */
enum FaultCall {
    FAULT_CALL_WRITE, /* ini_platform_write */
    FAULT_CALL_FLUSH, /* ini_platform_flush */
    FAULT_CALL_CLOSE, /* ini_platform_close */
    FAULT_CALL_MOVE,  /* ini_platform_move_into_place */
    FAULT_CALL_KINDS
};

/* What the chosen write does before it reports failure. */
enum FaultWrite {
    FAULT_WRITE_NOTHING,      /* writes no byte */
    FAULT_WRITE_ALL_BUT_LAST, /* writes every byte but the last */
};

/* Disarms every fault and zeroes every count. */
void fault_reset();

/* Starts and stops watching. */
void fault_start();
void fault_stop();

/* Watches one call and returns its result. */
template <typename Call> auto fault_watch(Call call)
{
    fault_start();
    auto result = call();
    fault_stop();
    return result;
}

/* Makes the allocation (malloc or realloc) countdown allocations from the
 * start of watching fail (0: the first), once. */
void fault_fail_allocation(long countdown);

/* Whether the armed allocation failure has happened. */
bool fault_allocation_failed();

/* The allocations made while watching. */
long fault_allocations();

/* Makes every read deliver at most most bytes (0: no limit). */
void fault_limit_reads(uint32_t most);

/* Makes the read countdown reads from the start of watching fail (-1), once;
 * later reads go on from where the file stands. */
void fault_fail_read(long countdown);

/* Makes the write countdown writes from the start of watching fail, once,
 * after doing what how says. */
void fault_fail_write(long countdown, FaultWrite how);

/* Makes the call of kind call countdown calls of that kind from the start
 * of watching fail, once: a write writes nothing, a flush or a move does
 * nothing, a close closes the file; each then reports failure. */
void fault_fail_call(FaultCall call, long countdown);

/* Makes the process end, as far as its files can tell, at the call of kind
 * call countdown calls of that kind from the start of watching: that call
 * and every later call of the file layer that would change a file (begin a
 * replacement, write, flush, move, remove a temporary) do nothing and fail.
 * Files are still closed, as the system closes them when a process ends. */
void fault_end_at_call(FaultCall call, long countdown);

/* The calls of kind call made while watching. */
long fault_calls(FaultCall call);

/* Makes installer_platform_executable_path put path into its buffer (when it fits) and
 * return result; a null path restores the real one. Not undone by
 * fault_reset. */
void fault_report_executable_path(const char *path, uint32_t result);

/* Makes installer_platform_owns_console_window return answer (0 or 1); -1
 * restores the real one. Not undone by fault_reset. */
void fault_report_own_console_window(int answer);

/* Makes installer_platform_full_directory fail when fails is true, as when
 * the current directory cannot be had; false restores the real one. Not
 * undone by fault_reset. */
void fault_fail_full_directory(bool fails);

#endif
