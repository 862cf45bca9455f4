/* SPDX-License-Identifier: MIT */
/* End-to-end cases for the installer's deployment: the files it publishes,
 * the launcher configuration it writes, its policy for each kind of failed
 * copy, and runs repeated over the same tree. */
#include "ini_model.h"
#include "support/distribution.h"
#include "support/installer_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{

/* The installer's path of an executable in the tree's runtime bin directory. */
std::string runtime_file(const DistributionTree &tree, const std::string &name)
{
    return tree.path(join(tree.runtime_bin(), name));
}

/* The installer's path of a file in the tree's release directory. */
std::string release_file(const DistributionTree &tree, const std::string &name)
{
    return tree.path(join(tree.release(), name));
}

/* The installer's path of a file in the tree's publish directory. */
std::string published_file(const DistributionTree &tree, const std::string &name)
{
    return tree.path(join("bin", name));
}

/* names, sorted, as DistributionTree::list gives files. */
std::vector<std::string> sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

/* The published executables that come before name in the installer's order. */
std::vector<std::string> executables_before(const std::string &name)
{
    const std::vector<std::string> &all = published_executables();
    return std::vector<std::string>(all.begin(), std::find(all.begin(), all.end(), name));
}

/* The seven executables and the test runner's second name. */
std::vector<std::string> executables_with_second_name()
{
    std::vector<std::string> names = published_executables();
    names.push_back("drive_qa.exe");
    return names;
}

/* A row of a fatal-failure table: a name for the trace, the entry in the
 * tree to replace with a directory, and the source and target of the copy
 * that must fail. */
struct BlockedCopyCase {
    const char *name;
    std::string blocked;
    std::string source;
    std::string target;
};

} // namespace

TEST(InstallerDeployment, PublishesEveryFileAndWritesTheLauncherConfiguration)
{
    DistributionTree tree;
    EXPECT_EQ(run_installer({tree.root()}, "\n"), outcome(0, kQuestion + success_line("1.0"), ""));
    EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Full));
    const std::string configuration =
        "[ostrel]\nBindir=" + model_escaped(tree.root()) +
        "\\\\ostcore-1.0\\\\bin\nProgname=ost\nRootdir=" + model_escaped(tree.root()) + "\n";
    EXPECT_EQ(tree.read_file("ostcore-1.0\\bin\\ost.ini"), configuration);
    EXPECT_EQ(tree.read_file("bin\\ost.ini"), configuration);
    EXPECT_EQ(tree.read_file("bin\\drive_qa.exe"), executable_contents("qa_drive.exe", "1.0"));
    EXPECT_EQ(tree.read_file("bin\\start.boot"), boot_script_contents("start_mext.boot", "A1"));
}

TEST(InstallerDeployment, StopsAtAMissingExecutableKeepingThoseCopiedBefore)
{
    for (const std::string &name : published_executables()) {
        SCOPED_TRACE(name);
        DistributionTree tree;
        tree.remove(join(tree.runtime_bin(), name));
        EXPECT_EQ(run_silently(tree), outcome(1, "", missing_file(runtime_file(tree, name))));
        EXPECT_EQ(tree.list("bin"), sorted(executables_before(name)));
    }
}

TEST(InstallerDeployment, StopsBeforeCopyingWhenTheRuntimeBinDirectoryIsMissing)
{
    DistributionTree tree;
    tree.remove("ostcore-1.0");
    EXPECT_EQ(run_silently(tree), outcome(1, "", missing_file(runtime_file(tree, "ost.exe"))));
    EXPECT_TRUE(tree.is_directory("bin"));
    EXPECT_EQ(tree.list("bin"), std::vector<std::string>());
}

TEST(InstallerDeployment, WarnsAndContinuesWhenAnExecutableCannotBeCopied)
{
    for (const std::string &name : published_executables()) {
        SCOPED_TRACE(name);
        DistributionTree tree;
        tree.replace_with_directory(join("bin", name));
        std::string warnings = copy_warning(runtime_file(tree, name), published_file(tree, name));
        std::vector<std::string> not_copied = {name};
        if (name == "qa_drive.exe") {
            /* The second name is made from the directory in bin, which fails too. */
            warnings += copy_warning(published_file(tree, "qa_drive.exe"),
                                     published_file(tree, "drive_qa.exe"));
            not_copied.push_back("drive_qa.exe");
        }
        EXPECT_EQ(run_installer({tree.root()}, "y\n"),
                  outcome(0, kQuestion + success_line("1.0"), warnings));
        EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Minimal, not_copied));
        EXPECT_TRUE(tree.is_directory(join("bin", name)));
        EXPECT_EQ(tree.list(join("bin", name)), std::vector<std::string>());
        if (name == "qa_drive.exe") {
            EXPECT_FALSE(tree.exists("bin\\drive_qa.exe"));
        }
    }
}

TEST(InstallerDeployment, WarnsAndContinuesWhenAnExecutableSourceIsADirectory)
{
    for (const std::string &name : executables_before("qa_drive.exe")) {
        SCOPED_TRACE(name);
        DistributionTree tree;
        tree.replace_with_directory(join(tree.runtime_bin(), name));
        EXPECT_EQ(
            run_silently(tree),
            outcome(0, "", copy_warning(runtime_file(tree, name), published_file(tree, name))));
        EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Minimal, {name}));
        EXPECT_FALSE(tree.exists(join("bin", name)));
    }
}

TEST(InstallerDeployment, StopsWhenTheTestRunnerCouldNotBePublished)
{
    DistributionTree tree;
    tree.replace_with_directory(join(tree.runtime_bin(), "qa_drive.exe"));
    EXPECT_EQ(run_silently(tree), outcome(1, "",
                                          copy_warning(runtime_file(tree, "qa_drive.exe"),
                                                       published_file(tree, "qa_drive.exe")) +
                                              missing_file(published_file(tree, "qa_drive.exe"))));
    EXPECT_EQ(tree.list("bin"), sorted(executables_before("qa_drive.exe")));
}

TEST(InstallerDeployment, MakesTheSecondNameFromAnOldCopyOfTheTestRunner)
{
    DistributionTree tree;
    tree.replace_with_directory(join(tree.runtime_bin(), "qa_drive.exe"));
    tree.write_file("bin\\qa_drive.exe", "test runner of an earlier installation\n");
    EXPECT_EQ(run_silently(tree), outcome(0, "",
                                          copy_warning(runtime_file(tree, "qa_drive.exe"),
                                                       published_file(tree, "qa_drive.exe"))));
    EXPECT_TRUE(
        is_installed(tree, tree.root(), Startup::Minimal, {"qa_drive.exe", "drive_qa.exe"}));
    EXPECT_EQ(tree.read_file("bin\\qa_drive.exe"), "test runner of an earlier installation\n");
    EXPECT_EQ(tree.read_file("bin\\drive_qa.exe"), "test runner of an earlier installation\n");
}

TEST(InstallerDeployment, WarnsAndContinuesWhenTheSecondNameCannotBeMade)
{
    DistributionTree tree;
    tree.replace_with_directory("bin\\drive_qa.exe");
    EXPECT_EQ(run_installer({tree.root()}, "\n"),
              outcome(0, kQuestion + success_line("1.0"),
                      copy_warning(published_file(tree, "qa_drive.exe"),
                                   published_file(tree, "drive_qa.exe"))));
    EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Full, {"drive_qa.exe"}));
    EXPECT_TRUE(tree.is_directory("bin\\drive_qa.exe"));
}

TEST(InstallerDeployment, StopsAtAMissingBootScriptEvenWhenItIsNotTheDefault)
{
    for (const std::string &name : boot_scripts()) {
        SCOPED_TRACE(name);
        DistributionTree tree;
        tree.remove(join(tree.release(), name));
        EXPECT_EQ(run_installer({tree.root()}, "y\n"),
                  outcome(1, kQuestion, missing_file(release_file(tree, name))));
        std::vector<std::string> published = executables_with_second_name();
        if (std::string(name) == "start_mext.boot") {
            published.push_back("start_bare.boot");
        }
        EXPECT_EQ(tree.list("bin"), sorted(published));
        EXPECT_FALSE(tree.exists(join(tree.runtime_bin(), "ost.ini")));
    }
}

TEST(InstallerDeployment, StopsWhenTheReleaseDirectoryIsMissing)
{
    DistributionTree tree;
    tree.remove("releases");
    EXPECT_EQ(run_silently(tree),
              outcome(1, "", missing_file(release_file(tree, "start_bare.boot"))));
    EXPECT_EQ(tree.list("bin"), sorted(executables_with_second_name()));
}

TEST(InstallerDeployment, BailsOutWhenABootScriptCannotBeCopied)
{
    const std::vector<BlockedCopyCase> cases = {
        {"directory in place of the minimal boot script in bin", "bin\\start_bare.boot",
         "releases\\A1\\start_bare.boot", "bin\\start_bare.boot"},
        {"directory in place of the full boot script in bin", "bin\\start_mext.boot",
         "releases\\A1\\start_mext.boot", "bin\\start_mext.boot"},
        {"directory in place of the minimal boot script in the release",
         "releases\\A1\\start_bare.boot", "releases\\A1\\start_bare.boot", "bin\\start_bare.boot"},
        {"directory in place of the full boot script in the release",
         "releases\\A1\\start_mext.boot", "releases\\A1\\start_mext.boot", "bin\\start_mext.boot"},
    };
    for (const BlockedCopyCase &row : cases) {
        SCOPED_TRACE(row.name);
        DistributionTree tree;
        tree.replace_with_directory(row.blocked);
        EXPECT_EQ(run_silently(tree),
                  outcome(1, "", copy_failure(tree.path(row.source), tree.path(row.target))));
        EXPECT_FALSE(tree.exists("bin\\start.boot"));
        EXPECT_FALSE(tree.exists(join(tree.runtime_bin(), "ost.ini")));
        EXPECT_FALSE(tree.exists("bin\\ost.ini"));
    }
}

TEST(InstallerDeployment, BailsOutWhenTheDefaultBootScriptCannotBeMade)
{
    struct DefaultCase {
        std::vector<std::string> args;
        std::string input;
        std::string out;
        std::string source;
    };
    const std::vector<DefaultCase> cases = {
        {{kRoot}, "\n", kQuestion, "start_mext.boot"},
        {{kRoot}, "yes\n", kQuestion, "start_bare.boot"},
        {{"-s", kRoot}, "", "", "start_bare.boot"},
    };
    for (const DefaultCase &row : cases) {
        SCOPED_TRACE(::testing::PrintToString(row.args) + " " + row.input);
        DistributionTree tree;
        tree.replace_with_directory("bin\\start.boot");
        EXPECT_EQ(run_installer(with_root(row.args, tree.root()), row.input),
                  outcome(1, row.out,
                          copy_failure(published_file(tree, row.source),
                                       published_file(tree, "start.boot"))));
        EXPECT_EQ(tree.read_file("bin\\start_bare.boot"),
                  boot_script_contents("start_bare.boot", "A1"));
        EXPECT_EQ(tree.read_file("bin\\start_mext.boot"),
                  boot_script_contents("start_mext.boot", "A1"));
        EXPECT_FALSE(tree.exists(join(tree.runtime_bin(), "ost.ini")));
    }
}

TEST(InstallerDeployment, BailsOutWhenTheLauncherConfigurationCannotBeWritten)
{
    DistributionTree tree;
    tree.replace_with_directory(join(tree.runtime_bin(), "ost.ini"));
    EXPECT_EQ(run_installer({tree.root()}, "\n"),
              outcome(1, kQuestion, create_failure(runtime_file(tree, "ost.ini"))));
    EXPECT_EQ(tree.read_file("bin\\start.boot"), boot_script_contents("start_mext.boot", "A1"));
    EXPECT_FALSE(tree.exists("bin\\ost.ini"));
}

TEST(InstallerDeployment, BailsOutWhenTheLauncherConfigurationCannotBeCopied)
{
    DistributionTree tree;
    tree.replace_with_directory("bin\\ost.ini");
    EXPECT_EQ(run_silently(tree), outcome(1, "",
                                          copy_failure(runtime_file(tree, "ost.ini"),
                                                       published_file(tree, "ost.ini"))));
    EXPECT_EQ(tree.read_file(join(tree.runtime_bin(), "ost.ini")),
              launcher_configuration(tree.root(), "1.0"));
    EXPECT_EQ(tree.read_file("bin\\start.boot"), boot_script_contents("start_bare.boot", "A1"));
    EXPECT_TRUE(tree.is_directory("bin\\ost.ini"));
}

TEST(InstallerDeployment, WarnsForEveryExecutableWhenBinIsAPlainFile)
{
    DistributionTree tree;
    tree.write_file("bin", "a plain file named bin\n");
    const auto before = tree.snapshot();
    std::string messages;
    for (const std::string &name : published_executables()) {
        messages += copy_warning(runtime_file(tree, name), published_file(tree, name));
    }
    messages += missing_file(published_file(tree, "qa_drive.exe"));
    EXPECT_EQ(run_installer({tree.root()}, "\n"), outcome(1, kQuestion, messages));
    EXPECT_EQ(tree.snapshot(), before);
}

TEST(InstallerRerun, EndsInTheSameStateWhenRunAgain)
{
    DistributionTree tree;
    ASSERT_EQ(run_silently(tree), outcome(0, "", ""));
    const auto silent = tree.snapshot();
    EXPECT_EQ(run_silently(tree), outcome(0, "", ""));
    EXPECT_EQ(tree.snapshot(), silent);

    EXPECT_EQ(run_installer({tree.root()}, "\n"), outcome(0, kQuestion + success_line("1.0"), ""));
    EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Full));
    const auto interactive = tree.snapshot();
    EXPECT_EQ(run_installer({tree.root()}, "no\n"),
              outcome(0, kQuestion + success_line("1.0"), ""));
    EXPECT_EQ(tree.snapshot(), interactive);

    EXPECT_EQ(run_silently(tree), outcome(0, "", ""));
    EXPECT_EQ(tree.snapshot(), silent);
}

TEST(InstallerRerun, ReplacesEveryFileAnEarlierInstallationLeft)
{
    DistributionTree tree;
    const std::string stale(3000, '#');
    std::vector<std::string> names = executables_with_second_name();
    for (const char *name : {"start_bare.boot", "start_mext.boot", "start.boot", "ost.ini"}) {
        names.push_back(name);
    }
    for (const std::string &name : names) {
        tree.write_file(join("bin", name), "old " + name + stale);
    }
    tree.write_file(join(tree.runtime_bin(), "ost.ini"), "[ostrel]\nBindir=old\n" + stale);
    EXPECT_EQ(run_installer({tree.root()}, "y\n"), outcome(0, kQuestion + success_line("1.0"), ""));
    EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Minimal));
}
