/* SPDX-License-Identifier: MIT */
/* The writer: the exact bytes it writes, its failures, and what survives a
 * save followed by a load. */
#include <inifile/inifile.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "support/ini_view.h"
#include "support/temp_dir.h"

namespace
{

class IniSave : public ::testing::Test
{
  protected:
    /* Saves view, built through the API, to a file; returns the file's bytes
     * and keeps the writer's result. ini_save_memory must give the same
     * bytes, with a NUL after them. */
    std::string saved_bytes(const ModelDocument &view)
    {
        IniDocument *doc = build_document(view);
        result = ini_save_file(doc, path.c_str());
        char *memory = nullptr;
        size_t size = 1;
        EXPECT_EQ(ini_save_memory(doc, &memory, &size), 0);
        ini_free_document(doc);
        std::string bytes = read_file_bytes(path);
        EXPECT_NE(memory, nullptr);
        if (memory != nullptr) {
            EXPECT_EQ(std::string(memory, size), bytes) << "saved to memory";
            EXPECT_EQ(memory[size], '\0');
            free(memory);
        }
        return bytes;
    }

    TempDirectory directory;
    std::string path = directory.file("saved.ini");
    int result = -99;
};

/* A pseudo-random string over alphabet of fewer than most bytes. */
std::string random_text(std::mt19937 &engine, const std::string &alphabet, uint32_t most)
{
    std::string text;
    for (uint32_t length = engine() % most; length > 0; length--) {
        text += alphabet[engine() % alphabet.size()];
    }
    return text;
}

/* Whether text begins or ends with a space. */
bool has_end_space(const std::string &text)
{
    return !text.empty() && (text.front() == ' ' || text.back() == ' ');
}

/* A pseudo-random document inside the bounds where a save and a load give
 * back the same document: section names non-empty and free of ";", "\",
 * carriage returns and line feeds, and of "=" after the first section; keys
 * non-empty and free of "="; no key or value beginning or ending with a
 * space or holding a carriage return or line feed. */
ModelDocument generated_document(std::mt19937 &engine)
{
    const std::string name_bytes = "ab Z[]=\t#\"'\x80\xff";
    const std::string key_bytes = "ab Z[];\\\t#\x80\xff";
    const std::string value_bytes = "ab Z[]=;\\\t#\x80\xff";
    ModelDocument doc;
    for (uint32_t sections = engine() % 14; sections > 0; sections--) {
        std::string name;
        while (name.empty() || (!doc.empty() && name.find('=') != std::string::npos)) {
            name = random_text(engine, name_bytes, 12);
        }
        ModelSection section{name, {}};
        for (uint32_t entries = engine() % 14; entries > 0; entries--) {
            std::string key;
            while (key.empty() || has_end_space(key)) {
                key = random_text(engine, key_bytes, 10);
            }
            std::string value = random_text(engine, value_bytes, engine() % 8 == 0 ? 3000 : 20);
            if (has_end_space(value)) {
                value.front() = value.front() == ' ' ? 'v' : value.front();
                value.back() = value.back() == ' ' ? 'v' : value.back();
            }
            section.entries.emplace_back(key, value);
        }
        doc.push_back(section);
    }
    return doc;
}

} // namespace

TEST_F(IniSave, WritesExactlyTheDocumentsBytes)
{
    struct Save {
        ModelDocument doc;
        std::string bytes;
    };
    const Save saves[] = {
        {{{"s", {{"a", "1"}, {"b", "x;y"}}}}, "[s]\na=1\nb=x\\;y\n"},
        {{{"s", {{"path", "C:\\dir"}}}}, "[s]\npath=C:\\\\dir\n"},
        {{{"s", {{"k;\\", ";\\v\\;"}}}}, "[s]\nk\\;\\\\=\\;\\\\v\\\\\\;\n"},
        {{{"s", {{"key", ""}}}}, "[s]\nkey=\n"},
        {{{"s", {{" key ", " value "}}}}, "[s]\n key = value \n"},
        {{{"s", {{"a", "b=c"}, {"", "empty key"}}}}, "[s]\na=b=c\n=empty key\n"},
        {{{"s", {}}}, "[s]\n"},
        {{{"", {{"k", "v"}}}}, "[]\nk=v\n"},
        {{{"a;b\\c", {}}}, "[a;b\\c]\n"},
        {{{"one", {{"x", "1"}}}, {"two", {}}, {"three", {{"y", "2"}, {"z", "3"}}}},
         "[one]\nx=1\n[two]\n[three]\ny=2\nz=3\n"},
        {{{"\x80\xff", {{"\xe9", "\t\r\x01"}}}}, "[\x80\xff]\n\xe9=\t\r\x01\n"},
        {{}, ""},
    };
    for (const Save &save : saves) {
        SCOPED_TRACE("expecting \"" + model_printable(save.bytes) + "\"");
        EXPECT_EQ(saved_bytes(save.doc), save.bytes);
        EXPECT_EQ(result, 0);
    }
}

TEST_F(IniSave, WritesAnEmptyDocumentAsAnEmptyFileThatLoads)
{
    EXPECT_EQ(saved_bytes({}), "");
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    EXPECT_EQ(load_view(path), ModelDocument{});
}

TEST_F(IniSave, ReplacesTheWholeContentOfAnExistingFile)
{
    write_file_bytes(path, std::string(5000, 'x') + "\n[old]\nkey=value\n");
    EXPECT_EQ(saved_bytes({{"new", {{"k", "v"}}}}), "[new]\nk=v\n");
    EXPECT_EQ(result, 0);
    write_file_bytes(path, "[old]\n");
    EXPECT_EQ(saved_bytes({}), "");
    EXPECT_EQ(result, 0);
}

TEST_F(IniSave, ReturnsMinusOneWhenTheFileCannotBeCreated)
{
    std::filesystem::create_directory(directory.path() / "taken");
    write_file_bytes(directory.path() / "taken" / "inside", "kept");
    const std::string paths[] = {
        directory.file("missing") + "/saved.ini",
        directory.file("taken"),
        directory.file("taken") + "/inside/below",
    };
    IniDocument *doc = build_document({{"s", {{"k", "v"}}}});
    for (const std::string &target : paths) {
        SCOPED_TRACE(target);
        EXPECT_EQ(ini_save_file(doc, target.c_str()), -1);
    }
    ini_free_document(doc);
    EXPECT_FALSE(std::filesystem::exists(directory.path() / "missing"));
    EXPECT_TRUE(std::filesystem::is_directory(directory.path() / "taken"));
    EXPECT_EQ(read_file_bytes(directory.path() / "taken" / "inside"), "kept");
}

TEST_F(IniSave, LeavesTheDocumentAsItWas)
{
    IniDocument *doc = build_document({{"s", {{"a;", "1\\"}, {"b", "2"}}}, {"t", {}}});
    ModelDocument before = model_of(doc);
    const char *value = doc->sections[0]->entries[0]->value;
    ASSERT_EQ(ini_save_file(doc, path.c_str()), 0);
    ASSERT_EQ(ini_save_file(doc, path.c_str()), 0);
    EXPECT_EQ(model_of(doc), before);
    EXPECT_EQ(doc->sections[0]->entries[0]->value, value);
    ini_free_document(doc);
}

TEST_F(IniSave, GivesBackTheSameDocumentOnLoadInsideTheBounds)
{
    std::mt19937 engine(1931);
    for (int round = 0; round < 300; round++) {
        IniDocument *doc = build_document(generated_document(engine));
        ModelDocument expected = model_of(doc);
        ASSERT_EQ(ini_save_file(doc, path.c_str()), 0);
        ini_free_document(doc);
        ASSERT_EQ(load_view(path), expected)
            << "file \"" << model_printable(read_file_bytes(path)) << "\"";
    }
}

TEST_F(IniSave, LosesWhatLiesOutsideTheBoundsAsTheFormatSays)
{
    struct Loss {
        const char *what;
        ModelDocument saved;
        std::optional<ModelDocument> loaded;
    };
    const Loss losses[] = {
        {"spaces at the ends of keys and values",
         {{"s", {{"  key ", " value  "}}}},
         ModelDocument{{"s", {{"key", "value"}}}}},
        {"carriage returns", {{"s", {{"k\r", "a\rb\r"}}}}, ModelDocument{{"s", {{"k", "ab"}}}}},
        {"a later section whose name holds an equals sign",
         {{"s", {{"x", "1"}}}, {"a=b", {{"y", "2"}}}, {"t", {}}},
         ModelDocument{{"s", {{"x", "1"}, {"[a", "b]"}, {"y", "2"}}}, {"t", {}}}},
        {"a key holding an equals sign",
         {{"s", {{"a=b", "c"}}}},
         ModelDocument{{"s", {{"a", "b=c"}}}}},
        {"an empty section name", {{"", {{"k", "v"}}}}, std::nullopt},
        {"an empty key", {{"s", {{"", "v"}}}}, std::nullopt},
        {"a section name holding a semicolon", {{"a;b", {}}}, std::nullopt},
        {"a section name holding a line feed", {{"a\nb", {}}}, std::nullopt},
        {"a key holding a line feed", {{"s", {{"a\nb", "v"}}}}, std::nullopt},
        {"a section name with a backslash", {{"a\\b", {}}}, ModelDocument{{"ab", {}}}},
    };
    for (const Loss &loss : losses) {
        SCOPED_TRACE(loss.what);
        saved_bytes(loss.saved);
        ASSERT_EQ(result, 0);
        EXPECT_EQ(load_view(path), loss.loaded);
    }
}
