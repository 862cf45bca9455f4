/* SPDX-License-Identifier: MIT */
/* Loading from bytes in memory, through the loader's internal entry
 * ini_load_from: no file, no system call, and reads as short as a test
 * wants. */
#ifndef OSTREL_TESTS_SUPPORT_MEMORY_FILE_H
#define OSTREL_TESTS_SUPPORT_MEMORY_FILE_H

#include "inifile/ini_internal.h"

#include <stddef.h>
#include <stdint.h>

/* Loads the size bytes at bytes as ini_load_file_with_result loads a file
 * holding them, each read delivering at most most bytes (0: as many as asked
 * for). */
IniDocument *load_from_memory(const char *bytes, size_t size, uint32_t most, IniLoadResult *result,
                              int32_t *line);

#endif
