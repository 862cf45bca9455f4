/* SPDX-License-Identifier: MIT */
/* The measured operations, the same for every peer: loads, and saves made
 * durable by one protocol, a temporary beside the target flushed and renamed
 * over it, then the directory flushed. */
#include "bench.h"

#include <fcntl.h>
#include <libgen.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

uint64_t bench_file_size(const char *path)
{
    struct stat status;
    return stat(path, &status) == 0 ? (uint64_t)status.st_size : 0;
}

int bench_measure_load(const BenchPeer *peer, const char *path, int repeats, BenchSample *sample)
{
    for (int load = 0; load < repeats; load++) {
        BenchStamp start = bench_stamp();
        void *doc = peer->load(path);
        bench_add_since(sample, start);
        if (doc == NULL) {
            return -1;
        }
        if (load == 0) {
            peer->count(doc, sample);
        }
        start = bench_stamp();
        peer->release(doc);
        bench_settle_heap();
        bench_add_since(sample, start);
    }
    sample->bytes = bench_file_size(path) * (uint64_t)repeats;
    return 0;
}

/* Flushes the file at path, or the directory when directory is set, to disk.
 * Returns 0, or -1 after printing the reason. */
static int bench_flush(const char *path, bool directory)
{
    int fd = open(path, (directory ? O_RDONLY | O_DIRECTORY : O_WRONLY) | O_CLOEXEC);
    bool flushed = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0) {
        flushed = close(fd) == 0 && flushed;
    }
    if (!flushed) {
        fprintf(stderr, "cannot flush %s\n", path);
        return -1;
    }
    return 0;
}

/* Writes doc over out_path as the protocol asks, adding to what the peer's
 * write does what it lacks. Returns 0, or -1 after printing the reason. */
static int bench_replace(const BenchPeer *peer, const void *doc, const char *out_path,
                         const char *directory)
{
    if (peer->replace != BENCH_REPLACE_AFTER) {
        if (peer->write(doc, out_path) != 0) {
            return -1;
        }
        return peer->replace == BENCH_REPLACE_ITSELF ? 0 : bench_flush(directory, true);
    }
    std::string temporary = std::string(out_path) + ".tmp";
    if (peer->write(doc, temporary.c_str()) != 0 || bench_flush(temporary.c_str(), false) != 0) {
        return -1;
    }
    if (rename(temporary.c_str(), out_path) != 0) {
        fprintf(stderr, "cannot rename %s\n", temporary.c_str());
        return -1;
    }
    return bench_flush(directory, true);
}

int bench_measure_save(const BenchPeer *peer, const char *path, const char *out_path,
                       BenchSample *sample)
{
    void *doc = peer->load(path);
    if (doc == NULL) {
        return -1;
    }
    peer->count(doc, sample);
    /* The target exists, as when a program saves its configuration again;
     * GKeyFile flushes its temporary only then. */
    FILE *old = fopen(out_path, "w");
    bool created = old != NULL && fputs("[old]\n", old) >= 0;
    if (old == NULL || fclose(old) != 0 || !created) {
        fprintf(stderr, "cannot create %s\n", out_path);
        peer->release(doc);
        return -1;
    }
    std::string directory_of = out_path;
    const char *directory = dirname(&directory_of[0]);
    BenchStamp start = bench_stamp();
    int result = bench_replace(peer, doc, out_path, directory);
    bench_add_since(sample, start);
    peer->release(doc);
    if (result != 0) {
        return -1;
    }
    sample->bytes = bench_file_size(out_path);

    /* The file written must load back into as many sections and entries. */
    void *again = bench_ostrel.load(out_path);
    BenchSample check = {};
    if (again != NULL) {
        bench_ostrel.count(again, &check);
        bench_ostrel.release(again);
    }
    if (check.sections != sample->sections || check.entries != sample->entries) {
        fprintf(stderr, "%s does not load back into the document saved\n", out_path);
        return -1;
    }
    return 0;
}
