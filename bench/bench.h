/* SPDX-License-Identifier: MIT */
/* Shared declarations of the benchmark program: the corpora it generates and
 * the operations it measures, each run in a process of its own. */
#ifndef OSTREL_BENCH_BENCH_H
#define OSTREL_BENCH_BENCH_H

#include <stdint.h>

/* What one measured operation reports back to the driver. */
struct BenchSample {
    double seconds;      /* wall time of the measured work only */
    double cpu_seconds;  /* processor time (user and system) of the same work */
    uint64_t bytes;      /* bytes read (loaders) or written (writers) */
    uint64_t sections;   /* sections in the document, for the cross-check */
    uint64_t entries;    /* entries in the document, for the cross-check */
    int64_t baseline_kb; /* resident memory before the measured work */
    int64_t peak_kb;     /* peak resident memory of the process */
};

/* A measured operation: works on the file at path (a corpus) and, for the
 * writers, writes out_path. Returns 0 with *sample filled in, or -1 after
 * printing the reason to stderr. */
typedef int (*BenchOperation)(const char *path, const char *out_path, BenchSample *sample);

/* A point in time, on the wall clock and on the process's processor clock. */
struct BenchStamp {
    double wall;
    double cpu;
};

BenchStamp bench_stamp();

/* Adds the time since start to the sample's seconds and cpu_seconds. */
void bench_add_since(BenchSample *sample, BenchStamp start);

/* Makes glibc finish the work it defers from free(): a request of a size no
 * cache serves merges every freed small block first. Every loader calls it
 * inside its timed region, after releasing its document, so that no peer
 * leaves part of its cost to whatever allocates next. */
void bench_settle_heap();

/* The resident memory of this process now, in KiB. */
int64_t bench_resident_kb();

/* The corpora. */
enum BenchCorpusKind {
    BENCH_CORPUS_TYPICAL,   /* many sections of 50-200 entries, paths, comments */
    BENCH_CORPUS_FLAT,      /* one section of very many short entries */
    BENCH_CORPUS_LONGLINES, /* entries whose lines are 4 KiB to 64 KiB long */
    BENCH_CORPUS_PATHS      /* sections of 20-100 entries, mostly escaped Windows paths */
};

/* Writes the corpus of that kind to path: the same bytes on every call for the
 * same kind and size, about size bytes (it stops at the first line end at or
 * past size). Returns the file size, or 0 after printing the reason. */
uint64_t bench_write_corpus(BenchCorpusKind kind, uint64_t size, const char *path);

/* The operations, by peer. The loaders time loading plus releasing the whole
 * document; the writers time writing a document already in memory. */
int bench_ostrel_load(const char *path, const char *out_path, BenchSample *sample);
int bench_ostrel_save(const char *path, const char *out_path, BenchSample *sample);
int bench_inih_load(const char *path, const char *out_path, BenchSample *sample);
int bench_inih_unlimited_load(const char *path, const char *out_path, BenchSample *sample);
int bench_boost_load(const char *path, const char *out_path, BenchSample *sample);
int bench_boost_save(const char *path, const char *out_path, BenchSample *sample);

/* The writer as it would be without replacing the file whole: the same lines
 * built and written in the same pieces, into the file itself, emptied, then
 * one fsync; what a save that is only flushed costs. */
int bench_save_in_place_flushed(const char *path, const char *out_path, BenchSample *sample);

/* Reference points that are not INI parsers: reading the file in 1 MiB
 * chunks and counting lines with memchr (the practical limit); the same with
 * 1024-byte reads through the platform layer (what the loader's read size
 * alone costs); those reads followed by the allocations the document model
 * prescribes for the file's lines, without any parsing (what the loader's
 * rules alone cost); and writing the writer's output in the same pieces and
 * in 1 MiB pieces. */
int bench_memchr_limit(const char *path, const char *out_path, BenchSample *sample);
int bench_read_1k_floor(const char *path, const char *out_path, BenchSample *sample);
int bench_rules_floor(const char *path, const char *out_path, BenchSample *sample);
int bench_write_per_line_floor(const char *path, const char *out_path, BenchSample *sample);
int bench_write_1m_limit(const char *path, const char *out_path, BenchSample *sample);

/* The installer run. bench_make_distribution writes a distribution under
 * root whose seven executables total about size bytes; bench_clear_install
 * removes what a run creates (keep_published: all but the launcher
 * configuration in the runtime bin directory stays); bench_time_command
 * runs argv with standard output discarded and returns 0 with its wall time
 * and the processor time of it and its children in *sample, or -1 when it
 * fails; bench_check_install returns 0 when the publish directory
 * holds exactly the copies and the launcher configuration a silent run makes,
 * -1 after printing the first difference. */
int bench_make_distribution(const char *root, uint64_t size);
void bench_clear_install(const char *root, bool keep_published);
int bench_time_command(const char *const argv[], BenchSample *sample);
int bench_check_install(const char *root);

#endif
