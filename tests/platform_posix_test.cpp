/* SPDX-License-Identifier: MIT */
/* What the POSIX build alone can show of the file layer: permission bits, a
 * device that refuses every write, /proc, and file names longer than a whole
 * Windows path. Windows has none of these, so this program is built only for
 * POSIX. */
#include "platform/installer_platform.h"
#include "platform/platform.h"

#include <inifile/inifile.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace fs = std::filesystem;

TEST(PlatformPosix, CopyKeepsTheSourcesPermissionBits)
{
    TempDirectory directory;
    std::string source = directory.write("source", "#!/bin/sh\n");
    std::string target = directory.write("target", "old");
    const fs::perms modes[] = {
        (fs::perms)0751, (fs::perms)0600, (fs::perms)0644, (fs::perms)0444, (fs::perms)0700,
    };
    for (fs::perms mode : modes) {
        SCOPED_TRACE("mode " + std::to_string((int)mode));
        fs::permissions(target, (fs::perms)0666);
        fs::permissions(source, mode);
        EXPECT_EQ(installer_platform_copy_file(source.c_str(), target.c_str()), 1);
        EXPECT_EQ(fs::status(target).permissions() & fs::perms::mask, mode);
        EXPECT_EQ(read_file_bytes(target), "#!/bin/sh\n");
    }
    fs::permissions(source, (fs::perms)0751);
    std::string fresh = directory.file("fresh");
    EXPECT_EQ(installer_platform_copy_file(source.c_str(), fresh.c_str()), 1);
    EXPECT_EQ(fs::status(fresh).permissions() & fs::perms::mask, (fs::perms)0751);
}

TEST(PlatformPosix, WriteToAFullDeviceReturnsZero)
{
    IniPlatformFile file = ini_platform_create_for_writing("/dev/full");
    ASSERT_NE(file, INI_PLATFORM_NO_FILE);
    EXPECT_EQ(ini_platform_write(file, "x", 1), 0);
    EXPECT_EQ(ini_platform_write(file, "more bytes", 10), 0);
    ini_platform_close(file);
}

TEST(PlatformPosix, GivesTheExecutablePathOfProcSelfExeWithBackslashes)
{
    std::string expected = with_backslashes(fs::read_symlink("/proc/self/exe").string());
    char buffer[4096];
    uint32_t length = installer_platform_executable_path(buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, length), expected);
    EXPECT_EQ(buffer[0], '\\');
}

TEST(PlatformPosix, CopyThatFailsWhileReadingLeavesTheTargetAndNoTemporaryFile)
{
    /* /proc/self/mem opens as a file, but reading it at offset 0 fails. */
    TempDirectory directory;
    std::string target = directory.write("target", "old");
    EXPECT_EQ(installer_platform_copy_file("/proc/self/mem", target.c_str()), 0);
    EXPECT_EQ(read_file_bytes(target), "old");
    EXPECT_EQ(installer_platform_copy_file("/proc/self/mem", directory.file("new").c_str()), 0);
    EXPECT_EQ(list_directory(directory.path()), (std::vector<std::string>{"target"}));
}

TEST(PlatformPosix, CopiesToATargetWithALongName)
{
    TempDirectory directory;
    std::string source = directory.write("source", "content");
    for (size_t length : {200u, 240u, 250u, 255u}) {
        SCOPED_TRACE("name of " + std::to_string(length) + " bytes");
        std::string name(length, 'n');
        std::string target = directory.file(name);
        EXPECT_EQ(installer_platform_copy_file(source.c_str(), target.c_str()), 1);
        EXPECT_EQ(read_file_bytes(target), "content");
        EXPECT_EQ(list_directory(directory.path()), (std::vector<std::string>{name, "source"}));
        fs::remove(target);
    }
}

/* /proc/self/mem opens like a file, but reading it at offset 0 fails: a real
 * read failure, with no fault injected. */
TEST(PlatformPosix, ReportsAFailedReadAsMinusOne)
{
    IniPlatformFile file = ini_platform_open_for_reading("/proc/self/mem");
    ASSERT_NE(file, INI_PLATFORM_NO_FILE);
    char buffer[INI_READ_CHUNK];
    EXPECT_EQ(ini_platform_read(file, buffer, sizeof buffer), -1);
    ini_platform_close(file);
}

/* A tree on Windows holds only files and directories. Here a pipe could make
 * the loader wait for ever and a device could make a copy run for ever: both
 * are refused at once, like a directory. */
TEST(PlatformPosix, RefusesToReadOrCopyAnythingButARegularFile)
{
    TempDirectory directory;
    std::string pipe = directory.file("pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::string endless = directory.file("endless");
    fs::create_symlink("/dev/zero", endless);
    std::string target = directory.write("target", "old");
    for (const std::string &source : {pipe, endless}) {
        SCOPED_TRACE(source);
        EXPECT_EQ(ini_platform_open_for_reading(source.c_str()), INI_PLATFORM_NO_FILE);
        EXPECT_EQ(installer_platform_copy_file(source.c_str(), target.c_str()), 0);
        EXPECT_EQ(ini_load_file(source.c_str()), nullptr);
    }
    EXPECT_EQ(read_file_bytes(target), "old");
    EXPECT_EQ(list_directory(directory.path()),
              (std::vector<std::string>{"endless", "pipe", "target"}));
}
