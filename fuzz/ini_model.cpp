#include "ini_model.h"

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

std::vector<std::string> model_logical_lines(const uint8_t *bytes, size_t size)
{
    std::vector<std::string> lines;
    std::string line;
    bool escaped = false;
    bool in_comment = false;
    for (size_t i = 0; i < size; i++) {
        char byte = (char)bytes[i];
        if (in_comment) {
            if (byte != '\n') {
                continue; /* everything up to the line feed is dropped */
            }
            in_comment = false; /* the line feed then acts as outside a comment */
        }
        if (byte == '\r') {
            continue; /* discarded wherever it stands, even right after "\" */
        }
        if (escaped) {
            escaped = false;
            if (byte == '\n') {
                continue; /* a continuation: the next physical line joins this one */
            }
            if (byte != ' ' || !line.empty()) {
                line += byte;
            }
            continue;
        }
        if (byte == '\n') {
            if (!line.empty()) {
                while (line.back() == ' ') {
                    line.pop_back();
                }
                lines.push_back(line);
                line.clear();
            }
        } else if (byte == ';') {
            in_comment = true;
        } else if (byte == '\\') {
            escaped = true;
        } else if (byte != ' ' || !line.empty()) {
            line += byte;
        }
    }
    if (!line.empty()) {
        while (line.back() == ' ') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

/* The part of a logical line that a NUL-terminated string shows. */
static std::string model_visible(const std::string &line)
{
    return line.substr(0, line.find('\0'));
}

static bool model_is_header(const std::string &text)
{
    return text.size() >= 3 && text.front() == '[' && text.back() == ']';
}

/* The position of the "=" that makes text an entry, or npos. */
static size_t model_entry_separator(const std::string &text)
{
    size_t separator = text.find('=');
    return separator == 0 ? std::string::npos : separator;
}

bool model_load(const uint8_t *bytes, size_t size, ModelDocument *doc)
{
    doc->clear();
    for (const std::string &line : model_logical_lines(bytes, size)) {
        std::string text = model_visible(line);
        size_t separator = doc->empty() ? std::string::npos : model_entry_separator(text);
        if (separator != std::string::npos) {
            std::string key = text.substr(0, separator);
            while (!key.empty() && key.back() == ' ') {
                key.pop_back();
            }
            size_t value_start = text.find_first_not_of(' ', separator + 1);
            std::string value =
                value_start == std::string::npos ? std::string() : text.substr(value_start);
            doc->back().entries.emplace_back(key, value);
        } else if (model_is_header(text)) {
            doc->push_back({text.substr(1, text.size() - 2), {}});
        } else {
            doc->clear();
            return false;
        }
    }
    return true;
}

/* text with a backslash before each ";" and each backslash. */
static std::string model_escape(const std::string &text)
{
    std::string escaped;
    for (char byte : text) {
        if (byte == ';' || byte == '\\') {
            escaped += '\\';
        }
        escaped += byte;
    }
    return escaped;
}

std::string model_save(const ModelDocument &doc)
{
    std::string bytes;
    for (const ModelSection &section : doc) {
        bytes += "[" + section.name + "]\n";
        for (const auto &entry : section.entries) {
            bytes += model_escape(entry.first) + "=" + model_escape(entry.second) + "\n";
        }
    }
    return bytes;
}

static bool model_has_any(const std::string &text, const char *bytes)
{
    return text.find_first_of(bytes) != std::string::npos;
}

static bool model_has_edge_space(const std::string &text)
{
    return !text.empty() && (text.front() == ' ' || text.back() == ' ');
}

bool model_round_trips(const ModelDocument &doc)
{
    for (size_t i = 0; i < doc.size(); i++) {
        const ModelSection &section = doc[i];
        if (section.name.empty() || model_has_any(section.name, ";\\\r\n") ||
            (i > 0 && model_has_any(section.name, "="))) {
            return false;
        }
        for (const auto &entry : section.entries) {
            if (entry.first.empty() || model_has_any(entry.first, "=\r\n") ||
                model_has_any(entry.second, "\r\n") || model_has_edge_space(entry.first) ||
                model_has_edge_space(entry.second)) {
                return false;
            }
        }
    }
    return true;
}

ModelSection model_of_section(const IniSection *section)
{
    ModelSection model = {section->name, {}};
    for (int32_t i = 0; i < section->entry_count; i++) {
        model.entries.emplace_back(section->entries[i]->key, section->entries[i]->value);
    }
    return model;
}

ModelDocument model_of(const IniDocument *doc)
{
    ModelDocument model;
    for (int32_t i = 0; i < doc->section_count; i++) {
        model.push_back(model_of_section(doc->sections[i]));
    }
    return model;
}

/* bytes with everything outside printable ASCII, and the backslash, escaped. */
static std::string model_printable(const std::string &bytes)
{
    std::string text;
    for (unsigned char byte : bytes) {
        if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
            text += (char)byte;
        } else {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02x", byte);
            text += escape;
        }
    }
    return text;
}

static void model_print(const char *title, const ModelDocument &doc)
{
    fprintf(stderr, "%s (%zu sections):\n", title, doc.size());
    for (const ModelSection &section : doc) {
        fprintf(stderr, "  [%s]\n", model_printable(section.name).c_str());
        for (const auto &entry : section.entries) {
            fprintf(stderr, "    \"%s\" = \"%s\"\n", model_printable(entry.first).c_str(),
                    model_printable(entry.second).c_str());
        }
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
        model_print("actual", actual);
        model_print("expected", expected);
    }
    fuzz_check(equal, message);
}

int32_t model_capacity(int32_t peak)
{
    int32_t steps = peak <= INI_GROW_STEP ? 1 : (peak + INI_GROW_STEP - 1) / INI_GROW_STEP;
    return steps * INI_GROW_STEP;
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
