/* SPDX-License-Identifier: MIT */
/* Our loader and writer, measured as every peer is. */
#include "bench.h"

#include <stdio.h>

#include <inifile/inifile.h>

static void *bench_ostrel_load(const char *path)
{
    IniDocument *doc = ini_load_file(path);
    if (doc == NULL) {
        fprintf(stderr, "ini_load_file failed on %s\n", path);
    }
    return doc;
}

static void bench_ostrel_count(const void *doc, BenchSample *sample)
{
    const IniDocument *document = (const IniDocument *)doc;
    sample->sections = (uint64_t)document->section_count;
    sample->entries = 0;
    for (int32_t i = 0; i < document->section_count; i++) {
        sample->entries += (uint64_t)document->sections[i]->entry_count;
    }
}

static void bench_ostrel_release(void *doc)
{
    ini_free_document((IniDocument *)doc);
}

static int bench_ostrel_write(const void *doc, const char *path)
{
    int result = ini_save_file((const IniDocument *)doc, path);
    if (result != 0) {
        fprintf(stderr, "ini_save_file failed on %s: %d\n", path, result);
        return -1;
    }
    return 0;
}

const BenchPeer bench_ostrel = {"ostrel",
                                "**ostrel**",
                                BENCH_ON_ALL,
                                BENCH_ON_ALL,
                                BENCH_ON_ALL,
                                true,
                                BENCH_REPLACE_ITSELF,
                                bench_ostrel_load,
                                bench_ostrel_count,
                                bench_ostrel_release,
                                bench_ostrel_write};
