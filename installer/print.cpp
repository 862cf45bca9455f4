/* SPDX-License-Identifier: MIT */
#include "installer.h"

#include <stdarg.h>
#include <stdlib.h>

#include "platform/installer_platform.h"

#define MESSAGE_PATH_TOO_LONG "Path too long (more than 259 characters): %s\n"

const char installer_out_of_memory_message[] = "Out of memory\n";

void installer_print(FILE *stream, const char *format, ...)
{
    /* Room for every message but those that name a path too long to use. */
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    /* The analyser of clang 14 takes a va_list that va_start has just set
     * for an unset one, in C++. */
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    int length = vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (length >= 0 && (size_t)length < sizeof text) {
        installer_platform_print(stream, text);
        return;
    }
    char *whole = length < 0 ? NULL : (char *)malloc((size_t)length + 1);
    va_start(arguments, format);
    if (whole == NULL) {
        /* The bytes as they are, rather than nothing. */
        vfprintf(stream, format, arguments);
    } else {
        vsnprintf(whole, (size_t)length + 1, format, arguments);
        installer_platform_print(stream, whole);
    }
    va_end(arguments);
    free(whole);
}

int installer_build_path(char *path, FILE *err, const char *format, const char *first,
                         const char *second)
{
    int length = snprintf(path, INSTALLER_PATH_SIZE, format, first, second);
    if (length >= 0 && length < INSTALLER_PATH_SIZE) {
        return 0;
    }
    char *whole = length < 0 ? NULL : (char *)malloc((size_t)length + 1);
    if (whole == NULL) {
        installer_print(err, "%s", installer_out_of_memory_message);
        return 1;
    }
    snprintf(whole, (size_t)length + 1, format, first, second);
    installer_print(err, MESSAGE_PATH_TOO_LONG, whole);
    free(whole);
    return 1;
}
