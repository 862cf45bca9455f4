/* SPDX-License-Identifier: MIT */
#include "fuzz_checks.h"

#include <sanitizer/allocator_interface.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <map>

void fuzz_check(bool condition, const char *message)
{
    if (!condition) {
        fprintf(stderr, "fuzz check failed: %s\n", message);
        abort();
    }
}

void fuzz_check_equal(const ModelDocument &actual, const ModelDocument &expected,
                      const char *message)
{
    bool equal = actual.size() == expected.size();
    for (size_t i = 0; equal && i < actual.size(); i++) {
        equal = actual[i].name == expected[i].name && actual[i].entries == expected[i].entries;
    }
    if (!equal) {
        fprintf(stderr, "actual: %s", model_describe(actual).c_str());
        fprintf(stderr, "expected: %s", model_describe(expected).c_str());
    }
    fuzz_check(equal, message);
}

/* The size of the live heap block that starts at start; aborts when start is
 * not the start of one. */
static size_t fuzz_block_size(const void *start, const char *what)
{
    fuzz_check(__sanitizer_get_ownership(start) != 0, what);
    return __sanitizer_get_allocated_size(start);
}

/* Checks a count and capacity pair and the array they describe. */
static void fuzz_check_array(int32_t count, int32_t capacity, const void *array)
{
    fuzz_check(count >= 0 && count <= capacity, "count within capacity");
    fuzz_check(capacity >= INI_GROW_STEP && capacity % INI_GROW_STEP == 0,
               "capacity a positive multiple of the grow step");
    fuzz_check(fuzz_block_size(array, "array at the start of a heap block") ==
                   (size_t)capacity * sizeof(void *),
               "array allocated with exactly its capacity");
}

/* Checks that the key and value of entry lie in one heap block. */
static void fuzz_check_entry(const IniEntry *entry, FuzzEntryOrigin origin)
{
    fuzz_block_size(entry, "entry record at the start of a heap block");
    size_t block = fuzz_block_size(entry->key, "key at the start of a heap block");
    size_t key_length = strnlen(entry->key, block);
    fuzz_check(key_length < block, "key terminated inside its block");
    /* Compared as integers: a value outside the block must not make the
     * comparison itself undefined. */
    uintptr_t key = (uintptr_t)entry->key;
    uintptr_t value = (uintptr_t)entry->value;
    fuzz_check(value >= key + key_length + 1 && value < key + block,
               "value inside the key's block, after the key's NUL");
    size_t value_room = key + block - value;
    size_t value_length = strnlen(entry->value, value_room);
    fuzz_check(value_length < value_room, "value terminated inside the key's block");

    if (origin == FUZZ_ENTRIES_PUT) {
        fuzz_check(value == key + key_length + 1, "put value right after the key's NUL");
        fuzz_check(block == key_length + value_length + 2, "put block holds exactly key and value");
        return;
    }
    fuzz_check(key_length > 0, "loaded key not empty");
    fuzz_check(entry->key[0] != ' ' && entry->key[key_length - 1] != ' ',
               "loaded key without leading or trailing space");
    fuzz_check(entry->value[0] != ' ', "loaded value without leading space");
    /* Between the key and the value: the NULs that replaced the spaces and
     * the "=", then the spaces skipped after it. */
    const char *gap = entry->key + key_length;
    size_t gap_length = (size_t)(value - (key + key_length));
    size_t nuls = 0;
    while (nuls < gap_length && gap[nuls] == '\0') {
        nuls++;
    }
    size_t spaces = nuls;
    while (spaces < gap_length && gap[spaces] == ' ') {
        spaces++;
    }
    fuzz_check(nuls >= 1 && spaces == gap_length,
               "loaded key and value separated by NULs, then spaces");
}

/* Whether the lookups of position i are checked: all of them in small
 * containers, the first and the last ones in large ones, so that a check
 * stays linear in practice. */
static bool fuzz_checks_lookup(int32_t i, int32_t count)
{
    return i < 64 || i >= count - 16;
}

static void fuzz_check_section(const IniSection *section, FuzzEntryOrigin origin)
{
    fuzz_block_size(section, "section record at the start of a heap block");
    size_t name_block = fuzz_block_size(section->name, "name at the start of a heap block");
    size_t name_length = strnlen(section->name, name_block);
    fuzz_check(name_length < name_block, "name terminated inside its block");
    if (origin == FUZZ_ENTRIES_PUT) {
        fuzz_check(name_block == name_length + 1, "made name block holds exactly the name");
    } else {
        fuzz_check(name_length > 0, "loaded name not empty");
    }
    fuzz_check_array(section->entry_count, section->entry_capacity, section->entries);

    std::map<std::string, int32_t> first_index;
    for (int32_t i = 0; i < section->entry_count; i++) {
        const IniEntry *entry = section->entries[i];
        fuzz_check_entry(entry, origin);
        int32_t first = first_index.emplace(entry->key, i).first->second;
        if (fuzz_checks_lookup(i, section->entry_count)) {
            fuzz_check(ini_entry_index(section, entry->key) == first, "entry index is the first");
            fuzz_check(ini_find_value(section, entry->key) == section->entries[first]->value,
                       "found value is the first entry's");
            fuzz_check(ini_entry_key_at(section, i) == entry->key, "key at position");
        }
    }
    fuzz_check(ini_entry_key_at(section, section->entry_count) == NULL, "no key past the count");
}

void fuzz_check_document(const IniDocument *doc, FuzzEntryOrigin origin)
{
    fuzz_block_size(doc, "document record at the start of a heap block");
    fuzz_check_array(doc->section_count, doc->section_capacity, doc->sections);
    std::map<std::string, int32_t> first_index;
    for (int32_t i = 0; i < doc->section_count; i++) {
        const IniSection *section = doc->sections[i];
        fuzz_check_section(section, origin);
        int32_t first = first_index.emplace(section->name, i).first->second;
        if (fuzz_checks_lookup(i, doc->section_count)) {
            fuzz_check(ini_section_index(doc, section->name) == first,
                       "section index is the first");
            fuzz_check(ini_find_section(doc, section->name) == doc->sections[first],
                       "found section is the first");
            fuzz_check(ini_section_name_at(doc, i) == section->name, "name at position");
        }
    }
    fuzz_check(ini_section_name_at(doc, doc->section_count) == NULL, "no name past the count");
}

static char fuzz_temp_file[4096];

static void fuzz_remove_temp_file()
{
    unlink(fuzz_temp_file);
}

const char *fuzz_temp_path(const char *target)
{
    if (fuzz_temp_file[0] == '\0') {
        const char *directory = getenv("TMPDIR");
        if (directory == NULL || directory[0] == '\0') {
            directory = "/tmp";
        }
        int length = snprintf(fuzz_temp_file, sizeof fuzz_temp_file, "%s/ostrel-%s-%ld.ini",
                              directory, target, (long)getpid());
        fuzz_check(length > 0 && (size_t)length < sizeof fuzz_temp_file, "temporary path fits");
        atexit(fuzz_remove_temp_file);
    }
    return fuzz_temp_file;
}

void fuzz_write_file(const char *path, const uint8_t *bytes, size_t size)
{
    FILE *file = fopen(path, "wb");
    fuzz_check(file != NULL, "temporary file can be created");
    fuzz_check(size == 0 || fwrite(bytes, 1, size, file) == size, "temporary file written");
    fuzz_check(fclose(file) == 0, "temporary file closed");
}

std::string fuzz_read_file(const char *path)
{
    FILE *file = fopen(path, "rb");
    fuzz_check(file != NULL, "file can be opened");
    std::string bytes;
    char chunk[4096];
    size_t count;
    while ((count = fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.append(chunk, count);
    }
    fuzz_check(ferror(file) == 0, "file read");
    fclose(file);
    return bytes;
}
