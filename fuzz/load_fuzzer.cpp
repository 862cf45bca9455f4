/* SPDX-License-Identifier: MIT */
/* Loads arbitrary bytes as a configuration file and checks the document, or
 * the line where it is malformed, against the model of the format, and the
 * document against its structural rules; loads the bytes from memory too, in
 * short reads and through ini_load_memory; then releases it, so that the leak checker
 * sees every block. The logical lines are also read one by one and compared with the model's, each
 * in a block of exactly the capacity that growth in steps of INI_GROW_STEP reaches. */
#include <inifile/inifile.h>
#include <sanitizer/allocator_interface.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "fuzz_checks.h"
#include "platform/platform.h"
#include "support/memory_file.h"

/* Reads the file at path line by line and compares each line with the
 * model's, as far as a NUL-terminated string shows it. */
static void fuzz_check_lines(const char *path, const uint8_t *data, size_t size)
{
    std::vector<std::string> expected = model_logical_lines(data, size);
    IniLineReader reader;
    reader.file = ini_platform_open_for_reading(path);
    fuzz_check(reader.file != INI_PLATFORM_NO_FILE, "file opens");
    reader.end_of_input = INI_READER_MORE;
    reader.bytes_available = 0;
    reader.read_position = 0;
    size_t count = 0;
    char *line;
    while ((line = ini_read_line(&reader)) != NULL) {
        fuzz_check(count < expected.size(), "no more lines than the model");
        const std::string &model_line = expected[count];
        fuzz_check(strcmp(line, model_line.c_str()) == 0, "line as the model reads it");
        fuzz_check(__sanitizer_get_allocated_size(line) ==
                       model_block_capacity(model_line.size() + 1),
                   "line block at the capacity that growth in steps reaches");
        free(line);
        count++;
    }
    ini_platform_close(reader.file);
    fuzz_check(count == expected.size(), "as many lines as the model");
    fuzz_check(ini_read_line(&reader) == NULL, "no line after the end");
}

/* Checks that a second load of the same bytes, named what, gave the document
 * (released here), result and line of the load from the file. */
static void fuzz_check_same_load(IniDocument *again, IniLoadResult again_result, int32_t again_line,
                                 const IniDocument *doc, IniLoadResult result, int32_t line,
                                 const char *what)
{
    std::string named = what;
    fuzz_check(again_result == result && again_line == line,
               (named + " gives the same result and line").c_str());
    fuzz_check((again != NULL) == (doc != NULL), (named + " loads alike").c_str());
    if (again != NULL) {
        fuzz_check_equal(model_of(again), model_of(doc), (named + "'s document").c_str());
        ini_free_document(again);
    }
}

/* Loads the bytes again from memory, in reads of a few bytes each, so that
 * chunk edges fall everywhere, and through ini_load_memory: each must give
 * the same document, result and line as the load from the file. */
static void fuzz_check_memory_loads(const uint8_t *data, size_t size, const IniDocument *doc,
                                    IniLoadResult result, int32_t line)
{
    IniLoadResult again_result = INI_LOAD_OK;
    int32_t again_line = -1;
    IniDocument *again = load_from_memory((const char *)data, size, (uint32_t)(size % 7 + 1),
                                          &again_result, &again_line);
    fuzz_check_same_load(again, again_result, again_line, doc, result, line, "short reads");
    again_result = INI_LOAD_OK;
    again_line = -1;
    again = ini_load_memory(data, size, &again_result, &again_line);
    fuzz_check_same_load(again, again_result, again_line, doc, result, line, "ini_load_memory");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *path = fuzz_temp_path("load_fuzzer");
    fuzz_write_file(path, data, size);
    fuzz_check_lines(path, data, size);

    ModelDocument expected;
    uint64_t malformed_line = 0;
    bool well_formed = model_load(data, size, &expected, &malformed_line);
    IniLoadResult result = INI_LOAD_OK;
    int32_t line = -1;
    IniDocument *doc = ini_load_file_with_result(path, &result, &line);
    fuzz_check_memory_loads(data, size, doc, result, line);
    fuzz_check((doc != NULL) == well_formed, "loaded exactly when well formed");
    if (doc == NULL) {
        fuzz_check(result == INI_LOAD_MALFORMED && (uint64_t)line == malformed_line,
                   "malformed at the line where the model finds it");
        return 0;
    }
    fuzz_check(result == INI_LOAD_OK && line == 0, "loaded with result OK and no line");
    fuzz_check_document(doc, FUZZ_ENTRIES_LOADED);
    fuzz_check_equal(model_of(doc), expected, "loaded document as the format says");
    fuzz_check(doc->section_capacity == model_capacity(doc->section_count),
               "section capacity grown only when full");
    for (int32_t i = 0; i < doc->section_count; i++) {
        const IniSection *section = doc->sections[i];
        fuzz_check(section->entry_capacity == model_capacity(section->entry_count),
                   "entry capacity grown only when full");
    }
    ini_free_document(doc);
    return 0;
}
