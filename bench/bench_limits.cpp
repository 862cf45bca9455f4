/* SPDX-License-Identifier: MIT */
/* Reading without parsing: the practical limit, and the cost of reading in
 * the loader's 1024-byte chunks alone. */
#include "bench.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <inifile/inifile.h>

#include "platform/platform.h"

/* Counts the line feeds in count bytes. */
static uint64_t bench_count_lines(const char *bytes, size_t count)
{
    uint64_t lines = 0;
    const char *end = bytes + count;
    while ((bytes = (const char *)memchr(bytes, '\n', (size_t)(end - bytes))) != NULL) {
        lines++;
        bytes++;
    }
    return lines;
}

int bench_memchr_limit(const char *path, const char *, BenchSample *sample)
{
    enum { CHUNK = 1 << 20 };
    char *buffer = (char *)malloc(CHUNK);
    BenchStamp start = bench_stamp();
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "cannot open %s\n", path);
        free(buffer);
        return -1;
    }
    ssize_t count;
    while ((count = read(fd, buffer, CHUNK)) > 0) {
        sample->entries += bench_count_lines(buffer, (size_t)count);
        sample->bytes += (uint64_t)count;
    }
    close(fd);
    bench_add_since(sample, start);
    free(buffer);
    return count == 0 ? 0 : -1;
}

int bench_read_1k_floor(const char *path, const char *, BenchSample *sample)
{
    char buffer[INI_READ_CHUNK];
    BenchStamp start = bench_stamp();
    IniPlatformFile file = ini_platform_open_for_reading(path);
    if (file == INI_PLATFORM_NO_FILE) {
        fprintf(stderr, "cannot open %s\n", path);
        return -1;
    }
    int32_t count;
    while ((count = ini_platform_read(file, buffer, sizeof buffer)) > 0) {
        sample->entries += bench_count_lines(buffer, (size_t)count);
        sample->bytes += (uint64_t)count;
    }
    ini_platform_close(file);
    bench_add_since(sample, start);
    return count == 0 ? 0 : -1;
}
