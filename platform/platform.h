/* The file operations that the installer and the INI library are built on.
 *
 * Every path is an 8-bit, NUL-terminated string with "\" between components,
 * exactly as on Windows. The Win32 build hands paths to the ANSI Win32 calls
 * unchanged. The POSIX build turns every "\" into "/" when it touches the file
 * system and reports its own executable path with every "/" turned into "\",
 * so a run on Linux prints the same messages and writes the same bytes as a
 * Windows run given the same root text.
 *
 * No operation prints, and none keeps state between calls. */
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

/* Writes the running executable's full path, NUL-terminated, into buffer,
 * which holds size bytes. Returns the path's length (1 or more) when it fits;
 * 0 when the path cannot be had; size when the path does not fit into size
 * bytes with its NUL, buffer then holding an unspecified prefix. */
uint32_t ini_platform_executable_path(char *buffer, uint32_t size);

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

/* Closes a file from ini_platform_open_for_reading or ini_platform_create_for_writing.
 * Failures are not reported. */
void ini_platform_close(IniPlatformFile file);

/* Creates one directory. Failures are not reported, so an existing directory
 * is fine; a real failure shows later, when files cannot be put into it. */
void ini_platform_make_directory(const char *path);

/* Returns 1 when something, a file or a directory, stands at path, 0 when
 * nothing does. */
int ini_platform_file_exists(const char *path);

/* Copies the file source to target, replacing an existing target and keeping
 * the source's permission bits. Returns 1 on success, 0 when the source is
 * missing or not a file that ini_platform_open_for_reading opens, the target is a
 * directory or cannot be replaced,
 * or the copy fails part-way; a failed copy leaves an existing target as it
 * was and never leaves a partial target behind. */
int ini_platform_copy_file(const char *source, const char *target);

/* Returns 1 when the program is the only one on its console and standard
 * input, output and error are all that console: a window opened for the
 * program alone, as when a person starts it from Explorer, which closes the
 * moment the program ends. Returns 0 when it shares its console (started from
 * a console or a script), when any stream is redirected, and always on POSIX
 * systems. */
int ini_platform_owns_console_window(void);
}

#endif
