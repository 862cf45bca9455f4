/* SPDX-License-Identifier: MIT */
#include "platform_replace.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

int ini_platform_native_path(const char *path, char *native, size_t size)
{
    size_t i = 0;
    for (; path[i] != '\0'; i++) {
        if (i + 1 >= size) {
            errno = ENAMETOOLONG;
            return 0;
        }
        native[i] = path[i] == '\\' ? '/' : path[i];
    }
    native[i] = '\0';
    return 1;
}

const char *ini_platform_next_character(const char *text)
{
    return text + 1;
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
    char native[PATH_MAX];
    struct stat status;
    int fd = ini_platform_native_path(path, native, sizeof native)
                 ? ini_platform_open_file(native, &status)
                 : -1;
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
    char native[PATH_MAX];
    if (!ini_platform_native_path(path, native, sizeof native)) {
        return INI_PLATFORM_NO_FILE;
    }
    int fd = open(native, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
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

/* fsync, with EINVAL (a file that cannot be synchronised, such as a
 * special file) taken as nothing to flush. */
static int ini_platform_sync(int fd)
{
    int synced;
    do {
        synced = fsync(fd);
    } while (synced != 0 && errno == EINTR);
    return synced == 0 || errno == EINVAL;
}

int ini_platform_flush(IniPlatformFile file)
{
    return ini_platform_sync((int)file);
}

int ini_platform_close(IniPlatformFile file)
{
    /* Linux closes the descriptor even when close reports EINTR. */
    return close((int)file) == 0 || errno == EINTR;
}

int ini_platform_is_missing(const char *path)
{
    /* ENOTDIR: a file stands where the path has a directory. */
    char native[PATH_MAX];
    struct stat status;
    return ini_platform_native_path(path, native, sizeof native) && stat(native, &status) != 0 &&
           (errno == ENOENT || errno == ENOTDIR);
}

/* The length of the directory part of path, its last "/" included; 0 for a
 * name alone. */
static size_t ini_platform_directory_length(const char *path)
{
    const char *slash = strrchr(path, '/');
    return slash == NULL ? 0 : (size_t)(slash - path) + 1;
}

/* Follows symbolic links at the end of path, in place, until path names
 * something else or nothing, so that a save replaces the file a link names
 * and leaves the link. Returns 1, or 0 when the links loop or the path
 * grows too long. */
static int ini_platform_follow_links(char *path)
{
    for (int links = 0; links < 40; links++) {
        char link[PATH_MAX];
        ssize_t length = readlink(path, link, sizeof link);
        if (length < 0) {
            return 1;
        }
        if ((size_t)length >= sizeof link) {
            return 0;
        }
        size_t kept = link[0] == '/' ? 0 : ini_platform_directory_length(path);
        if (kept + (size_t)length >= INI_PLATFORM_PATH_SIZE) {
            return 0;
        }
        memcpy(path + kept, link, (size_t)length);
        path[kept + (size_t)length] = '\0';
    }
    return 0;
}

/* Creates the temporary beside replacement->target: open only to this
 * process's user until it takes the target's bits, or with a new file's
 * bits when it will take no others. Returns the descriptor, or -1 with
 * errno set. */
static int ini_platform_create_temporary(IniPlatformReplacement *replacement)
{
    size_t directory = ini_platform_directory_length(replacement->target);
    if (directory + sizeof ".ost0000.tmp" > sizeof replacement->temporary) {
        errno = ENAMETOOLONG;
        return -1;
    }
    memcpy(replacement->temporary, replacement->target, directory);
    mode_t mode = replacement->keeps_bits ? 0600 : 0666;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    unsigned start = (unsigned)now.tv_nsec ^ ((unsigned)getpid() << 4);
    for (unsigned attempt = 0; attempt <= 0xffff; attempt++) {
        snprintf(replacement->temporary + directory, sizeof ".ost0000.tmp", ".ost%04x.tmp",
                 (start + attempt) & 0xffff);
        int fd = open(replacement->temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

/* Opens target, something that is no regular file, for writing in place.
 * The open does not wait: a FIFO that nobody reads is refused at once
 * rather than waited on for ever; once open, writes wait as they would.
 * Returns the file, or INI_PLATFORM_NO_FILE. */
static IniPlatformFile ini_platform_open_special(const char *target)
{
    int fd = open(target, O_WRONLY | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0 && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return INI_PLATFORM_NO_FILE;
    }
    return fd < 0 ? INI_PLATFORM_NO_FILE : (IniPlatformFile)fd;
}

int ini_platform_begin_replace(const char *target, const char *model, int may_write_in_place,
                               IniPlatformReplacement *replacement)
{
    char native[PATH_MAX];
    if (!ini_platform_native_path(target, native, sizeof native)) {
        return 0;
    }
    size_t length = strlen(native);
    if (length >= sizeof replacement->target) {
        return 0;
    }
    memcpy(replacement->target, native, length + 1);
    if (!ini_platform_follow_links(replacement->target)) {
        return 0;
    }
    struct stat status;
    int exists = stat(replacement->target, &status) == 0;
    if (exists && S_ISDIR(status.st_mode)) {
        return 0;
    }
    if (exists && !S_ISREG(status.st_mode)) {
        return may_write_in_place &&
               ini_platform_write_to(replacement, ini_platform_open_special(replacement->target), 1,
                                     0);
    }
    /* Replacing needs only the right to add to the directory; a file the
     * process may not write stays as protected from a save as it was. A copy
     * replaces it, as it always has, so that a file it made read-only from a
     * read-only source never stands in the way of the next copy. */
    if (exists && model == NULL &&
        faccessat(AT_FDCWD, replacement->target, W_OK, AT_EACCESS) != 0) {
        return 0;
    }
    struct stat model_status;
    replacement->keeps_bits = model != NULL || exists;
    if (model != NULL) {
        char native_model[PATH_MAX];
        if (!ini_platform_native_path(model, native_model, sizeof native_model) ||
            stat(native_model, &model_status) != 0) {
            return 0;
        }
        replacement->permissions = model_status.st_mode & 07777;
    } else if (exists) {
        replacement->permissions = status.st_mode & 07777;
        replacement->owner = status.st_uid;
        replacement->group = status.st_gid;
    }
    int fd = ini_platform_create_temporary(replacement);
    if (fd < 0) {
        int refused = errno == EACCES || errno == EPERM || errno == ENAMETOOLONG;
        return refused && exists && may_write_in_place &&
               ini_platform_write_to(replacement,
                                     ini_platform_create_for_writing(replacement->target), 1, 1);
    }
    return ini_platform_write_to(replacement, (IniPlatformFile)fd, 0, 1);
}

/* Flushes the directory that holds path, so that a rename in it lasts. */
static int ini_platform_flush_directory(const char *path)
{
    char directory[INI_PLATFORM_PATH_SIZE];
    size_t length = ini_platform_directory_length(path);
    if (length == 0) {
        memcpy(directory, ".", 2);
    } else {
        memcpy(directory, path, length);
        directory[length] = '\0';
    }
    /* A directory the process may not read cannot be opened to be flushed:
     * its rename is as durable as the system makes it. */
    int fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno == EACCES;
    }
    int synced = ini_platform_sync(fd);
    close(fd);
    return synced;
}

int ini_platform_settle_temporary(const IniPlatformReplacement *replacement)
{
    if (!replacement->keeps_bits) {
        return 1;
    }
    int fd = (int)replacement->file;
    /* The owner first: changing it may clear set-user-ID bits. Only a
     * privileged process may give a file away, but one may still keep the
     * group when it belongs to it; EPERM leaves the caller's. */
    if ((replacement->owner != UINT32_MAX || replacement->group != UINT32_MAX) &&
        fchown(fd, replacement->owner, replacement->group) != 0 &&
        (errno != EPERM || (fchown(fd, (uid_t)-1, replacement->group) != 0 && errno != EPERM))) {
        return 0;
    }
    return fchmod(fd, (mode_t)replacement->permissions) == 0;
}

int ini_platform_move_into_place(const IniPlatformReplacement *replacement)
{
    /* EPERM: a sticky directory, where only the owner of a file may replace
     * it; EACCES: a directory whose permissions refuse it. */
    if (rename(replacement->temporary, replacement->target) != 0) {
        return errno == EPERM || errno == EACCES ? INI_PLATFORM_MOVE_REFUSED
                                                 : INI_PLATFORM_MOVE_FAILED;
    }
    return ini_platform_flush_directory(replacement->target) ? INI_PLATFORM_MOVED
                                                             : INI_PLATFORM_MOVED_UNFLUSHED;
}

IniPlatformFile ini_platform_open_to_rewrite(const char *target)
{
    /* Never through a link that another user put in the file's place. */
    int fd = open(target, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    return fd < 0 ? INI_PLATFORM_NO_FILE : (IniPlatformFile)fd;
}

void ini_platform_remove_temporary(const IniPlatformReplacement *replacement)
{
    unlink(replacement->temporary);
}
