/* SPDX-License-Identifier: MIT */
/* The in-memory document model: building, looking up, replacing, removing and
 * copying sections and entries. */
#include <inifile/inifile.h>

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "support/ini_view.h"
#include "support/temp_dir.h"

namespace
{

/* The names of every section of doc, in order. */
std::vector<std::string> section_names(const IniDocument *doc)
{
    std::vector<std::string> names;
    for (const ModelSection &section : model_of(doc)) {
        names.push_back(section.name);
    }
    return names;
}

/* A new section holding the given entries, put one by one. */
IniSection *section_with(const char *name, const ModelEntries &entries)
{
    IniSection *section = ini_new_section(name);
    for (const auto &entry : entries) {
        ini_put_entry(section, entry.first.c_str(), entry.second.c_str());
    }
    return section;
}

/* A new document holding empty sections with the given names, put one by
 * one. */
IniDocument *document_with(const std::vector<std::string> &names)
{
    IniDocument *doc = ini_new_document();
    for (const std::string &name : names) {
        ini_put_section(doc, ini_new_section(name.c_str()));
    }
    return doc;
}

/* Loads text from a file, for documents that only the loader can build
 * (duplicate names and keys). */
IniDocument *load_text(const std::string &text)
{
    TempDirectory directory;
    return ini_load_file(directory.write("loaded.ini", text).c_str());
}

} // namespace

TEST(IniDocument, StartsEmptyWithRoomForTenSections)
{
    IniDocument *doc = ini_new_document();
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->section_count, 0);
    EXPECT_EQ(doc->section_capacity, INI_GROW_STEP);
    EXPECT_EQ(INI_GROW_STEP, 10);
    EXPECT_NE(doc->sections, nullptr);
    ini_free_document(doc);
}

TEST(IniDocument, FindsNothingInAnEmptyDocumentNorInANullOne)
{
    IniDocument *doc = ini_new_document();
    for (const IniDocument *each : {(const IniDocument *)doc, (const IniDocument *)nullptr}) {
        EXPECT_EQ(ini_section_index(each, ""), -1);
        EXPECT_EQ(ini_section_index(each, "Install"), -1);
        EXPECT_EQ(ini_find_section(each, "Install"), nullptr);
        EXPECT_EQ(ini_section_name_at(each, 0), nullptr);
        EXPECT_EQ(ini_section_at(each, 0), nullptr);
    }
    EXPECT_EQ(ini_remove_section(doc, "Install"), 1);
    EXPECT_EQ(doc->section_count, 0);
    ini_free_document(doc);
}

TEST(IniDocument, LooksUpSectionsByExactName)
{
    IniDocument *doc = document_with({"Install", "install", " Install ", "", "INSTALL"});
    struct Lookup {
        const char *name;
        int index;
    };
    const Lookup lookups[] = {
        {"Install", 0},   {"install", 1}, {" Install ", 2}, {"", 3},         {"INSTALL", 4},
        {"Install ", -1}, {"Instal", -1}, {"Installs", -1}, {"iNSTALL", -1},
    };
    for (const Lookup &lookup : lookups) {
        SCOPED_TRACE(std::string("name \"") + lookup.name + "\"");
        EXPECT_EQ(ini_section_index(doc, lookup.name), lookup.index);
        IniSection *found = ini_find_section(doc, lookup.name);
        if (lookup.index < 0) {
            EXPECT_EQ(found, nullptr);
        } else {
            EXPECT_EQ(found, doc->sections[lookup.index]);
            EXPECT_STREQ(found->name, lookup.name);
        }
    }
    ini_free_document(doc);
}

TEST(IniDocument, GivesSectionsAndTheirNamesByPositionAndNullOutsideTheRange)
{
    /* Two sections of one name, which only a position tells apart. */
    IniDocument *doc = load_text("[a]\n[b]\nk=1\n[c]\n[b]\nk=2\n");
    ASSERT_NE(doc, nullptr);
    const char *const names[] = {"a", "b", "c", "b"};
    const char *const values[] = {"", "1", "", "2"};
    for (int index = 0; index < 4; index++) {
        SCOPED_TRACE("index " + std::to_string(index));
        EXPECT_STREQ(ini_section_name_at(doc, index), names[index]);
        IniSection *section = ini_section_at(doc, index);
        ASSERT_EQ(section, doc->sections[index]);
        const char *value = ini_find_value(section, "k");
        EXPECT_STREQ(value == nullptr ? "" : value, values[index]);
    }
    for (int index : {4, 9, 10, 1000, -1, -2}) {
        SCOPED_TRACE("index " + std::to_string(index));
        EXPECT_EQ(ini_section_name_at(doc, index), nullptr);
        EXPECT_EQ(ini_section_at(doc, index), nullptr);
    }
    ini_free_document(doc);
}

TEST(IniDocument, AppendsSectionsWithNewNamesInOrder)
{
    IniDocument *doc = ini_new_document();
    EXPECT_EQ(ini_put_section(doc, ini_new_section("one")), 1);
    EXPECT_EQ(ini_put_section(doc, ini_new_section("two")), 1);
    EXPECT_EQ(ini_put_section(doc, ini_new_section("One")), 1);
    EXPECT_EQ(section_names(doc), (std::vector<std::string>{"one", "two", "One"}));
    ini_free_document(doc);
}

TEST(IniDocument, ReplacesASectionOfTheSameNameInItsSlot)
{
    IniDocument *doc = ini_new_document();
    ini_put_section(doc, section_with("a", {{"old", "1"}}));
    ini_put_section(doc, section_with("b", {{"keep", "2"}}));
    ini_put_section(doc, section_with("c", {}));

    IniSection *replacement = section_with("b", {{"new", "3"}});
    EXPECT_EQ(ini_put_section(doc, replacement), 0);

    EXPECT_EQ(doc->section_count, 3);
    EXPECT_EQ(doc->sections[1], replacement);
    EXPECT_EQ(model_of(doc),
              (ModelDocument{{"a", {{"old", "1"}}}, {"b", {{"new", "3"}}}, {"c", {}}}));
    ini_free_document(doc);
}

TEST(IniDocument, KeepsASectionPutOverItself)
{
    IniDocument *doc = ini_new_document();
    IniSection *section = section_with("s", {{"k", "v"}});
    ini_put_section(doc, section);
    EXPECT_EQ(ini_put_section(doc, section), 0);
    EXPECT_EQ(doc->section_count, 1);
    EXPECT_EQ(doc->sections[0], section);
    EXPECT_EQ(model_of(doc), (ModelDocument{{"s", {{"k", "v"}}}}));
    ini_free_document(doc);
}

TEST(IniDocument, PutsASectionItHoldsIntoTheFirstSlotOfItsNameAndEmptiesItsOwn)
{
    /* The section at index 2 each time; the last section moves into its slot. */
    const std::pair<const char *, ModelDocument> puts[] = {
        {"[s]\na=1\n[t]\nx=0\n[s]\nb=2\n", {{"s", {{"b", "2"}}}, {"t", {{"x", "0"}}}}},
        {"[s]\na=1\n[t]\n[s]\nb=2\n[u]\n[v]\n",
         {{"s", {{"b", "2"}}}, {"t", {}}, {"v", {}}, {"u", {}}}},
    };
    for (const auto &[file, left] : puts) {
        SCOPED_TRACE(model_printable(file));
        IniDocument *doc = load_text(file);
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(ini_put_section(doc, ini_section_at(doc, 2)), 0);
        EXPECT_EQ(model_of(doc), left);
        ini_free_document(doc);
    }
}

TEST(IniDocument, RemovesASectionByMovingTheLastIntoItsSlot)
{
    struct Removal {
        const char *name;
        int result;
        std::vector<std::string> left;
    };
    const Removal removals[] = {
        {"B", 0, {"A", "D", "C"}}, {"A", 0, {"D", "B", "C"}},      {"D", 0, {"A", "B", "C"}},
        {"C", 0, {"A", "B", "D"}}, {"E", 1, {"A", "B", "C", "D"}}, {"b", 1, {"A", "B", "C", "D"}},
    };
    for (const Removal &removal : removals) {
        SCOPED_TRACE(std::string("removing ") + removal.name);
        IniDocument *doc = document_with({"A", "B", "C", "D"});
        IniSection *last = doc->sections[3];
        EXPECT_EQ(ini_remove_section(doc, removal.name), removal.result);
        EXPECT_EQ(section_names(doc), removal.left);
        EXPECT_EQ(doc->section_capacity, INI_GROW_STEP);
        if (removal.result == 0 && strcmp(removal.name, "D") != 0) {
            EXPECT_EQ(ini_find_section(doc, "D"), last) << "the last section record moves";
        }
        ini_free_document(doc);
    }
}

TEST(IniDocument, RemovesOnlyTheFirstOfTwoSectionsWithOneName)
{
    IniDocument *doc = load_text("[s]\na=1\n[t]\n[s]\nb=2\n[u]\n");
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(ini_remove_section(doc, "s"), 0);
    EXPECT_EQ(model_of(doc), (ModelDocument{{"u", {}}, {"t", {}}, {"s", {{"b", "2"}}}}));
    EXPECT_EQ(ini_remove_section(doc, "s"), 0);
    EXPECT_EQ(ini_remove_section(doc, "s"), 1);
    EXPECT_EQ(section_names(doc), (std::vector<std::string>{"u", "t"}));
    ini_free_document(doc);
}

TEST(IniDocument, FindsAndReplacesTheFirstOfTwoSectionsWithOneName)
{
    IniDocument *doc = load_text("[s]\na=1\n[s]\nb=2\n");
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(ini_section_index(doc, "s"), 0);
    EXPECT_EQ(ini_find_section(doc, "s"), doc->sections[0]);
    EXPECT_STREQ(ini_find_value(ini_find_section(doc, "s"), "a"), "1");

    EXPECT_EQ(ini_put_section(doc, section_with("s", {{"c", "3"}})), 0);
    EXPECT_EQ(model_of(doc), (ModelDocument{{"s", {{"c", "3"}}}, {"s", {{"b", "2"}}}}));
    ini_free_document(doc);
}

TEST(IniDocument, GrowsTheSectionArrayByTenWhenItIsFull)
{
    IniDocument *doc = ini_new_document();
    for (int count = 1; count <= 35; count++) {
        std::string name = "section" + std::to_string(count);
        ASSERT_EQ(ini_put_section(doc, ini_new_section(name.c_str())), 1);
        SCOPED_TRACE("after " + std::to_string(count) + " sections");
        EXPECT_EQ(doc->section_count, count);
        EXPECT_EQ(doc->section_capacity, (count + 9) / 10 * 10);
    }
    EXPECT_EQ(ini_section_index(doc, "section1"), 0);
    EXPECT_EQ(ini_section_index(doc, "section35"), 34);
    for (int count = 35; count > 0; count--) {
        ini_remove_section(doc, ("section" + std::to_string(count)).c_str());
    }
    EXPECT_EQ(doc->section_count, 0);
    EXPECT_EQ(doc->section_capacity, 40) << "removal never shrinks the array";
    ini_free_document(doc);
}

TEST(IniSection, StartsEmptyWithACopyOfItsName)
{
    char name[] = "Install";
    IniSection *section = ini_new_section(name);
    ASSERT_NE(section, nullptr);
    EXPECT_NE(section->name, name);
    name[0] = 'X';
    EXPECT_STREQ(section->name, "Install");
    EXPECT_EQ(section->entry_count, 0);
    EXPECT_EQ(section->entry_capacity, INI_GROW_STEP);
    EXPECT_NE(section->entries, nullptr);
    ini_free_section(section);
}

TEST(IniSection, AcceptsAnEmptyName)
{
    IniSection *section = ini_new_section("");
    ASSERT_NE(section, nullptr);
    EXPECT_STREQ(section->name, "");
    ini_free_section(section);
}

TEST(IniSection, FindsNothingInAnEmptySectionNorInANullOne)
{
    IniSection *section = ini_new_section("s");
    for (const IniSection *each : {(const IniSection *)section, (const IniSection *)nullptr}) {
        EXPECT_EQ(ini_entry_index(each, ""), -1);
        EXPECT_EQ(ini_entry_index(each, "VSN"), -1);
        EXPECT_EQ(ini_find_value(each, "VSN"), nullptr);
        EXPECT_EQ(ini_entry_key_at(each, 0), nullptr);
        EXPECT_EQ(ini_entry_value_at(each, 0), nullptr);
    }
    EXPECT_EQ(ini_remove_entry(section, "VSN"), 1);
    EXPECT_EQ(section->entry_count, 0);
    ini_free_section(section);
}

TEST(IniSection, AppendsEntriesWithNewKeysInOrder)
{
    IniSection *section = ini_new_section("s");
    EXPECT_EQ(ini_put_entry(section, "VSN", "1.0"), 1);
    EXPECT_EQ(ini_put_entry(section, "SYSTEM_VSN", "A1"), 1);
    EXPECT_EQ(ini_put_entry(section, "vsn", "lower"), 1);
    EXPECT_EQ(ini_put_entry(section, "", "empty key"), 1);
    EXPECT_EQ(
        model_of_section(section).entries,
        (ModelEntries{{"VSN", "1.0"}, {"SYSTEM_VSN", "A1"}, {"vsn", "lower"}, {"", "empty key"}}));
    ini_free_section(section);
}

TEST(IniSection, LooksUpEntriesByExactKey)
{
    IniSection *section =
        section_with("s", {{"VSN", "1"}, {"vsn", "2"}, {"VSN ", "3"}, {"", "4"}, {"V", "5"}});
    struct Lookup {
        const char *key;
        int index;
        const char *value;
    };
    const Lookup lookups[] = {
        {"VSN", 0, "1"},   {"vsn", 1, "2"},    {"VSN ", 2, "3"}, {"", 3, "4"},       {"V", 4, "5"},
        {"Vsn", -1, NULL}, {" VSN", -1, NULL}, {"VS", -1, NULL}, {"VSNX", -1, NULL},
    };
    for (const Lookup &lookup : lookups) {
        SCOPED_TRACE(std::string("key \"") + lookup.key + "\"");
        EXPECT_EQ(ini_entry_index(section, lookup.key), lookup.index);
        if (lookup.value == NULL) {
            EXPECT_EQ(ini_find_value(section, lookup.key), nullptr);
        } else {
            EXPECT_STREQ(ini_find_value(section, lookup.key), lookup.value);
        }
    }
    ini_free_section(section);
}

TEST(IniSection, GivesKeysAndValuesByPositionAndNullOutsideTheRange)
{
    /* Two entries of one key, which only a position tells apart. */
    IniDocument *doc = load_text("[s]\na=1\nb=2\na=3\n");
    ASSERT_NE(doc, nullptr);
    const IniSection *section = doc->sections[0];
    const ModelEntries entries = {{"a", "1"}, {"b", "2"}, {"a", "3"}};
    for (int index = 0; index < 3; index++) {
        SCOPED_TRACE("index " + std::to_string(index));
        EXPECT_STREQ(ini_entry_key_at(section, index), entries[(size_t)index].first.c_str());
        EXPECT_STREQ(ini_entry_value_at(section, index), entries[(size_t)index].second.c_str());
        EXPECT_EQ(ini_entry_value_at(section, index), section->entries[index]->value);
    }
    for (int index : {3, 9, 10, 1000, -1, -2}) {
        SCOPED_TRACE("index " + std::to_string(index));
        EXPECT_EQ(ini_entry_key_at(section, index), nullptr);
        EXPECT_EQ(ini_entry_value_at(section, index), nullptr);
    }
    ini_free_document(doc);
}

TEST(IniSection, ReplacesTheValueOfAPresentKeyInPlace)
{
    IniSection *section = section_with("s", {{"a", "1"}, {"b", "2"}, {"c", "3"}});
    IniEntry *record = section->entries[1];
    EXPECT_EQ(ini_put_entry(section, "b", "twenty-two"), 0);
    EXPECT_EQ(section->entries[1], record) << "the entry record stays";
    EXPECT_EQ(section->entry_count, 3);
    EXPECT_EQ(model_of_section(section).entries,
              (ModelEntries{{"a", "1"}, {"b", "twenty-two"}, {"c", "3"}}));
    EXPECT_EQ(ini_put_entry(section, "b", ""), 0);
    EXPECT_EQ(model_of_section(section).entries, (ModelEntries{{"a", "1"}, {"b", ""}, {"c", "3"}}));
    ini_free_section(section);
}

TEST(IniSection, KeepsKeyAndValueInOneBlockValueAfterTheKey)
{
    IniSection *section = section_with("s", {{"key", "value"}, {"", ""}});
    EXPECT_EQ(section->entries[0]->value, section->entries[0]->key + 4);
    EXPECT_EQ(section->entries[1]->value, section->entries[1]->key + 1);
    ini_put_entry(section, "key", "other");
    EXPECT_EQ(section->entries[0]->value, section->entries[0]->key + 4);
    ini_free_section(section);
}

TEST(IniSection, CopiesTheKeyAndValueItIsGiven)
{
    IniSection *section = ini_new_section("s");
    char key[] = "key";
    char value[] = "value";
    ini_put_entry(section, key, value);
    EXPECT_NE(section->entries[0]->key, key);
    key[0] = 'X';
    value[0] = 'X';
    EXPECT_EQ(model_of_section(section).entries, (ModelEntries{{"key", "value"}}));
    ini_free_section(section);
}

TEST(IniSection, ReplacesAnEntryWithKeyAndValueTakenFromItself)
{
    /* Long strings, so that reading a freed block would show as garbage. */
    const std::string key(60, 'k');
    const std::string value = std::string(50, 'v') + "tail";
    struct Case {
        const char *what;
        int key_offset;        /* where the key argument starts in the old key */
        int value_offset;      /* where the value argument starts in the old value */
        bool value_from_key;   /* the value argument is taken from the old key */
        std::string new_key;   /* the key the entry has afterwards */
        std::string new_value; /* the value it has afterwards */
        int result;
    };
    const Case cases[] = {
        {"its own key and value", 0, 0, false, key, value, 0},
        {"its own key and the end of its value", 0, 50, false, key, "tail", 0},
        {"its own key as key and as value", 0, 0, true, key, key, 0},
        {"the end of its key as a new key", 10, 0, false, key.substr(10), value, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        IniSection *section = section_with("s", {{"first", "1"}, {key, value}, {"last", "3"}});
        IniEntry *entry = section->entries[1];
        const char *key_argument = entry->key + c.key_offset;
        const char *value_argument =
            (c.value_from_key ? entry->key : entry->value) + c.value_offset;
        EXPECT_EQ(ini_put_entry(section, key_argument, value_argument), c.result);
        if (c.result == 0) {
            EXPECT_EQ(model_of_section(section).entries,
                      (ModelEntries{{"first", "1"}, {c.new_key, c.new_value}, {"last", "3"}}));
        } else {
            EXPECT_EQ(model_of_section(section).entries,
                      (ModelEntries{
                          {"first", "1"}, {key, value}, {"last", "3"}, {c.new_key, c.new_value}}));
        }
        ini_free_section(section);
    }
}

TEST(IniSection, RemovesAnEntryByMovingTheLastIntoItsSlot)
{
    struct Removal {
        const char *key;
        int result;
        std::vector<std::string> left;
    };
    const Removal removals[] = {
        {"B", 0, {"A", "D", "C"}}, {"A", 0, {"D", "B", "C"}},      {"D", 0, {"A", "B", "C"}},
        {"C", 0, {"A", "B", "D"}}, {"E", 1, {"A", "B", "C", "D"}}, {"a", 1, {"A", "B", "C", "D"}},
    };
    for (const Removal &removal : removals) {
        SCOPED_TRACE(std::string("removing ") + removal.key);
        IniSection *section = section_with(
            "s", {{"A", "value A"}, {"B", "value B"}, {"C", "value C"}, {"D", "value D"}});
        EXPECT_EQ(ini_remove_entry(section, removal.key), removal.result);
        ModelEntries expected;
        for (const std::string &key : removal.left) {
            expected.emplace_back(key, "value " + key);
        }
        EXPECT_EQ(model_of_section(section).entries, expected);
        EXPECT_EQ(section->entry_capacity, INI_GROW_STEP);
        ini_free_section(section);
    }
}

TEST(IniSection, GrowsTheEntryArrayByTenWhenItIsFull)
{
    IniSection *section = ini_new_section("s");
    for (int count = 1; count <= 35; count++) {
        std::string key = "key" + std::to_string(count);
        ASSERT_EQ(ini_put_entry(section, key.c_str(), "v"), 1);
        SCOPED_TRACE("after " + std::to_string(count) + " entries");
        EXPECT_EQ(section->entry_count, count);
        EXPECT_EQ(section->entry_capacity, (count + 9) / 10 * 10);
    }
    EXPECT_STREQ(ini_entry_key_at(section, 10), "key11");
    EXPECT_STREQ(ini_entry_key_at(section, 34), "key35");
    ASSERT_EQ(ini_put_entry(section, "key35", "replaced"), 0);
    EXPECT_EQ(section->entry_capacity, 40);
    while (section->entry_count > 0) {
        ini_remove_entry(section, section->entries[0]->key);
    }
    EXPECT_EQ(section->entry_capacity, 40) << "removal never shrinks the array";
    ini_free_section(section);
}

TEST(IniSection, ActsOnTheFirstOfTwoEntriesWithOneKeyInALoadedSection)
{
    IniDocument *doc = load_text("[s]\nK=first\nx=1\nK=second\ny=2\n");
    ASSERT_NE(doc, nullptr);
    IniSection *section = doc->sections[0];
    EXPECT_EQ(ini_entry_index(section, "K"), 0);
    EXPECT_STREQ(ini_find_value(section, "K"), "first");

    EXPECT_EQ(ini_put_entry(section, "K", "changed"), 0);
    EXPECT_EQ(model_of_section(section).entries,
              (ModelEntries{{"K", "changed"}, {"x", "1"}, {"K", "second"}, {"y", "2"}}));

    EXPECT_EQ(ini_remove_entry(section, "K"), 0);
    EXPECT_EQ(model_of_section(section).entries,
              (ModelEntries{{"y", "2"}, {"x", "1"}, {"K", "second"}}));
    EXPECT_STREQ(ini_find_value(section, "K"), "second");
    ini_free_document(doc);
}

TEST(IniSection, CopyKeepsTheFirstValueOfEachKeyInOrderOfFirstAppearance)
{
    struct Copy {
        const char *file;
        ModelEntries expected;
    };
    const Copy copies[] = {
        {"[s]\nA=1\nB=2\nA=3\n", {{"A", "1"}, {"B", "2"}}},
        {"[s]\nB=1\nA=2\nB=3\nA=4\nC=5\n", {{"B", "1"}, {"A", "2"}, {"C", "5"}}},
        {"[s]\na=1\nA=2\n", {{"a", "1"}, {"A", "2"}}},
        {"[s]\n", {}},
    };
    for (const Copy &copy_case : copies) {
        SCOPED_TRACE(model_printable(copy_case.file));
        IniDocument *doc = load_text(copy_case.file);
        ASSERT_NE(doc, nullptr);
        ModelEntries source_before = model_of_section(doc->sections[0]).entries;
        IniSection *copy = ini_copy_section(doc->sections[0], "copy");
        ASSERT_NE(copy, nullptr);
        EXPECT_STREQ(copy->name, "copy");
        EXPECT_EQ(model_of_section(copy).entries, copy_case.expected);
        EXPECT_EQ(model_of_section(doc->sections[0]).entries, source_before);
        EXPECT_STREQ(doc->sections[0]->name, "s");
        ini_free_section(copy);
        ini_free_document(doc);
    }
}

TEST(IniSection, CopyOwnsItsNameAndEntries)
{
    IniSection *source = section_with("source", {{"a", "1"}, {"b", "2"}});
    IniSection *copy = ini_copy_section(source, "copy");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(ini_put_entry(copy, "a", "changed"), 0);
    EXPECT_EQ(ini_remove_entry(copy, "b"), 0);
    EXPECT_EQ(model_of_section(source).entries, (ModelEntries{{"a", "1"}, {"b", "2"}}));
    ini_free_section(source);
    EXPECT_EQ(model_of_section(copy).entries, (ModelEntries{{"a", "changed"}}));
    EXPECT_STREQ(copy->name, "copy");
    ini_free_section(copy);
}

TEST(IniSection, CopyMayTakeTheSourcesOwnNameAndGrowPastTen)
{
    IniSection *source = ini_new_section("s");
    ModelEntries expected;
    for (int i = 0; i < 25; i++) {
        std::string key = "k" + std::to_string(i);
        ini_put_entry(source, key.c_str(), std::to_string(i * i).c_str());
        expected.emplace_back(key, std::to_string(i * i));
    }
    IniSection *copy = ini_copy_section(source, source->name);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->name, "s");
    EXPECT_NE(copy->name, source->name);
    EXPECT_EQ(model_of_section(copy).entries, expected);
    EXPECT_EQ(copy->entry_capacity, 30);
    ini_free_section(copy);
    ini_free_section(source);
}

TEST(IniDocument, GetsAValueAsTextIntegerOrTruthOrElseTheFallback)
{
    /* Each value and what it reads as; 4242 and -7 are the fallbacks passed. */
    const std::vector<std::pair<const char *, int64_t>> numbers = {
        {"0", 0},    {"-0", 0},     {"010", 10},    {"+7", 7},      {"0x1F", 31},   {"-0X1f", -31},
        {"", 4242},  {" 1", 4242},  {"1 ", 4242},   {"12ab", 4242}, {"1.5", 4242},  {"0x", 4242},
        {"-", 4242}, {"+-1", 4242}, {"0x-1", 4242}, {"x1", 4242},   {"true", 4242},
    };
    const std::vector<std::pair<const char *, int64_t>> limits = {
        {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", INT64_MIN},
        {"0x7fffffffffffffff", INT64_MAX},  {"-0x8000000000000000", INT64_MIN},
        {"9223372036854775808", 4242},      {"-9223372036854775809", 4242},
        {"0x8000000000000000", 4242},       {"-0x8000000000000001", 4242},
        {"0xFFFFFFFFFFFFFFFF", 4242},       {"0000000000000000000000001", 1},
    };
    const std::pair<const char *, int> truths[] = {
        {"1", 1},     {"true", 1}, {"TRUE", 1}, {"Yes", 1},   {"oN", 1},   {"0", 0},
        {"false", 0}, {"No", 0},   {"OFF", 0},  {"on ", -7},  {"tru", -7}, {"y", -7},
        {"2", -7},    {"01", -7},  {"-0", -7},  {"yess", -7}, {"", -7},
    };
    IniDocument *doc = document_with({"s"});
    for (const auto *table : {&numbers, &limits}) {
        for (const auto &[value, number] : *table) {
            ini_put_entry(doc->sections[0], "k", value);
            EXPECT_EQ(ini_get_integer(doc, "s", "k", 4242), number) << "value \"" << value << '"';
        }
    }
    for (const auto &[value, truth] : truths) {
        ini_put_entry(doc->sections[0], "k", value);
        EXPECT_EQ(ini_get_boolean(doc, "s", "k", -7), truth) << "value \"" << value << '"';
    }
    EXPECT_EQ(ini_get_string(doc, "s", "k", NULL), ini_find_value(doc->sections[0], "k"));
    const char *fallback = "fallback";
    for (const IniDocument *each : {(const IniDocument *)doc, (const IniDocument *)nullptr}) {
        EXPECT_EQ(ini_get_string(each, "s", "missing", fallback), fallback);
        EXPECT_EQ(ini_get_string(each, "missing", "k", NULL), nullptr);
        EXPECT_EQ(ini_get_integer(each, "S", "k", INT64_MIN), INT64_MIN);
        EXPECT_EQ(ini_get_boolean(each, "s", "K", 5), 5);
    }
    ini_free_document(doc);

    doc = load_text("[s]\nk=1\nk=2\n[s]\nj=yes\n");
    EXPECT_EQ(ini_get_integer(doc, "s", "k", 0), 1) << "the first entry of the first section";
    EXPECT_EQ(ini_get_boolean(doc, "s", "j", -1), -1) << "only the first section is read";
    ini_free_document(doc);
}
