/* SPDX-License-Identifier: MIT */
/* Running the built installer and judging what it did, for the end-to-end
 * cases. The installer's path comes from the build (OSTREL_INSTALLER_PATH),
 * unless OSTREL_TEST_INSTALLER names another copy to judge, such as a signed
 * one. */
#ifndef OSTREL_TESTS_SUPPORT_INSTALLER_RUN_H
#define OSTREL_TESTS_SUPPORT_INSTALLER_RUN_H

#include "distribution.h"
#include "installer_texts.h"
#include "process.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

/* The native path of the installer under test: OSTREL_TEST_INSTALLER when it
 * is set and not empty, else the built one. */
const std::string &installer_program();

/* Runs the built installer with args and stdin_text as its standard input
 * (see run_process). */
ProcessResult run_installer(const std::vector<std::string> &args, const std::string &stdin_text,
                            const ProcessOptions &options = ProcessOptions());
/* Runs the built installer with no standard input at all. */
ProcessResult run_installer_without_input(const std::vector<std::string> &args);

/* Runs the built installer silently ("-s") over tree's root with empty
 * standard input. */
ProcessResult run_silently(const DistributionTree &tree);
/* Runs it so and checks that it fails with message on standard error alone,
 * leaving the tree as it was. */
void expect_silent_failure(const DistributionTree &tree, const std::string &message);

/* Stands in tables of arguments for the root of the case's tree. */
extern const char kRoot[];
/* args with every kRoot replaced by root. */
std::vector<std::string> with_root(const std::vector<std::string> &args, const std::string &root);

/* The result a case expects: the program ran and exited with status. */
ProcessResult outcome(int status, const std::string &out, const std::string &err);

bool operator==(const ProcessResult &left, const ProcessResult &right);
/* Lets GoogleTest show both sides of a failed comparison. */
void PrintTo(const ProcessResult &result, std::ostream *stream);

/* The number of lines in text, each ended by a line feed; a last line
 * without one counts too. */
std::size_t line_count(const std::string &text);

/* Which boot script became "start.boot". */
enum class Startup {
    Minimal, /* "start_bare.boot" */
    Full,    /* "start_mext.boot" */
};

/* Succeeds when the tree holds everything a complete installation leaves:
 * the publish directory "bin" holds exactly the seven executables, the test
 * runner's second name "drive_qa.exe", both boot scripts, "start.boot" and
 * "ost.ini", each with the contents of its source; "start.boot" is the boot
 * script that startup names; and both "ost.ini" files hold exactly the
 * launcher configuration for root (the root text as the installer saw it).
 * Names in not_copied are neither looked for nor looked at in "bin": a case
 * whose copies of them failed checks them itself. */
::testing::AssertionResult is_installed(const DistributionTree &tree, const std::string &root,
                                        Startup startup,
                                        const std::vector<std::string> &not_copied = {});

/* The files a complete installation writes, relative to the root: the
 * launcher configuration in the runtime bin directory and every file of
 * "bin". */
std::vector<std::string> installed_files(const DistributionTree &tree);

/* Writes each of installed_files with bytes of its own ("earlier " and its
 * name), unlike any a run writes: the tree as an earlier installation left
 * it. */
void install_earlier(const DistributionTree &tree);

/* Succeeds when each file of tree holds what it held in earlier or in
 * installed, two of its snapshots, every file whole, and none of earlier is
 * gone: "drive_qa.exe" may hold what "qa_drive.exe" held in earlier, being
 * its copy. Nothing else may be in the tree but, when a temporary is
 * allowed, one temporary of the file layer (is_replacement_temporary),
 * which this removes. */
::testing::AssertionResult holds_old_or_new(const DistributionTree &tree,
                                            const std::map<std::string, std::string> &earlier,
                                            const std::map<std::string, std::string> &installed,
                                            bool temporary_allowed);

#endif
