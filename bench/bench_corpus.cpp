/* SPDX-License-Identifier: MIT */
/* Deterministic corpora: a fixed seed per kind and a generator of our own, so
 * every machine writes the same bytes for the same kind and size. The files
 * hold the form of each corpus that every peer reads alike: the generator's
 * comment lines dropped (a ";" line is a syntax error to GKeyFile) and each
 * escaped backslash pair of a path replaced by a "/" (only our loader reads
 * "\\" as one backslash). */
#include "bench.h"

#include <stdio.h>
#include <string.h>

#include <string>

/* splitmix64: small, fast and the same everywhere. */
struct BenchRandom {
    uint64_t state;
};

static uint64_t bench_next(BenchRandom *random)
{
    uint64_t z = (random->state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

/* A number from low to high, both included. */
static size_t bench_between(BenchRandom *random, size_t low, size_t high)
{
    return low + (size_t)(bench_next(random) % (high - low + 1));
}

/* True with the given percentage. */
static bool bench_chance(BenchRandom *random, unsigned percent)
{
    return bench_next(random) % 100 < percent;
}

static const char bench_letters[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

/* Appends length letters and digits. */
static void bench_append_word(std::string *text, BenchRandom *random, size_t length)
{
    for (size_t i = 0; i < length; i++) {
        text->push_back(bench_letters[bench_next(random) % (sizeof bench_letters - 1)]);
    }
}

static const char *const bench_path_parts[] = {
    "Program Files", "Ostrel",   "ostcore-5.2", "bin",    "lib",     "releases", "R5A",
    "Windows",       "System32", "Users",       "Public", "AppData", "Local",    "Temp"};

/* Appends a Windows path as the file holds it, each backslash escaped with a
 * second one, exactly length bytes long and ending in a letter or digit. */
static void bench_append_path(std::string *text, BenchRandom *random, size_t length)
{
    size_t end = text->size() + length;
    text->push_back((char)('C' + bench_between(random, 0, 3)));
    text->push_back(':');
    for (;;) {
        size_t left = end - text->size();
        if (left < 5) {
            bench_append_word(text, random, left);
            return;
        }
        text->append("\\\\");
        left -= 2;
        const char *part = bench_path_parts[bench_next(random) %
                                            (sizeof bench_path_parts / sizeof bench_path_parts[0])];
        size_t part_length = strlen(part);
        if (part_length <= left && bench_chance(random, 60)) {
            text->append(part);
        } else {
            size_t word = bench_between(random, 3, 14);
            bench_append_word(text, random, word < left ? word : left);
        }
    }
}

/* Appends words separated by single spaces, exactly length bytes long, with
 * no space at either end. */
static void bench_append_text(std::string *text, BenchRandom *random, size_t length)
{
    size_t end = text->size() + length;
    for (;;) {
        size_t left = end - text->size();
        size_t word = bench_between(random, 2, 11);
        if (word + 2 > left) {
            bench_append_word(text, random, left);
            return;
        }
        bench_append_word(text, random, word);
        text->push_back(' ');
    }
}

/* Appends a key: a prefix that makes it unique in its section, then letters,
 * exactly length bytes when length leaves room for the prefix. */
static void bench_append_key(std::string *text, BenchRandom *random, size_t length, uint64_t index)
{
    size_t start = text->size();
    *text += "k" + std::to_string(index) + "_";
    size_t used = text->size() - start;
    bench_append_word(text, random, used < length ? length - used : 1);
}

/* Appends "key=value" or "key = value" and a line feed. */
static void bench_append_entry(std::string *text, BenchRandom *random, size_t key_length,
                               uint64_t index, size_t value_length, unsigned path_percent)
{
    bench_append_key(text, random, key_length, index);
    *text += bench_chance(random, 20) ? " = " : "=";
    if (bench_chance(random, path_percent)) {
        bench_append_path(text, random, value_length);
    } else {
        bench_append_text(text, random, value_length);
    }
    text->push_back('\n');
}

/* Appends a comment line, "; " and text, sometimes indented. */
static void bench_append_comment(std::string *text, BenchRandom *random)
{
    if (bench_chance(random, 30)) {
        text->append("    ");
    }
    text->append("; ");
    bench_append_text(text, random, bench_between(random, 10, 100));
    text->push_back('\n');
}

/* Appends a section header: a word of shortest to longest bytes, then the
 * section's number. */
static void bench_append_header(std::string *text, BenchRandom *random, size_t shortest,
                                size_t longest, uint64_t section)
{
    text->push_back('[');
    bench_append_word(text, random, bench_between(random, shortest, longest));
    *text += "_" + std::to_string(section) + "]\n";
}

/* Appends the next lines of a corpus: a section and its entries. */
static void bench_append_section(BenchCorpusKind kind, std::string *text, BenchRandom *random,
                                 uint64_t section)
{
    if (kind == BENCH_CORPUS_TYPICAL) {
        bench_append_header(text, random, 5, 12, section);
        size_t entries = bench_between(random, 50, 200);
        for (size_t i = 0; i < entries; i++) {
            if (bench_chance(random, 4)) {
                bench_append_comment(text, random);
            }
            if (bench_chance(random, 3)) {
                text->push_back('\n');
            }
            bench_append_entry(text, random, bench_between(random, 10, 80), i,
                               bench_between(random, 10, 80), 40);
        }
        text->push_back('\n');
    } else if (kind == BENCH_CORPUS_PATHS) {
        /* A launcher's or an installer's configuration: a component per
         * section, nearly every value a path. */
        bench_append_header(text, random, 4, 10, section);
        size_t entries = bench_between(random, 20, 100);
        for (size_t i = 0; i < entries; i++) {
            if (bench_chance(random, 2)) {
                bench_append_comment(text, random);
            }
            bench_append_entry(text, random, bench_between(random, 6, 30), i,
                               bench_between(random, 20, 120), 85);
        }
        text->push_back('\n');
    } else if (kind == BENCH_CORPUS_LONGLINES) {
        *text += "[long_" + std::to_string(section) + "]\n";
        bench_append_comment(text, random);
        for (size_t i = 0; i < 16; i++) {
            size_t key = bench_between(random, 10, 30);
            size_t line = bench_between(random, 4096, 65536);
            bench_append_key(text, random, key, i);
            text->push_back('=');
            size_t end = text->size() - key - 1 + line - 1;
            while (text->size() + 2 < end) {
                size_t piece = bench_between(random, 8, 60);
                size_t left = end - text->size() - 1;
                if (piece > left) {
                    piece = left;
                }
                if (piece >= 8 && bench_chance(random, 40)) {
                    bench_append_path(text, random, piece);
                } else {
                    bench_append_text(text, random, piece);
                }
                text->push_back(' ');
            }
            bench_append_word(text, random, end - text->size());
            text->push_back('\n');
        }
    }
}

/* Rewrites text from offset from, whole lines, into the form every peer reads
 * alike: drops the lines whose first byte past the spaces is ";" and replaces
 * each backslash pair by "/". */
static void bench_common_form(std::string *text, size_t from)
{
    size_t kept = from;
    bool comment = false, line_start = true;
    for (size_t i = from; i < text->size(); i++) {
        char byte = (*text)[i];
        if (line_start && byte == ';') {
            comment = true;
        }
        line_start = line_start && byte == ' ';
        if (byte == '\\' && i + 1 < text->size() && (*text)[i + 1] == '\\') {
            byte = '/';
            i++;
        }
        if (!comment) {
            (*text)[kept++] = byte;
        }
        if (byte == '\n') {
            comment = false;
            line_start = true;
        }
    }
    text->resize(kept);
}

uint64_t bench_write_corpus(BenchCorpusKind kind, uint64_t size, const char *path)
{
    BenchRandom random = {0x6f7374726c000000ULL + (uint64_t)kind};
    FILE *file = fopen(path, "wb");
    if (file == NULL) {
        fprintf(stderr, "cannot create %s\n", path);
        return 0;
    }
    std::string text;
    uint64_t written = 0;
    uint64_t index = 0;
    if (kind == BENCH_CORPUS_FLAT) {
        text = "; one section of very many short entries\n[flat]\n";
    }
    bench_common_form(&text, 0);
    while (written + text.size() < size) {
        size_t from = text.size();
        if (kind == BENCH_CORPUS_FLAT) {
            bench_append_entry(&text, &random, bench_between(&random, 8, 24), index,
                               bench_between(&random, 8, 40), 30);
        } else {
            bench_append_section(kind, &text, &random, index);
        }
        bench_common_form(&text, from);
        index++;
        if (text.size() >= (1u << 20) && written + text.size() < size) {
            if (fwrite(text.data(), 1, text.size(), file) != text.size()) {
                break;
            }
            written += text.size();
            text.clear();
        }
    }
    size_t tail = text.size();
    if (written + tail > size) {
        /* Keep whole lines: cut after the first line feed at or past size. */
        const char *line_feed = strchr(text.c_str() + (size - written) - 1, '\n');
        tail = line_feed == NULL ? tail : (size_t)(line_feed - text.c_str()) + 1;
    }
    bool complete = fwrite(text.data(), 1, tail, file) == tail;
    written += tail;
    complete = fclose(file) == 0 && complete;
    if (!complete) {
        fprintf(stderr, "cannot write %s\n", path);
        return 0;
    }
    return written;
}
