/* SPDX-License-Identifier: MIT */
/* GLib's GKeyFile, the desktop's choice. Its save replaces the file with a
 * flushed temporary on its own (it flushes when the file it replaces is not
 * empty, as every target of the benchmark is); only the directory's flush is
 * the benchmark's. */
#include "bench.h"

#include <stdio.h>

#include <glib.h>

static void *bench_gkeyfile_load(const char *path)
{
    GKeyFile *file = g_key_file_new();
    GError *error = NULL;
    if (!g_key_file_load_from_file(file, path, G_KEY_FILE_NONE, &error)) {
        fprintf(stderr, "g_key_file_load_from_file failed on %s: %s\n", path, error->message);
        g_error_free(error);
        g_key_file_free(file);
        return NULL;
    }
    return file;
}

static void bench_gkeyfile_count(const void *doc, BenchSample *sample)
{
    GKeyFile *file = (GKeyFile *)doc;
    gsize group_count = 0;
    gchar **groups = g_key_file_get_groups(file, &group_count);
    sample->sections = group_count;
    sample->entries = 0;
    for (gsize i = 0; i < group_count; i++) {
        gsize key_count = 0;
        g_strfreev(g_key_file_get_keys(file, groups[i], &key_count, NULL));
        sample->entries += key_count;
    }
    g_strfreev(groups);
}

static void bench_gkeyfile_release(void *doc)
{
    g_key_file_free((GKeyFile *)doc);
}

static int bench_gkeyfile_write(const void *doc, const char *path)
{
    GError *error = NULL;
    if (!g_key_file_save_to_file((GKeyFile *)doc, path, &error)) {
        fprintf(stderr, "g_key_file_save_to_file failed on %s: %s\n", path, error->message);
        g_error_free(error);
        return -1;
    }
    return 0;
}

const BenchPeer bench_gkeyfile = {"gkeyfile",
                                  "GKeyFile",
                                  BENCH_ON_ALL,
                                  BENCH_ON_ALL,
                                  BENCH_ON_ALL,
                                  true,
                                  BENCH_REPLACE_BUT_DIRECTORY,
                                  bench_gkeyfile_load,
                                  bench_gkeyfile_count,
                                  bench_gkeyfile_release,
                                  bench_gkeyfile_write};
