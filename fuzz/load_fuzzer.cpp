/* Loads arbitrary bytes as a configuration file and checks the document, or
 * the line where it is malformed, against the model of the format, and the
 * document against its structural rules; loads the bytes from memory with
 * the portable search too, and through ini_load_memory; then releases it, so that the leak checker
 * sees every block. The logical lines are also read one by one and compared with the model's, each
 * in a block of exactly the capacity that growth in steps of INI_GROW_STEP reaches. */
#include <inifile/inifile.h>
#include <sanitizer/allocator_interface.h>
#include <stdlib.h>
#include <string.h>

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

/* Loads the bytes again from memory, with the portable search and reads of
 * a few bytes each, so that chunk edges fall everywhere: the loader must
 * give the same document, result and line as from the file. */
static void fuzz_check_portable_load(const uint8_t *data, size_t size, const IniDocument *doc,
                                     IniLoadResult result, int32_t line)
{
    IniLoadResult portable_result = INI_LOAD_OK;
    int32_t portable_line = -1;
    IniDocument *portable =
        load_from_memory((const char *)data, size, INI_SEARCH_PORTABLE, (uint32_t)(size % 7 + 1),
                         &portable_result, &portable_line);
    fuzz_check(portable_result == result && portable_line == line,
               "the portable search gives the same result and line");
    fuzz_check((portable != NULL) == (doc != NULL), "the portable search loads alike");
    if (portable != NULL) {
        fuzz_check_equal(model_of(portable), model_of(doc), "the portable search's document");
        ini_free_document(portable);
    }
}

/* Loads the bytes through ini_load_memory: the same document, result and
 * line as from the file. */
static void fuzz_check_memory_load(const uint8_t *data, size_t size, const IniDocument *doc,
                                   IniLoadResult result, int32_t line)
{
    IniLoadResult memory_result = INI_LOAD_OK;
    int32_t memory_line = -1;
    IniDocument *memory = ini_load_memory(data, size, &memory_result, &memory_line);
    fuzz_check(memory_result == result && memory_line == line,
               "ini_load_memory gives the same result and line");
    fuzz_check((memory != NULL) == (doc != NULL), "ini_load_memory loads alike");
    if (memory != NULL) {
        fuzz_check_equal(model_of(memory), model_of(doc), "ini_load_memory's document");
        ini_free_document(memory);
    }
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
    fuzz_check_portable_load(data, size, doc, result, line);
    fuzz_check_memory_load(data, size, doc, result, line);
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
