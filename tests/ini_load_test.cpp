/* SPDX-License-Identifier: MIT */
/* The loader: logical lines (comments, escapes, carriage returns,
 * continuations, spaces), the structure of a file, and both of them at every
 * position relative to the 1024-byte chunks the loader reads. */
#include <inifile/inifile.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "inifile/ini_internal.h"
#include "platform/platform.h"
#include "support/ini_view.h"
#include "support/temp_dir.h"

using namespace std::string_literals;

namespace
{

using LoadedDocument = std::optional<ModelDocument>;

/* A file and the document it loads as, or nothing when it must not load. */
struct LoadCase {
    std::string text;
    LoadedDocument expected;
    int32_t malformed_line = 0; /* the line the loader reports for a malformed file */
};

/* Files that load, one rule each. */
const std::vector<LoadCase> &well_formed_files()
{
    static const std::vector<LoadCase> cases = {
        /* Files without logical lines. */
        {"", ModelDocument{}},
        {"\n\n\r\n", ModelDocument{}},
        {"   \n  \n", ModelDocument{}},
        {"; comment\n;another", ModelDocument{}},
        {"  ; comment \\\n", ModelDocument{}},
        {"\\\n", ModelDocument{}},
        {"\\", ModelDocument{}},
        {"\\ \\ \n", ModelDocument{}},
        {"\r", ModelDocument{}},
        /* Headers. */
        {"[x]", ModelDocument{{"x", {}}}},
        {"[ Install ]\n", ModelDocument{{" Install ", {}}}},
        {"   [s]   \n", ModelDocument{{"s", {}}}},
        {"[s]; comment\n", ModelDocument{{"s", {}}}},
        {"[s];]\n", ModelDocument{{"s", {}}}},
        {"[]]\n[[]\n", ModelDocument{{"]", {}}, {"[", {}}}},
        {"\\[s]\n", ModelDocument{{"s", {}}}},
        {"[s\\]\\]\n", ModelDocument{{"s]", {}}}},
        {"[a=b]\n", ModelDocument{{"a=b", {}}}},
        {"[=]\n", ModelDocument{{"=", {}}}},
        {"[s]\n[s]\n", ModelDocument{{"s", {}}, {"s", {}}}},
        {"; note \\\n[s]\n", ModelDocument{{"s", {}}}},
        {"\n;c\n  \n[s]\n", ModelDocument{{"s", {}}}},
        /* Entries. */
        {"[s]\nkey=value\n", ModelDocument{{"s", {{"key", "value"}}}}},
        {"[s]\n  key  =  value  \n", ModelDocument{{"s", {{"key", "value"}}}}},
        {"[s]\nmy key = my value\n", ModelDocument{{"s", {{"my key", "my value"}}}}},
        {"[s]\nkey=\n", ModelDocument{{"s", {{"key", ""}}}}},
        {"[s]\nkey=   \n", ModelDocument{{"s", {{"key", ""}}}}},
        {"[s]\nkey==x\n", ModelDocument{{"s", {{"key", "=x"}}}}},
        {"[s]\na=b=c\n", ModelDocument{{"s", {{"a", "b=c"}}}}},
        {"[s]\nkey\t=\tv\t\n", ModelDocument{{"s", {{"key\t", "\tv\t"}}}}},
        {"[s]\n[a=b]\n", ModelDocument{{"s", {{"[a", "b]"}}}}},
        {"[s]\n[=]\n", ModelDocument{{"s", {{"[", "]"}}}}},
        {"[s]\nK=1\nK=2\n", ModelDocument{{"s", {{"K", "1"}, {"K", "2"}}}}},
        {"[s]\nx=1\n[t]\ny=2\n[s]\nz=3\n",
         ModelDocument{{"s", {{"x", "1"}}}, {"t", {{"y", "2"}}}, {"s", {{"z", "3"}}}}},
        {"[s]\n;c\nx=1\n\n\n ;c2\ny=2", ModelDocument{{"s", {{"x", "1"}, {"y", "2"}}}}},
        /* Escapes. */
        {"[s]\npath=C:\\dir\n", ModelDocument{{"s", {{"path", "C:dir"}}}}},
        {"[s]\npath=C:\\\\dir\n", ModelDocument{{"s", {{"path", "C:\\dir"}}}}},
        {"[s]\nx=a\\;b\n", ModelDocument{{"s", {{"x", "a;b"}}}}},
        {"[s]\n\\;x=1\n", ModelDocument{{"s", {{";x", "1"}}}}},
        {"[s]\nk\\=v=1\n", ModelDocument{{"s", {{"k", "v=1"}}}}},
        {"[s]\nx=\\ a\n", ModelDocument{{"s", {{"x", "a"}}}}},
        {"[s]\nx=a\\ \n", ModelDocument{{"s", {{"x", "a"}}}}},
        {"[s]\n\\ x=1\n", ModelDocument{{"s", {{"x", "1"}}}}},
        {"[s]\nx=a\\\rb\n", ModelDocument{{"s", {{"x", "ab"}}}}},
        {"[s]\nx=a\\\r;b\n", ModelDocument{{"s", {{"x", "a;b"}}}}},
        {"[s]\nx=a\\", ModelDocument{{"s", {{"x", "a"}}}}},
        {"[s]\nx=ab\\\\\ncd=1\n", ModelDocument{{"s", {{"x", "ab\\"}, {"cd", "1"}}}}},
        /* Comments. */
        {"[s]\nx=a;b\n", ModelDocument{{"s", {{"x", "a"}}}}},
        {"[s]\nx=a ; note\n", ModelDocument{{"s", {{"x", "a"}}}}},
        {"[s]\nx=a ; note \\\ny=b\n", ModelDocument{{"s", {{"x", "a"}, {"y", "b"}}}}},
        {"[s]\nx=1 ; no line feed", ModelDocument{{"s", {{"x", "1"}}}}},
        {"[s]\nx=1;", ModelDocument{{"s", {{"x", "1"}}}}},
        /* Continuations. */
        {"[s]\nx=ab\\\ncd\n", ModelDocument{{"s", {{"x", "abcd"}}}}},
        {"[s]\nx=ab \\\n   cd\n", ModelDocument{{"s", {{"x", "ab    cd"}}}}},
        {"[s]\nx=a\\\r\nb\n", ModelDocument{{"s", {{"x", "ab"}}}}},
        {"[s]\nx=1\\\n\ny=2\n", ModelDocument{{"s", {{"x", "1"}, {"y", "2"}}}}},
        {"[s]\nx=a \\\n; comment\ny=2\n", ModelDocument{{"s", {{"x", "a"}, {"y", "2"}}}}},
        {"[s]\n\\\n  x\\\n  =\\\n  1\n", ModelDocument{{"s", {{"x", "1"}}}}},
        {"[s\\\n]\n", ModelDocument{{"s", {}}}},
        /* Carriage returns and line ends. */
        {"[s]\r\nx=1\r\ny = 2 \r\n", ModelDocument{{"s", {{"x", "1"}, {"y", "2"}}}}},
        {"[s]\nx=a\rb\r\n", ModelDocument{{"s", {{"x", "ab"}}}}},
        {"[s]\nx=1", ModelDocument{{"s", {{"x", "1"}}}}},
        /* NUL bytes and bytes of 0x80 and above. */
        {"[s]\nx=ab\0cd\n"s, ModelDocument{{"s", {{"x", "ab"}}}}},
        {"[s]\nx=\0\n"s, ModelDocument{{"s", {{"x", ""}}}}},
        {"[s]\0junk\nx=1\n"s, ModelDocument{{"s", {{"x", "1"}}}}},
        {"[s]\n\x80\xff=\xfe\x81\n", ModelDocument{{"s", {{"\x80\xff", "\xfe\x81"}}}}},
        {"[\xc3\xa9t\xc3\xa9]\n", ModelDocument{{"\xc3\xa9t\xc3\xa9", {}}}},
    };
    return cases;
}

/* Files that must not load, one rule each. */
const std::vector<LoadCase> &malformed_files()
{
    static const std::vector<LoadCase> cases = {
        {"key=value\n", std::nullopt, 1},
        {"VSN=1.0\n[Install]\n", std::nullopt, 1},
        {"[]\n", std::nullopt, 1},
        {"[s]\n[]\n", std::nullopt, 2},
        {"[s\n", std::nullopt, 1},
        {"s]\n", std::nullopt, 1},
        {"[s] x\n", std::nullopt, 1},
        {"[s]\nplain\n", std::nullopt, 2},
        {"[s]\n=value\n", std::nullopt, 2},
        {"[s]\n=a=b\n", std::nullopt, 2},
        {"[s]\n  =x\n", std::nullopt, 2},
        {"[s]\nx=1\n[t\n", std::nullopt, 3},
        {"\xef\xbb\xbf[s]\n", std::nullopt, 1},
        {"[s]\rx=1\r", std::nullopt, 1},
        {"[s]\n\0[t]\n"s, std::nullopt, 2},
        {"[s]\nx\0=1\n"s, std::nullopt, 2},
        {"[ab\0]\n"s, std::nullopt, 1},
        {"[s\\;]\nx=1\ny\n", std::nullopt, 3},
        {"[s]\nx=ab\\\\\ncd\n", std::nullopt, 3},
        {"; note\nkey=value\n", std::nullopt, 2},
        {"[s]\na=1\n\nbad line\n", std::nullopt, 4},
        {"[s]\n \\\n  bad\\\nline\n", std::nullopt, 3},
        {"[s]\nx=1\\\n\nbad\n", std::nullopt, 4},
        {"; c\\\r\nbad\r\n", std::nullopt, 2},
    };
    return cases;
}

/* Exactly length bytes that hold no logical line, to put in front of a file:
 * blank lines (some with a space and a carriage return), or a comment that
 * holds the bytes meaning most outside a comment. */
enum class Padding { BlankLines, Comment };

std::string padding(size_t length, Padding style)
{
    if (length < 2) {
        return std::string(length, '\n');
    }
    std::string text;
    if (style == Padding::BlankLines) {
        while (text.size() + 3 <= length) {
            text += " \r\n";
        }
        text.append(length - text.size(), '\n');
        return text;
    }
    const std::string filler = "\\;[a]= \\";
    text = ";";
    while (text.size() + 1 < length) {
        text += filler[text.size() % filler.size()];
    }
    return text + "\n";
}

/* The text of the file with text starting at byte offset. */
std::string at_offset(size_t offset, const std::string &text)
{
    return padding(offset, Padding::Comment) + text;
}

/* The logical lines of bytes as the format's model reads them, each cut at
 * its first NUL as the loader's strings are. */
std::vector<std::string> model_lines(const std::string &bytes)
{
    std::vector<std::string> lines =
        model_logical_lines((const uint8_t *)bytes.data(), bytes.size());
    for (std::string &line : lines) {
        line = model_visible(line);
    }
    return lines;
}

/* The document the format's model makes of bytes, or nothing when they are
 * not well formed. */
LoadedDocument model_loaded(const std::string &bytes)
{
    ModelDocument doc;
    if (!model_load((const uint8_t *)bytes.data(), bytes.size(), &doc)) {
        return std::nullopt;
    }
    return doc;
}

/* Every logical line ini_read_line gives for the file at path, each cut at
 * its first NUL, and the reader's end_of_input afterwards. */
std::vector<std::string> read_lines(const std::string &path, int32_t *end_of_input)
{
    IniLineReader reader = open_line_reader(path);
    std::vector<std::string> lines;
    if (reader.file == INI_PLATFORM_NO_FILE) {
        ADD_FAILURE() << "cannot open " << path;
        return lines;
    }
    char *line;
    while ((line = ini_read_line(&reader)) != NULL) {
        lines.push_back(line);
        free(line);
    }
    EXPECT_EQ(ini_read_line(&reader), nullptr) << "the reader stays at the end";
    *end_of_input = reader.end_of_input;
    ini_platform_close(reader.file);
    return lines;
}

/* Pseudo-random bytes rich in what the line rules treat specially, with
 * runs long enough to cross chunks. Deterministic for a given engine. */
std::string generated_bytes(std::mt19937 &engine, size_t size)
{
    static const char alphabet[] = {'\\', ';', ' ', '\r', '\n', '=', '[', ']', 'a', '\0', '\xff'};
    std::string bytes;
    while (bytes.size() < size) {
        uint32_t pick = engine() % 20;
        if (pick < 2 * sizeof alphabet) {
            bytes += alphabet[pick / 2];
        } else if (pick == 18) {
            bytes.append(engine() % 12, ' ');
        } else {
            bytes.append(engine() % (engine() % 8 == 0 ? 1500 : 30), (char)('a' + engine() % 3));
        }
    }
    bytes.resize(size);
    return bytes;
}

class IniLoad : public ::testing::Test
{
  protected:
    /* Loads bytes from a file and keeps the loader's result and line.
     * ini_load_memory must give the same. */
    LoadedDocument load(const std::string &bytes)
    {
        std::string path = directory.write("test.ini", bytes);
        LoadedDocument loaded = take_view(ini_load_file_with_result(path.c_str(), &result, &line));
        IniLoadResult memory_result = INI_LOAD_OK;
        int32_t memory_line = -1;
        LoadedDocument memory =
            take_view(ini_load_memory(bytes.data(), bytes.size(), &memory_result, &memory_line));
        EXPECT_TRUE(memory == loaded && memory_result == result && memory_line == line)
            << "ini_load_memory loads \"" << model_printable(bytes) << "\" as "
            << ::testing::PrintToString(memory) << ", result " << memory_result << ", line "
            << memory_line;
        return loaded;
    }

    TempDirectory directory;
    IniLoadResult result = INI_LOAD_OK;
    int32_t line = -1;
};

} // namespace

TEST_F(IniLoad, ReportsAMissingFileAsNotFoundAndADirectoryAsCannotOpen)
{
    write_file_bytes(directory.path() / "file", "[s]\n");
    struct Failure {
        std::string path;
        IniLoadResult result;
    };
    const Failure failures[] = {
        {directory.file("missing.ini"), INI_LOAD_NOT_FOUND},
        {directory.file("missing") + "/file.ini", INI_LOAD_NOT_FOUND},
        {directory.file("file") + "/file.ini", INI_LOAD_NOT_FOUND},
        {directory.path().string(), INI_LOAD_CANNOT_OPEN},
    };
    for (const Failure &failure : failures) {
        SCOPED_TRACE(failure.path);
        IniLoadResult why = INI_LOAD_OK;
        int32_t line = -1;
        EXPECT_EQ(ini_load_file_with_result(failure.path.c_str(), &why, &line), nullptr);
        EXPECT_EQ(why, failure.result);
        EXPECT_EQ(line, 0);
        EXPECT_EQ(ini_load_file(failure.path.c_str()), nullptr);
    }
}

TEST(IniLoadResultText, DescribesEveryResultApartAndAnyOtherValueToo)
{
    const IniLoadResult results[] = {
        INI_LOAD_OK,        INI_LOAD_NOT_FOUND,     INI_LOAD_CANNOT_OPEN,
        INI_LOAD_MALFORMED, INI_LOAD_OUT_OF_MEMORY, INI_LOAD_READ_FAILED,
        (IniLoadResult)6,   (IniLoadResult)7};
    std::vector<std::string> texts;
    for (IniLoadResult result : results) {
        const char *text = ini_load_result_text(result);
        ASSERT_NE(text, nullptr) << "result " << (int)result;
        EXPECT_NE(text[0], '\0') << "result " << (int)result;
        EXPECT_EQ(text, ini_load_result_text(result)) << "static, the same every time";
        texts.push_back(text);
    }
    EXPECT_EQ(texts[6], texts[7]) << "one text for every value that is no result";
    texts.pop_back();
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(std::unique(texts.begin(), texts.end()), texts.end()) << "each result its own text";
}

TEST(IniLoadMemory, LoadsNoBytesAsAnEmptyDocumentAndKeepsNoPointerIntoTheBytes)
{
    IniLoadResult result = INI_LOAD_MALFORMED;
    int32_t line = -1;
    EXPECT_EQ(take_view(ini_load_memory(nullptr, 0, &result, &line)), ModelDocument{});
    EXPECT_EQ(result, INI_LOAD_OK);
    EXPECT_EQ(line, 0);

    std::string bytes = "[s]\nk=v\n";
    IniDocument *doc = ini_load_memory(bytes.data(), bytes.size(), &result, nullptr);
    bytes.assign(bytes.size(), 'x');
    EXPECT_EQ(take_view(doc), (ModelDocument{{"s", {{"k", "v"}}}}));
}

TEST_F(IniLoad, LoadsEveryWellFormedFileAsTheRulesSay)
{
    for (const LoadCase &file : well_formed_files()) {
        SCOPED_TRACE("file \"" + model_printable(file.text) + "\"");
        EXPECT_EQ(load(file.text), file.expected);
        EXPECT_EQ(result, INI_LOAD_OK);
        EXPECT_EQ(line, 0);
        EXPECT_EQ(load_view(directory.file("test.ini")), file.expected) << "through ini_load_file";
    }
}

TEST_F(IniLoad, RejectsEveryMalformedFileAsTheRulesSay)
{
    for (const LoadCase &file : malformed_files()) {
        SCOPED_TRACE("file \"" + model_printable(file.text) + "\"");
        EXPECT_EQ(load(file.text), std::nullopt);
        EXPECT_EQ(result, INI_LOAD_MALFORMED);
        EXPECT_EQ(line, file.malformed_line);
        EXPECT_EQ(load_view(directory.file("test.ini")), std::nullopt) << "through ini_load_file";
    }
}

TEST_F(IniLoad, ReadsCrLfFilesLikeLfFiles)
{
    for (const LoadCase &file : well_formed_files()) {
        std::string crlf;
        for (char byte : file.text) {
            crlf += byte == '\n' ? "\r\n" : std::string(1, byte);
        }
        SCOPED_TRACE("file \"" + model_printable(crlf) + "\"");
        EXPECT_EQ(load(crlf), file.expected);
    }
}

TEST_F(IniLoad, KeepsNamesKeysAndValuesInTheLinesOwnStorage)
{
    std::string path = directory.write("test.ini", "[s]\n  key  =  value\nk=\n");
    IniDocument *doc = ini_load_file(path.c_str());
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->section_count, 1);
    ASSERT_EQ(doc->sections[0]->entry_count, 2);
    const IniEntry *entry = doc->sections[0]->entries[0];
    /* The logical line is «key  =  value»: the value starts 8 bytes in. */
    EXPECT_EQ(entry->value, entry->key + 8);
    EXPECT_EQ(doc->sections[0]->entries[1]->value, doc->sections[0]->entries[1]->key + 2);
    EXPECT_EQ(doc->section_capacity, INI_GROW_STEP);
    EXPECT_EQ(doc->sections[0]->entry_capacity, INI_GROW_STEP);
    ini_free_document(doc);
}

TEST_F(IniLoad, GrowsArraysForManySectionsAndEntries)
{
    std::string text;
    ModelDocument expected;
    for (int s = 0; s < 23; s++) {
        text += "[s" + std::to_string(s) + "]\n";
        expected.push_back({"s" + std::to_string(s), {}});
        for (int e = 0; e < s; e++) {
            text += "k" + std::to_string(e) + "=" + std::to_string(s * e) + "\n";
            expected.back().entries.emplace_back("k" + std::to_string(e), std::to_string(s * e));
        }
    }
    EXPECT_EQ(load(text), expected);
}

TEST_F(IniLoad, ReadsALineOfOneHundredThousandBytes)
{
    std::string value;
    for (size_t i = 0; value.size() < 100000; i++) {
        value += (char)('!' + i % 90);
    }
    std::string text = "[s]\nk=" + model_escaped(value);
    ASSERT_GE(text.size(), 100000u);
    EXPECT_EQ(load(text + "\nafter=1\n"), (ModelDocument{{"s", {{"k", value}, {"after", "1"}}}}));
    EXPECT_EQ(load(text), (ModelDocument{{"s", {{"k", value}}}})) << "without a final line feed";
}

TEST_F(IniLoad, JoinsEscapesAndLineEndsSplitBetweenTwoReads)
{
    struct Split {
        std::string before; /* ends at byte 1024, the end of the first read */
        std::string after;  /* starts the second read */
        ModelDocument expected;
    };
    const Split splits[] = {
        {"[s]\nx=a\\", ";b\n", {{"s", {{"x", "a;b"}}}}},
        {"[s]\nx=a\\", "\\b\n", {{"s", {{"x", "a\\b"}}}}},
        {"[s]\nx=a\\", "b\n", {{"s", {{"x", "ab"}}}}},
        {"[s]\nx=a\\", "\nb\n", {{"s", {{"x", "ab"}}}}},
        {"[s]\nx=a\\", "\r\nb\n", {{"s", {{"x", "ab"}}}}},
        {"[s]\nx=a\\\r", "\nb\n", {{"s", {{"x", "ab"}}}}},
        {"[s]\nx=a\r", "\ny=b\n", {{"s", {{"x", "a"}, {"y", "b"}}}}},
        {"[s]\nx=a ;c\\", "\ny=b\n", {{"s", {{"x", "a"}, {"y", "b"}}}}},
        {"[s]\nx=a ;", "\\\ny=b\n", {{"s", {{"x", "a"}, {"y", "b"}}}}},
        {"[s]\nx=a ", " \ny=b\n", {{"s", {{"x", "a"}, {"y", "b"}}}}},
        {"[s]\nx=a ", " b\n", {{"s", {{"x", "a  b"}}}}},
        {"[s]\nx=", "   b\n", {{"s", {{"x", "b"}}}}},
        {"[s]\nx=a\\", "", {{"s", {{"x", "a"}}}}},
        {"[s]\nx=a", "\0b\n"s, {{"s", {{"x", "a"}}}}},
        {"[s]\nx=a\0"s, "b\n", {{"s", {{"x", "a"}}}}},
        {"[s]\nx=\xff", "\x80\n", {{"s", {{"x", "\xff\x80"}}}}},
    };
    for (const Split &split : splits) {
        std::string text =
            at_offset(INI_READ_CHUNK - split.before.size(), split.before) + split.after;
        SCOPED_TRACE("split \"" + model_printable(split.before) + "\" | \"" +
                     model_printable(split.after) + "\"");
        ASSERT_EQ(text.size(), INI_READ_CHUNK + split.after.size());
        EXPECT_EQ(load(text), LoadedDocument(split.expected));
    }
}

TEST_F(IniLoad, GivesTheSameDocumentWhereverTheChunksSplitTheText)
{
    std::vector<LoadCase> cases = well_formed_files();
    cases.insert(cases.end(), malformed_files().begin(), malformed_files().end());
    int failures = 0;
    for (const LoadCase &file : cases) {
        /* The edge of a chunk, and of the run of chunks the loader reads at
         * once. */
        for (size_t edge : {(size_t)INI_READ_CHUNK, (size_t)INI_LOAD_BUFFER_SIZE}) {
            size_t first = file.text.size() + 2 < edge ? edge - file.text.size() - 2 : 0;
            for (Padding style : {Padding::BlankLines, Padding::Comment}) {
                for (size_t offset = first; offset <= edge + 2; offset++) {
                    std::string text = padding(offset, style);
                    ASSERT_EQ(text.size(), offset);
                    text += file.text;
                    LoadedDocument loaded = load(text);
                    int32_t expected_line =
                        file.expected
                            ? 0
                            : file.malformed_line +
                                  (int32_t)std::count(text.begin(),
                                                      text.end() - (long)file.text.size(), '\n');
                    if ((loaded != file.expected || line != expected_line) && failures++ < 10) {
                        ADD_FAILURE()
                            << "file \"" << model_printable(file.text) << "\" at offset " << offset
                            << (style == Padding::Comment ? " after a comment"
                                                          : " after blank lines")
                            << ": expected " << ::testing::PrintToString(file.expected) << " (line "
                            << expected_line << "), loaded " << ::testing::PrintToString(loaded)
                            << " (line " << line << ")";
                    }
                }
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST_F(IniLoad, HandlesEachSpecialByteAtEveryOffsetOfABlock)
{
    /* What the copy must stop at or see through, alone and in pairs. */
    const char *const pieces[] = {"\n",     "\r",       ";c\n",     "\\\\",   "\\;",   "\\a",
                                  "\\ ",    "\\\n",     "\\\r\n",   "\\\r",   " ",     "\\\\\\\\",
                                  "\\;\\;", "\\\\;c\n", "\\\\\\\n", "\\\\\r", "\\=\\["};
    /* The piece at 48 offsets into the value: with the line at the start of
     * the file, then from 24 bytes before the edge of the loader's reads to
     * 23 after it; and around 4 KiB into the file, where a long line has
     * left the reader's room on the stack and its block grows. */
    std::vector<std::pair<size_t, size_t>> places; /* {start of the line, offset} */
    for (size_t offset = 0; offset < 48; offset++) {
        places.emplace_back(0, offset);
        places.emplace_back(INI_LOAD_BUFFER_SIZE - 32, offset);
    }
    for (size_t offset = 4 * INI_READ_CHUNK - 128; offset < 4 * INI_READ_CHUNK; offset++) {
        places.emplace_back(0, offset);
    }
    int failures = 0;
    for (const char *piece : pieces) {
        for (auto [start, offset] : places) {
            std::string line = "[s]\nkey=" + std::string(offset, 'v') + piece +
                               std::string(40, 'w') + "\nnext=1\n";
            std::string text = at_offset(start, line);
            LoadedDocument expected = model_loaded(text);
            LoadedDocument loaded = load(text);
            if (loaded != expected && failures++ < 10) {
                ADD_FAILURE() << "file \"" << model_printable(text) << "\": expected "
                              << ::testing::PrintToString(expected) << ", loaded "
                              << ::testing::PrintToString(loaded);
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST(IniReadLine, ReturnsNullAtTheEndAndOnEveryCallAfter)
{
    TempDirectory directory;
    int32_t end_of_input = INI_READER_MORE;
    std::vector<std::string> lines =
        read_lines(directory.write("lines.ini", " first \n\n; c\nsecond"), &end_of_input);
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(end_of_input, INI_READER_END);

    lines = read_lines(directory.write("empty.ini", ""), &end_of_input);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(end_of_input, INI_READER_END);
}

TEST(IniReadLine, MatchesAByteAtATimeModelOnGeneratedInput)
{
    TempDirectory directory;
    std::mt19937 engine(20240611);
    std::string path = directory.file("generated.ini");
    for (int round = 0; round < 400; round++) {
        size_t size = round < 100 ? engine() % 64 : engine() % (5 * INI_READ_CHUNK);
        std::string bytes = generated_bytes(engine, size);
        write_file_bytes(path, bytes);
        int32_t end_of_input = INI_READER_MORE;
        std::vector<std::string> lines = read_lines(path, &end_of_input);
        ASSERT_EQ(lines, model_lines(bytes)) << "input \"" << model_printable(bytes) << "\"";
        ASSERT_EQ(end_of_input, INI_READER_END);
    }
}

TEST_F(IniLoad, MatchesTheFormatRulesOnGeneratedFiles)
{
    std::mt19937 engine(7041);
    int well_formed = 0;
    const int rounds = 600;
    for (int round = 0; round < rounds; round++) {
        std::string text = generated_file(engine);
        LoadedDocument expected = model_loaded(text);
        well_formed += expected.has_value();
        ASSERT_EQ(load(text), expected) << "file \"" << model_printable(text) << "\"";
        ASSERT_EQ(result, expected ? INI_LOAD_OK : INI_LOAD_MALFORMED);
    }
    /* The generator must exercise both outcomes for the comparison to mean
     * anything. */
    EXPECT_GT(well_formed, rounds / 5);
    EXPECT_LT(well_formed, rounds - rounds / 10);
}
