/* SPDX-License-Identifier: MIT */
/* The system services that the installer alone uses: its own path, the
 * files it looks at, makes and copies, and the console it talks to.
 *
 * Paths are the installer's own: 8-bit strings in the system's code page
 * with "\" between components. The Win32 build hands them to the ANSI Win32
 * calls unchanged; the POSIX build turns every "\" into "/" when it touches
 * the file system and reports its own executable path with every "/" turned
 * into "\", so a run on Linux prints the same messages and writes the same
 * bytes as a Windows run given the same root text. */
#ifndef OSTREL_INSTALLER_PLATFORM_INSTALLER_PLATFORM_H
#define OSTREL_INSTALLER_PLATFORM_INSTALLER_PLATFORM_H

#include <stdint.h>
#include <stdio.h>

/* C linkage: plain symbol names, which tests can wrap at link time to
 * inject faults. */
extern "C" {

/* Writes the running executable's full path, NUL-terminated, into buffer,
 * which holds size bytes. Returns the path's length (1 or more) when it fits;
 * 0 when the path cannot be had; size when the path does not fit into size
 * bytes with its NUL, buffer then holding an unspecified prefix. */
uint32_t installer_platform_executable_path(char *buffer, uint32_t size);

/* Creates one directory. Failures are not reported, so an existing directory
 * is fine; a real failure shows later, when files cannot be put into it. */
void installer_platform_make_directory(const char *path);

/* Returns 1 when something, a file or a directory, stands at path, 0 when
 * nothing does. */
int installer_platform_file_exists(const char *path);

/* Copies the file source to target, replacing an existing target whole
 * through ini_platform_replace_file, the new target taking the source's
 * permission bits (POSIX) or attributes and last-write time (Win32), and
 * replacing a read-only target too. Returns 1 once the copy is on disk; 0
 * when the source is missing or not a file that ini_platform_open_for_reading
 * opens, the target is a directory or cannot be replaced, or the copy fails
 * part-way. A failed copy leaves an existing target as it was and no partial
 * target behind, but for a target that the system lets the process write and
 * not replace, which is written in place and keeps what it is. */
int installer_platform_copy_file(const char *source, const char *target);

/* Writes into buffer, of size bytes, the fully qualified path of directory,
 * a directory to which the installer joins names ("directory\name"):
 * directory itself when it is fully qualified already (Win32: "X:\..." or
 * "\\server\share..."; POSIX: starting with "/" or "\", or empty, which
 * gives "\name"). Otherwise, on Win32, its full path from GetFullPathNameA,
 * which takes the current directory, the current directory of drive D: for
 * "D:name", or the current drive for "\name" and "", without the "\" at
 * its end; on POSIX, the current directory with every "/" turned into "\",
 * then each component of directory after a "\", where, as in the full path
 * that Windows gives, "." stays where it is and ".." goes up one. Returns
 * 1, or 0 when the current directory cannot be had or the path does not
 * fit. */
int installer_platform_full_directory(const char *directory, char *buffer, uint32_t size);

/* Text in the system's code page, stepped through a character at a time
 * (ini_platform_next_character), so that the second byte of a double-byte
 * character, which may be 0x5C, the byte of "\", is never taken for an
 * ASCII character of its own. */

/* The first character of text that is one of the ASCII characters in set,
 * or null when there is none. */
const char *installer_platform_find_any(const char *text, const char *set);

/* The last character of text that is one of the ASCII characters in set, or
 * null when there is none. */
const char *installer_platform_find_last_any(const char *text, const char *set);

/* Returns 1 when text is text of the system's code page, 0 when it holds
 * bytes that are no character of it (on Win32, such as a lead byte of a
 * double-byte code page without its second byte); always 1 on POSIX. */
int installer_platform_is_text(const char *text);

/* Compares argv, the arguments as the program got them in the system's code
 * page, with the text it was started with (on Win32, its Unicode command
 * line). Returns 0 when each argument after the program name is that text
 * exactly; the position (1 or more) of the first one that is not, because
 * the code page lacks a character of it and holds a look-alike in its place
 * ("best fit"); or -1 when the arguments differ in number. Always 0 on
 * POSIX, where arguments are bytes. */
int installer_platform_inexact_argument(int argc, char **argv);

/* Returns 1 when the path installer_platform_executable_path gives is the
 * executable's path exactly, 0 when the code page lacks a character of it
 * and holds a look-alike in its place. Always 1 on POSIX. */
int installer_platform_executable_path_is_exact(void);

/* Writes text to stream. When stream is a console, the console shows the
 * characters that text spells in the system's code page, whatever code page
 * the console itself uses (on Win32, through its Unicode output); otherwise
 * the bytes of text go out as they are. */
void installer_platform_print(FILE *stream, const char *text);

/* Returns 1 when a person sees the program's console and nobody else's:
 * the program is the only one on it, the console has a window that was not
 * to be hidden, and standard input, output and error are all that console.
 * So it is when a person starts the program from Explorer, and the window
 * closes the moment the program ends. Returns 0 when the console has no
 * window (CREATE_NO_WINDOW) or is to stay hidden (SW_HIDE), as programs that
 * deploy others start them, when there is no console (DETACHED_PROCESS), when
 * the program shares its console (started from a console or a script), when
 * any stream is redirected, and always on POSIX systems. */
int installer_platform_owns_console_window(void);

/* Returns 1 when stream is a console that nobody sees, where no answer can
 * come: the console has no window (CREATE_NO_WINDOW) or is to stay hidden
 * (SW_HIDE), as programs that deploy others start one. Returns 0 for a
 * console a person sees, for a file, a pipe or a device, and always on
 * POSIX systems. */
int installer_platform_is_unseen_console(FILE *stream);
}

#endif
