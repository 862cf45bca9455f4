/* SPDX-License-Identifier: MIT */
/* Our loader and writer, and the floors their rules set: 1024-byte reads with
 * the allocations the document model prescribes, and one write per entry
 * line. */
#include "bench.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <inifile/inifile.h>

#include "platform/platform.h"

static uint64_t bench_file_size(const char *path)
{
    struct stat status;
    return stat(path, &status) == 0 ? (uint64_t)status.st_size : 0;
}

static void bench_count_document(const IniDocument *doc, BenchSample *sample)
{
    sample->sections = (uint64_t)doc->section_count;
    sample->entries = 0;
    for (int32_t i = 0; i < doc->section_count; i++) {
        sample->entries += (uint64_t)doc->sections[i]->entry_count;
    }
}

int bench_ostrel_load(const char *path, const char *, BenchSample *sample)
{
    BenchStamp start = bench_stamp();
    IniDocument *doc = ini_load_file(path);
    bench_add_since(sample, start);
    if (doc == NULL) {
        fprintf(stderr, "ini_load_file failed on %s\n", path);
        return -1;
    }
    bench_count_document(doc, sample);
    start = bench_stamp();
    ini_free_document(doc);
    bench_settle_heap();
    bench_add_since(sample, start);
    sample->bytes = bench_file_size(path);
    return 0;
}

/* The document a writer saves: the corpus at path, loaded and counted into
 * sample; null after printing why it cannot be. */
static IniDocument *bench_document_to_save(const char *path, BenchSample *sample)
{
    IniDocument *doc = ini_load_file(path);
    if (doc == NULL) {
        fprintf(stderr, "ini_load_file failed on %s\n", path);
        return NULL;
    }
    bench_count_document(doc, sample);
    return doc;
}

int bench_ostrel_save(const char *path, const char *out_path, BenchSample *sample)
{
    IniDocument *doc = bench_document_to_save(path, sample);
    if (doc == NULL) {
        return -1;
    }
    BenchStamp start = bench_stamp();
    int result = ini_save_file(doc, out_path);
    bench_add_since(sample, start);
    ini_free_document(doc);
    if (result != 0) {
        fprintf(stderr, "ini_save_file failed on %s: %d\n", out_path, result);
        return -1;
    }
    sample->bytes = bench_file_size(out_path);

    /* The file written must load back into as many sections and entries. */
    IniDocument *again = ini_load_file(out_path);
    BenchSample check = {};
    if (again != NULL) {
        bench_count_document(again, &check);
        ini_free_document(again);
    }
    if (check.sections != sample->sections || check.entries != sample->entries) {
        fprintf(stderr, "%s does not load back into the document saved\n", out_path);
        return -1;
    }
    return 0;
}

/* Reads every logical line with the loader's own reader and keeps its length,
 * the top bit set for a section header; each line is freed at once. */
static int bench_line_lengths(const char *path, std::vector<uint32_t> *lengths)
{
    IniPlatformFile file = ini_platform_open_for_reading(path);
    if (file == INI_PLATFORM_NO_FILE) {
        fprintf(stderr, "cannot open %s\n", path);
        return -1;
    }
    IniLineReader reader;
    reader.file = file;
    reader.end_of_input = INI_READER_MORE;
    reader.bytes_available = 0;
    reader.read_position = 0;
    bool in_section = false;
    char *line;
    while ((line = ini_read_line(&reader)) != NULL) {
        const char *separator = strchr(line, '=');
        bool entry = in_section && separator != NULL && separator != line;
        in_section = true;
        lengths->push_back((uint32_t)strlen(line) | (entry ? 0 : 0x80000000u));
        free(line);
    }
    ini_platform_close(file);
    return 0;
}

/* Appends a pointer to an array that starts with room for INI_GROW_STEP and
 * grows by INI_GROW_STEP, as every array of the document does. */
static void bench_append_pointer(void ***array, int32_t *count, int32_t *capacity, void *pointer)
{
    if (*count == *capacity) {
        *capacity += INI_GROW_STEP;
        *array = (void **)realloc(*array, (size_t)*capacity * sizeof(void *));
    }
    (*array)[(*count)++] = pointer;
}

/* The smallest capacity a line buffer of length bytes and its NUL reaches
 * when it starts at INI_GROW_STEP and grows by INI_GROW_STEP. */
static size_t bench_line_capacity(size_t length)
{
    return (length + 1 + INI_GROW_STEP - 1) / INI_GROW_STEP * INI_GROW_STEP;
}

int bench_rules_floor(const char *path, const char *, BenchSample *sample)
{
    std::vector<uint32_t> lengths;
    if (bench_line_lengths(path, &lengths) != 0) {
        return -1;
    }
    sample->bytes = bench_file_size(path);
    sample->baseline_kb = bench_resident_kb();

    BenchStamp start = bench_stamp();
    IniPlatformFile file = ini_platform_open_for_reading(path);
    char chunk[INI_READ_CHUNK];
    while (ini_platform_read(file, chunk, sizeof chunk) > 0) {
    }
    ini_platform_close(file);
    IniDocument doc = {0, INI_GROW_STEP, (IniSection **)malloc(INI_GROW_STEP * sizeof(void *))};
    IniSection *section = NULL;
    for (uint32_t marked : lengths) {
        size_t length = marked & 0x7fffffffu;
        char *block = (char *)malloc(bench_line_capacity(length));
        memset(block, 'x', length);
        block[length] = '\0';
        if (marked & 0x80000000u) {
            section = (IniSection *)malloc(sizeof(IniSection));
            section->entry_count = 0;
            section->entry_capacity = INI_GROW_STEP;
            section->name = block;
            section->entries = (IniEntry **)malloc(INI_GROW_STEP * sizeof(void *));
            bench_append_pointer((void ***)&doc.sections, &doc.section_count, &doc.section_capacity,
                                 section);
            continue;
        }
        IniEntry *entry = (IniEntry *)malloc(sizeof(IniEntry));
        entry->key = block;
        entry->value = block + length;
        bench_append_pointer((void ***)&section->entries, &section->entry_count,
                             &section->entry_capacity, entry);
    }
    sample->sections = (uint64_t)doc.section_count;
    sample->entries = lengths.size() - (uint64_t)doc.section_count;
    for (int32_t i = 0; i < doc.section_count; i++) {
        IniSection *each = doc.sections[i];
        for (int32_t j = 0; j < each->entry_count; j++) {
            free(each->entries[j]->key);
            free(each->entries[j]);
        }
        free(each->entries);
        free(each->name);
        free(each);
    }
    free(doc.sections);
    bench_settle_heap();
    bench_add_since(sample, start);
    return 0;
}

/* Appends text with a backslash before each ";" and "\", as the writer does,
 * and as fast: a run of plain bytes at a time. */
static void bench_append_escaped(std::string *out, const char *text)
{
    for (;;) {
        size_t plain = strcspn(text, ";\\");
        out->append(text, plain);
        if (text[plain] == '\0') {
            return;
        }
        out->push_back('\\');
        out->push_back(text[plain]);
        text += plain + 1;
    }
}

int bench_save_in_place_flushed(const char *path, const char *out_path, BenchSample *sample)
{
    IniDocument *doc = bench_document_to_save(path, sample);
    if (doc == NULL) {
        return -1;
    }
    BenchStamp start = bench_stamp();
    IniPlatformFile file = ini_platform_create_for_writing(out_path);
    bool complete = file != INI_PLATFORM_NO_FILE;
    std::string line;
    for (int32_t i = 0; complete && i < doc->section_count; i++) {
        const IniSection *section = doc->sections[i];
        complete = ini_platform_write(file, "[", 1) &&
                   ini_platform_write(file, section->name, (uint32_t)strlen(section->name)) &&
                   ini_platform_write(file, "]\n", 2);
        for (int32_t j = 0; complete && j < section->entry_count; j++) {
            line.clear();
            bench_append_escaped(&line, section->entries[j]->key);
            line.push_back('=');
            bench_append_escaped(&line, section->entries[j]->value);
            line.push_back('\n');
            complete = ini_platform_write(file, line.data(), (uint32_t)line.size());
        }
    }
    complete = complete && ini_platform_flush(file);
    if (file != INI_PLATFORM_NO_FILE) {
        complete = ini_platform_close(file) && complete;
    }
    bench_add_since(sample, start);
    ini_free_document(doc);
    if (!complete) {
        fprintf(stderr, "cannot write %s\n", out_path);
        return -1;
    }
    sample->bytes = bench_file_size(out_path);
    return 0;
}

/* The writer's output for the corpus at path, and the pieces it writes it in:
 * "[", the name and "]\n" for a header, one piece per entry line. */
static int bench_writer_output(const char *path, std::string *out,
                               std::vector<std::pair<size_t, size_t>> *pieces)
{
    IniDocument *doc = ini_load_file(path);
    if (doc == NULL) {
        fprintf(stderr, "ini_load_file failed on %s\n", path);
        return -1;
    }
    for (int32_t i = 0; i < doc->section_count; i++) {
        const IniSection *section = doc->sections[i];
        const char *header[] = {"[", section->name, "]\n"};
        for (const char *piece : header) {
            pieces->emplace_back(out->size(), strlen(piece));
            out->append(piece);
        }
        for (int32_t j = 0; j < section->entry_count; j++) {
            size_t start = out->size();
            bench_append_escaped(out, section->entries[j]->key);
            out->push_back('=');
            bench_append_escaped(out, section->entries[j]->value);
            out->push_back('\n');
            pieces->emplace_back(start, out->size() - start);
        }
    }
    ini_free_document(doc);
    return 0;
}

/* Writes the pieces, each with one write(), or out in 1 MiB writes when
 * pieces is null. Returns 0, or -1 after printing the reason. */
static int bench_write_pieces(const char *out_path, const std::string &out,
                              const std::vector<std::pair<size_t, size_t>> *pieces)
{
    int fd = open(out_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        fprintf(stderr, "cannot create %s\n", out_path);
        return -1;
    }
    bool complete = true;
    if (pieces != NULL) {
        for (const auto &piece : *pieces) {
            if (piece.second > 0) {
                complete &=
                    write(fd, out.data() + piece.first, piece.second) == (ssize_t)piece.second;
            }
        }
    } else {
        for (size_t done = 0; done < out.size(); done += 1u << 20) {
            size_t size = out.size() - done < (1u << 20) ? out.size() - done : 1u << 20;
            complete &= write(fd, out.data() + done, size) == (ssize_t)size;
        }
    }
    complete = close(fd) == 0 && complete;
    if (!complete) {
        fprintf(stderr, "cannot write %s\n", out_path);
        return -1;
    }
    return 0;
}

int bench_write_per_line_floor(const char *path, const char *out_path, BenchSample *sample)
{
    std::string out;
    std::vector<std::pair<size_t, size_t>> pieces;
    if (bench_writer_output(path, &out, &pieces) != 0) {
        return -1;
    }
    BenchStamp start = bench_stamp();
    int result = bench_write_pieces(out_path, out, &pieces);
    bench_add_since(sample, start);
    sample->bytes = out.size();
    return result;
}

int bench_write_1m_limit(const char *path, const char *out_path, BenchSample *sample)
{
    std::string out;
    std::vector<std::pair<size_t, size_t>> pieces;
    if (bench_writer_output(path, &out, &pieces) != 0) {
        return -1;
    }
    BenchStamp start = bench_stamp();
    int result = bench_write_pieces(out_path, out, NULL);
    bench_add_since(sample, start);
    sample->bytes = out.size();
    return result;
}
