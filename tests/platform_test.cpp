/* SPDX-License-Identifier: MIT */
/* The platform layer's file operations, with what each caller relies on, on
 * every platform. platform_posix_test.cpp holds what only POSIX has. */
#include "platform/installer_platform.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <string.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace
{

/* Everything the file at path holds, read through the platform layer in
 * reads of at most chunk bytes. */
std::string read_through_platform(const std::string &path, uint32_t chunk)
{
    IniPlatformFile file = ini_platform_open_for_reading(path.c_str());
    EXPECT_NE(file, INI_PLATFORM_NO_FILE) << path;
    std::string bytes;
    std::vector<char> buffer(chunk);
    int32_t count;
    while ((count = ini_platform_read(file, buffer.data(), chunk)) > 0) {
        EXPECT_LE((uint32_t)count, chunk);
        bytes.append(buffer.data(), (size_t)count);
    }
    ini_platform_close(file);
    return bytes;
}

/* Pseudo-random bytes of every value. */
std::string random_bytes(size_t size, uint32_t seed)
{
    std::mt19937 engine(seed);
    std::string bytes(size, '\0');
    for (char &byte : bytes) {
        byte = (char)(engine() & 0xff);
    }
    return bytes;
}

} // namespace

TEST(Platform, ReadsAFileInPiecesAndThenDeliversZero)
{
    TempDirectory directory;
    const std::string content = random_bytes(3000, 5);
    std::string path = directory.write("data.bin", content);
    for (uint32_t chunk : {1u, 7u, 1024u, 4096u}) {
        SCOPED_TRACE("reads of " + std::to_string(chunk));
        EXPECT_EQ(read_through_platform(path, chunk), content);
    }
    IniPlatformFile file = ini_platform_open_for_reading(path.c_str());
    ASSERT_NE(file, INI_PLATFORM_NO_FILE);
    char buffer[4096];
    EXPECT_EQ(ini_platform_read(file, buffer, sizeof buffer), 3000);
    EXPECT_EQ(ini_platform_read(file, buffer, sizeof buffer), 0);
    EXPECT_EQ(ini_platform_read(file, buffer, sizeof buffer), 0);
    ini_platform_close(file);
}

TEST(Platform, RefusesToOpenAMissingFileOrADirectoryForReading)
{
    TempDirectory directory;
    fs::create_directory(directory.path() / "folder");
    const std::string paths[] = {
        directory.file("missing"),
        directory.file("missing") + "/below",
        directory.file("folder"),
        directory.path().string(),
    };
    for (const std::string &path : paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(ini_platform_open_for_reading(path.c_str()), INI_PLATFORM_NO_FILE);
    }
}

TEST(Platform, CreatesAFileForWritingAndEmptiesAnExistingOne)
{
    TempDirectory directory;
    std::string path = directory.file("out.txt");
    IniPlatformFile file = ini_platform_create_for_writing(path.c_str());
    ASSERT_NE(file, INI_PLATFORM_NO_FILE);
    EXPECT_EQ(ini_platform_write(file, "abc", 3), 1);
    EXPECT_EQ(ini_platform_write(file, "", 0), 1);
    EXPECT_EQ(ini_platform_write(file, "de", 2), 1);
    ini_platform_close(file);
    EXPECT_EQ(read_file_bytes(path), "abcde");

    write_file_bytes(path, std::string(10000, 'o'));
    file = ini_platform_create_for_writing(path.c_str());
    ASSERT_NE(file, INI_PLATFORM_NO_FILE);
    ini_platform_close(file);
    EXPECT_EQ(read_file_bytes(path), "");
    EXPECT_TRUE(fs::exists(path));
}

TEST(Platform, WritesAMultiMegabyteBlockWhole)
{
    TempDirectory directory;
    std::string path = directory.file("big.bin");
    const std::string content = random_bytes(3 * 1024 * 1024 + 17, 9);
    IniPlatformFile file = ini_platform_create_for_writing(path.c_str());
    ASSERT_NE(file, INI_PLATFORM_NO_FILE);
    EXPECT_EQ(ini_platform_write(file, content.data(), (uint32_t)content.size()), 1);
    ini_platform_close(file);
    EXPECT_EQ(read_file_bytes(path), content);
}

TEST(Platform, RefusesToCreateAFileInAMissingDirectoryOrOverADirectory)
{
    TempDirectory directory;
    fs::create_directory(directory.path() / "folder");
    write_file_bytes(directory.path() / "folder" / "inside", "kept");
    const std::string paths[] = {
        directory.file("missing") + "/out.txt",
        directory.file("folder"),
    };
    for (const std::string &path : paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(ini_platform_create_for_writing(path.c_str()), INI_PLATFORM_NO_FILE);
    }
    EXPECT_FALSE(fs::exists(directory.path() / "missing"));
    EXPECT_EQ(read_file_bytes(directory.path() / "folder" / "inside"), "kept");
}

TEST(Platform, TellsThatFilesAndDirectoriesExistAndMissingPathsDoNot)
{
    TempDirectory directory;
    fs::create_directory(directory.path() / "folder");
    write_file_bytes(directory.path() / "file", "x");
    write_file_bytes(directory.path() / "empty", "");
    struct Presence {
        std::string path;
        int exists;
        int missing;
    };
    const Presence presences[] = {
        {directory.file("file"), 1, 0},
        {directory.file("empty"), 1, 0},
        {directory.file("folder"), 1, 0},
        {directory.path().string(), 1, 0},
        {directory.file("missing"), 0, 1},
        {directory.file("missing") + "/below", 0, 1},
        {with_backslashes(directory.file("missing") + "/below"), 0, 1},
        {directory.file("file") + "/below", 0, 1},
    };
    for (const Presence &presence : presences) {
        SCOPED_TRACE(presence.path);
        EXPECT_EQ(installer_platform_file_exists(presence.path.c_str()), presence.exists);
        EXPECT_EQ(ini_platform_is_missing(presence.path.c_str()), presence.missing);
    }
}

TEST(Platform, MakesADirectoryAndLeavesAnExistingOneAsItIs)
{
    TempDirectory directory;
    std::string path = directory.file("made");
    installer_platform_make_directory(path.c_str());
    ASSERT_TRUE(fs::is_directory(path));
    write_file_bytes(fs::path(path) / "inside", "kept");
    installer_platform_make_directory(path.c_str());
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(read_file_bytes(fs::path(path) / "inside"), "kept");

    installer_platform_make_directory((directory.file("missing") + "/below").c_str());
    EXPECT_FALSE(fs::exists(directory.path() / "missing"));

    write_file_bytes(directory.path() / "plain", "file");
    installer_platform_make_directory(directory.file("plain").c_str());
    EXPECT_EQ(read_file_bytes(directory.path() / "plain"), "file");
}

TEST(Platform, TakesBackslashesBetweenComponentsOnEveryOperation)
{
    TempDirectory directory;
    const std::string base = with_backslashes(directory.path().string());

    installer_platform_make_directory((base + "\\dir").c_str());
    EXPECT_TRUE(fs::is_directory(directory.path() / "dir"));
    installer_platform_make_directory((base + "\\dir\\sub").c_str());
    EXPECT_TRUE(fs::is_directory(directory.path() / "dir" / "sub"));

    IniPlatformFile file = ini_platform_create_for_writing((base + "\\dir\\file").c_str());
    ASSERT_NE(file, INI_PLATFORM_NO_FILE);
    EXPECT_EQ(ini_platform_write(file, "content", 7), 1);
    ini_platform_close(file);
    EXPECT_EQ(read_file_bytes(directory.path() / "dir" / "file"), "content");

    EXPECT_EQ(read_through_platform(base + "\\dir\\file", 1024), "content");
    EXPECT_EQ(installer_platform_file_exists((base + "\\dir\\file").c_str()), 1);
    EXPECT_EQ(installer_platform_file_exists((base + "\\dir\\sub").c_str()), 1);
    EXPECT_EQ(installer_platform_file_exists((base + "\\dir\\none").c_str()), 0);

    EXPECT_EQ(installer_platform_copy_file((base + "\\dir\\file").c_str(),
                                           (base + "\\dir\\sub\\copy").c_str()),
              1);
    EXPECT_EQ(read_file_bytes(directory.path() / "dir" / "sub" / "copy"), "content");

    EXPECT_EQ(list_directory(directory.path()), (std::vector<std::string>{"dir"}));
    EXPECT_EQ(list_directory(directory.path() / "dir"), (std::vector<std::string>{"file", "sub"}));
}

TEST(Platform, GivesItsOwnExecutablePathWithBackslashes)
{
    char buffer[4096];
    memset(buffer, 'x', sizeof buffer);
    uint32_t length = installer_platform_executable_path(buffer, sizeof buffer);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof buffer);
    EXPECT_EQ(strlen(buffer), length);
    const std::string path(buffer, length);
    EXPECT_EQ(path.find('/'), std::string::npos) << path;
    size_t last = path.rfind('\\');
    ASSERT_NE(last, std::string::npos) << path;
    const std::string name = path.substr(last + 1);
    EXPECT_TRUE(name == "platform_test" || name == "platform_test.exe") << path;

    std::string native = path;
    for (char &byte : native) {
        if (byte == '\\') {
            byte = (char)fs::path::preferred_separator;
        }
    }
    EXPECT_TRUE(fs::is_regular_file(native)) << native;
}

TEST(Platform, ReportsAnExecutablePathThatDoesNotFitAsTheBufferSize)
{
    char full[4096];
    uint32_t length = installer_platform_executable_path(full, sizeof full);
    ASSERT_GT(length, 1u);
    /* One guard byte past the size given, which must stay as it is. */
    std::vector<char> buffer(length + 2, '#');
    EXPECT_EQ(installer_platform_executable_path(buffer.data(), length + 1), length)
        << "room for the NUL";
    EXPECT_STREQ(buffer.data(), full);
    EXPECT_EQ(buffer[length + 1], '#');
    buffer.assign(length + 2, '#');
    EXPECT_EQ(installer_platform_executable_path(buffer.data(), length), length)
        << "no room for the NUL";
    EXPECT_EQ(buffer[length], '#');
    buffer.assign(length + 2, '#');
    EXPECT_EQ(installer_platform_executable_path(buffer.data(), 1), 1u);
    EXPECT_EQ(buffer[1], '#');
}

TEST(Platform, CopiesAFileOverAnExistingTarget)
{
    TempDirectory directory;
    std::string source = directory.write("source", "new content");
    std::string target = directory.write("target", std::string(5000, 'o'));
    EXPECT_EQ(installer_platform_copy_file(source.c_str(), target.c_str()), 1);
    EXPECT_EQ(read_file_bytes(target), "new content");
    EXPECT_EQ(read_file_bytes(source), "new content");
    EXPECT_EQ(list_directory(directory.path()), (std::vector<std::string>{"source", "target"}));
}

TEST(Platform, CopiesFilesOfEverySizeExactly)
{
    TempDirectory directory;
    for (size_t size : {(size_t)0, (size_t)1, (size_t)4095, (size_t)(5 * 1024 * 1024 + 3)}) {
        SCOPED_TRACE("size " + std::to_string(size));
        const std::string content = random_bytes(size, (uint32_t)size);
        std::string source = directory.write("source", content);
        std::string target = directory.file("target");
        EXPECT_EQ(installer_platform_copy_file(source.c_str(), target.c_str()), 1);
        EXPECT_EQ(fs::file_size(target), size);
        EXPECT_TRUE(read_file_bytes(target) == content);
        EXPECT_EQ(list_directory(directory.path()), (std::vector<std::string>{"source", "target"}));
    }
}

TEST(Platform, KeepsTheContentOfAFileCopiedOntoItself)
{
    /* Windows refuses such a copy and POSIX may make it; either way the file
     * must survive it. */
    TempDirectory directory;
    std::string path = directory.write("same", "unchanged");
    installer_platform_copy_file(path.c_str(), path.c_str());
    EXPECT_EQ(read_file_bytes(path), "unchanged");
    EXPECT_EQ(list_directory(directory.path()), (std::vector<std::string>{"same"}));
}

TEST(Platform, RefusesToCopyOntoADirectoryAndLeavesItAlone)
{
    TempDirectory directory;
    std::string source = directory.write("source", "content");
    fs::create_directory(directory.path() / "folder");
    write_file_bytes(directory.path() / "folder" / "inside", "kept");
    EXPECT_EQ(installer_platform_copy_file(source.c_str(), directory.file("folder").c_str()), 0);
    EXPECT_TRUE(fs::is_directory(directory.path() / "folder"));
    EXPECT_EQ(list_directory(directory.path() / "folder"), (std::vector<std::string>{"inside"}));
    EXPECT_EQ(read_file_bytes(directory.path() / "folder" / "inside"), "kept");
    EXPECT_EQ(list_directory(directory.path()), (std::vector<std::string>{"folder", "source"}));
}

TEST(Platform, RefusesToCopyFromADirectoryOrAMissingSource)
{
    TempDirectory directory;
    fs::create_directory(directory.path() / "folder");
    std::string kept = directory.write("kept", "old");
    const std::string sources[] = {
        directory.file("folder"),
        directory.file("missing"),
        directory.file("missing") + "/below",
    };
    for (const std::string &source : sources) {
        SCOPED_TRACE(source);
        EXPECT_EQ(installer_platform_copy_file(source.c_str(), kept.c_str()), 0);
        EXPECT_EQ(read_file_bytes(kept), "old");
        EXPECT_EQ(installer_platform_copy_file(source.c_str(), directory.file("new").c_str()), 0);
        EXPECT_EQ(list_directory(directory.path()), (std::vector<std::string>{"folder", "kept"}));
    }
}

TEST(Platform, RefusesToCopyIntoAMissingDirectory)
{
    TempDirectory directory;
    std::string source = directory.write("source", "content");
    EXPECT_EQ(installer_platform_copy_file(source.c_str(),
                                           (directory.file("missing") + "/target").c_str()),
              0);
    EXPECT_EQ(list_directory(directory.path()), (std::vector<std::string>{"source"}));
}
