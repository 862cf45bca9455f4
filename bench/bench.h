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
    BENCH_CORPUS_TYPICAL,   /* many sections of 50-200 entries, 40% of the values paths */
    BENCH_CORPUS_FLAT,      /* one section of very many short entries */
    BENCH_CORPUS_LONGLINES, /* entries whose lines are 4 KiB to 64 KiB long */
    BENCH_CORPUS_PATHS      /* sections of 20-100 entries, mostly Windows paths */
};

/* Writes the corpus of that kind to path, in the form every peer reads alike:
 * no comment lines, and "/" between a path's parts. The same bytes on every
 * call for the same kind and size, about size bytes (it stops at the first
 * line end at or past size). Returns the file size, or 0 after printing the
 * reason. */
uint64_t bench_write_corpus(BenchCorpusKind kind, uint64_t size, const char *path);

/* The corpora each measurement runs on, as a set: bit (1 << kind) per kind. */
enum : unsigned {
    BENCH_ON_ALL = 0xf,
    BENCH_ON_LONGLINES = 1u << BENCH_CORPUS_LONGLINES,
    BENCH_ON_TYPICAL_AND_PATHS = (1u << BENCH_CORPUS_TYPICAL) | (1u << BENCH_CORPUS_PATHS)
};

/* What a peer's write does beyond writing the document into the file it is
 * given, and so what the benchmark adds to make every save durable alike: a
 * temporary beside the target, flushed, renamed over it, the directory
 * flushed. */
enum BenchReplace {
    BENCH_REPLACE_AFTER,        /* nothing: the benchmark gives it the temporary,
                                   then flushes, renames and flushes the directory */
    BENCH_REPLACE_ITSELF,       /* all of it: it is given the target */
    BENCH_REPLACE_BUT_DIRECTORY /* all but the directory's flush, which the
                                   benchmark adds: it is given the target */
};

/* One INI library, or a floor, through its public interface. The benchmark
 * runs "NAME-load" and "NAME-save" for it on the corpora its sets name. */
struct BenchPeer {
    const char *name;     /* names its operations */
    const char *label;    /* what the report calls it */
    unsigned repeated;    /* corpora its load is timed on 10 times in one process */
    unsigned fresh;       /* corpora its load is timed on once per fresh process */
    unsigned saves;       /* corpora its save is timed on */
    bool builds_document; /* false for a floor, whose counts are no document's */
    BenchReplace replace; /* what write does, for a peer that saves */
    /* Reads the file at path into a new document, owned by the caller.
     * Returns null after printing the reason. */
    void *(*load)(const char *path);
    /* Stores the document's count of sections and of entries in sample. */
    void (*count)(const void *doc, BenchSample *sample);
    /* Frees the document and all it holds. */
    void (*release)(void *doc);
    /* Writes the document into the file at path with the peer's writer.
     * Returns 0, or -1 after printing the reason; null for a peer that does
     * not save. */
    int (*write)(const void *doc, const char *path);
};

/* The peers, each defined beside the library it drives. */
extern const BenchPeer bench_ostrel;
extern const BenchPeer bench_inih;
extern const BenchPeer bench_inih_unlimited;
extern const BenchPeer bench_boost;
extern const BenchPeer bench_gkeyfile;
extern const BenchPeer bench_simpleini;
extern const BenchPeer bench_iniparser;
/* The floors: one memchr pass over the file, read in 1 MiB pieces, and the
 * file read into one block that it keeps (a load's); our writer's exact
 * output in one write (a save's). */
extern const BenchPeer bench_memchr_pass;
extern const BenchPeer bench_held_file;
extern const BenchPeer bench_durable_floor;

/* The measured operations, run in a process of their own. bench_measure_load
 * loads and frees the file at path repeats times with peer, timing every load
 * and free; bench_measure_save loads it untimed and writes out_path with one
 * line, then times one save over it by the durable protocol, and checks that the file saved loads
 * back with our loader into as many sections and entries. Both return 0 with *sample filled in, or
 * -1 after printing the reason. */
int bench_measure_load(const BenchPeer *peer, const char *path, int repeats, BenchSample *sample);
int bench_measure_save(const BenchPeer *peer, const char *path, const char *out_path,
                       BenchSample *sample);

/* The size of the file at path in bytes; 0 when it cannot be had. */
uint64_t bench_file_size(const char *path);

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
