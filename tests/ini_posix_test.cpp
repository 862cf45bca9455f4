/* SPDX-License-Identifier: MIT */
/* What the POSIX build alone can show of the library: its saves and loads
 * meeting real failures (a device that refuses every write, a file that
 * opens but cannot be read, a full file system, a file or directory that
 * permissions close) and what a save does with
 * permission bits, owners, symbolic links, devices, FIFOs and directories
 * the process may not add to. Windows has none of these, so this program is
 * built only for POSIX. */
#include <inifile/inifile.h>

#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/installer_platform.h"
#include "support/ini_view.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace
{

/* The user and group a root process takes on to meet permissions. */
const uid_t kNobody = 65534;
const gid_t kNogroup = 65534;

/* Runs call as a user whom permissions bind: this process's own user when
 * it is no root, or else the user nobody in a child process. Returns what
 * call returns (from -128 to 127), or -99 when the child could not run it. */
int run_as_unprivileged(const std::function<int()> &call)
{
    if (geteuid() != 0) {
        return call();
    }
    pid_t child = fork();
    if (child == 0) {
        if (setgid(kNogroup) != 0 || setuid(kNobody) != 0) {
            _exit(99);
        }
        _exit(call() & 0xff);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) == 99) {
        return -99;
    }
    return (signed char)WEXITSTATUS(status);
}

/* The inode of path, to tell a file replaced from one written in place. */
ino_t inode_of(const std::string &path)
{
    struct stat status;
    return lstat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

} // namespace

TEST(IniSavePosix, ReturnsMinusTwoWhenTheDeviceIsFull)
{
    IniDocument *doc = build_document({{"s", {{"k", "v"}}}});
    EXPECT_EQ(ini_save_file(doc, "/dev/full"), -2);
    IniDocument *empty = ini_new_document();
    EXPECT_EQ(ini_save_file(empty, "/dev/full"), 0) << "an empty document writes nothing";
    ini_free_document(empty);
    ini_free_document(doc);
}

/* A save replaces the file a path names, and keeps what the file was:
 * permission bits, owner and group, a symbolic link; what is no regular
 * file is written in place, and so is a file in a directory the process
 * may not add to. */
TEST(IniSavePosix, KeepsWhatTheSavedPathIs)
{
    TempDirectory directory;
    IniDocument *doc = build_document({{"s", {{"k", "v"}}}});
    const std::string saved = "[s]\nk=v\n";
    const std::string path = directory.file("settings.ini");
    const std::string real = directory.file("real.ini");
    const std::string locked = directory.file("locked");
    const std::string in_locked = locked + "/settings.ini";
    const std::string sticky = directory.file("sticky");
    const std::string in_sticky = sticky + "/settings.ini";
    const std::string copied_in_sticky = sticky + "/copied.exe";

    struct Case {
        const char *what;
        std::function<void()> make; /* lays out the case in the directory */
        std::function<int()> save;  /* saves doc; its result */
        int result;
        std::function<void()> check; /* what the case leaves */
    };
    auto save_to = [&](const std::string &target) {
        return [&, target] { return ini_save_file(doc, target.c_str()); };
    };
    auto mode_of = [](const std::string &file) {
        return (int)(fs::status(file).permissions() & fs::perms::mask);
    };
    ino_t inode = 0;
    int reader = -1; /* the FIFO's reading end, which lets the save open it */
    const Case cases[] = {
        {"a file of mode 0640 keeps it",
         [&] {
             write_file_bytes(path, "old");
             fs::permissions(path, (fs::perms)0640);
         },
         save_to(path), 0, [&] { EXPECT_EQ(mode_of(path), 0640); }},
        {"a file of mode 0751 keeps it",
         [&] {
             write_file_bytes(path, "old");
             fs::permissions(path, (fs::perms)0751);
         },
         save_to(path), 0, [&] { EXPECT_EQ(mode_of(path), 0751); }},
        {"a file of another owner keeps its owner and group where the process may set them",
         [&] {
             write_file_bytes(path, "old");
             EXPECT_EQ(chown(path.c_str(), kNobody, kNogroup) == 0, geteuid() == 0);
         },
         save_to(path), 0,
         [&] {
             struct stat status;
             ASSERT_EQ(stat(path.c_str(), &status), 0);
             EXPECT_EQ(status.st_uid, geteuid() == 0 ? kNobody : geteuid());
             EXPECT_EQ(status.st_gid, geteuid() == 0 ? kNogroup : getegid());
         }},
        {"a symbolic link stays a link to the file it names, which is replaced",
         [&] {
             write_file_bytes(real, "old");
             fs::create_directory(directory.path() / "links");
             fs::create_symlink("../real.ini", directory.path() / "links" / "link.ini");
         },
         save_to(directory.file("links") + "/link.ini"), 0,
         [&] {
             EXPECT_EQ(fs::read_symlink(directory.path() / "links" / "link.ini"), "../real.ini");
             EXPECT_EQ(read_file_bytes(real), saved);
         }},
        {"a symbolic link to nothing gets the file it names",
         [&] { fs::create_symlink("real.ini", path); }, save_to(path), 0,
         [&] {
             EXPECT_TRUE(fs::is_symlink(path));
             EXPECT_EQ(read_file_bytes(real), saved);
         }},
        {"a loop of symbolic links is refused", [&] { fs::create_symlink("settings.ini", path); },
         save_to(path), -1, [&] { EXPECT_TRUE(fs::is_symlink(path)); }},
        {"/dev/null is written in place and stays a device", [] {}, save_to("/dev/null"), 0,
         [] { EXPECT_TRUE(fs::is_character_file("/dev/null")); }},
        {"a FIFO is written in place and stays one",
         [&] {
             ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
             reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
         },
         save_to(path), 0,
         [&] {
             char bytes[64] = {0};
             EXPECT_EQ(read(reader, bytes, sizeof bytes), (ssize_t)saved.size());
             close(reader);
             EXPECT_EQ(std::string(bytes), saved);
             EXPECT_TRUE(fs::is_fifo(path));
         }},
        {"a FIFO that nobody reads is refused at once and stays one",
         [&] { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); },
         [&] {
             alarm(10); /* the end of a save that would wait for a reader for ever */
             int result = ini_save_file(doc, path.c_str());
             alarm(0);
             return result;
         },
         -1, [&] { EXPECT_TRUE(fs::is_fifo(path)); }},
        {"a file the process may write, in a directory it may not add to, is written in place",
         [&] {
             fs::create_directory(locked);
             write_file_bytes(in_locked, "old");
             fs::permissions(in_locked, (fs::perms)0666);
             fs::permissions(locked, (fs::perms)0555);
             inode = inode_of(in_locked);
         },
         [&] { return run_as_unprivileged(save_to(in_locked)); }, 0,
         [&] {
             EXPECT_EQ(read_file_bytes(in_locked), saved);
             EXPECT_EQ(inode_of(in_locked), inode) << "the same file";
             fs::permissions(locked, (fs::perms)0755);
         }},
        {"a file of another user in a sticky directory, which the process may write but not "
         "replace, is written in place by a save and by a copy",
         [&] {
             fs::create_directory(sticky);
             fs::permissions(sticky, (fs::perms)01777);
             write_file_bytes(real, "copied");
             for (const std::string &file : {in_sticky, copied_in_sticky}) {
                 write_file_bytes(file, "old");
                 fs::permissions(file, (fs::perms)0666);
             }
             inode = inode_of(in_sticky);
         },
         [&] {
             return run_as_unprivileged([&] {
                 return ini_save_file(doc, in_sticky.c_str()) * 10 +
                        installer_platform_copy_file(real.c_str(), copied_in_sticky.c_str());
             });
         },
         1,
         [&] {
             EXPECT_EQ(read_file_bytes(in_sticky), saved);
             EXPECT_EQ(inode_of(in_sticky), inode) << "the same file";
             EXPECT_EQ(read_file_bytes(copied_in_sticky), "copied");
             EXPECT_EQ(list_directory(sticky),
                       (std::vector<std::string>{"copied.exe", "settings.ini"}));
         }},
        {"a copy replaces the read-only file that an earlier copy of a read-only source made",
         [&] {
             write_file_bytes(real, saved);
             fs::permissions(real, (fs::perms)0444);
             fs::permissions(directory.path(), (fs::perms)0777);
         },
         [&] {
             return run_as_unprivileged([&] {
                 return installer_platform_copy_file(real.c_str(), path.c_str()) +
                        installer_platform_copy_file(real.c_str(), path.c_str());
             });
         },
         2,
         [&] {
             EXPECT_EQ(mode_of(path), 0444);
             EXPECT_EQ(read_file_bytes(path), saved);
         }},
        {"a file the process may not write is refused, though it may add to the directory",
         [&] {
             write_file_bytes(path, "old");
             fs::permissions(path, (fs::perms)0444);
             fs::permissions(directory.path(), (fs::perms)0777);
         },
         [&] { return run_as_unprivileged(save_to(path)); }, -1,
         [&] { EXPECT_EQ(read_file_bytes(path), "old"); }},
    };
    for (const Case &each : cases) {
        SCOPED_TRACE(each.what);
        for (const std::string &name : list_directory(directory.path())) {
            fs::remove_all(directory.path() / name);
        }
        each.make();
        EXPECT_EQ(each.save(), each.result);
        each.check();
        for (const std::string &name : list_directory(directory.path())) {
            EXPECT_FALSE(is_replacement_temporary(name)) << name;
        }
        if (each.result == 0 && fs::is_regular_file(path) && !fs::is_symlink(path)) {
            EXPECT_EQ(read_file_bytes(path), saved);
        }
    }
    ini_free_document(doc);
}

/* A file system that fills up during a save: the save fails and the file
 * keeps its old settings whole. Mounting a small one needs root. */
TEST(IniSavePosix, KeepsTheOldFileWhenTheFileSystemFillsUp)
{
    TempDirectory directory;
    const std::string mount_point = directory.file("small");
    fs::create_directory(mount_point);
    if (mount("ostrel-test", mount_point.c_str(), "tmpfs", 0, "size=16k") != 0) {
        GTEST_SKIP() << "cannot mount a 16 KiB tmpfs (" << strerror(errno)
                     << "): run the tests as root to fill a file system";
    }
    const std::string path = mount_point + "/settings.ini";
    const std::string old = "[settings]\ntheme=dark\n";
    write_file_bytes(path, old);
    ModelDocument view = {{"settings", {}}};
    for (int i = 0; i < 2000; i++) {
        view[0].entries.emplace_back("key" + std::to_string(i), "value " + std::to_string(i));
    }
    IniDocument *doc = build_document(view);
    EXPECT_EQ(ini_save_file(doc, path.c_str()), -2);
    EXPECT_EQ(read_file_bytes(path), old);
    EXPECT_EQ(list_directory(mount_point), std::vector<std::string>{"settings.ini"});
    ini_free_document(doc);
    EXPECT_EQ(umount(mount_point.c_str()), 0);
}

/* /proc/self/mem opens like a file, but reading it at offset 0 fails: a real
 * read failure, with no fault injected. */
TEST(IniLoadPosix, FailsToLoadAFileWhoseReadFails)
{
    IniLoadResult result = INI_LOAD_OK;
    EXPECT_EQ(ini_load_file_with_result("/proc/self/mem", &result, nullptr), nullptr);
    EXPECT_EQ(result, INI_LOAD_READ_FAILED);
}

/* What a user whom permissions bind meets: a file that stands where it may
 * not be read is no missing file, nor is one the system cannot see for a
 * directory that may not be searched. */
TEST(IniLoadPosix, TellsAFileThatMayNotBeReadFromAMissingOne)
{
    TempDirectory directory;
    const std::string unreadable = directory.write("unreadable.ini", "[s]\n");
    fs::permissions(unreadable, (fs::perms)0);
    fs::create_directory(directory.path() / "closed");
    const std::string hidden = directory.write("closed/hidden.ini", "[s]\n");
    fs::permissions(directory.path() / "closed", (fs::perms)0);
    struct Failure {
        std::string path;
        IniLoadResult result;
    };
    const Failure failures[] = {
        {unreadable, INI_LOAD_CANNOT_OPEN},
        {hidden, INI_LOAD_CANNOT_OPEN},
        {directory.file("closed") + "/missing.ini", INI_LOAD_CANNOT_OPEN},
        {directory.file("missing.ini"), INI_LOAD_NOT_FOUND},
    };
    for (const Failure &failure : failures) {
        SCOPED_TRACE(failure.path);
        EXPECT_EQ(run_as_unprivileged([&] {
                      IniLoadResult result = INI_LOAD_OK;
                      IniDocument *doc =
                          ini_load_file_with_result(failure.path.c_str(), &result, nullptr);
                      int outcome = doc == nullptr ? (int)result : -1;
                      ini_free_document(doc);
                      return outcome;
                  }),
                  (int)failure.result);
    }
    fs::permissions(directory.path() / "closed", (fs::perms)0755);
}
