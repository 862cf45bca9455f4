/* SPDX-License-Identifier: MIT */
/* The library when memory runs out, reads fail or come in small pieces, and
 * writes fail or fall short. Faults come from the seam in
 * support/fault_injection.h; this program alone is linked with it. */
#include <inifile/inifile.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/installer_platform.h"
#include "platform/platform.h"
#include "support/fault_injection.h"
#include "support/ini_view.h"
#include "support/temp_dir.h"

namespace
{

/* Every test starts and ends with no fault armed. */
class Faults : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        fault_reset();
    }
    void TearDown() override
    {
        fault_reset();
    }

    TempDirectory directory;
};

class IniLoadFaults : public Faults
{
};
class IniSaveFaults : public Faults
{
};
class IniDocumentFaults : public Faults
{
};

/* Everything a test can see of a section, its capacity included. */
struct SectionState {
    ModelSection view;
    int32_t capacity;
    bool operator==(const SectionState &other) const
    {
        return view == other.view && capacity == other.capacity;
    }
};

SectionState state_of(const IniSection *section)
{
    return {{section->name, model_of_section(section).entries}, section->entry_capacity};
}

std::ostream &operator<<(std::ostream &out, const SectionState &state)
{
    return out << state.view << " capacity " << state.capacity;
}

/* A file that makes the loader use every kind of allocation: a line longer
 * than the loader keeps off the heap, more than ten sections, a section with
 * more than twenty entries, whose array grows and then gives back room,
 * comments, escapes and continuations, and a last line without a line
 * feed. */
std::string rich_file()
{
    std::string text = "; leading comment\n[first section]\n";
    for (int i = 0; i < 23; i++) {
        text += "key" + std::to_string(i) + " = value with \\; escape " + std::to_string(i) + "\n";
    }
    text += "long = " + std::string(10 * INI_READ_CHUNK, 'L') + "\\\n continued\n";
    for (int i = 0; i < 11; i++) {
        text += "[s" + std::to_string(i) + "]\nk=v\n";
    }
    return text + "last=line";
}

/* The exact bytes the writer produces for view. */
std::string expected_bytes(const ModelDocument &view)
{
    std::string bytes;
    for (const ModelSection &section : view) {
        bytes += "[" + section.name + "]\n";
        for (const auto &entry : section.entries) {
            bytes += model_escaped(entry.first) + "=" + model_escaped(entry.second) + "\n";
        }
    }
    return bytes;
}

/* A document whose bytes make a buffer in memory grow many times. */
ModelDocument document_to_save()
{
    ModelDocument view = {{"first", {}}, {"second", {{"short", "1"}}}};
    for (int i = 0; i < 5; i++) {
        std::string key = "key" + std::string(i * 15, ';');
        std::string value = std::string(i * 23, 'v') + "\\" + std::string(i * 7, ';');
        view[0].entries.emplace_back(key, value);
    }
    return view;
}

} // namespace

/* From a file and from memory alike: the same bytes cost the same
 * allocations, each of which may fail. */
TEST_F(IniLoadFaults, FailsCleanlyAtEveryAllocation)
{
    const std::string text = rich_file();
    const std::string path = directory.write("in.ini", text);
    const std::optional<ModelDocument> expected = load_view(path);
    ASSERT_TRUE(expected.has_value());
    ASSERT_GT(expected->size(), 10u);

    struct Load {
        const char *what;
        std::function<IniDocument *(IniLoadResult *)> run;
    };
    const Load loads[] = {
        {"from the file",
         [&](IniLoadResult *result) {
             return ini_load_file_with_result(path.c_str(), result, nullptr);
         }},
        {"from memory",
         [&](IniLoadResult *result) {
             return ini_load_memory(text.data(), text.size(), result, nullptr);
         }},
    };
    std::vector<long> failures;
    for (const Load &load : loads) {
        failures.push_back(0);
        for (long n = 0;; n++) {
            SCOPED_TRACE(std::string(load.what) + ", allocation " + std::to_string(n) + " fails");
            fault_reset();
            fault_fail_allocation(n);
            IniLoadResult result = INI_LOAD_OK;
            IniDocument *doc = fault_watch([&] { return load.run(&result); });
            if (!fault_allocation_failed()) {
                ASSERT_NE(doc, nullptr);
                EXPECT_EQ(model_of(doc), *expected);
                ini_free_document(doc);
                break;
            }
            failures.back()++;
            EXPECT_EQ(doc, nullptr);
            ini_free_document(doc);
            EXPECT_EQ(result, INI_LOAD_OUT_OF_MEMORY) << "never taken for a missing file";
            ASSERT_LT(n, 100000) << "the load never stops allocating";
        }
    }
    EXPECT_GT(failures[0], 60) << "every line, section, entry and array costs an allocation";
    EXPECT_EQ(failures[1], failures[0]) << "memory costs what the file costs";
}

TEST_F(IniLoadFaults, ReadLineReportsOutOfMemoryAndStopsForGood)
{
    const std::string long_line(200, 'y');
    const char *const expected[] = {"first line", long_line.c_str(), "last"};
    std::string path = directory.write("in.ini", "first line\n" + long_line + "\n  last  \n");
    for (long n = 0; n < 100; n++) {
        SCOPED_TRACE("allocation " + std::to_string(n) + " fails");
        fault_reset();
        IniLineReader reader = open_line_reader(path);
        ASSERT_NE(reader.file, INI_PLATFORM_NO_FILE);
        fault_fail_allocation(n);
        size_t count = 0;
        fault_start();
        char *line;
        while ((line = ini_read_line(&reader)) != NULL) {
            EXPECT_STREQ(line, count < 3 ? expected[count] : "(no more lines)");
            count++;
            free(line);
        }
        fault_stop();
        EXPECT_EQ(ini_read_line(&reader), nullptr);
        ini_platform_close(reader.file);
        if (!fault_allocation_failed()) {
            EXPECT_EQ(reader.end_of_input, INI_READER_END);
            EXPECT_EQ(count, 3u);
            return;
        }
        EXPECT_EQ(reader.end_of_input, INI_READER_OUT_OF_MEMORY);
    }
    FAIL() << "reading three lines takes fewer than 100 allocations";
}

/* A failed read fails the load wherever it happens: what was read before it
 * is never passed off as the whole file, even when it would make a well-formed
 * document of its own. */
TEST_F(IniLoadFaults, FailsTheLoadWhenAReadFails)
{
    /* Read in chunks of INI_READ_CHUNK bytes, chunk 1 ends inside the value
     * «partial-value» and chunk 2 inside the header «[section]», so a loader
     * that took the failure as the end would build «s» alone, a document cut
     * in a value, or call the file malformed. */
    std::string first = "[s]\nk=1\nlong=";
    first += std::string(INI_READ_CHUNK - first.size() - 7, 'p') + "partial";
    std::string second = "-value\n";
    second += std::string(INI_READ_CHUNK - second.size() - 4, '\n') + "[sec";
    ASSERT_EQ(first.size() + second.size(), 2u * INI_READ_CHUNK);
    std::string path = directory.write("in.ini", first + second + "tion]\nz=2\n");
    ASSERT_NE(load_view(path), std::nullopt);

    for (long failing_read = 0; failing_read < 3; failing_read++) {
        SCOPED_TRACE("read " + std::to_string(failing_read) + " fails");
        fault_reset();
        fault_limit_reads(INI_READ_CHUNK);
        fault_fail_read(failing_read);
        IniLoadResult result = INI_LOAD_OK;
        IniDocument *doc =
            fault_watch([&] { return ini_load_file_with_result(path.c_str(), &result, nullptr); });
        EXPECT_EQ(doc, nullptr);
        EXPECT_EQ(result, INI_LOAD_READ_FAILED);
    }
}

TEST_F(IniLoadFaults, ReadLineDropsALineCutShortByAFailedRead)
{
    std::string path = directory.write("in.ini", "[s]\nk=" + std::string(2000, 'v') + "\n");
    fault_fail_read(1);
    fault_watch([&] {
        IniLineReader reader = open_line_reader(path);
        char *header = ini_read_line(&reader);
        EXPECT_STREQ(header, "[s]");
        free(header);
        EXPECT_EQ(ini_read_line(&reader), nullptr) << "the cut entry line";
        EXPECT_EQ(reader.end_of_input, INI_READER_READ_FAILED);
        EXPECT_EQ(ini_read_line(&reader), nullptr);
        ini_platform_close(reader.file);
        return 0;
    });
}

TEST_F(IniLoadFaults, GivesTheSameDocumentsWhenReadsDeliverFewBytes)
{
    std::mt19937 engine(99);
    std::vector<std::string> texts = {rich_file(), "[s]\nx=a\\\r\nb\n", "[s]\nx=1 ;c\\\ny=2"};
    for (int i = 0; i < 60; i++) {
        texts.push_back(generated_file(engine));
    }
    std::string path = directory.file("in.ini");
    int well_formed = 0;
    for (const std::string &text : texts) {
        write_file_bytes(path, text);
        const std::optional<ModelDocument> expected = load_view(path);
        well_formed += expected.has_value();
        for (uint32_t most : {1u, 2u, 3u, 1023u}) {
            fault_reset();
            fault_limit_reads(most);
            IniDocument *doc = fault_watch([&] { return ini_load_file(path.c_str()); });
            std::optional<ModelDocument> loaded;
            if (doc != nullptr) {
                loaded = model_of(doc);
                ini_free_document(doc);
            }
            ASSERT_EQ(loaded, expected) << "reads of at most " << most << " bytes, file \""
                                        << model_printable(text) << "\"";
        }
    }
    EXPECT_GT(well_formed, 10);
}

TEST_F(IniSaveFaults, FailsCleanlyAtEveryAllocation)
{
    const ModelDocument view = document_to_save();
    const std::string expected = expected_bytes(view);
    IniDocument *doc = build_document(view);
    const std::string path = directory.write("out.ini", "old");

    long failures = 0;
    for (long n = 0;; n++) {
        SCOPED_TRACE("allocation " + std::to_string(n) + " fails");
        fault_reset();
        fault_fail_allocation(n);
        int result = fault_watch([&] { return ini_save_file(doc, path.c_str()); });
        if (!fault_allocation_failed()) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(read_file_bytes(path), expected);
            break;
        }
        failures++;
        EXPECT_EQ(result, -3);
        EXPECT_EQ(read_file_bytes(path), "old");
        EXPECT_EQ(list_directory(directory.path()), std::vector<std::string>{"out.ini"});
        ASSERT_LT(n, 10000);
    }
    EXPECT_GT(failures, 0);

    /* Into memory, where the buffer that grows is one more allocation that
     * may fail. */
    long memory_failures = 0;
    for (long n = 0;; n++) {
        SCOPED_TRACE("in memory, allocation " + std::to_string(n) + " fails");
        fault_reset();
        fault_fail_allocation(n);
        char unset[] = "unset";
        char *bytes = unset;
        size_t size = 99;
        int result = fault_watch([&] { return ini_save_memory(doc, &bytes, &size); });
        if (!fault_allocation_failed()) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(std::string(bytes, size), expected);
            free(bytes);
            break;
        }
        memory_failures++;
        EXPECT_EQ(result, -3);
        EXPECT_EQ(bytes, nullptr);
        EXPECT_EQ(size, 0u);
        ASSERT_LT(n, 10000);
    }
    EXPECT_GT(memory_failures, failures);
    EXPECT_EQ(model_of(doc), view) << "the document is only read";
    ini_free_document(doc);
}

TEST_F(IniDocumentFaults, LeavesEverythingUnchangedWhenAnOperationRunsOutOfMemory)
{
    struct Operation {
        const char *what;
        /* Makes what the operation works on and returns it. */
        std::function<IniSection *()> make;
        /* Runs the operation on it; true when it reported out of memory
         * (-1 or null) and gave nothing back. */
        std::function<bool(IniSection *)> fails;
    };
    auto full_section = [] {
        IniSection *section = ini_new_section("s");
        for (int i = 0; i < 10; i++) {
            ini_put_entry(section, ("key" + std::to_string(i)).c_str(), "value");
        }
        return section;
    };
    IniDocument *loaded =
        ini_load_file(directory.write("dup.ini", "[d]\nA=1\nB=2\nA=3\nC=4\n").c_str());
    ASSERT_NE(loaded, nullptr);
    const Operation operations[] = {
        {"putting a new key into a full section", full_section,
         [](IniSection *section) {
             int result = fault_watch([&] { return ini_put_entry(section, "new key", "v"); });
             EXPECT_TRUE(result == -1 || result == 1);
             return result == -1;
         }},
        {"putting a present key", full_section,
         [](IniSection *section) {
             int result = fault_watch([&] { return ini_put_entry(section, "key3", "changed"); });
             EXPECT_TRUE(result == -1 || result == 0);
             return result == -1;
         }},
        {"making a section", full_section,
         [](IniSection *) {
             IniSection *made = fault_watch([] { return ini_new_section("made"); });
             if (made != nullptr) {
                 ini_free_section(made);
             }
             return made == nullptr;
         }},
        {"copying a section", full_section,
         [](IniSection *section) {
             IniSection *copy = fault_watch([&] { return ini_copy_section(section, "copy"); });
             if (copy != nullptr) {
                 EXPECT_EQ(model_of_section(copy).entries, model_of_section(section).entries);
                 ini_free_section(copy);
             }
             return copy == nullptr;
         }},
        {"copying a loaded section with duplicate keys", [&] { return loaded->sections[0]; },
         [](IniSection *section) {
             IniSection *copy = fault_watch([&] { return ini_copy_section(section, "copy"); });
             if (copy != nullptr) {
                 EXPECT_EQ(model_of_section(copy).entries,
                           (ModelEntries{{"A", "1"}, {"B", "2"}, {"C", "4"}}));
                 ini_free_section(copy);
             }
             return copy == nullptr;
         }},
    };
    for (const Operation &operation : operations) {
        long failures = 0;
        for (long n = 0;; n++) {
            SCOPED_TRACE(std::string(operation.what) + ", allocation " + std::to_string(n) +
                         " fails");
            fault_reset();
            IniSection *section = operation.make();
            const SectionState before = state_of(section);
            fault_fail_allocation(n);
            bool failed = operation.fails(section);
            EXPECT_EQ(failed, fault_allocation_failed());
            if (failed) {
                failures++;
                EXPECT_EQ(state_of(section), before);
            }
            if (section != loaded->sections[0]) {
                ini_free_section(section);
            }
            if (!fault_allocation_failed()) {
                break;
            }
            ASSERT_LT(n, 1000);
        }
        EXPECT_GT(failures, 0) << operation.what;
    }
    ini_free_document(loaded);
}

TEST_F(IniDocumentFaults, PutSectionIntoAFullDocumentLeavesItUnchangedWhenOutOfMemory)
{
    IniDocument *doc = ini_new_document();
    for (int i = 0; i < 10; i++) {
        ini_put_section(doc, ini_new_section(("s" + std::to_string(i)).c_str()));
    }
    const ModelDocument before = model_of(doc);
    IniSection *section = ini_new_section("new");
    ini_put_entry(section, "k", "v");

    fault_fail_allocation(0);
    EXPECT_EQ(fault_watch([&] { return ini_put_section(doc, section); }), -1);
    EXPECT_TRUE(fault_allocation_failed());
    EXPECT_EQ(model_of(doc), before);
    EXPECT_EQ(doc->section_capacity, 10);
    EXPECT_EQ(model_of_section(section).entries, (ModelEntries{{"k", "v"}}))
        << "the caller still owns it";

    fault_reset();
    EXPECT_EQ(fault_watch([&] { return ini_put_section(doc, section); }), 1);
    EXPECT_EQ(doc->section_capacity, 20);
    ini_free_document(doc);
}
