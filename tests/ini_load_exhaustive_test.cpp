/* SPDX-License-Identifier: MIT */
/* Every file of up to seven bytes over the bytes that mean something to the
 * loader, and "a", loads as the fuzzers' independent model says: to the same
 * document, or as malformed at the same line. Each file is loaded from memory
 * six ways. Four go through the loader's internal entry: the file followed by
 * a comment long enough that the copy of a line meets the file's last bytes
 * before the end of what was read; the same after the start of an entry line,
 * so that the file goes on a line that has begun, once inside a chunk and
 * once where the chunk ends after its fourth byte; and with
 * reads of one byte, so that every byte boundary is a chunk edge. The fifth
 * loads it through ini_load_memory, the library's own entry for bytes in
 * memory, and the sixth the same with no result or line asked for. */
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "ini_model.h"
#include "support/ini_view.h"
#include "support/memory_file.h"

namespace
{

const char alphabet[] = {'a', ' ', '\n', '\r', ';', '\\', '=', '[', ']'};
const size_t alphabet_size = sizeof alphabet;
const size_t longest = 7;

/* A line feed, then a comment without one: whatever state a file ends in
 * (inside a line, a comment or an escape), this adds nothing to it. */
const char comment_tail[] =
    "\n;\\;[a]= \\\r\\\\[]=a;\\;[a]= \\\r\\\\[]=a;\\;[a]= \\\r\\\\[]=a;\\;[a]= \\\r\\\\[]=a;";

/* A section, then an entry line begun, whose copy has taken 28 bytes when
 * the file's first byte comes. */
const char line_head[] = "[p]\nk=aaaaaaaaaaaaaaaaaaaaaaaaaaa";
const size_t line_head_size = sizeof line_head - 1;

/* Reads of this many bytes end the first chunk after the file's fourth
 * byte, so that an escape or a line end may sit across the chunk edge. */
const uint32_t across_chunks = line_head_size + 4;

/* The bytes that decide where the copy of a line stops and what it drops. */
const char steering_bytes[] = "a\n\r;\\";
const size_t comment_tail_size = sizeof comment_tail - 1;

bool same_entries(const IniSection *section, const ModelSection &model)
{
    if (section->entry_count != (int32_t)model.entries.size()) {
        return false;
    }
    for (int32_t i = 0; i < section->entry_count; i++) {
        if (model.entries[(size_t)i].first != section->entries[i]->key ||
            model.entries[(size_t)i].second != section->entries[i]->value) {
            return false;
        }
    }
    return true;
}

bool same_document(const IniDocument *doc, const ModelDocument &model)
{
    if (doc->section_count != (int32_t)model.size()) {
        return false;
    }
    for (int32_t i = 0; i < doc->section_count; i++) {
        if (model[(size_t)i].name != doc->sections[i]->name ||
            !same_entries(doc->sections[i], model[(size_t)i])) {
            return false;
        }
    }
    return true;
}

/* What the model says of one file. */
struct Expected {
    bool well_formed;
    ModelDocument doc;
    uint64_t malformed_line;
};

/* Which entry of the loader a way goes through. */
enum class Entry {
    Internal,         /* ini_load_from, with reads of its own */
    Memory,           /* ini_load_memory */
    MemoryUnreported, /* ini_load_memory with null result and line */
};

/* Loads size bytes as one of the ways says and returns how the result
 * differs from expected, or an empty text when it does not. */
std::string difference(const char *bytes, size_t size, uint32_t most, Entry entry,
                       const Expected &expected)
{
    IniLoadResult result = INI_LOAD_OK;
    int32_t line = -1;
    IniDocument *doc = entry == Entry::Internal
                           ? load_from_memory(bytes, size, most, &result, &line)
                       : entry == Entry::Memory ? ini_load_memory(bytes, size, &result, &line)
                                                : ini_load_memory(bytes, size, nullptr, nullptr);
    bool reported = entry != Entry::MemoryUnreported;
    std::string found;
    if (doc == nullptr) {
        if (expected.well_formed || (reported && (result != INI_LOAD_MALFORMED ||
                                                  (uint64_t)line != expected.malformed_line))) {
            found =
                "no document, result " + std::to_string(result) + ", line " + std::to_string(line);
        }
    } else {
        if (!expected.well_formed || (reported && (result != INI_LOAD_OK || line != 0)) ||
            !same_document(doc, expected.doc)) {
            found = "result " + std::to_string(result) + ", line " + std::to_string(line) +
                    ", document " + model_describe(model_of(doc));
        }
        ini_free_document(doc);
    }
    return found;
}

} // namespace

TEST(IniLoadExhaustive, LoadsEveryShortFileAsTheModelSays)
{
    char headed[line_head_size + longest + comment_tail_size];
    memcpy(headed, line_head, line_head_size);
    char *const file = headed + line_head_size;
    size_t digits[longest] = {};
    long files = 0;
    long well_formed = 0;
    long failures = 0;
    for (size_t length = 0; length <= longest; length++) {
        for (size_t i = 0; i < length; i++) {
            digits[i] = 0;
            file[i] = alphabet[0];
        }
        for (;;) {
            Expected expected;
            expected.malformed_line = 0;
            expected.well_formed =
                model_load((const uint8_t *)file, length, &expected.doc, &expected.malformed_line);
            /* After a line's start, only the bytes that steer the copy: the
             * others are stored as they stand wherever they come. */
            bool steering_only = true;
            for (size_t i = 0; i < length; i++) {
                steering_only = steering_only && strchr(steering_bytes, file[i]) != NULL;
            }
            Expected across;
            across.malformed_line = 0;
            across.well_formed =
                steering_only && model_load((const uint8_t *)headed, line_head_size + length,
                                            &across.doc, &across.malformed_line);
            files++;
            well_formed += expected.well_formed;
            memcpy(file + length, comment_tail, comment_tail_size);
            const struct {
                const char *how;
                const char *bytes;
                size_t size;
                uint32_t most;
                Entry entry;
                const Expected *expected;
            } ways[] = {
                {"comment after", file, length + comment_tail_size, 0, Entry::Internal, &expected},
                {"after a line's start", headed, line_head_size + length + comment_tail_size, 0,
                 Entry::Internal, &across},
                {"after a line's start, across two chunks", headed,
                 line_head_size + length + comment_tail_size, across_chunks, Entry::Internal,
                 &across},
                {"reads of one byte", file, length, 1, Entry::Internal, &expected},
                {"ini_load_memory", file, length, 0, Entry::Memory, &expected},
                {"ini_load_memory, no result or line asked", file, length, 0,
                 Entry::MemoryUnreported, &expected},
            };
            for (const auto &way : ways) {
                if (way.expected == &across && !steering_only) {
                    continue;
                }
                std::string found =
                    difference(way.bytes, way.size, way.most, way.entry, *way.expected);
                if (!found.empty() && failures++ < 10) {
                    ADD_FAILURE() << "file \"" << model_printable(std::string(file, length))
                                  << "\", " << way.how << ": " << found << "; the model: "
                                  << (way.expected->well_formed
                                          ? model_describe(way.expected->doc)
                                          : "malformed at line " +
                                                std::to_string(way.expected->malformed_line));
                }
            }
            /* The next file of this length, the first byte counting fastest. */
            size_t place = 0;
            while (place < length && ++digits[place] == alphabet_size) {
                digits[place] = 0;
                file[place] = alphabet[0];
                place++;
            }
            if (place == length) {
                break;
            }
            file[place] = alphabet[digits[place]];
        }
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(files, 5380840) << "9^0 + 9^1 + ... + 9^7 files";
    /* Both outcomes must be common for the comparison to mean anything. */
    EXPECT_GT(well_formed, files / 20);
    EXPECT_LT(well_formed, files - files / 20);
}
