/* SPDX-License-Identifier: MIT */
/* The installer's entry run in-process, with the test seam standing in for
 * the platform's answers: the running executable's own path, and whether
 * the console window is the program's own. */
#include "installer.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "support/fault_injection.h"
#include "support/installer_texts.h"
#include "support/temp_dir.h"

namespace
{

class InstallerEntry : public ::testing::Test
{
  protected:
    void TearDown() override
    {
        fault_report_executable_path(NULL, 0);
        fault_report_own_console_window(-1);
    }

    /* Runs installer_root_from_executable into settings, with the seam
     * standing in for GetModuleFileNameA: it gives path and returns result.
     * Returns the step's status and keeps what it printed in err_text. */
    int root_from_executable(const char *path, uint32_t result, InstallerSettings &settings)
    {
        fault_report_executable_path(path, result);
        std::string err_path = scratch.file("err.txt");
        /* Binary, so that Windows keeps the line feeds as they were printed. */
        FILE *err = fopen(err_path.c_str(), "wb");
        EXPECT_NE(err, nullptr);
        int status = installer_root_from_executable(&settings, path_buffer, err);
        fclose(err);
        err_text = read_file_bytes(err_path);
        return status;
    }

    TempDirectory scratch;
    std::string err_text;
    char path_buffer[INSTALLER_PATH_SIZE]; /* where settings.root may point */
};

} // namespace

/* Windows gives no way to make GetModuleFileNameA fail or return a path
 * without a backslash, so these outcomes come from the seam. */
TEST_F(InstallerEntry, ReportsAnExecutablePathThatCannotBeHadOrHasNoDirectory)
{
    struct Row {
        const char *path;
        uint32_t result;
        const char *message;
    };
    const Row rows[] = {
        {"", 0, kNoExecutablePath},
        {"setup.exe", 9, kBrokenExecutablePath},
        {"C:\\setup.exe", INSTALLER_PATH_SIZE, kExecutablePathTooLong},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.message);
        InstallerSettings settings = {0, NULL, 0};
        int status = root_from_executable(row.path, row.result, settings);
        EXPECT_EQ(status, 1);
        EXPECT_EQ(err_text, row.message);
        EXPECT_EQ(settings.root, nullptr);
    }
}

TEST_F(InstallerEntry, TakesTheDirectoryOfTheExecutableAsTheRoot)
{
    struct Row {
        const char *path;
        const char *root;
    };
    const Row rows[] = {
        {"C:\\Ostrel\\setup.exe", "C:\\Ostrel"},
        {"C:\\setup.exe", "C:"},
        {"\\setup.exe", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.path);
        InstallerSettings settings = {0, NULL, 0};
        int status = root_from_executable(row.path, (uint32_t)strlen(row.path), settings);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(err_text, "");
        EXPECT_STREQ(settings.root, row.root);
    }
}

/* Whether a run ends by waiting for Enter is the platform's answer, taken
 * both ways here (on POSIX the real answer is always no), and whether the
 * arguments hold the silent switch, even after one they refuse. */
TEST_F(InstallerEntry, WaitsForEnterOnlyInAnInteractiveRunWithAWindowOfItsOwn)
{
    struct Row {
        std::vector<const char *> args; /* after the program name */
        int own_window;                 /* the platform's answer; -1: the real one */
        const char *out;                /* what the run prints at its end */
        const char *unread;             /* what it leaves of the input "\nnext\n" */
    };
    const Row rows[] = {
        {{}, 1, kPressEnter, "next\n"},
        {{}, 0, "", "\nnext\n"},
        {{}, -1, "", "\nnext\n"},
        {{"-s"}, 1, "", "\nnext\n"},
        {{"C:\\R", "C:\\S", "-s"}, 1, "", "\nnext\n"},
        {{"-x", "-silent"}, 1, "", "\nnext\n"},
    };
    for (const Row &row : rows) {
        std::vector<char *> argv = {const_cast<char *>("ostrel-install")};
        for (const char *argument : row.args) {
            argv.push_back(const_cast<char *>(argument));
        }
        SCOPED_TRACE(std::to_string(row.args.size()) + " arguments, own window " +
                     std::to_string(row.own_window));
        InstallerSettings settings = {0, NULL, 1};
        FILE *err = fopen(scratch.file("err.txt").c_str(), "wb");
        ASSERT_NE(err, nullptr);
        installer_parse_arguments((int)argv.size(), argv.data(), &settings, err);
        fclose(err);
        std::string in_path = scratch.write("in.txt", "\nnext\n");
        std::string out_path = scratch.file("out.txt");
        FILE *in = fopen(in_path.c_str(), "rb");
        FILE *out = fopen(out_path.c_str(), "wb");
        ASSERT_TRUE(in != nullptr && out != nullptr);
        fault_report_own_console_window(row.own_window);
        installer_keep_window_open(&settings, in, out);
        fault_report_own_console_window(-1);
        std::string unread;
        for (int c; (c = fgetc(in)) != EOF;) {
            unread += (char)c;
        }
        fclose(in);
        fclose(out);
        EXPECT_EQ(read_file_bytes(out_path), row.out);
        EXPECT_EQ(unread, row.unread);
    }
}

/* The current directory cannot always be had (a directory deleted under
 * the run): the launcher configuration, which takes a relative root's full
 * path, is then not written, and nothing is made. */
TEST_F(InstallerEntry, ReportsARootWhoseFullPathCannotBeHadBeforeMakingAnything)
{
    scratch.write("Install.ini", "[Install]\nVSN=1.0\nSYSTEM_VSN=A1\n");
    const std::string root = scratch.path().string();
    InstallerSettings settings = {1, root.c_str(), 0};
    InstallerManifest manifest;
    ASSERT_EQ(installer_read_manifest(&settings, &manifest, stderr), 0);
    std::string err_path = scratch.file("err.txt");
    FILE *err = fopen(err_path.c_str(), "wb");
    ASSERT_NE(err, nullptr);
    fault_fail_full_directory(true);
    int status = installer_deploy(&settings, &manifest, stdout, err);
    fault_fail_full_directory(false);
    fclose(err);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(read_file_bytes(err_path), no_full_path(root));
    EXPECT_EQ(list_directory(scratch.path()), (std::vector<std::string>{"Install.ini", "err.txt"}));
}
