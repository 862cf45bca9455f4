/* SPDX-License-Identifier: MIT */
/* What only the real Win32 build shows, run under Wine when built on Linux:
 * directories, read-only files and files in use where the installer copies
 * or writes, its own path when that is longer than 259 characters, carriage
 * return plus line feed typed at the question, and an installer at the top
 * of a drive or given an empty root.
 *
 * Each case runs the built installer as a child process with its standard
 * streams in files (tests/support/process.h), and compares exactly what it
 * printed. The files are made here with the Win32 calls themselves, with
 * paths longer than 259 characters where a case needs them. */
#include <windows.h>

#include <string.h>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/installer_platform.h"
#include "support/ini_view.h"
#include "support/installer_run.h"
#include "support/temp_dir.h"

namespace
{

/* The versions every tree here names. */
const char kVsn[] = "1.0";
const char kSystemVsn[] = "A1";

/* Marks a drive that tests/windows_tests.cmake mapped to a scratch
 * directory for these cases alone; a drive without it is never written. */
const char kScratchDriveMarker[] = "ostrel-scratch-drive";

/* What the boot script name holds in every tree here. */
std::string boot_script(const std::string &name)
{
    return boot_script_contents(name, kSystemVsn);
}

/* path with the "\\?\" prefix, so that no call cuts it at 259 characters.
 * path is absolute and ASCII. */
std::wstring long_path(const std::string &path)
{
    return L"\\\\?\\" + std::wstring(path.begin(), path.end());
}

bool make_directory(const std::string &path)
{
    return CreateDirectoryW(long_path(path).c_str(), nullptr) != 0;
}

bool write_file(const std::string &path, const std::string &contents)
{
    HANDLE file = CreateFileW(long_path(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, contents.data(), (DWORD)contents.size(), &written, nullptr);
    CloseHandle(file);
    return ok && written == contents.size();
}

/* The contents of the regular file at path; unset when there is none. */
std::optional<std::string> read_file(const std::string &path)
{
    HANDLE file = CreateFileW(long_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::string contents;
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0) {
        contents.append(buffer, count);
    }
    CloseHandle(file);
    return contents;
}

bool exists(const std::string &path)
{
    return GetFileAttributesW(long_path(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool is_directory(const std::string &path)
{
    DWORD attributes = GetFileAttributesW(long_path(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

/* Removes everything inside the directory at path, read-only files too,
 * except the entry named keep. */
void remove_contents(const std::string &path, const char *keep = "")
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((long_path(path) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        std::wstring wide_name = found.cFileName;
        std::string name(wide_name.begin(), wide_name.end());
        if (name == "." || name == ".." || name == keep) {
            continue;
        }
        std::string child = path + "\\" + name;
        SetFileAttributesW(long_path(child).c_str(), FILE_ATTRIBUTE_NORMAL);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            remove_contents(child);
            RemoveDirectoryW(long_path(child).c_str());
        } else {
            DeleteFileW(long_path(child).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

/* Makes path read-only. Returns false when this system lets a program open
 * a read-only file for writing all the same. */
bool make_read_only(const std::string &path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return true;
    }
    CloseHandle(file);
    return false;
}

const char kReadOnlyNotEnforced[] =
    "This system lets a program write a read-only file. Wine keeps the read-only attribute as the "
    "file's Unix write permission, which does not bind root; run as another user, or on Windows, "
    "to see Windows refuse the copy. The cases with a target in use show the same failure "
    "policy.";

/* A file held open with no sharing, as by a running program: Windows then
 * refuses every other open of it, a copy onto it included. Given share, it
 * lets others open it so, but no move over it; given a time, it lets go of
 * the file then, as a virus scanner or an indexer does after a moment. */
class FileInUse
{
  public:
    explicit FileInUse(const std::string &path, DWORD share = 0, DWORD release_ms = INFINITE)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)),
          stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
        releaser_ = std::thread([this, release_ms] {
            WaitForSingleObject(stop_, release_ms);
            if (handle_ != INVALID_HANDLE_VALUE) {
                CloseHandle(handle_);
            }
        });
    }
    ~FileInUse()
    {
        SetEvent(stop_);
        releaser_.join();
        CloseHandle(stop_);
    }
    FileInUse(const FileInUse &) = delete;
    FileInUse &operator=(const FileInUse &) = delete;
    bool held() const
    {
        return handle_ != INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE handle_;
    HANDLE stop_; /* set when the holder goes out of scope */
    std::thread releaser_;
};

/* The number that tells the file at path from every other file of its
 * volume; 0 when there is none. */
uint64_t file_identity(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, 7, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    BY_HANDLE_FILE_INFORMATION information;
    bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &information);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return known ? (uint64_t)information.nFileIndexHigh << 32 | information.nFileIndexLow : 0;
}

/* The names in the directory at path that are temporaries of the file
 * layer. */
std::vector<std::string> temporaries_in(const std::string &path)
{
    std::vector<std::string> found;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return found;
    }
    do {
        if (is_replacement_temporary(entry.cFileName)) {
            found.push_back(entry.cFileName);
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return found;
}

/* What keeps the installer from writing a target in its way. */
enum class Obstacle {
    Directory, /* a directory bears the target's name */
    ReadOnly,  /* the target is a read-only file */
    InUse,     /* the target is a file held open with no sharing */
};

/* Expects that result comes from a program that started, exited with
 * status and printed out (unset: not compared) and err. */
void expect_exit(const ProcessResult &result, int status, const std::optional<std::string> &out,
                 const std::string &err)
{
    ASSERT_TRUE(result.started) << result.problem;
    EXPECT_EQ(result.status, status) << result.problem;
    if (out) {
        EXPECT_EQ(result.out, *out);
    }
    EXPECT_EQ(result.err, err);
}

/* Each case gets a workspace of its own under the temporary directory, with
 * the root "root" inside it, and loses it at the end. */
class WindowsBehaviour : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char temp[MAX_PATH + 1];
        DWORD length = GetTempPathA(sizeof temp, temp);
        ASSERT_TRUE(length > 0 && length < sizeof temp);
        static int cases = 0;
        workspace_ = std::string(temp) + "ostrel-windows-" + std::to_string(GetCurrentProcessId()) +
                     "-" + std::to_string(++cases);
        remove_contents(workspace_);
        RemoveDirectoryA(workspace_.c_str());
        ASSERT_TRUE(make_directory(workspace_)) << workspace_;
        root_ = workspace_ + "\\root";
    }

    void TearDown() override
    {
        remove_contents(workspace_);
        RemoveDirectoryA(workspace_.c_str());
    }

    /* Lays out a distribution under root, a new directory or a bare drive
     * such as "C:": "Install.ini" naming kVsn and kSystemVsn, the seven
     * executables and the two boot scripts, with the contents the shared
     * distribution support gives them. The publish directory is left for the
     * installer to make. The tree is made here, with Win32 calls and "\\?\"
     * paths, rather than by DistributionTree: these cases put it at the top
     * of a drive, and at depths past 259 characters. */
    static void make_distribution(const std::string &root)
    {
        if (root.back() != ':') {
            ASSERT_TRUE(make_directory(root)) << root;
        }
        ASSERT_TRUE(write_file(root + "\\Install.ini", std::string("[Install]\r\nVSN=") + kVsn +
                                                           "\r\nSYSTEM_VSN=" + kSystemVsn +
                                                           "\r\n"));
        for (const std::string &directory :
             {root + "\\ostcore-" + kVsn, runtime_bin(root), root + "\\releases", release(root)}) {
            ASSERT_TRUE(make_directory(directory)) << directory;
        }
        for (const std::string &name : published_executables()) {
            ASSERT_TRUE(
                write_file(runtime_bin(root) + "\\" + name, executable_contents(name, kVsn)));
        }
        for (const std::string &name : boot_scripts()) {
            ASSERT_TRUE(write_file(release(root) + "\\" + name, boot_script(name)));
        }
    }

    static std::string runtime_bin(const std::string &root)
    {
        return root + "\\ostcore-" + kVsn + "\\bin";
    }
    static std::string release(const std::string &root)
    {
        return root + "\\releases\\" + kSystemVsn;
    }
    static std::string publish(const std::string &root)
    {
        return root + "\\bin";
    }

    /* Runs the built installer with args and input, in directory (empty:
     * this process's current directory). */
    static ProcessResult install(const std::vector<std::string> &args,
                                 const std::string &input = "", const std::string &directory = "")
    {
        ProcessOptions options;
        options.directory = directory;
        return run_installer(args, input, options);
    }

    /* Expects under root everything a complete installation leaves, except
     * in publish the name skipped, and start.boot a copy of the boot script
     * default_boot. */
    static void expect_installed(const std::string &root, const std::string &default_boot,
                                 const std::string &skipped = "")
    {
        for (const std::string &name : published_executables()) {
            if (name != skipped) {
                EXPECT_EQ(read_file(publish(root) + "\\" + name), executable_contents(name, kVsn))
                    << name;
            }
        }
        if (skipped != "qa_drive.exe") {
            EXPECT_EQ(read_file(publish(root) + "\\drive_qa.exe"),
                      executable_contents("qa_drive.exe", kVsn));
        }
        EXPECT_EQ(read_file(publish(root) + "\\start_bare.boot"), boot_script("start_bare.boot"));
        EXPECT_EQ(read_file(publish(root) + "\\start_mext.boot"), boot_script("start_mext.boot"));
        EXPECT_EQ(read_file(publish(root) + "\\start.boot"), boot_script(default_boot));
        EXPECT_EQ(read_file(runtime_bin(root) + "\\ost.ini"), launcher_configuration(root, kVsn));
        EXPECT_EQ(read_file(publish(root) + "\\ost.ini"), launcher_configuration(root, kVsn));
    }

    /* Puts obstacle at target (for a file, holding contents) and runs a
     * silent installation into result. Skips the case when this system lets
     * a program write a read-only file. */
    void install_past(const std::string &target, Obstacle obstacle, const std::string &contents,
                      ProcessResult &result) const
    {
        if (obstacle == Obstacle::Directory) {
            ASSERT_TRUE(make_directory(target));
        } else {
            ASSERT_TRUE(write_file(target, contents));
        }
        if (obstacle == Obstacle::ReadOnly && !make_read_only(target)) {
            GTEST_SKIP() << kReadOnlyNotEnforced;
        }
        /* A file held for thirty seconds ends its step within a few. */
        std::optional<FileInUse> in_use;
        ProcessOptions options;
        if (obstacle == Obstacle::InUse) {
            in_use.emplace(target, 0, 30000);
            ASSERT_TRUE(in_use->held());
            options.time_limit_seconds = 10;
        }
        result = run_installer({"-s", root_}, "", options);
    }

    /* Expects obstacle still at target: the directory, or the file holding
     * contents. */
    static void expect_untouched(const std::string &target, Obstacle obstacle,
                                 const std::string &contents)
    {
        if (obstacle == Obstacle::Directory) {
            EXPECT_TRUE(is_directory(target));
        } else {
            EXPECT_EQ(read_file(target), contents);
        }
    }

    /* The installer only warns about the executable name in the publish
     * directory that obstacle keeps it from writing, and installs the rest. */
    void expect_blocked_executable_only_warns(const std::string &name, Obstacle obstacle)
    {
        make_distribution(root_);
        ASSERT_TRUE(make_directory(publish(root_)));
        std::string target = publish(root_) + "\\" + name;
        std::string contents = old_file(name, obstacle);
        ProcessResult result;
        ASSERT_NO_FATAL_FAILURE(install_past(target, obstacle, contents, result));
        if (IsSkipped()) {
            return;
        }

        ASSERT_NO_FATAL_FAILURE(
            expect_exit(result, 0, "", copy_warning(runtime_bin(root_) + "\\" + name, target)));
        expect_untouched(target, obstacle, contents);
        expect_installed(root_, "start_bare.boot", name);
    }

    /* The installer stops at the boot script name in the publish directory
     * that obstacle keeps it from writing: the boot scripts it copies before
     * that one are in place, those after it and the launcher configuration
     * are not. */
    void expect_blocked_boot_script_ends_the_installation(const std::string &name,
                                                          Obstacle obstacle)
    {
        make_distribution(root_);
        ASSERT_TRUE(make_directory(publish(root_)));
        std::string target = publish(root_) + "\\" + name;
        std::string contents = old_file(name, obstacle);
        ProcessResult result;
        ASSERT_NO_FATAL_FAILURE(install_past(target, obstacle, contents, result));
        if (IsSkipped()) {
            return;
        }

        /* start.boot is copied from the start_bare.boot just published. */
        std::string source = name == "start.boot" ? publish(root_) + "\\start_bare.boot"
                                                  : release(root_) + "\\" + name;
        ASSERT_NO_FATAL_FAILURE(expect_exit(result, 1, "", copy_failure(source, target)));
        expect_untouched(target, obstacle, contents);
        /* The boot scripts in the order the installer writes them. */
        const std::pair<const char *, const char *> scripts[] = {
            {"start_bare.boot", "start_bare.boot"},
            {"start_mext.boot", "start_mext.boot"},
            {"start.boot", "start_bare.boot"}};
        bool reached = false;
        for (const auto &[script, copy] : scripts) {
            if (script == name) {
                reached = true;
            } else if (!reached) {
                EXPECT_EQ(read_file(publish(root_) + "\\" + script), boot_script(copy)) << script;
            } else {
                EXPECT_FALSE(exists(publish(root_) + "\\" + script)) << script;
            }
        }
        EXPECT_FALSE(exists(runtime_bin(root_) + "\\ost.ini"));
    }

    /* The installer stops when obstacle keeps it from writing the launcher
     * configuration in the runtime, and makes no copy of it. */
    void expect_blocked_launcher_configuration_ends_the_installation(Obstacle obstacle)
    {
        make_distribution(root_);
        std::string config = runtime_bin(root_) + "\\ost.ini";
        ProcessResult result;
        ASSERT_NO_FATAL_FAILURE(install_past(config, obstacle, "[old]\n", result));
        if (IsSkipped()) {
            return;
        }

        ASSERT_NO_FATAL_FAILURE(expect_exit(result, 1, std::nullopt, create_failure(config)));
        expect_untouched(config, obstacle, "[old]\n");
        EXPECT_FALSE(exists(publish(root_) + "\\ost.ini"));
    }

    /* What a file target holds before the installer meets it: "old" for a
     * read-only file, "running" for one in use. */
    static std::string old_file(const std::string &name, Obstacle obstacle)
    {
        return (obstacle == Obstacle::InUse ? "running " : "old ") + name + "\r\n";
    }

    std::string workspace_; /* removed with everything in it after the case */
    std::string root_;      /* workspace_ + "\root", not made by SetUp */
};

TEST_F(WindowsBehaviour, DirectoryNamedLikeAnExecutableInTheRuntimeCountsAsPresentAndOnlyWarns)
{
    make_distribution(root_);
    std::string source = runtime_bin(root_) + "\\sigmer.exe";
    ASSERT_TRUE(DeleteFileA(source.c_str()) && make_directory(source));

    ProcessResult result = install({"-s", root_});

    ASSERT_NO_FATAL_FAILURE(
        expect_exit(result, 0, "", copy_warning(source, publish(root_) + "\\sigmer.exe")));
    EXPECT_FALSE(exists(publish(root_) + "\\sigmer.exe"));
    expect_installed(root_, "start_bare.boot", "sigmer.exe");
}

TEST_F(WindowsBehaviour, DirectoryNamedLikeAnExecutableInThePublishDirectoryOnlyWarns)
{
    expect_blocked_executable_only_warns("ostc.exe", Obstacle::Directory);
}

TEST_F(WindowsBehaviour, DirectoryNamedLikeABootScriptInThePublishDirectoryEndsTheInstallation)
{
    expect_blocked_boot_script_ends_the_installation("start_mext.boot", Obstacle::Directory);
}

TEST_F(WindowsBehaviour, DirectoryNamedLikeTheDefaultBootScriptEndsTheInstallation)
{
    expect_blocked_boot_script_ends_the_installation("start.boot", Obstacle::Directory);
}

TEST_F(WindowsBehaviour, DirectoryNamedLikeTheLauncherConfigurationEndsTheInstallation)
{
    expect_blocked_launcher_configuration_ends_the_installation(Obstacle::Directory);
}

TEST_F(WindowsBehaviour, CopiesReplaceEveryExistingTargetWhole)
{
    make_distribution(root_);
    /* Old files longer than the new ones: a copy that did not truncate would
     * leave their tails behind. */
    std::string old_text = "an older and much longer file left by an earlier installation\r\n";
    ASSERT_TRUE(make_directory(publish(root_)));
    for (const std::string &name : published_executables()) {
        ASSERT_TRUE(write_file(publish(root_) + "\\" + name, old_text));
    }
    for (const char *name :
         {"drive_qa.exe", "start_bare.boot", "start_mext.boot", "start.boot", "ost.ini"}) {
        ASSERT_TRUE(write_file(publish(root_) + "\\" + name, old_text + old_text));
    }
    ASSERT_TRUE(write_file(runtime_bin(root_) + "\\ost.ini", old_text + old_text + old_text));

    ProcessResult result = install({root_}, "\r\n");

    ASSERT_NO_FATAL_FAILURE(expect_exit(result, 0, kQuestion + success_line(kVsn), ""));
    expect_installed(root_, "start_mext.boot");
}

/* A device is no file to replace: a save writes it in place, as a plain
 * write would, and makes nothing beside it. */
TEST_F(WindowsBehaviour, SavesToTheNullDeviceInPlace)
{
    IniDocument *doc = build_document({{"s", {{"k", "v"}}}});
    char previous[MAX_PATH + 1];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(workspace_.c_str()));
    int result = ini_save_file(doc, "NUL");
    SetCurrentDirectoryA(previous);
    ini_free_document(doc);
    EXPECT_EQ(result, 0);
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((workspace_ + "\\*").c_str(), &entry);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        EXPECT_TRUE(strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0)
            << entry.cFileName;
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

/* The launcher configuration it replaces keeps its attributes (a hidden
 * file stays hidden) and the executables it copies keep their times, as
 * Windows' own copy keeps them. */
TEST_F(WindowsBehaviour, KeepsTheAttributesOfWhatItReplacesAndTheTimesOfWhatItCopies)
{
    make_distribution(root_);
    const std::string config = runtime_bin(root_) + "\\ost.ini";
    ASSERT_TRUE(write_file(config, "[old]\r\n"));
    const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    ASSERT_TRUE(SetFileAttributesA(config.c_str(), attributes));
    const std::string source = runtime_bin(root_) + "\\ostc.exe";
    FILETIME written = {0x12345678, 0x01c0ffee};
    HANDLE handle = CreateFileA(source.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetFileTime(handle, nullptr, nullptr, &written));
    CloseHandle(handle);

    ASSERT_NO_FATAL_FAILURE(expect_exit(install({"-s", root_}), 0, "", ""));

    expect_installed(root_, "start_bare.boot");
    EXPECT_EQ(GetFileAttributesA(config.c_str()) & (attributes | FILE_ATTRIBUTE_READONLY),
              attributes);
    WIN32_FILE_ATTRIBUTE_DATA copied;
    ASSERT_TRUE(GetFileAttributesExA((publish(root_) + "\\ostc.exe").c_str(), GetFileExInfoStandard,
                                     &copied));
    EXPECT_EQ(copied.ftLastWriteTime.dwHighDateTime, written.dwHighDateTime);
    EXPECT_EQ(copied.ftLastWriteTime.dwLowDateTime, written.dwLowDateTime);
}

/* A file the program may write where it may not replace it, as
 * tests/wine_as_nobody.sh lays them out: in a directory it may not add to,
 * where no temporary can be made beside it, and in a sticky directory,
 * where the file's owner alone may replace it. A save writes it in place,
 * as a plain write would. */
TEST_F(WindowsBehaviour, ReadOnlyDirectoryGetsAWritableFileSavedInPlace)
{
    for (const char *variable : {"OSTREL_LOCKED_DIRECTORY", "OSTREL_STICKY_DIRECTORY"}) {
        SCOPED_TRACE(variable);
        const char *directory = getenv(variable);
        if (directory == nullptr) {
            GTEST_SKIP() << "No such directory for this user: tests/wine_as_nobody.sh makes them "
                            "for the user nobody";
        }
        const std::string path = native_program_path(directory) + "\\settings.ini";
        IniDocument *doc = build_document({{"s", {{"k", "v"}}}});
        EXPECT_EQ(ini_save_file(doc, path.c_str()), 0);
        ini_free_document(doc);
        EXPECT_EQ(read_file(path), "[s]\nk=v\n");
        EXPECT_EQ(temporaries_in(native_program_path(directory)), std::vector<std::string>{});
    }
}

/* A copy replaces a read-only file where a save would refuse it: so the
 * read-only copies that a read-only distribution leaves never stand in the
 * way of the next run, which repeats the whole work; and a copy from a
 * writable source, ostx.exe here, over a read-only file is writable. */
TEST_F(WindowsBehaviour, ReadOnlyDistributionInstallsAgainOverItsReadOnlyCopies)
{
    make_distribution(root_);
    ASSERT_TRUE(make_directory(publish(root_)) &&
                write_file(publish(root_) + "\\ostx.exe", "old ostx.exe\r\n"));
    if (!make_read_only(publish(root_) + "\\ostx.exe")) {
        GTEST_SKIP() << kReadOnlyNotEnforced;
    }
    for (const std::string &name : published_executables()) {
        if (name != "ostx.exe") {
            ASSERT_TRUE(make_read_only(runtime_bin(root_) + "\\" + name));
        }
    }
    for (const std::string &name : boot_scripts()) {
        ASSERT_TRUE(make_read_only(release(root_) + "\\" + name));
    }

    for (int run = 1; run <= 2; run++) {
        SCOPED_TRACE("run " + std::to_string(run));
        ASSERT_NO_FATAL_FAILURE(expect_exit(install({"-s", root_}), 0, "", ""));
        expect_installed(root_, "start_bare.boot");
        EXPECT_TRUE(GetFileAttributesA((publish(root_) + "\\ostc.exe").c_str()) &
                    FILE_ATTRIBUTE_READONLY);
        EXPECT_FALSE(GetFileAttributesA((publish(root_) + "\\ostx.exe").c_str()) &
                     FILE_ATTRIBUTE_READONLY);
    }
}

TEST_F(WindowsBehaviour, ReadOnlyLauncherConfigurationEndsTheInstallation)
{
    expect_blocked_launcher_configuration_ends_the_installation(Obstacle::ReadOnly);
}

TEST_F(WindowsBehaviour, ExecutableTargetInUseOnlyWarns)
{
    expect_blocked_executable_only_warns("scrutor.exe", Obstacle::InUse);
}

TEST_F(WindowsBehaviour, BootScriptTargetInUseEndsTheInstallation)
{
    expect_blocked_boot_script_ends_the_installation("start_mext.boot", Obstacle::InUse);
}

TEST_F(WindowsBehaviour, LauncherConfigurationInUseEndsTheInstallation)
{
    expect_blocked_launcher_configuration_ends_the_installation(Obstacle::InUse);
}

/* Another program that holds a file for a moment, as a virus scanner or an
 * indexer does, is waited for: one that shares a copy's target with none
 * for a second, and one that shares the launcher configuration for reading
 * and writing, but lets no move replace it, for half a second more. */
TEST_F(WindowsBehaviour, WaitsForFilesThatOtherProgramsHoldForAMoment)
{
    make_distribution(root_);
    ASSERT_TRUE(make_directory(publish(root_)));
    const std::string executable = publish(root_) + "\\ost.exe";
    const std::string config = runtime_bin(root_) + "\\ost.ini";
    ASSERT_TRUE(write_file(executable, "old ost.exe\r\n") && write_file(config, "[old]\r\n"));
    const uint64_t old_config = file_identity(config);
    FileInUse scanned(executable, 0, 1000);
    FileInUse indexed(config, FILE_SHARE_READ | FILE_SHARE_WRITE, 1500);
    ASSERT_TRUE(scanned.held() && indexed.held());

    ASSERT_NO_FATAL_FAILURE(expect_exit(install({"-s", root_}), 0, "", ""));

    expect_installed(root_, "start_bare.boot");
    EXPECT_NE(file_identity(config), old_config) << "replaced whole, not written in place";
}

/* Runs started together over one root, as a double-click made twice or a
 * deployment retried starts them, each install everything. */
TEST_F(WindowsBehaviour, RunsStartedTogetherEachInstallEverything)
{
    make_distribution(root_);
    for (int round = 1; round <= 3; round++) {
        SCOPED_TRACE("round " + std::to_string(round));
        ProcessResult results[4];
        std::vector<std::thread> runs;
        for (ProcessResult &result : results) {
            runs.emplace_back([&result, this] { result = install({"-s", root_}); });
        }
        for (std::thread &run : runs) {
            run.join();
        }
        for (const ProcessResult &result : results) {
            ASSERT_NO_FATAL_FAILURE(expect_exit(result, 0, "", ""));
        }
        expect_installed(root_, "start_bare.boot");
        EXPECT_EQ(temporaries_in(publish(root_)), std::vector<std::string>{});
        EXPECT_EQ(temporaries_in(runtime_bin(root_)), std::vector<std::string>{});
    }
}

/* A save or a copy through a symbolic link replaces the file the link names
 * and leaves the link. Wine makes no link with CreateSymbolicLinkA, but it
 * starts the ln of the system it runs on, whose links it follows. */
TEST_F(WindowsBehaviour, SavesAndCopiesThroughASymbolicLink)
{
    const std::string source = workspace_ + "\\source.exe";
    ASSERT_TRUE(write_file(source, "new"));
    for (const char *name : {"ini", "exe"}) {
        const std::string real = std::string("real.") + name, link = std::string("link.") + name;
        ASSERT_TRUE(write_file(workspace_ + "\\" + real, "old"));
        if (!CreateSymbolicLinkA((workspace_ + "\\" + link).c_str(), real.c_str(), 0) ||
            !exists(workspace_ + "\\" + link)) {
            ProcessOptions options;
            options.directory = workspace_;
            run_process("/bin/ln", {"-s", real, link}, "", options);
            /* Wine gives no handle to wait for a program of the system's own. */
            for (int wait = 0; wait < 100 && !exists(workspace_ + "\\" + link); wait++) {
                Sleep(50);
            }
        }
        if (!exists(workspace_ + "\\" + link)) {
            GTEST_SKIP() << "This system makes no symbolic link for this user";
        }
    }
    IniDocument *doc = build_document({{"s", {{"k", "v"}}}});
    EXPECT_EQ(ini_save_file(doc, (workspace_ + "\\link.ini").c_str()), 0);
    EXPECT_EQ(installer_platform_copy_file(source.c_str(), (workspace_ + "\\link.exe").c_str()), 1);

    EXPECT_EQ(read_file(workspace_ + "\\real.ini"), "[s]\nk=v\n");
    EXPECT_EQ(read_file(workspace_ + "\\real.exe"), "new");
    for (const char *name : {"ini", "exe"}) {
        ASSERT_TRUE(write_file(workspace_ + "\\real." + name, "later"));
        EXPECT_EQ(read_file(workspace_ + "\\link." + name), "later") << "a link still";
    }
    EXPECT_EQ(temporaries_in(workspace_), std::vector<std::string>{});

    /* No link: a file named through the short name of a directory whose long
     * path leaves no room for the temporary's name is replaced as named. */
    const std::string directory =
        workspace_ + "\\" + std::string(MAX_PATH - workspace_.size() - 14, 'd');
    ASSERT_TRUE(make_directory(directory) && write_file(directory + "\\a.ini", "old"));
    char short_directory[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(directory.c_str(), short_directory, MAX_PATH), 0u);
    const std::string named = std::string(short_directory) + "\\a.ini";
    const uint64_t old_file = file_identity(named);
    EXPECT_EQ(ini_save_file(doc, named.c_str()), 0);
    ini_free_document(doc);
    EXPECT_NE(file_identity(named), old_file) << "replaced whole, not written in place";
}

/* Started as programs that deploy others start it, on a console that has no
 * window or whose window is hidden: nobody can press Enter or answer the
 * question there, so a run ends after its last message without waiting for
 * either, and one that would ask ends with status 1 having made nothing,
 * whether its root is given, derived or a mistaken switch. An answer piped
 * in is still read. A console that a person sees, where the run waits, Wine
 * without a display never gives: the in-process cases show that wait. */
TEST_F(WindowsBehaviour, EndsWithoutWaitingOnAConsoleThatNobodySees)
{
    make_distribution(root_);
    const std::vector<std::string> argument_lists[] = {{"-S"}, {}, {root_}, {"/S"}, {"/S", root_}};
    for (ProcessConsole console : {ProcessConsole::Windowless, ProcessConsole::Hidden}) {
        for (const std::vector<std::string> &args : argument_lists) {
            SCOPED_TRACE(::testing::PrintToString(args));
            ProcessOptions options;
            options.console = console;
            options.time_limit_seconds = 10;

            ProcessResult result = run_installer(args, "", options);

            ASSERT_TRUE(result.started) << result.problem;
            EXPECT_EQ(result.status, 1) << result.problem;
            EXPECT_FALSE(exists(publish(root_)));
        }
    }
    ProcessOptions piped;
    piped.console = ProcessConsole::WindowlessRedirected;
    piped.input = ProcessInput::OpenPipe;
    ProcessResult result = run_installer({root_}, "y\n", piped);
    ASSERT_NO_FATAL_FAILURE(expect_exit(result, 0, kQuestion + success_line(kVsn), ""));
    expect_installed(root_, "start_bare.boot");
}

/* Alone on a console of its own, as when started from Explorer, but with
 * its streams redirected, as a program that hides the console would start
 * it: the run ends after its last message, with nothing more and without
 * waiting, though its input stays open. */
TEST_F(WindowsBehaviour, RunAloneOnItsConsoleWithRedirectedStreamsDoesNotWaitForEnter)
{
    make_distribution(root_);
    ProcessOptions options;
    options.input = ProcessInput::OpenPipe;
    options.time_limit_seconds = 30;
    options.console = ProcessConsole::New;

    ProcessResult result = run_installer({root_}, "\n", options);

    ASSERT_NO_FATAL_FAILURE(expect_exit(result, 0, kQuestion + success_line(kVsn), ""));
    expect_installed(root_, "start_mext.boot");
}

/* The answer typed at the question, ended as a Windows console or file ends
 * lines, and the boot script it makes the default. The C runtime reads
 * standard input in text mode and turns each "\r\n" into "\n" before the
 * installer sees it, so only the other carriage returns reach its cut. */
struct TypedAnswer {
    const char *name;  /* the case's name */
    const char *typed; /* the whole standard input */
    const char *boot;  /* the boot script start.boot becomes a copy of */
};

/* Names the case in GoogleTest's messages. */
void PrintTo(const TypedAnswer &answer, std::ostream *stream)
{
    *stream << answer.name;
}

class CarriageReturnAnswer : public WindowsBehaviour,
                             public ::testing::WithParamInterface<TypedAnswer>
{
};

TEST_P(CarriageReturnAnswer, ChoosesTheStartupByTheTextBeforeTheCarriageReturn)
{
    make_distribution(root_);

    ProcessResult result = install({root_}, GetParam().typed);

    ASSERT_NO_FATAL_FAILURE(expect_exit(result, 0, kQuestion + success_line(kVsn), ""));
    expect_installed(root_, GetParam().boot);
}

INSTANTIATE_TEST_SUITE_P(
    WindowsBehaviour, CarriageReturnAnswer,
    ::testing::Values(TypedAnswer{"Y", "y\r\n", "start_bare.boot"},
                      TypedAnswer{"Yes", "YES\r\n", "start_bare.boot"},
                      TypedAnswer{"Empty", "\r\n", "start_mext.boot"},
                      TypedAnswer{"No", "no\r\n", "start_mext.boot"},
                      TypedAnswer{"YWithTrailingSpace", "y \r\n", "start_mext.boot"},
                      TypedAnswer{"YesWithTwoCarriageReturns", "yes\r\r\n", "start_bare.boot"},
                      TypedAnswer{"TextAfterACarriageReturn", "yes\rplease\r\n", "start_bare.boot"},
                      TypedAnswer{"CarriageReturnAtTheEndOfInput", "yes\r", "start_bare.boot"},
                      TypedAnswer{"OnlyTheFirstLine", "n\r\nyes\r\n", "start_mext.boot"}),
    [](const ::testing::TestParamInfo<TypedAnswer> &info) { return std::string(info.param.name); });

/* A copy of the installer at a path of exactly length characters, started
 * from a directory above it by a relative name: CreateProcessA takes no
 * longer path, but the program it starts sees its full path. */
class LongExecutablePath : public WindowsBehaviour
{
  protected:
    /* Makes the copy; directory_ is where it lies. */
    void place_installer(size_t length)
    {
        const std::string name = "ostrel-install.exe";
        ASSERT_LT(workspace_.size(), 199u)
            << "the temporary directory leaves no room: " << workspace_;
        base_ = workspace_ + "\\" + std::string(199 - workspace_.size(), 'd');
        size_t deep_length = length - base_.size() - 2 - name.size();
        directory_ = base_ + "\\" + std::string(deep_length, 'e');
        relative_ = directory_.substr(base_.size() + 1) + "\\" + name;
        ASSERT_EQ(directory_.size() + 1 + name.size(), length);
        ASSERT_TRUE(make_directory(base_) && make_directory(directory_)) << directory_;
        ASSERT_TRUE(CopyFileW(long_path(installer_program()).c_str(),
                              long_path(directory_ + "\\" + name).c_str(), FALSE));
    }

    /* Starts the copy with args and input. */
    ProcessResult start(const std::vector<std::string> &args, const std::string &input)
    {
        char previous[MAX_PATH + 1];
        GetCurrentDirectoryA(sizeof previous, previous);
        EXPECT_TRUE(SetCurrentDirectoryA(base_.c_str())) << base_;
        ProcessResult result = run_process(relative_, args, input);
        SetCurrentDirectoryA(previous);
        return result;
    }

    /* Starts the copy with args and input and expects it to refuse its own
     * path before doing anything. Skips the case when this system cannot
     * start it. */
    void expect_refused(const std::vector<std::string> &args, const std::string &input)
    {
        ProcessResult result = start(args, input);
        if (!result.started) {
            GTEST_SKIP() << "This system cannot start a program whose path is longer than 259 "
                            "characters ("
                         << result.problem << "), so GetModuleFileNameA never cuts one short";
        }
        expect_exit(result, 1, "", kExecutablePathTooLong);
        EXPECT_FALSE(exists(directory_ + "\\bin"));
    }

    std::string base_;      /* 200 characters, where the copy is started */
    std::string directory_; /* the directory holding the copy */
    std::string relative_;  /* the copy's path relative to base_ */
};

TEST_F(LongExecutablePath, PathOf259CharactersGivesItsWholeDirectoryAsRoot)
{
    place_installer(259);

    ProcessResult result = start({}, "\n");

    ASSERT_NO_FATAL_FAILURE(
        expect_exit(result, 1, kQuestion, cannot_open(directory_ + "\\Install.ini")));
}

TEST_F(LongExecutablePath, PathOf260CharactersIsRefusedBeforeTheQuestion)
{
    place_installer(260);
    expect_refused({}, "\n");
}

TEST_F(LongExecutablePath, PathOf300CharactersIsRefusedEvenWhenSilent)
{
    place_installer(300);
    expect_refused({"-s"}, "");
}

/* Cases on a drive of their own: its top directory is the installation
 * root. tests/windows_tests.cmake maps the drives to scratch directories
 * (under Wine, through the prefix's dosdevices) and marks them. */
class DriveTop : public WindowsBehaviour
{
  protected:
    /* Takes drive (such as "C:") for the case. Returns false when it is not
     * a scratch drive of these cases. */
    bool use_drive(const std::string &drive)
    {
        if (!exists(drive + "\\" + kScratchDriveMarker)) {
            return false;
        }
        drive_ = drive;
        return true;
    }

    void TearDown() override
    {
        if (!drive_.empty()) {
            remove_contents(drive_, kScratchDriveMarker);
        }
        WindowsBehaviour::TearDown();
    }

    std::string drive_; /* the case's scratch drive, emptied after it */
};

const char kNoScratchDrive[] = "The drive is not mapped to a scratch directory marked for these "
                               "cases; ctest maps it under Wine";

TEST_F(DriveTop, InstallerAtTheTopOfADriveTakesTheBareDriveAsRoot)
{
    const std::string drive = OSTREL_TOP_DRIVE;
    if (!use_drive(drive)) {
        GTEST_SKIP() << drive << ": " << kNoScratchDrive;
    }
    std::string program = drive + "\\ostrel-install.exe";
    ASSERT_TRUE(CopyFileA(installer_program().c_str(), program.c_str(), FALSE));

    ProcessResult missing = run_process(program, {"-s"}, "");
    ASSERT_NO_FATAL_FAILURE(
        expect_exit(missing, 1, std::nullopt, cannot_open(drive + "\\Install.ini")));

    make_distribution(drive);
    ProcessResult result = run_process(program, {"-s"}, "");

    ASSERT_NO_FATAL_FAILURE(expect_exit(result, 0, "", ""));
    EXPECT_EQ(read_file(drive + "\\bin\\ost.ini"),
              "[ostrel]\nBindir=" + drive +
                  "\\\\ostcore-1.0\\\\bin\nProgname=ost\nRootdir=" + drive + "\n");
    expect_installed(drive, "start_bare.boot");
}

/* A root that is not fully qualified is used as typed, but the launcher
 * configuration gets its full path, which a launcher started anywhere
 * finds: an empty root, the top of the current drive; a root from the top
 * of the current drive; one on a drive, from that drive's current
 * directory; and one from the current directory. */
TEST_F(DriveTop, RootsNotFullyQualifiedGoIntoTheLauncherConfigurationInFull)
{
    const std::string drive = OSTREL_CURRENT_DRIVE;
    if (!use_drive(drive)) {
        GTEST_SKIP() << drive << ": " << kNoScratchDrive;
    }
    struct Case {
        std::string root;      /* as typed */
        std::string directory; /* where the distribution lies */
        std::string current;   /* the current directory of the run */
    };
    const Case cases[] = {
        {"", drive, drive + "\\elsewhere"},
        {"\\dist", drive + "\\dist", drive + "\\elsewhere"},
        {drive + "dist", drive + "\\dist", workspace_},
        {".", drive + "\\dist", drive + "\\dist"},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE("root \"" + row.root + "\"");
        remove_contents(drive, kScratchDriveMarker);
        make_distribution(row.directory);
        ASSERT_TRUE(make_directory(drive + "\\elsewhere"));

        ProcessResult result = install({row.root, "-s"}, "", row.current);

        ASSERT_NO_FATAL_FAILURE(expect_exit(result, 0, "", ""));
        expect_installed(row.directory, "start_bare.boot");
        EXPECT_FALSE(exists(drive + "\\elsewhere\\bin"));
    }
}

/* Cases on a small drive that fills up: a tmpfs that tests/windows_tests.cmake
 * mounts and maps as a drive when the tests run as root. */
class SmallDrive : public DriveTop
{
  protected:
    /* Fills the drive with one file until only about free bytes are left. */
    void leave_free(uint64_t free) const
    {
        ULARGE_INTEGER available;
        ASSERT_TRUE(GetDiskFreeSpaceExA((drive_ + "\\").c_str(), &available, nullptr, nullptr));
        ASSERT_GT(available.QuadPart, free);
        ASSERT_TRUE(write_file(drive_ + "\\filler", std::string(available.QuadPart - free, 'f')));
    }
};

const char kNoSmallDrive[] = "The drive is not a small scratch file system of these cases; ctest "
                             "mounts one under Wine when the tests run as root";

TEST_F(SmallDrive, SavingMoreThanTheDriveHoldsOverAFileKeepsTheFile)
{
    if (!use_drive(OSTREL_SMALL_DRIVE)) {
        GTEST_SKIP() << OSTREL_SMALL_DRIVE << ": " << kNoSmallDrive;
    }
    const std::string path = drive_ + "\\settings.ini";
    ASSERT_TRUE(write_file(path, "[settings]\ntheme=dark\n"));
    ASSERT_NO_FATAL_FAILURE(leave_free(16 * 1024));
    ModelDocument view = {{"settings", {}}};
    for (int i = 0; i < 2000; i++) {
        view[0].entries.emplace_back("key" + std::to_string(i), "value " + std::to_string(i));
    }
    IniDocument *doc = build_document(view);

    EXPECT_EQ(ini_save_file(doc, path.c_str()), -2);

    EXPECT_EQ(read_file(path), "[settings]\ntheme=dark\n");
    EXPECT_EQ(temporaries_in(drive_), std::vector<std::string>{});
    ini_free_document(doc);
}

/* A run over an installation whose new executables no longer all fit: the
 * copies that fail only warn, and each file is then whole, old or new. */
TEST_F(SmallDrive, CopiesThatFillTheDriveLeaveEveryFileWhole)
{
    if (!use_drive(OSTREL_SMALL_DRIVE)) {
        GTEST_SKIP() << OSTREL_SMALL_DRIVE << ": " << kNoSmallDrive;
    }
    make_distribution(drive_);
    ASSERT_NO_FATAL_FAILURE(expect_exit(install({"-s", drive_}), 0, "", ""));
    const std::vector<std::string> &names = published_executables();
    for (const std::string &name : names) {
        ASSERT_TRUE(write_file(runtime_bin(drive_) + "\\" + name, std::string(64 * 1024, name[2])));
    }
    ASSERT_NO_FATAL_FAILURE(leave_free(160 * 1024));

    ProcessResult result = install({"-s", drive_});

    ASSERT_TRUE(result.started) << result.problem;
    EXPECT_EQ(result.status, 0) << result.err;
    int copied = 0;
    for (const std::string &name : names) {
        std::optional<std::string> now = read_file(publish(drive_) + "\\" + name);
        copied += now == read_file(runtime_bin(drive_) + "\\" + name);
        EXPECT_TRUE(now == executable_contents(name, kVsn) ||
                    now == read_file(runtime_bin(drive_) + "\\" + name))
            << name;
    }
    EXPECT_GT(copied, 0);
    EXPECT_LT(copied, (int)names.size()) << "the drive filled up";
    EXPECT_NE(result.err.find(copy_warning(runtime_bin(drive_) + "\\" + names.back(),
                                           publish(drive_) + "\\" + names.back())),
              std::string::npos);
    EXPECT_EQ(temporaries_in(publish(drive_)), std::vector<std::string>{});
}

} // namespace
