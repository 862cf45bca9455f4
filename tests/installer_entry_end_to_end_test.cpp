/* SPDX-License-Identifier: MIT */
/* End-to-end cases for the installer's entry: the command line, the startup
 * question, silent runs and the root taken from the executable's own path. */
#include "support/distribution.h"
#include "support/installer_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace
{

/* A row of a command-line table: the arguments (kRoot marks the tree's root)
 * and the message the installer must end with. */
struct CommandLineCase {
    std::vector<std::string> args;
    std::string message;
};

/* A row of an answer table: what the user types and the startup it picks. */
struct AnswerCase {
    std::string input;
    Startup startup;
};

/* Runs the installer interactively over a fresh tree with input as its
 * standard input and checks a complete installation with the given startup. */
void expect_installation_for_answer(const std::string &input, Startup startup)
{
    SCOPED_TRACE("standard input " + ::testing::PrintToString(input));
    DistributionTree tree;
    EXPECT_EQ(run_installer({tree.root()}, input), outcome(0, kQuestion + success_line("1.0"), ""));
    EXPECT_TRUE(is_installed(tree, tree.root(), startup));
}

/* Runs the installer over a fresh tree with the command line of each row
 * (and "y\n" typed) and checks that it ends with the row's message (with
 * kRoot standing for the tree's root), having changed nothing. */
void expect_refused_command_lines(const std::vector<CommandLineCase> &cases)
{
    for (const CommandLineCase &row : cases) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        DistributionTree tree;
        const auto before = tree.snapshot();
        std::string message = row.message;
        const std::string placeholder = kRoot;
        const std::size_t at = message.find(placeholder);
        if (at != std::string::npos) {
            message.replace(at, placeholder.size(), tree.root());
        }
        EXPECT_EQ(run_installer(with_root(row.args, tree.root()), "y\n"), outcome(1, "", message));
        EXPECT_EQ(tree.snapshot(), before);
    }
}

} // namespace

TEST(InstallerCommandLine, RejectsUnknownSwitchesBeforeDoingAnything)
{
    const std::vector<CommandLineCase> cases = {
        {{"-", kRoot}, unknown_switch("-")},
        {{"-S", kRoot}, unknown_switch("-S")},
        {{"-x", kRoot}, unknown_switch("-x")},
        {{"--s", kRoot}, unknown_switch("--s")},
        {{kRoot, "-x"}, unknown_switch("-x")},
        {{"-s", "-Silent", kRoot}, unknown_switch("-Silent")},
    };
    expect_refused_command_lines(cases);
}

TEST(InstallerCommandLine, NamesTheSecondRootInItsError)
{
    const std::vector<CommandLineCase> cases = {
        {{kRoot, "other"}, second_root("other")},
        {{kRoot, "-s", "an other root"}, second_root("an other root")},
        {{"other", kRoot}, second_root("<root>")},
    };
    expect_refused_command_lines(cases);
}

TEST(InstallerCommandLine, ReportsOnlyTheFirstError)
{
    const std::vector<CommandLineCase> cases = {
        {{"-x", kRoot, "other", "-y"}, unknown_switch("-x")},
        {{kRoot, "other", "-x"}, second_root("other")},
        {{kRoot, "-y", "other", "-x"}, unknown_switch("-y")},
        {{kRoot, "first", "second"}, second_root("first")},
    };
    expect_refused_command_lines(cases);
}

/* What "%~dp0" gives in a batch file, "C:\dir\", ends in a backslash that
 * escapes the closing quote: the root then holds that quote. */
TEST(InstallerCommandLine, RefusesARootHoldingADoubleQuote)
{
    const std::string quoted = "C:\\Program Files\\Ostrel 5.2\"";
    const std::vector<CommandLineCase> cases = {
        {{"-s", quoted}, quoted_root(quoted)},
        {{quoted, kRoot}, quoted_root(quoted)},
        {{"\"", "-s"}, quoted_root("\"")},
        {{kRoot, quoted}, second_root(quoted)},
    };
    expect_refused_command_lines(cases);
}

TEST(InstallerCommandLine, TakesAnEmptyArgumentAsTheRoot)
{
    DistributionTree tree;
    const auto before = tree.snapshot();
    EXPECT_EQ(run_installer({"", tree.root()}, "y\n"), outcome(1, "", second_root(tree.root())));
    EXPECT_EQ(run_installer({tree.root(), ""}, "y\n"), outcome(1, "", second_root("")));
    EXPECT_EQ(run_installer({"", "-x"}, "y\n"), outcome(1, "", unknown_switch("-x")));
    EXPECT_EQ(run_installer({"-s", ""}, ""), outcome(1, "", cannot_open("\\Install.ini")));
    EXPECT_EQ(tree.snapshot(), before);
}

TEST(InstallerCommandLine, AcceptsTheSilentSwitchAnywhereAndRepeated)
{
    const std::vector<std::vector<std::string>> cases = {
        {"-s", kRoot},       {kRoot, "-s"},        {"-silent", kRoot},
        {"-s", "-s", kRoot}, {kRoot, "-sx", "-s"}, {"-s", kRoot, "-silent"},
    };
    for (const std::vector<std::string> &args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        DistributionTree tree;
        EXPECT_EQ(run_installer(with_root(args, tree.root()), "no\n"), outcome(0, "", ""));
        EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Minimal));
    }
}

TEST(InstallerCommandLine, UsesTheRootExactlyAsTypedWithATrailingBackslash)
{
    DistributionTree tree;
    const std::string root = tree.root() + "\\";
    EXPECT_EQ(run_installer({"-s", root}, ""), outcome(0, "", ""));
    EXPECT_TRUE(is_installed(tree, root, Startup::Minimal));

    tree.remove("Install.ini");
    EXPECT_EQ(run_installer({"-s", root}, ""), outcome(1, "", cannot_open(root + "\\Install.ini")));
}

/* A root relative to the current directory reads and writes where it
 * names, but the launcher configuration takes its full path, with "." and
 * ".." resolved, so that the launcher finds its runtime wherever it is
 * started. */
TEST(InstallerCommandLine, WritesTheFullPathOfARelativeRootIntoTheLauncherConfiguration)
{
    DistributionTree tree;
    const std::string name = tree.layout().root_name;
    const std::string root = with_backslashes(tree.root());
    const std::string beside_root = std::filesystem::path(tree.root()).parent_path().string();
    const std::pair<std::string, std::string> runs[] = {
        {beside_root, name},
        {tree.root(), "."},
        {beside_root, name + "\\"},
        {tree.root(), "..\\" + name},
        {beside_root, ".\\" + name + "\\."},
    };
    for (const auto &[directory, relative] : runs) {
        SCOPED_TRACE(relative);
        ProcessOptions options;
        options.directory = directory;
        EXPECT_EQ(run_installer({"-s", relative}, "", options), outcome(0, "", ""));
        EXPECT_TRUE(is_installed(tree, root, Startup::Minimal));
    }

    tree.remove("Install.ini");
    ProcessOptions options;
    options.directory = beside_root;
    EXPECT_EQ(run_installer({"-s", name}, "", options),
              outcome(1, "", cannot_open(join(name, "Install.ini"))));
}

TEST(InstallerCommandLine, AcceptsARootWithSpacesAndSemicolons)
{
    DistributionLayout layout;
    layout.root_name = "my root; v2";
    DistributionTree tree(layout);
    EXPECT_EQ(run_installer({tree.root()}, "yes\n"),
              outcome(0, kQuestion + success_line("1.0"), ""));
    EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Minimal));
}

TEST(InstallerQuestion, AsksOnStandardOutputAndKeepsTheFullStartupByDefault)
{
    DistributionTree tree;
    EXPECT_EQ(run_installer({tree.root()}, "\n"), outcome(0, kQuestion + success_line("1.0"), ""));
    EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Full));
}

TEST(InstallerQuestion, ChoosesTheMinimalStartupForYesInAnyCase)
{
    for (const char *input : {"y\n", "Y\n", "yes\n", "YES\n", "yEs\n", "yes\r\n", "Y\r\n",
                              "yes\rwhatever follows\n", "yes\r\rno\n", "yes\nno\n"}) {
        expect_installation_for_answer(input, Startup::Minimal);
    }
}

TEST(InstallerQuestion, KeepsTheFullStartupForEveryOtherAnswer)
{
    for (const char *input :
         {"\n", "\r\n", "no\n", "n\n", "NO\n", " y\n", "yes please\n", "yes \n", "y \n", "ye\n",
          "yess\n", "\ryes\n", "\tyes\n", "ja\n", "no\nyes\n"}) {
        expect_installation_for_answer(input, Startup::Full);
    }
}

TEST(InstallerQuestion, FailsWhenNoAnswerCanBeRead)
{
    DistributionTree tree;
    const auto before = tree.snapshot();
    EXPECT_EQ(run_installer({tree.root()}, ""), outcome(1, kQuestion, kNoAnswer));
    EXPECT_EQ(run_installer_without_input({tree.root()}), outcome(1, kQuestion, kNoAnswer));
    EXPECT_EQ(tree.snapshot(), before);
}

TEST(InstallerQuestion, AsksBeforeLookingAtTheManifest)
{
    DistributionTree tree;
    tree.remove("Install.ini");
    const auto before = tree.snapshot();
    EXPECT_EQ(run_installer({tree.root()}, "\n"),
              outcome(1, kQuestion, cannot_open(tree.path("Install.ini"))));
    EXPECT_EQ(run_installer({tree.root()}, ""), outcome(1, kQuestion, kNoAnswer));
    EXPECT_EQ(tree.snapshot(), before);
}

/* Its input stays open after the answer, as a console's does, but it is a
 * pipe: a run whose streams are not a console window of its own ends after
 * its last message, success or error, with nothing more and no wait. */
TEST(InstallerQuestion, EndsWithoutWaitingWhenItHasNoConsoleWindowOfItsOwn)
{
    DistributionTree tree;
    ProcessOptions open_input;
    open_input.input = ProcessInput::OpenPipe;
    open_input.time_limit_seconds = 30;
    EXPECT_EQ(run_installer({tree.root()}, "\n", open_input),
              outcome(0, kQuestion + success_line("1.0"), ""));
    tree.remove("Install.ini");
    EXPECT_EQ(run_installer({tree.root()}, "\n", open_input),
              outcome(1, kQuestion, cannot_open(tree.path("Install.ini"))));
}

TEST(InstallerQuestion, JudgesAnOverlongAnswerByItsStartAndDiscardsTheRestOfTheLine)
{
    const std::string ninety_nine(99, 'x');
    const std::vector<AnswerCase> cases = {
        {ninety_nine + "yes\n", Startup::Full},
        {ninety_nine + "y\n", Startup::Full},
        {ninety_nine + "\n", Startup::Full},
        {std::string(98, 'x') + "\nyes\n", Startup::Full},
        {std::string(150, 'y') + "\n", Startup::Full},
        {"yes\r" + std::string(200, 'x') + "\n", Startup::Minimal},
        {"yes\r" + std::string(95, 'x') + "\n", Startup::Minimal},
        {ninety_nine + "\nyes\n", Startup::Full},
        {std::string(1000, 'n') + "\ny\n", Startup::Full},
    };
    for (const AnswerCase &row : cases) {
        expect_installation_for_answer(row.input, row.startup);
    }
}

TEST(InstallerQuestion, TakesAnAnswerWithoutAFinalLineFeed)
{
    const std::vector<AnswerCase> cases = {
        {"yes", Startup::Minimal}, {"Y", Startup::Minimal}, {"yes\r", Startup::Minimal},
        {"no", Startup::Full},     {"n", Startup::Full},    {" ", Startup::Full},
    };
    for (const AnswerCase &row : cases) {
        expect_installation_for_answer(row.input, row.startup);
    }
}

TEST(InstallerQuestion, GoesOnWhenInputEndsWhileTheRestOfALongLineIsDiscarded)
{
    const std::vector<AnswerCase> cases = {
        {std::string(150, 'z'), Startup::Full},
        {std::string(99, 'z'), Startup::Full},
        {"yes\r" + std::string(150, 'z'), Startup::Minimal},
        {"y\r" + std::string(97, 'z'), Startup::Minimal},
    };
    for (const AnswerCase &row : cases) {
        expect_installation_for_answer(row.input, row.startup);
    }
}

TEST(InstallerSilentRun, PrintsNothingAndMakesTheMinimalStartupTheDefault)
{
    DistributionTree tree;
    EXPECT_EQ(run_installer({"-s", tree.root()}, "no\n"), outcome(0, "", ""));
    EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Minimal));
}

TEST(InstallerSilentRun, NeedsNoStandardInput)
{
    DistributionTree tree;
    EXPECT_EQ(run_installer_without_input({"-s", tree.root()}), outcome(0, "", ""));
    EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Minimal));
}

TEST(InstallerSilentRun, ReportsFailuresOnStandardErrorOnly)
{
    DistributionTree tree;
    tree.remove("Install.ini");
    expect_silent_failure(tree, cannot_open(tree.path("Install.ini")));
}

TEST(InstallerOwnDirectory, TakesTheRootFromItsOwnPathWhenNoneIsGiven)
{
    DistributionTree tree;
    const std::string copy = tree.copy_into_root(installer_program());
    const std::string root = with_backslashes(tree.root());
    EXPECT_EQ(run_process(copy, {}, "\n"), outcome(0, kQuestion + success_line("1.0"), ""));
    EXPECT_TRUE(is_installed(tree, root, Startup::Full));
}

TEST(InstallerOwnDirectory, TakesTheRootFromItsOwnPathInASilentRun)
{
    DistributionTree tree;
    const std::string copy = tree.copy_into_root(installer_program());
    const std::string root = with_backslashes(tree.root());
    EXPECT_EQ(run_process(copy, {"-s"}, "no\n"), outcome(0, "", ""));
    EXPECT_TRUE(is_installed(tree, root, Startup::Minimal));
}

TEST(InstallerOwnDirectory, LooksForTheManifestBesideItself)
{
    DistributionTree tree;
    tree.remove("Install.ini");
    const std::string copy = tree.copy_into_root(installer_program());
    const auto before = tree.snapshot();
    EXPECT_EQ(run_process(copy, {"-s"}, ""),
              outcome(1, "", cannot_open(join(with_backslashes(tree.root()), "Install.ini"))));
    EXPECT_EQ(
        run_process(copy, {}, "y\n"),
        outcome(1, kQuestion, cannot_open(join(with_backslashes(tree.root()), "Install.ini"))));
    EXPECT_EQ(tree.snapshot(), before);
}
