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

#include <stddef.h>
#include <stdint.h>

/* C linkage: plain symbol names, the same on every target, which tests can
 * wrap at link time to inject faults. */
extern "C" {

/* An open file: a Win32 HANDLE or a POSIX descriptor, widened to intptr_t. */
typedef intptr_t IniPlatformFile;

/* The result of a failed open or create (INVALID_HANDLE_VALUE on Win32). */
#define INI_PLATFORM_NO_FILE ((IniPlatformFile)-1)

/* Writes path, NUL included, into native, which holds size bytes, as the
 * system takes it: on POSIX with every "\" turned into "/", on Win32 as it
 * stands. Returns 1, or 0 when it does not fit. */
int ini_platform_native_path(const char *path, char *native, size_t size);

/* The character after the one at text, in the system's code page. On Win32
 * that is two bytes on past the lead byte of a double-byte character that
 * has its second byte, so that a second byte of 0x5C, the byte of "\", is
 * never taken for a character of its own; otherwise, and on POSIX, where
 * text is bytes, one byte on. */
const char *ini_platform_next_character(const char *text);

/* Opens an existing file for reading (others may read it too). Returns the
 * file, or INI_PLATFORM_NO_FILE when it is missing, is a directory (on POSIX:
 * anything but a regular file) or cannot be opened. The caller closes it with
 * ini_platform_close. */
IniPlatformFile ini_platform_open_for_reading(const char *path);

/* Reads up to size bytes (at most INT32_MAX) into buffer. Returns the number
 * of bytes delivered (1 or more), 0 at the end of the file, or -1 when the
 * read fails. */
int32_t ini_platform_read(IniPlatformFile file, void *buffer, uint32_t size);

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

/* Closes a file from ini_platform_open_for_reading or
 * ini_platform_create_for_writing. Returns 1, or 0 when the system reports
 * that writes made through it may be lost; the file is closed either way. */
int ini_platform_close(IniPlatformFile file);

/* Returns 1 when nothing stands at path because it, or a directory on its
 * path, does not exist (a file where the path has a directory counts as a
 * missing directory); 0 when something stands there, and when the system
 * cannot tell (a directory on the path that the process may not search, a
 * path too long). */
int ini_platform_is_missing(const char *path);

/* Copies the rest of source, open for reading, into target, open for
 * writing. Returns 1, or 0 when a read or a write fails. */
int ini_platform_copy_contents(IniPlatformFile source, IniPlatformFile target);

/* Writes the new content of a file being replaced into file, open for
 * writing, from context, which ini_platform_replace_file hands on as it
 * was given. Returns 0, or a non-zero result of the caller's own, which
 * gives the replacement up. */
typedef int (*IniPlatformContentWriter)(IniPlatformFile file, void *context);

/* Results of ini_platform_replace_file, the writer's own. */
enum {
    INI_PLATFORM_REPLACED = 0,     /* the new content is in place and on disk */
    INI_PLATFORM_NOT_MOVED = -1,   /* the target could not be replaced: it is as it was */
    INI_PLATFORM_NOT_FLUSHED = -2, /* a flush or close failed: the target is as it was,
                                    * unless it was written in place or the flush that
                                    * failed was the directory's after the move */
};

/* Replaces target, a regular file or nothing, whole, with what
 * write_content writes. The new content goes into a temporary file beside
 * the target, in its directory, named ".ost" and four hexadecimal digits
 * and ".tmp" (12 bytes, so that it fits wherever "qa_drive.exe" does), a
 * name no other file has when it is made. The temporary is flushed and
 * closed, then moved over the target in one step, and on POSIX the
 * directory is flushed after the move: whenever the process ends, the
 * target holds its old content or its new content, and a crash leaves at
 * most the temporary. A symbolic link stays a link, and the file it names
 * is replaced.
 *
 * The new file takes the permission bits of model, a file, when model is
 * not null; otherwise the target's own, with its owner and group where the
 * process may set them (Win32: its attributes), or those of any new file
 * when there is no target. A copy, given a model, replaces a read-only file
 * all the same, so that a file it made read-only from a read-only source
 * never stands in the way of the next copy.
 *
 * Written in place, as a plain write would write it, a crash can leave the
 * target cut short. That happens only where the target may be written but
 * not replaced: when may_write_in_place is 1, to a target that is not a
 * file on disk (a device, a FIFO), emptied first (without waiting for a
 * reader: a FIFO nobody reads is refused), and to an existing file
 * beside which no temporary may be made (a directory the process may not
 * add to); with 0 either is refused. Whatever may_write_in_place is, a
 * target that the system refuses to replace at the end (a file of another
 * user in a sticky directory; on Win32 a file the process may not delete)
 * is written in place.
 *
 * On Win32 every open and move of this layer that meets a file another
 * process holds open tries again for about two seconds before it fails, so
 * that a virus scanner's or an indexer's moment of access passes.
 *
 * Returns INI_PLATFORM_REPLACED; INI_PLATFORM_NOT_MOVED when nothing can be
 * created (the target is a directory, lies in a directory that does not
 * exist or refuses the temporary, or is a file the process may not write,
 * on Win32 also one another process holds open for longer than the opens
 * of this layer wait) or the move fails; INI_PLATFORM_NOT_FLUSHED as said
 * there; or the result of write_content when it is not 0, the target then
 * as it was (in place: holding what was written). No temporary is left
 * behind whatever the result. */
int ini_platform_replace_file(const char *target, const char *model, int may_write_in_place,
                              IniPlatformContentWriter write_content, void *context);
}

#endif
