/* SPDX-License-Identifier: MIT */
/* inih, the usual C choice, with a callback that copies every section, key and
 * value into a document of standard strings, so that it builds and frees a
 * whole document as our loader does. It has no writer. */
#include "bench.h"

#include <ini.h>
#include <stdio.h>

#include <string>
#include <utility>
#include <vector>

struct BenchInihSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
};

struct BenchInihDocument {
    std::vector<BenchInihSection> sections;
};

static int bench_inih_handler(void *user, const char *section, const char *name, const char *value)
{
    BenchInihDocument *doc = (BenchInihDocument *)user;
    if (doc->sections.empty() || doc->sections.back().name != section) {
        doc->sections.push_back(BenchInihSection{section, {}});
    }
    doc->sections.back().entries.emplace_back(name, value);
    return 1;
}

/* Loads with inih as it is configured now. */
static void *bench_inih_load(const char *path)
{
    BenchInihDocument *doc = new BenchInihDocument;
    int result = ini_parse(path, bench_inih_handler, doc);
    if (result != 0) {
        fprintf(stderr, "ini_parse failed on %s: %d\n", path, result);
        delete doc;
        return NULL;
    }
    return doc;
}

static void *bench_inih_unlimited_load(const char *path)
{
    /* Debian's build reads these at run time: a heap line buffer that grows
     * up to ini_max_line bytes lifts the 200-byte line limit. */
    ini_use_stack = false;
    ini_allow_realloc = true;
    ini_max_line = 1 << 20;
    return bench_inih_load(path);
}

static void bench_inih_count(const void *doc, BenchSample *sample)
{
    const BenchInihDocument *document = (const BenchInihDocument *)doc;
    sample->sections = document->sections.size();
    sample->entries = 0;
    for (const BenchInihSection &section : document->sections) {
        sample->entries += section.entries.size();
    }
}

static void bench_inih_release(void *doc)
{
    delete (BenchInihDocument *)doc;
}

/* With its packaged defaults (a 200-byte line on the stack) inih stops at the
 * first long line, so longlines is read with the limit lifted only. */
const BenchPeer bench_inih = {"inih",
                              "inih",
                              BENCH_ON_ALL & ~BENCH_ON_LONGLINES,
                              BENCH_ON_ALL & ~BENCH_ON_LONGLINES,
                              0,
                              true,
                              BENCH_REPLACE_AFTER,
                              bench_inih_load,
                              bench_inih_count,
                              bench_inih_release,
                              NULL};

const BenchPeer bench_inih_unlimited = {"inih-unlimited",
                                        "inih, line limit lifted",
                                        BENCH_ON_LONGLINES,
                                        BENCH_ON_LONGLINES,
                                        0,
                                        true,
                                        BENCH_REPLACE_AFTER,
                                        bench_inih_unlimited_load,
                                        bench_inih_count,
                                        bench_inih_release,
                                        NULL};
