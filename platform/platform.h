/* SPDX-License-Identifier: MIT */
/* The file operations that the INI library is built on, and that the
 * installer's copies share.
 *
 * Every path is an 8-bit, NUL-terminated string with "\" between components,
 * exactly as on Windows. The Win32 build hands paths to the ANSI Win32 calls
 * unchanged. The POSIX build turns every "\" into "/" when it touches the file
 * system, so a run on Linux writes the same bytes as a Windows run given the
 * same path text.
 *
 * No operation writes to a stream or keeps state between calls. */
#ifndef OSTREL_PLATFORM_PLATFORM_H
#define OSTREL_PLATFORM_PLATFORM_H

#include <stdint.h>

/* C linkage: plain symbol names, the same on every target, which tests can
 * wrap at link time to inject faults. */
extern "C" {

/* An open file: a Win32 HANDLE or a POSIX descriptor, widened to intptr_t. */
typedef intptr_t IniPlatformFile;

/* The result of a failed open or create (INVALID_HANDLE_VALUE on Win32). */
#define INI_PLATFORM_NO_FILE ((IniPlatformFile)-1)

/* Opens an existing file for reading (others may read it too). Returns the
 * file, or INI_PLATFORM_NO_FILE when it is missing, is a directory (on POSIX:
 * anything but a regular file) or cannot be opened. The caller closes it with
 * ini_platform_close. */
IniPlatformFile ini_platform_open_for_reading(const char *path);

/* Reads up to size bytes (at most INT32_MAX) into buffer. Returns the number
 * of bytes delivered (1 or more), 0 at the end of the file, or -1 when the
 * read fails. */
int32_t ini_platform_read(IniPlatformFile file, void *buffer, uint32_t size);

/* Copies the rest of source, open for reading, into target, open for
 * writing. Returns 1, or 0 when a read or a write fails. */
int ini_platform_copy_contents(IniPlatformFile source, IniPlatformFile target);

/* Creates a file for writing, truncating an existing one. Returns the file,
 * or INI_PLATFORM_NO_FILE on failure. The caller closes it with ini_platform_close. */
IniPlatformFile ini_platform_create_for_writing(const char *path);

/* Writes size bytes. Returns 1 when all of them were written, 0 when the
 * write failed or wrote fewer bytes. */
int ini_platform_write(IniPlatformFile file, const void *data, uint32_t size);

/* Makes everything written to file reach the disk. Returns 1, or 0 when it
 * cannot be made to; a file system that keeps nothing to flush (a special
 * file) counts as flushed. */
int ini_platform_flush(IniPlatformFile file);

/* Closes a file from ini_platform_open_for_reading, ini_platform_create_for_writing,
 * ini_platform_open_to_rewrite or ini_platform_begin_replace. Returns 1, or 0 when the system
 * reports that writes made through it may be lost; the file is closed either way. */
int ini_platform_close(IniPlatformFile file);

/* Returns 1 when nothing stands at path because it, or a directory on its
 * path, does not exist (a file where the path has a directory counts as a
 * missing directory); 0 when something stands there, and when the system
 * cannot tell (a directory on the path that the process may not search, a
 * path too long). */
int ini_platform_is_missing(const char *path);

/* Replacing a file whole. The new content goes into a temporary file beside
 * the target, in its directory, named ".ost" and four hexadecimal digits and
 * ".tmp" (12 bytes, so that it fits wherever "qa_drive.exe" does), a name no
 * other file has when it is made. The temporary is flushed and closed, then
 * moved over the target in one step, and on POSIX the directory is flushed
 * after the move: whenever the process ends, the target holds its old
 * content or its new content, and a crash leaves at most the temporary.
 * Only where the target may be written but not replaced is it written in
 * place, as a plain write would (see ini_platform_begin_replace and
 * ini_platform_finish_replace): a crash there can leave it cut short.
 *
 *   IniPlatformReplacement replacement;
 *   if (ini_platform_begin_replace(path, NULL, 1, &replacement)) {
 *       ... ini_platform_write(replacement.file, ...) ...
 *       result = ini_platform_finish_replace(&replacement);   (or _abandon_)
 *   }
 */
enum {
    INI_PLATFORM_PATH_SIZE = 4096 /* the longest path a replacement keeps, NUL included */
};

/* Results of ini_platform_finish_replace, the writer's own. */
enum {
    INI_PLATFORM_REPLACED = 0,     /* the new content is in place and on disk */
    INI_PLATFORM_NOT_MOVED = -1,   /* the target could not be replaced: it is as it was */
    INI_PLATFORM_NOT_FLUSHED = -2, /* a flush or close failed: the target is as it was,
                                    * unless it was written in place or the flush that
                                    * failed was the directory's after the move */
};

/* One replacement under way. Its fields belong to the platform layer; a
 * caller writes to file and hands the whole record back. */
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

/* Starts replacing target, a regular file or nothing. A symbolic link stays
 * a link and the file it names is replaced. The new file takes the
 * permission bits of model, a file, when model is not null; otherwise the
 * target's own, with its owner and group where the process may set them
 * (Win32: its attributes), or those of any new file when there is no target.
 *
 * When may_write_in_place is 1, a target that is not a file on disk (a
 * device, a FIFO) is written in place, emptied as ini_platform_create_for_writing
 * empties it, and so is an existing file beside which no temporary may be
 * made (a directory the process may not add to); with 0 either is refused.
 * Either way a target that the system refuses to replace at the end is
 * written in place (see ini_platform_finish_replace).
 *
 * Returns 1 with replacement->file open for writing, or 0 when nothing can
 * be created: the target is a directory, lies in a directory that does not
 * exist or refuses the temporary, or is a file the process may not write
 * (on Win32 also a file another process holds open for longer than the
 * opens of this layer wait). A copy, given a model, replaces a read-only
 * file all the same, so that a file it made read-only from a read-only
 * source never stands in the way of the next copy. After 1 the caller ends
 * with ini_platform_finish_replace or ini_platform_abandon_replace.
 *
 * On Win32 every open and move of this layer that meets a file another
 * process holds open tries again for about two seconds before it fails, so
 * that a virus scanner's or an indexer's moment of access passes. */
int ini_platform_begin_replace(const char *target, const char *model, int may_write_in_place,
                               IniPlatformReplacement *replacement);

/* Flushes and closes the file, then moves the temporary over the target.
 * Where the system refuses the move but lets the target be written (a file
 * of another user in a sticky directory; on Win32 a file the process may
 * not delete), the new content is written into the target in place, as a
 * plain write would. Returns INI_PLATFORM_REPLACED, _NOT_MOVED or
 * _NOT_FLUSHED; no temporary is left behind whatever the result. */
int ini_platform_finish_replace(IniPlatformReplacement *replacement);

/* Gives up: closes the file and removes the temporary, the target left as it
 * was (in place: holding what was written). */
void ini_platform_abandon_replace(IniPlatformReplacement *replacement);

/* Results of ini_platform_move_into_place. */
enum {
    INI_PLATFORM_MOVED = 1,            /* the temporary is the target now, and on disk */
    INI_PLATFORM_MOVE_FAILED = 0,      /* the target is as it was */
    INI_PLATFORM_MOVED_UNFLUSHED = -1, /* moved, but the directory's flush failed */
    INI_PLATFORM_MOVE_REFUSED = 2,     /* the system refuses to replace the target for
                                        * good: the target is as it was */
};

/* The steps of ini_platform_finish_replace that each system carries out.
 * Settling gives the temporary, still open and before it is flushed, what
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
