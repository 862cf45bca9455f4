/* SPDX-License-Identifier: MIT */
#include "installer.h"

#include <stdarg.h>
#include <stdlib.h>

#include "platform/installer_platform.h"

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
