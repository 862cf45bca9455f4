/* SPDX-License-Identifier: MIT */
/* What the fuzz targets share besides the model of the format: checks that
 * print what they found and abort, which libFuzzer reports as a crash, checks
 * of a library document against its structural rules, and the temporary file
 * each target loads from. Built only in the fuzz build: the structural checks
 * ask the sanitizers' allocator for the size of heap blocks. */
#ifndef OSTREL_FUZZ_FUZZ_CHECKS_H
#define OSTREL_FUZZ_FUZZ_CHECKS_H

#include "ini_model.h"

/* Prints message and aborts unless condition holds. */
void fuzz_check(bool condition, const char *message);

/* Aborts, printing both documents, unless actual equals expected. */
void fuzz_check_equal(const ModelDocument &actual, const ModelDocument &expected,
                      const char *message);

/* How the entries of a document were made. */
enum FuzzEntryOrigin {
    FUZZ_ENTRIES_LOADED, /* by the loader: one line per block */
    FUZZ_ENTRIES_PUT     /* by ini_put_entry: key, NUL, value, NUL */
};

/* Checks every structural rule of doc: counts within capacities, capacities
 * multiples of the grow step, arrays allocated with exactly their capacity,
 * names and keys at the start of heap blocks of their own, each value inside
 * its key's block after the key's NUL, and the lookups agreeing with a plain
 * scan. Loaded entries must also have keys without leading or trailing spaces
 * and values without leading spaces. Aborts on the first violation. */
void fuzz_check_document(const IniDocument *doc, FuzzEntryOrigin origin);

/* A file of this process's own in the temporary directory, for one fuzz
 * target; removed when the process exits. */
const char *fuzz_temp_path(const char *target);

/* Replaces the content of the file at path with bytes. Aborts on failure. */
void fuzz_write_file(const char *path, const uint8_t *bytes, size_t size);

/* The whole content of the file at path. Aborts on failure. */
std::string fuzz_read_file(const char *path);

#endif
