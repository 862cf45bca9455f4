/* SPDX-License-Identifier: MIT */
/* iniparser, a small C choice. It keeps every entry as "section:key" in one
 * dictionary and looks each new key up among all the others, so its load
 * grows with the square of the entries: about 3 s for the 8 MB typical
 * corpus, 11 s for flat, so it is timed once per fresh process only, and on
 * typical and paths only. It stops at a line of 1,024 bytes or more, which
 * rules out longlines. */
#include "bench.h"

#include <stdio.h>
#include <string.h>

#include <iniparser.h>

static void *bench_iniparser_load(const char *path)
{
    dictionary *doc = iniparser_load(path);
    if (doc == NULL) {
        fprintf(stderr, "iniparser_load failed on %s\n", path);
    }
    return doc;
}

/* A section is a key without ":", an entry one with it. */
static void bench_iniparser_count(const void *doc, BenchSample *sample)
{
    const dictionary *dict = (const dictionary *)doc;
    sample->sections = 0;
    sample->entries = 0;
    for (ssize_t i = 0; i < dict->size; i++) {
        if (dict->key[i] != NULL) {
            (strchr(dict->key[i], ':') != NULL ? sample->entries : sample->sections)++;
        }
    }
}

static void bench_iniparser_release(void *doc)
{
    iniparser_freedict((dictionary *)doc);
}

static int bench_iniparser_write(const void *doc, const char *path)
{
    FILE *file = fopen(path, "w");
    if (file == NULL) {
        fprintf(stderr, "cannot create %s\n", path);
        return -1;
    }
    iniparser_dump_ini((const dictionary *)doc, file);
    bool complete = !ferror(file);
    complete = fclose(file) == 0 && complete;
    if (!complete) {
        fprintf(stderr, "iniparser_dump_ini failed on %s\n", path);
        return -1;
    }
    return 0;
}

const BenchPeer bench_iniparser = {"iniparser",
                                   "iniparser",
                                   0,
                                   BENCH_ON_TYPICAL_AND_PATHS,
                                   BENCH_ON_TYPICAL_AND_PATHS,
                                   true,
                                   BENCH_REPLACE_AFTER,
                                   bench_iniparser_load,
                                   bench_iniparser_count,
                                   bench_iniparser_release,
                                   bench_iniparser_write};
