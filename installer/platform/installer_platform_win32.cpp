/* SPDX-License-Identifier: MIT */
#include "installer_platform.h"

#include <io.h>
#include <stdlib.h>
#include <string.h>

#include <windows.h>

/* The C runtime's arguments as wide strings, parsed from the Unicode command
 * line by the rules that gave argv: msvcrt.dll exports it, and no header of
 * the toolchain declares it. Its last argument is the runtime's startup
 * record, one int. */
extern "C" int __wgetmainargs(int *argc, wchar_t ***argv, wchar_t ***environment,
                              int expand_wildcards, int *startup);

/* The longest command line, and so the longest argument, in characters. */
enum { INSTALLER_PLATFORM_WIDE_TEXT_SIZE = 32768 };

uint32_t installer_platform_executable_path(char *buffer, uint32_t size)
{
    /* GetModuleFileNameA fills the whole buffer and returns size when the path
     * is cut short, so only a result below size is a whole path. */
    DWORD length = GetModuleFileNameA(NULL, buffer, size);
    return length < size ? (uint32_t)length : size;
}

void installer_platform_make_directory(const char *path)
{
    CreateDirectoryA(path, NULL);
}

int installer_platform_file_exists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int installer_platform_is_text(const char *text)
{
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, NULL, 0) != 0;
}

/* Returns 1 when wide, written in the ANSI code page, is the bytes of ansi:
 * every character held as itself, none turned into a look-alike or the
 * default character. */
static int installer_platform_is_exactly(const wchar_t *wide, const char *ansi)
{
    /* UTF-8 holds every character; it takes neither the flag nor the
     * question whether the default character was used. */
    int utf8 = GetACP() == CP_UTF8;
    char converted[2 * INSTALLER_PLATFORM_WIDE_TEXT_SIZE];
    BOOL defaulted = FALSE;
    int size = WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, wide,
                                   -1, converted, sizeof converted, NULL, utf8 ? NULL : &defaulted);
    return size > 0 && !defaulted && strcmp(converted, ansi) == 0;
}

int installer_platform_inexact_argument(int argc, char **argv)
{
    int wide_argc = 0;
    wchar_t **wide_argv = NULL;
    wchar_t **environment = NULL;
    int startup = 0;
    if (__wgetmainargs(&wide_argc, &wide_argv, &environment, 0, &startup) != 0 ||
        wide_argc != argc) {
        return -1;
    }
    for (int i = 1; i < argc; i++) {
        if (!installer_platform_is_exactly(wide_argv[i], argv[i])) {
            return i;
        }
    }
    return 0;
}

int installer_platform_executable_path_is_exact(void)
{
    wchar_t wide[INSTALLER_PLATFORM_WIDE_TEXT_SIZE];
    char ansi[2 * INSTALLER_PLATFORM_WIDE_TEXT_SIZE];
    DWORD length = GetModuleFileNameW(NULL, wide, INSTALLER_PLATFORM_WIDE_TEXT_SIZE);
    DWORD ansi_length = GetModuleFileNameA(NULL, ansi, sizeof ansi);
    /* A path that cannot be had whole is refused for that, later. */
    if (length == 0 || length >= INSTALLER_PLATFORM_WIDE_TEXT_SIZE || ansi_length == 0 ||
        ansi_length >= sizeof ansi) {
        return 1;
    }
    return installer_platform_is_exactly(wide, ansi);
}

void installer_platform_print(FILE *stream, const char *text)
{
    HANDLE handle = (HANDLE)_get_osfhandle(_fileno(stream));
    DWORD mode;
    int length = 0;
    wchar_t *wide = NULL;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        length = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
        wide = length > 0 ? (wchar_t *)malloc((size_t)length * sizeof *wide) : NULL;
    }
    if (wide == NULL || MultiByteToWideChar(CP_ACP, 0, text, -1, wide, length) != length) {
        fputs(text, stream);
    } else {
        /* What the stream holds goes out first, in its order. */
        fflush(stream);
        DWORD written = 0;
        if (!WriteConsoleW(handle, wide, (DWORD)length - 1, &written, NULL)) {
            fputs(text, stream);
        }
    }
    free(wide);
}

/* Returns 1 when the process's console is one that nobody sees: made
 * without a window (CREATE_NO_WINDOW), or a console of its own whose window
 * was to be hidden (SW_HIDE), which a program sharing its parent's console
 * cannot hide. */
static int installer_platform_console_is_unseen(void)
{
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    DWORD processes[2];
    return GetConsoleWindow() == NULL ||
           ((startup.dwFlags & STARTF_USESHOWWINDOW) && startup.wShowWindow == SW_HIDE &&
            GetConsoleProcessList(processes, 2) == 1);
}

int installer_platform_is_unseen_console(FILE *stream)
{
    DWORD mode;
    return GetConsoleMode((HANDLE)_get_osfhandle(_fileno(stream)), &mode) &&
           installer_platform_console_is_unseen();
}

int installer_platform_owns_console_window(void)
{
    /* Nobody sees such a console to wait for. DETACHED_PROCESS leaves no
     * console at all. */
    if (installer_platform_console_is_unseen()) {
        return 0;
    }
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1) {
        return 0;
    }
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) &&
           GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) &&
           GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode);
}

/* Returns 1 when c separates the components of a Windows path. */
static int installer_platform_is_separator(char c)
{
    return c == '\\' || c == '/';
}

int installer_platform_full_directory(const char *directory, char *buffer, uint32_t size)
{
    size_t length = strlen(directory);
    int drive = ((directory[0] | 0x20) >= 'a' && (directory[0] | 0x20) <= 'z' &&
                 directory[1] == ':' && installer_platform_is_separator(directory[2]));
    int share = installer_platform_is_separator(directory[0]) &&
                installer_platform_is_separator(directory[1]);
    if (drive || share) {
        if (length >= size) {
            return 0;
        }
        memcpy(buffer, directory, length + 1);
        return 1;
    }
    /* The directory as the installer joins a name to it, whose full path
     * keeps the "\" at its end: "" and "C:" are the top of a drive, "C:\". */
    char joined[MAX_PATH + 2];
    if (length + 2 > sizeof joined) {
        return 0;
    }
    memcpy(joined, directory, length);
    memcpy(joined + length, "\\", 2);
    DWORD full = GetFullPathNameA(joined, size, buffer, NULL);
    if (full == 0 || full >= size) {
        return 0;
    }
    if (installer_platform_is_separator(buffer[full - 1])) {
        buffer[full - 1] = '\0';
    }
    return 1;
}
