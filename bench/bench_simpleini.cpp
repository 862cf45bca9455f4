/* SPDX-License-Identifier: MIT */
/* SimpleIni, a C++ choice, with its defaults: bytes as they stand, one value
 * per key. Debian builds its code into a library with ICU as the converter,
 * and its header declares that code only for that converter. */
#include "bench.h"

#include <stdio.h>

#define SI_CONVERT_ICU
#include <SimpleIni.h>

static void *bench_simpleini_load(const char *path)
{
    CSimpleIniA *file = new CSimpleIniA;
    SI_Error result = file->LoadFile(path);
    if (result < 0) {
        fprintf(stderr, "CSimpleIniA::LoadFile failed on %s: %d\n", path, (int)result);
        delete file;
        return NULL;
    }
    return file;
}

static void bench_simpleini_count(const void *doc, BenchSample *sample)
{
    const CSimpleIniA *file = (const CSimpleIniA *)doc;
    CSimpleIniA::TNamesDepend sections;
    file->GetAllSections(sections);
    sample->sections = sections.size();
    sample->entries = 0;
    for (const CSimpleIniA::Entry &section : sections) {
        sample->entries += (uint64_t)file->GetSectionSize(section.pItem);
    }
}

static void bench_simpleini_release(void *doc)
{
    delete (CSimpleIniA *)doc;
}

static int bench_simpleini_write(const void *doc, const char *path)
{
    SI_Error result = ((const CSimpleIniA *)doc)->SaveFile(path, false);
    if (result < 0) {
        fprintf(stderr, "CSimpleIniA::SaveFile failed on %s: %d\n", path, (int)result);
        return -1;
    }
    return 0;
}

const BenchPeer bench_simpleini = {"simpleini",           "SimpleIni",
                                   BENCH_ON_ALL,          BENCH_ON_ALL,
                                   BENCH_ON_ALL,          true,
                                   BENCH_REPLACE_AFTER,   bench_simpleini_load,
                                   bench_simpleini_count, bench_simpleini_release,
                                   bench_simpleini_write};
