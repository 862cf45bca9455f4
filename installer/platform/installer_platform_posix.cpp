/* SPDX-License-Identifier: MIT */
#include "installer_platform.h"

#include "platform/platform.h"

#include <limits.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

/* Turns the first length bytes of path, a path as the system gives it,
 * into the installer's: every "/" becomes "\\". */
static void installer_platform_windows_separators(char *path, size_t length)
{
    for (size_t i = 0; i < length; i++) {
        path[i] = path[i] == '/' ? '\\' : path[i];
    }
}

uint32_t installer_platform_executable_path(char *buffer, uint32_t size)
{
    ssize_t length = readlink("/proc/self/exe", buffer, size);
    if (length <= 0) {
        return 0;
    }
    /* readlink cuts the path short silently: a result that leaves no room for
     * the NUL may be cut. */
    if ((size_t)length >= size) {
        return size;
    }
    buffer[length] = '\0';
    installer_platform_windows_separators(buffer, (size_t)length);
    return (uint32_t)length;
}

void installer_platform_make_directory(const char *path)
{
    char native[PATH_MAX];
    if (ini_platform_native_path(path, native, sizeof native)) {
        mkdir(native, 0777);
    }
}

int installer_platform_file_exists(const char *path)
{
    char native[PATH_MAX];
    struct stat status;
    return ini_platform_native_path(path, native, sizeof native) && stat(native, &status) == 0;
}

int installer_platform_is_text(const char * /*text*/)
{
    return 1;
}

int installer_platform_inexact_argument(int /*argc*/, char ** /*argv*/)
{
    return 0;
}

int installer_platform_executable_path_is_exact(void)
{
    return 1;
}

void installer_platform_print(FILE *stream, const char *text)
{
    fputs(text, stream);
}

int installer_platform_owns_console_window(void)
{
    return 0;
}

int installer_platform_is_unseen_console(FILE * /*stream*/)
{
    return 0;
}

int installer_platform_full_directory(const char *directory, char *buffer, uint32_t size)
{
    size_t length = strlen(directory);
    /* "\name" and "/name" are absolute, and so is what an empty directory
     * gives. */
    if (length == 0 || directory[0] == '/' || directory[0] == '\\') {
        if (length >= size) {
            return 0;
        }
        memcpy(buffer, directory, length + 1);
        return 1;
    }
    if (getcwd(buffer, size) == NULL) {
        return 0;
    }
    /* Only "/" itself ends with a "/". */
    size_t full = strlen(buffer);
    full -= buffer[full - 1] == '/';
    installer_platform_windows_separators(buffer, full);
    /* Each component joined with "\", as Windows joins them: "." stays
     * where it is and ".." goes up one, never above the top. */
    for (const char *component = directory; *component != '\0';) {
        size_t span = strcspn(component, "\\/");
        if (span == 2 && component[0] == '.' && component[1] == '.') {
            while (full > 0 && buffer[--full] != '\\') {
            }
        } else if (span > 1 || (span == 1 && component[0] != '.')) {
            if (full + 1 + span >= size) {
                return 0;
            }
            buffer[full++] = '\\';
            memcpy(buffer + full, component, span);
            full += span;
        }
        component += span + (component[span] != '\0');
    }
    buffer[full] = '\0';
    return 1;
}
