/* SPDX-License-Identifier: MIT */
/* inih, the usual C choice, with a callback that copies every section, key and
 * value into a document of standard strings, so that it builds and frees a
 * whole document as our loader does. */
#include "bench.h"

#include <ini.h>
#include <stdio.h>
#include <sys/stat.h>

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

/* Loads with inih as it is configured now and frees the document. */
static int bench_inih_run(const char *path, BenchSample *sample)
{
    BenchInihDocument *doc = new BenchInihDocument;
    BenchStamp start = bench_stamp();
    int result = ini_parse(path, bench_inih_handler, doc);
    bench_add_since(sample, start);
    if (result != 0) {
        fprintf(stderr, "ini_parse failed on %s: %d\n", path, result);
        delete doc;
        return -1;
    }
    sample->sections = doc->sections.size();
    sample->entries = 0;
    for (const BenchInihSection &section : doc->sections) {
        sample->entries += section.entries.size();
    }
    start = bench_stamp();
    delete doc;
    bench_settle_heap();
    bench_add_since(sample, start);
    struct stat status;
    sample->bytes = stat(path, &status) == 0 ? (uint64_t)status.st_size : 0;
    return 0;
}

int bench_inih_load(const char *path, const char *, BenchSample *sample)
{
    return bench_inih_run(path, sample);
}

int bench_inih_unlimited_load(const char *path, const char *, BenchSample *sample)
{
    /* Debian's build reads these at run time: a heap line buffer that grows
     * up to ini_max_line bytes lifts the 200-byte line limit. */
    ini_use_stack = false;
    ini_allow_realloc = true;
    ini_max_line = 1 << 20;
    return bench_inih_run(path, sample);
}
