#include "platform.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { INI_PLATFORM_COPY_BUFFER_SIZE = 1 << 20 };

/* A path as the system takes it. PATH_MAX bytes hold every path the system
 * accepts, so a path is never copied to the heap, and running out of memory
 * never passes for a missing file. */
struct IniPlatformNativePath {
    char text[PATH_MAX];
};

/* Writes path into native with every "\" turned into "/". Returns 1, or 0
 * (errno ENAMETOOLONG) when the path is too long for any system call. */
static int ini_platform_native_path(const char *path, IniPlatformNativePath *native)
{
    size_t i = 0;
    for (; path[i] != '\0'; i++) {
        if (i + 1 >= sizeof native->text) {
            errno = ENAMETOOLONG;
            return 0;
        }
        native->text[i] = path[i] == '\\' ? '/' : path[i];
    }
    native->text[i] = '\0';
    return 1;
}

uint32_t ini_platform_executable_path(char *buffer, uint32_t size)
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
    for (ssize_t i = 0; i < length; i++) {
        if (buffer[i] == '/') {
            buffer[i] = '\\';
        }
    }
    return (uint32_t)length;
}

/* Opens a regular file for reading. A tree on Windows holds nothing else, and
 * a pipe or a device could make the reader wait or read for ever: the open
 * does not block, and anything but a regular file is refused. */
static int ini_platform_open_file(const char *native_path, struct stat *status)
{
    int fd = open(native_path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    if (fstat(fd, status) != 0 || !S_ISREG(status->st_mode) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

IniPlatformFile ini_platform_open_for_reading(const char *path)
{
    IniPlatformNativePath native;
    struct stat status;
    int fd =
        ini_platform_native_path(path, &native) ? ini_platform_open_file(native.text, &status) : -1;
    return fd < 0 ? INI_PLATFORM_NO_FILE : (IniPlatformFile)fd;
}

int32_t ini_platform_read(IniPlatformFile file, void *buffer, uint32_t size)
{
    ssize_t count;
    do {
        count = read((int)file, buffer, size);
    } while (count < 0 && errno == EINTR);
    return count < 0 ? -1 : (int32_t)count;
}

IniPlatformFile ini_platform_create_for_writing(const char *path)
{
    IniPlatformNativePath native;
    if (!ini_platform_native_path(path, &native)) {
        return INI_PLATFORM_NO_FILE;
    }
    int fd = open(native.text, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd < 0 ? INI_PLATFORM_NO_FILE : (IniPlatformFile)fd;
}

/* Writes all of size bytes, carrying on after a partial write. Returns 1, or 0
 * when a write fails or makes no progress. */
static int ini_platform_write_all(int fd, const char *data, size_t size)
{
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return 0;
        }
        data += written;
        size -= (size_t)written;
    }
    return 1;
}

int ini_platform_write(IniPlatformFile file, const void *data, uint32_t size)
{
    return ini_platform_write_all((int)file, (const char *)data, size);
}

void ini_platform_close(IniPlatformFile file)
{
    close((int)file);
}

void ini_platform_make_directory(const char *path)
{
    IniPlatformNativePath native;
    if (ini_platform_native_path(path, &native)) {
        mkdir(native.text, 0777);
    }
}

int ini_platform_file_exists(const char *path)
{
    IniPlatformNativePath native;
    struct stat status;
    return ini_platform_native_path(path, &native) && stat(native.text, &status) == 0;
}

/* Copies the rest of source into target through a buffer. Returns 1, or 0 on
 * failure. */
static int ini_platform_copy_through_buffer(int source, int target)
{
    char *buffer = (char *)malloc(INI_PLATFORM_COPY_BUFFER_SIZE);
    if (buffer == NULL) {
        return 0;
    }
    int copied = 1;
    for (;;) {
        ssize_t count = read(source, buffer, INI_PLATFORM_COPY_BUFFER_SIZE);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            copied = count == 0;
            break;
        }
        if (!ini_platform_write_all(target, buffer, (size_t)count)) {
            copied = 0;
            break;
        }
    }
    free(buffer);
    return copied;
}

/* Copies all of source into target, in the kernel where it can. Returns 1,
 * or 0 on failure. */
static int ini_platform_copy_contents(int source, int target)
{
    for (;;) {
        ssize_t count =
            copy_file_range(source, NULL, target, NULL, INI_PLATFORM_COPY_BUFFER_SIZE, 0);
        if (count == 0) {
            return 1;
        }
        if (count > 0) {
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
            errno == EBADF) {
            return ini_platform_copy_through_buffer(source, target);
        }
        return 0;
    }
}

/* Writes the path of a temporary copy of native_target into temporary: in
 * the target's directory, so that the rename stays on one file system, and
 * with a short name of its own, so that it fits where the target's name is as
 * long as a name may be. Returns 1, or 0 when the path is too long. */
static int ini_platform_temporary_path(const char *native_target, IniPlatformNativePath *temporary)
{
    static const char name[] = ".ostrel-copy-XXXXXX";
    const char *slash = strrchr(native_target, '/');
    size_t directory_length = slash == NULL ? 0 : (size_t)(slash - native_target) + 1;
    if (directory_length + sizeof name > sizeof temporary->text) {
        return 0;
    }
    memcpy(temporary->text, native_target, directory_length);
    memcpy(temporary->text + directory_length, name, sizeof name);
    return 1;
}

/* Copies source into a new temporary file beside target and renames it over
 * target, so that target is either replaced whole or left as it was. */
static int ini_platform_copy_native(const char *native_source, char *native_target, char *temporary)
{
    struct stat source_status;
    int source = ini_platform_open_file(native_source, &source_status);
    if (source < 0) {
        return 0;
    }
    struct stat target_status;
    if (stat(native_target, &target_status) == 0 && S_ISDIR(target_status.st_mode)) {
        close(source);
        return 0;
    }
    int target = mkostemp(temporary, O_CLOEXEC);
    if (target < 0) {
        close(source);
        return 0;
    }
    int copied = ini_platform_copy_contents(source, target) &&
                 fchmod(target, source_status.st_mode & 07777) == 0;
    copied = close(target) == 0 && copied;
    close(source);
    if (copied && rename(temporary, native_target) == 0) {
        return 1;
    }
    unlink(temporary);
    return 0;
}

int ini_platform_copy_file(const char *source, const char *target)
{
    IniPlatformNativePath native_source;
    IniPlatformNativePath native_target;
    IniPlatformNativePath temporary;
    return ini_platform_native_path(source, &native_source) &&
           ini_platform_native_path(target, &native_target) &&
           ini_platform_temporary_path(native_target.text, &temporary) &&
           ini_platform_copy_native(native_source.text, native_target.text, temporary.text);
}

int ini_platform_owns_console_window(void)
{
    return 0;
}
