/* SPDX-License-Identifier: MIT */
#include "installer_run.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

#ifndef OSTREL_INSTALLER_PATH
#error "The build must define OSTREL_INSTALLER_PATH as the path of the installer executable"
#endif

const std::string &installer_program()
{
    const char *chosen = std::getenv("OSTREL_TEST_INSTALLER");
    static const std::string program =
        native_program_path(chosen != nullptr && *chosen != '\0' ? chosen : OSTREL_INSTALLER_PATH);
    return program;
}

ProcessResult run_installer(const std::vector<std::string> &args, const std::string &stdin_text,
                            const ProcessOptions &options)
{
    return run_process(installer_program(), args, stdin_text, options);
}

ProcessResult run_installer_without_input(const std::vector<std::string> &args)
{
    ProcessOptions options;
    options.input = ProcessInput::None;
    return run_installer(args, "", options);
}

ProcessResult run_silently(const DistributionTree &tree)
{
    return run_installer({"-s", tree.root()}, "");
}

void expect_silent_failure(const DistributionTree &tree, const std::string &message)
{
    const auto before = tree.snapshot();
    EXPECT_EQ(run_silently(tree), outcome(1, "", message));
    EXPECT_EQ(tree.snapshot(), before);
}

const char kRoot[] = "<root>";

std::vector<std::string> with_root(const std::vector<std::string> &args, const std::string &root)
{
    std::vector<std::string> replaced = args;
    std::replace(replaced.begin(), replaced.end(), std::string(kRoot), root);
    return replaced;
}

ProcessResult outcome(int status, const std::string &out, const std::string &err)
{
    return ProcessResult{status, out, err, ""};
}

bool operator==(const ProcessResult &left, const ProcessResult &right)
{
    return left.status == right.status && left.out == right.out && left.err == right.err &&
           left.problem == right.problem;
}

void PrintTo(const ProcessResult &result, std::ostream *stream)
{
    *stream << "{status " << result.status << ", stdout " << ::testing::PrintToString(result.out)
            << ", stderr " << ::testing::PrintToString(result.err);
    if (!result.problem.empty()) {
        *stream << ", problem " << ::testing::PrintToString(result.problem);
    }
    *stream << "}";
}

std::size_t line_count(const std::string &text)
{
    std::size_t lines = (std::size_t)std::count(text.begin(), text.end(), '\n');
    if (!text.empty() && text.back() != '\n') {
        lines++;
    }
    return lines;
}

namespace
{

/* Adds a line to report when the file at relative does not hold expected. */
void installer_compare(const DistributionTree &tree, const std::string &relative,
                       const std::optional<std::string> &expected, std::ostringstream &report)
{
    const std::optional<std::string> actual = tree.read_file(relative);
    if (!expected) {
        report << "\n  the source for " << relative << " is missing from the tree";
    } else if (!actual) {
        report << "\n  " << relative << " is not a file";
    } else if (*actual != *expected) {
        report << "\n  " << relative << " holds " << ::testing::PrintToString(*actual)
               << " instead of " << ::testing::PrintToString(*expected);
    }
}

/* Whether name, as DistributionTree::list gives it, is one of not_copied. */
bool installer_is_skipped(const std::vector<std::string> &not_copied, const std::string &name)
{
    std::string plain = name;
    if (!plain.empty() && plain.back() == '\\') {
        plain.pop_back();
    }
    return std::find(not_copied.begin(), not_copied.end(), plain) != not_copied.end();
}

} // namespace

::testing::AssertionResult is_installed(const DistributionTree &tree, const std::string &root,
                                        Startup startup, const std::vector<std::string> &not_copied)
{
    std::ostringstream report;
    const std::string runtime_bin = tree.runtime_bin();
    const std::string release = tree.release();

    std::vector<std::pair<std::string, std::optional<std::string>>> expected;
    for (const std::string &name : published_executables()) {
        expected.emplace_back(name, tree.read_file(join(runtime_bin, name)));
    }
    expected.emplace_back("drive_qa.exe", tree.read_file(join(runtime_bin, "qa_drive.exe")));
    expected.emplace_back("start_bare.boot", tree.read_file(join(release, "start_bare.boot")));
    expected.emplace_back("start_mext.boot", tree.read_file(join(release, "start_mext.boot")));
    expected.emplace_back("start.boot", tree.read_file(join(release, startup == Startup::Minimal
                                                                         ? "start_bare.boot"
                                                                         : "start_mext.boot")));
    const std::string configuration = launcher_configuration(root, tree.layout().vsn);
    expected.emplace_back("ost.ini", configuration);

    std::vector<std::string> wanted_names;
    for (const auto &file : expected) {
        if (!installer_is_skipped(not_copied, file.first)) {
            wanted_names.push_back(file.first);
            installer_compare(tree, join("bin", file.first), file.second, report);
        }
    }
    installer_compare(tree, join(runtime_bin, "ost.ini"), configuration, report);

    std::vector<std::string> listed;
    for (const std::string &name : tree.list("bin")) {
        if (!installer_is_skipped(not_copied, name)) {
            listed.push_back(name);
        }
    }
    std::sort(wanted_names.begin(), wanted_names.end());
    if (listed != wanted_names) {
        report << "\n  bin holds " << ::testing::PrintToString(listed) << " instead of "
               << ::testing::PrintToString(wanted_names);
    }

    const std::string problems = report.str();
    if (problems.empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "the installation under " << tree.root() << " is not complete:" << problems;
}

std::vector<std::string> installed_files(const DistributionTree &tree)
{
    std::vector<std::string> files = {join(tree.runtime_bin(), "ost.ini")};
    std::vector<std::string> names = published_executables();
    names.push_back("drive_qa.exe");
    names.insert(names.end(), boot_scripts().begin(), boot_scripts().end());
    names.insert(names.end(), {"start.boot", "ost.ini"});
    for (const std::string &name : names) {
        files.push_back(join("bin", name));
    }
    return files;
}

void install_earlier(const DistributionTree &tree)
{
    for (const std::string &file : installed_files(tree)) {
        tree.write_file(file, "earlier " + file);
    }
}

::testing::AssertionResult holds_old_or_new(const DistributionTree &tree,
                                            const std::map<std::string, std::string> &earlier,
                                            const std::map<std::string, std::string> &installed,
                                            bool temporary_allowed)
{
    /* The snapshot's names: the root's name, "/", the path below it. */
    const std::string root = tree.layout().root_name + "/";
    const std::string earlier_runner = earlier.at(root + "bin/qa_drive.exe");
    const std::map<std::string, std::string> now = tree.snapshot();
    std::ostringstream report;
    std::vector<std::string> temporaries;
    for (const auto &[name, contents] : now) {
        auto old = earlier.find(name);
        auto made = installed.find(name);
        if ((old != earlier.end() && contents == old->second) ||
            (made != installed.end() && contents == made->second) ||
            (name == root + "bin/drive_qa.exe" && contents == earlier_runner)) {
            continue;
        }
        if (old == earlier.end() && made == installed.end() &&
            is_replacement_temporary(std::filesystem::path(name).filename().string())) {
            temporaries.push_back(name);
            if (!temporary_allowed) {
                report << "\n  " << name << " is left";
            }
        } else {
            report << "\n  " << name << " holds " << ::testing::PrintToString(contents);
        }
    }
    for (const auto &[name, contents] : earlier) {
        if (now.count(name) == 0) {
            report << "\n  " << name << " is gone";
        }
    }
    if (temporaries.size() > 1) {
        report << "\n  more than one temporary";
    }
    for (const std::string &name : temporaries) {
        tree.remove(with_backslashes(name.substr(root.size())));
    }
    if (report.str().empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << report.str();
}
