/* SPDX-License-Identifier: MIT */
/* Helpers shared by the library's sources; not part of the public header. */
#ifndef OSTREL_INIFILE_INI_INTERNAL_H
#define OSTREL_INIFILE_INI_INTERNAL_H

#include <stddef.h>

#include "inifile.h"

/* C linkage, as for the public functions: every name the archive defines is
 * the plain name it has here. */
extern "C" {

/* Grows a pointer array by INI_GROW_STEP slots. Returns 0, or -1 with the
 * array and capacity unchanged when out of memory or when the capacity would
 * pass INT32_MAX. */
int ini_grow_pointer_array(void ***array, int32_t *capacity);

/* A new empty section that takes ownership of name, a heap string; null when
 * out of memory, name then still owned by the caller. */
IniSection *ini_new_section_owning_name(char *name);

/* Appends section without looking up its name. Returns 0, or -1 when out of
 * memory, the document then unchanged. */
int ini_append_section(IniDocument *doc, IniSection *section);

/* Appends an entry over the block that key starts, value pointing into it,
 * without looking up the key. Returns 0, or -1 when out of memory, the section
 * then unchanged and the block still owned by the caller. */
int ini_append_entry(IniSection *section, char *key, char *value);

/* Reads up to size bytes of an open file into buffer, as ini_platform_read
 * does: the count delivered, 0 at the end, or -1 when the read fails. The
 * loader only hands file back to it, so it may stand for anything. */
typedef int32_t (*IniReadFunction)(intptr_t file, void *buffer, uint32_t size);

/* The bytes the loader asks for per read of a file, a buffer it keeps on
 * the stack: enough that the system calls cost little beside the bytes,
 * and never the whole file, which a load never holds at once. */
enum { INI_LOAD_BUFFER_SIZE = 64 * 1024 };

/* The loader once the file is open: reads file through read, asking for
 * INI_LOAD_BUFFER_SIZE bytes at a time; returns and reports as
 * ini_load_file_with_result does, which is this over an open file. The
 * file stays open. The tests also load through it from memory, with reads
 * as short as they choose, to reach every edge between reads in one
 * process. */
IniDocument *ini_load_from(intptr_t file, IniReadFunction read, IniLoadResult *result,
                           int32_t *line);
}

#endif
