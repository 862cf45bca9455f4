/* SPDX-License-Identifier: MIT */
/* The floors that no INI library can go under: for a load, one memchr pass
 * that counts the file's lines as it reads it in 1 MiB pieces, and the file
 * read into one block that it keeps; for a save, the bytes our writer
 * writes, made ready beforehand, in one write. */
#include "bench.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <inifile/inifile.h>

/* What a memchr pass finds: the lines of the file. */
struct BenchLineCount {
    uint64_t lines;
};

/* The pass reads into one buffer for the whole process, as a loader reuses
 * its own, so that repeated passes do not time a fresh mapping each. */
static char bench_pass_buffer[1 << 20];

static void *bench_memchr_load(const char *path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "cannot open %s\n", path);
        return NULL;
    }
    BenchLineCount *count = (BenchLineCount *)malloc(sizeof(BenchLineCount));
    count->lines = 0;
    ssize_t got;
    while ((got = read(fd, bench_pass_buffer, sizeof bench_pass_buffer)) > 0) {
        const char *bytes = bench_pass_buffer, *end = bench_pass_buffer + got;
        while ((bytes = (const char *)memchr(bytes, '\n', (size_t)(end - bytes))) != NULL) {
            count->lines++;
            bytes++;
        }
    }
    close(fd);
    if (got < 0) {
        fprintf(stderr, "cannot read %s\n", path);
        free(count);
        return NULL;
    }
    return count;
}

static void bench_memchr_count(const void *doc, BenchSample *sample)
{
    sample->sections = 0;
    sample->entries = ((const BenchLineCount *)doc)->lines;
}

/* The floor of a load that keeps what it reads, as a document keeps its
 * lines: the file read whole into one block of its size. A fresh process
 * takes that block from the system page by page, as a loader takes the
 * blocks of its document. */
static void *bench_held_load(const char *path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat status;
    if (fd < 0 || fstat(fd, &status) != 0) {
        fprintf(stderr, "cannot open %s\n", path);
        if (fd >= 0) {
            close(fd);
        }
        return NULL;
    }
    size_t size = (size_t)status.st_size;
    char *bytes = (char *)malloc(size + 1);
    size_t held = 0;
    ssize_t got = 1;
    while (held < size && (got = read(fd, bytes + held, size - held)) > 0) {
        held += (size_t)got;
    }
    close(fd);
    if (got < 0) {
        fprintf(stderr, "cannot read %s\n", path);
        free(bytes);
        return NULL;
    }
    return bytes;
}

static void bench_held_count(const void *, BenchSample *sample)
{
    sample->sections = 0;
    sample->entries = 0;
}

/* Our writer's exact output, with the counts of the document it came from. */
struct BenchOutput {
    char *bytes;
    size_t size;
    BenchSample counts;
};

static void *bench_output_load(const char *path)
{
    IniDocument *doc = (IniDocument *)bench_ostrel.load(path);
    if (doc == NULL) {
        return NULL;
    }
    BenchOutput *output = (BenchOutput *)calloc(1, sizeof(BenchOutput));
    bench_ostrel.count(doc, &output->counts);
    int result = ini_save_memory(doc, &output->bytes, &output->size);
    ini_free_document(doc);
    if (result != 0) {
        fprintf(stderr, "ini_save_memory failed: %d\n", result);
        free(output);
        return NULL;
    }
    return output;
}

static void bench_output_count(const void *doc, BenchSample *sample)
{
    sample->sections = ((const BenchOutput *)doc)->counts.sections;
    sample->entries = ((const BenchOutput *)doc)->counts.entries;
}

static void bench_output_release(void *doc)
{
    if (doc != NULL) {
        free(((BenchOutput *)doc)->bytes);
    }
    free(doc);
}

static int bench_output_write(const void *doc, const char *path)
{
    const BenchOutput *output = (const BenchOutput *)doc;
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        fprintf(stderr, "cannot create %s\n", path);
        return -1;
    }
    bool complete = write(fd, output->bytes, output->size) == (ssize_t)output->size;
    complete = close(fd) == 0 && complete;
    if (!complete) {
        fprintf(stderr, "cannot write %s\n", path);
        return -1;
    }
    return 0;
}

const BenchPeer bench_memchr_pass = {
    "memchr", "one memchr pass",   BENCH_ON_ALL,      BENCH_ON_ALL,       0,
    false,    BENCH_REPLACE_AFTER, bench_memchr_load, bench_memchr_count, free,
    NULL};

const BenchPeer bench_held_file = {"held-file",
                                   "the file read into one block",
                                   BENCH_ON_ALL,
                                   BENCH_ON_ALL,
                                   0,
                                   false,
                                   BENCH_REPLACE_AFTER,
                                   bench_held_load,
                                   bench_held_count,
                                   free,
                                   NULL};

const BenchPeer bench_durable_floor = {"durable-floor",
                                       "the durable floor",
                                       0,
                                       0,
                                       BENCH_ON_ALL,
                                       true,
                                       BENCH_REPLACE_AFTER,
                                       bench_output_load,
                                       bench_output_count,
                                       bench_output_release,
                                       bench_output_write};
