/* SPDX-License-Identifier: MIT */
/* The steps of ini_platform_replace_file, private to the file layer:
 * platform_replace.cpp puts them in order once, over what each system's
 * source does. Nothing outside platform/ includes this header but the
 * tests' fault seam, which makes the steps fail. */
#ifndef OSTREL_PLATFORM_PLATFORM_REPLACE_H
#define OSTREL_PLATFORM_PLATFORM_REPLACE_H

#include "platform.h"

extern "C" {

enum {
    INI_PLATFORM_PATH_SIZE = 4096 /* the longest path a replacement keeps, NUL included */
};

/* One replacement under way. */
typedef struct IniPlatformReplacement {
    IniPlatformFile file; /* where the new content goes, open for writing */
    int in_place;         /* 1: file is the target itself, emptied, as for a device */
    int flushes;          /* 1: file is a file on disk, to be flushed before it counts */
    int keeps_bits;       /* 1: the new file takes permissions, owner and group below */
    uint32_t permissions; /* POSIX mode bits, or Win32 attributes */
    uint32_t owner;       /* POSIX user and group to keep, or UINT32_MAX: the caller's */
    uint32_t group;
    uint64_t last_write;                    /* Win32 FILETIME to give the new file; 0: now */
    uint32_t read_only_target;              /* Win32: the attributes of the read-only target a copy
                                             * replaces all the same; 0 when there is none */
    char target[INI_PLATFORM_PATH_SIZE];    /* the file replaced, symbolic links followed */
    char temporary[INI_PLATFORM_PATH_SIZE]; /* empty when in_place */
} IniPlatformReplacement;

/* Starts replacing target as ini_platform_replace_file says, filling in
 * replacement, which comes keeping nothing (zero, but owner and group
 * UINT32_MAX). Returns 1 with replacement->file open for writing, or 0 when
 * nothing can be created. */
int ini_platform_begin_replace(const char *target, const char *model, int may_write_in_place,
                               IniPlatformReplacement *replacement);

/* Makes file, open for writing, where the new content goes: the temporary,
 * or with in_place 1 the target itself; flushed before it counts when
 * flushes is 1. Returns 1, or 0 when file is INI_PLATFORM_NO_FILE. */
int ini_platform_write_to(IniPlatformReplacement *replacement, IniPlatformFile file, int in_place,
                          int flushes);

/* Results of ini_platform_move_into_place. */
enum {
    INI_PLATFORM_MOVED = 1,            /* the temporary is the target now, and on disk */
    INI_PLATFORM_MOVE_FAILED = 0,      /* the target is as it was */
    INI_PLATFORM_MOVED_UNFLUSHED = -1, /* moved, but the directory's flush failed */
    INI_PLATFORM_MOVE_REFUSED = 2,     /* the system refuses to replace the target for
                                        * good: the target is as it was */
};

/* Settling gives the temporary, still open and before it is flushed, what
 * it keeps of its model or target: permission bits, and owner and group
 * where the process may set them (POSIX); attributes and last-write time
 * (Win32); it returns 1, or 0 on failure. Moving puts the closed temporary
 * in the target's place in one step and flushes the directory. Opening to
 * rewrite opens the existing target itself for writing, emptied, keeping
 * what it is, for the caller to close with ini_platform_close; it returns
 * INI_PLATFORM_NO_FILE when it cannot. Removing takes the temporary away. */
int ini_platform_settle_temporary(const IniPlatformReplacement *replacement);
int ini_platform_move_into_place(const IniPlatformReplacement *replacement);
IniPlatformFile ini_platform_open_to_rewrite(const char *target);
void ini_platform_remove_temporary(const IniPlatformReplacement *replacement);
}

#endif
