/* SPDX-License-Identifier: MIT */
/* The installer's files under real system calls, read by strace: the order
 * in which a run replaces each file it writes, so that each is on disk
 * before it counts. strace traces Linux processes, so this program is built
 * only for POSIX. */
#include "support/installer_run.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{

/* The system calls that write, flush, move and close files. */
const char kFileCalls[] = "openat,open,creat,write,fsync,fdatasync,rename,renameat,renameat2,close";

/* The path of strace, found in PATH; empty when there is none. */
std::string strace_program()
{
    const char *path = getenv("PATH");
    std::istringstream directories(path != nullptr ? path : "");
    std::string directory;
    while (std::getline(directories, directory, ':')) {
        fs::path candidate = fs::path(directory) / "strace";
        if (!directory.empty() && access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return "";
}

const char kNoStrace[] = "strace is not installed (Debian package strace)";

/* One system call as strace -y prints it: its name, its arguments and its
 * result, file descriptors followed by their paths in angle brackets. */
struct SystemCall {
    std::string name;
    std::string arguments;
    std::string result;
};

/* The calls of a log of strace -f -y -qq; the few lines that are no call of
 * their own (a call interrupted and resumed) are left out. */
std::vector<SystemCall> read_calls(const std::string &log)
{
    static const std::regex line("^(?:[0-9]+ +)?([a-z0-9_]+)\\((.*)\\) += (.*)$");
    std::vector<SystemCall> calls;
    std::istringstream lines(log);
    std::string text;
    std::smatch match;
    while (std::getline(lines, text)) {
        if (std::regex_match(text, match, line)) {
            calls.push_back({match[1], match[2], match[3]});
        }
    }
    return calls;
}

/* The quoted strings among arguments, in order. */
std::vector<std::string> quoted(const std::string &arguments)
{
    static const std::regex string("\"([^\"]*)\"");
    std::vector<std::string> strings;
    for (std::sregex_iterator at(arguments.begin(), arguments.end(), string), end; at != end;
         ++at) {
        strings.push_back((*at)[1]);
    }
    return strings;
}

/* The path of the first file descriptor in text, as -y shows it: "3</a/b>". */
std::string descriptor_path(const std::string &text)
{
    static const std::regex descriptor("^-?[0-9]+<([^>]*)>");
    std::smatch match;
    return std::regex_search(text, match, descriptor) ? match[1].str() : "";
}

/* Runs the installer silently over tree's root under strace with options.
 * Returns the run; its log, when one is asked for, is in log_path. */
ProcessResult run_under_strace(const DistributionTree &tree,
                               const std::vector<std::string> &options)
{
    /* LeakSanitizer cannot work in a traced process: a sanitizer build's
     * installer checks no leaks here. */
    const char *sanitizer = getenv("ASAN_OPTIONS");
    std::string untraced = std::string(sanitizer != nullptr ? sanitizer : "") + ":detect_leaks=0";
    std::vector<std::string> args = {"-f", "-qq", "-E", "ASAN_OPTIONS=" + untraced};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"--", installer_program(), "-s", tree.root()});
    return run_process(strace_program(), args, "");
}

} // namespace

/* Each file the installer writes goes into a new temporary beside it, which
 * is flushed, renamed over the file and followed by a flush of the
 * directory; the file itself is never opened for writing. */
TEST(InstallerUpdateProtocol, FlushesATemporaryRenamesItOverEachFileAndFlushesTheDirectory)
{
    if (strace_program().empty()) {
        GTEST_SKIP() << kNoStrace;
    }
    DistributionTree tree;
    install_earlier(tree);
    TempDirectory logs;
    const std::string log = logs.file("strace.log");
    ProcessResult result = run_under_strace(
        tree, {"-y", "-s", "4096", "-e", std::string("trace=") + kFileCalls, "-o", log});
    ASSERT_EQ(result, outcome(0, "", ""));
    ASSERT_TRUE(is_installed(tree, tree.root(), Startup::Minimal));

    std::set<std::string> replaced;
    std::set<std::string> flushed;
    std::vector<std::string> directories_to_flush;
    for (const SystemCall &call : read_calls(read_file_bytes(log))) {
        if (call.result.compare(0, 2, "-1") == 0) {
            continue;
        }
        const std::vector<std::string> paths = quoted(call.arguments);
        if ((call.name == "openat" || call.name == "open") && !paths.empty() &&
            std::regex_search(call.arguments, std::regex("O_WRONLY|O_RDWR|O_TRUNC"))) {
            EXPECT_TRUE(is_replacement_temporary(fs::path(paths[0]).filename().string()))
                << "opened for writing: " << paths[0];
        } else if (call.name == "fsync" || call.name == "fdatasync") {
            std::string path = descriptor_path(call.arguments);
            flushed.insert(path);
            directories_to_flush.erase(
                std::remove(directories_to_flush.begin(), directories_to_flush.end(), path),
                directories_to_flush.end());
        } else if (call.name.compare(0, 6, "rename") == 0) {
            ASSERT_EQ(paths.size(), 2u) << call.arguments;
            /* As -y names them: with every symbolic link of the way resolved. */
            const std::string temporary = fs::weakly_canonical(paths[0]).string();
            EXPECT_EQ(flushed.erase(temporary), 1u) << temporary << " is flushed before its move";
            replaced.insert(with_backslashes(paths[1]));
            directories_to_flush.push_back(fs::weakly_canonical(paths[1]).parent_path().string());
        }
    }
    EXPECT_TRUE(directories_to_flush.empty())
        << "not flushed after a move: " << ::testing::PrintToString(directories_to_flush);
    std::set<std::string> written;
    for (const std::string &file : installed_files(tree)) {
        written.insert(with_backslashes(tree.path(file)));
    }
    EXPECT_EQ(replaced, written);
}
