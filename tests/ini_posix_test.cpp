/* What the POSIX build alone can show of the library: its saves and loads
 * meeting real failures, from a device that refuses every write and a file
 * that opens but cannot be read. Windows has neither, so this program is
 * built only for POSIX. */
#include <inifile/inifile.h>

#include <gtest/gtest.h>

#include "support/ini_view.h"

TEST(IniSavePosix, ReturnsMinusTwoWhenTheDeviceIsFull)
{
    IniDocument *doc = build_document({{"s", {{"k", "v"}}}});
    EXPECT_EQ(ini_save_file(doc, "/dev/full"), -2);
    IniDocument *empty = ini_new_document();
    EXPECT_EQ(ini_save_file(empty, "/dev/full"), 0) << "an empty document writes nothing";
    ini_free_document(empty);
    ini_free_document(doc);
}

/* /proc/self/mem opens like a file, but reading it at offset 0 fails: a real
 * read failure, with no fault injected. */
TEST(IniLoadPosix, FailsToLoadAFileWhoseReadFails)
{
    IniLoadResult result = INI_LOAD_OK;
    EXPECT_EQ(ini_load_file_with_result("/proc/self/mem", &result, nullptr), nullptr);
    EXPECT_EQ(result, INI_LOAD_READ_FAILED);
}
