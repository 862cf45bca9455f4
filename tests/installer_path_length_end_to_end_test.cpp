/* SPDX-License-Identifier: MIT */
/* End-to-end cases for the installer's path-length limit: every path it
 * builds lies in a buffer of 260 characters, so the longest may have 259.
 * Each case builds a root, a runtime version or a release version that makes
 * the longest path exactly 259 characters (a complete installation) or 260
 * (one line on standard error, exit status 1, nothing created). */
#include "support/distribution.h"
#include "support/installer_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace
{

/* The longest path that fits into a buffer of 260 characters with its NUL. */
const std::size_t kLongestPath = 259;

/* Every path the installer builds from root, the runtime version vsn and
 * the release version system_vsn. */
std::vector<std::string> built_paths(const std::string &root, const std::string &vsn,
                                     const std::string &system_vsn)
{
    const std::string runtime_bin = join(join(root, "ostcore-" + vsn), "bin");
    const std::string release = join(join(root, "releases"), system_vsn);
    const std::string publish = join(root, "bin");
    std::vector<std::string> paths = {join(root, "Install.ini"), runtime_bin, release, publish};
    for (const std::string &name : published_executables()) {
        paths.push_back(join(runtime_bin, name));
        paths.push_back(join(publish, name));
    }
    paths.push_back(join(publish, "drive_qa.exe"));
    for (const std::string &name : boot_scripts()) {
        paths.push_back(join(release, name));
        paths.push_back(join(publish, name));
    }
    paths.push_back(join(publish, "start.boot"));
    paths.push_back(join(runtime_bin, "ost.ini"));
    paths.push_back(join(publish, "ost.ini"));
    return paths;
}

std::size_t longest_built_path(const std::string &root, const std::string &vsn,
                               const std::string &system_vsn)
{
    std::size_t longest = 0;
    for (const std::string &path : built_paths(root, vsn, system_vsn)) {
        longest = std::max(longest, path.size());
    }
    return longest;
}

/* The length of a root text that makes the longest path built with the
 * default versions exactly length characters long. */
std::size_t root_length_for(std::size_t length)
{
    const DistributionLayout defaults;
    return length - longest_built_path("", defaults.vsn, defaults.system_vsn);
}

/* A version text of length characters. */
std::string version_of_length(std::size_t length)
{
    return std::string(length, '9');
}

/* The length of a version that, standing for the runtime version (or for
 * the release version when for_release is set) under root, makes the
 * longest built path exactly length characters long. */
std::size_t version_length_for(const std::string &root, bool for_release, std::size_t length)
{
    const DistributionLayout defaults;
    for (std::size_t size = 0; size < length; size++) {
        const std::string version = version_of_length(size);
        const std::size_t longest = for_release
                                        ? longest_built_path(root, defaults.vsn, version)
                                        : longest_built_path(root, version, defaults.system_vsn);
        if (longest == length) {
            return size;
        }
    }
    ADD_FAILURE() << "no version makes a path of " << length << " characters under " << root;
    return 0;
}

/* What a case lengthens to give the longest built path its length. */
enum class Lengthened { Root, RuntimeVersion, ReleaseVersion };

/* The default layout, with only the manifest when manifest_only is set, and
 * with what lengthened so that the longest path the installer builds has
 * exactly length characters. */
DistributionLayout layout_with_longest_path(Lengthened what, std::size_t length,
                                            bool manifest_only = false)
{
    DistributionLayout layout;
    layout.manifest_only = manifest_only;
    if (what == Lengthened::Root) {
        layout.root_length = root_length_for(length);
        return layout;
    }
    const DistributionTree probe(layout);
    const bool for_release = what == Lengthened::ReleaseVersion;
    (for_release ? layout.system_vsn : layout.vsn) =
        version_of_length(version_length_for(probe.root(), for_release, length));
    return layout;
}

/* The line the installer ends with when path would not fit its buffer. */
std::string path_too_long(const std::string &path)
{
    return "Path too long (more than 259 characters): " + path + "\n";
}

/* Checks a run that the installer refused because offending, a path it
 * builds, would not fit: exit status 1, nothing on standard output, the one
 * line that names the path on standard error, and the tree as it was before. */
void expect_rejected_as_too_long(const ProcessResult &result, const DistributionTree &tree,
                                 const std::map<std::string, std::string> &before,
                                 const std::string &offending)
{
    ASSERT_EQ(offending.size(), kLongestPath + 1);
    EXPECT_EQ(result, outcome(1, "", path_too_long(offending)));
    EXPECT_EQ(line_count(result.err), 1u);
    EXPECT_EQ(tree.snapshot(), before);
}

} // namespace

TEST(InstallerPathLength, InstallsWhenTheRootMakesTheLongestPathFillTheBuffer)
{
    const DistributionLayout layout = layout_with_longest_path(Lengthened::Root, kLongestPath);
    DistributionTree tree(layout);
    ASSERT_EQ(longest_built_path(tree.root(), layout.vsn, layout.system_vsn), kLongestPath);
    EXPECT_EQ(run_silently(tree), outcome(0, "", ""));
    EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Minimal));
}

TEST(InstallerPathLength, RejectsARootThatMakesAPathOneCharacterTooLong)
{
    const DistributionLayout layout =
        layout_with_longest_path(Lengthened::Root, kLongestPath + 1, true);
    DistributionTree tree(layout);
    ASSERT_EQ(longest_built_path(tree.root(), layout.vsn, layout.system_vsn), kLongestPath + 1);
    const auto before = tree.snapshot();
    expect_rejected_as_too_long(run_silently(tree), tree, before,
                                tree.path(join(tree.runtime_bin(), "qa_drive.exe")));
}

/* The runtime bin directory is built before the release version is looked up,
 * the paths of the files in it only after: a root that leaves room for the
 * directory but not for its files gets the missing key reported. */
TEST(InstallerPathLength, ReportsAMissingReleaseVersionBeforeTheLengthOfAnyFilePath)
{
    DistributionLayout layout = layout_with_longest_path(Lengthened::Root, kLongestPath + 1, true);
    layout.manifest = "[Install]\nVSN=" + layout.vsn + "\n";
    DistributionTree tree(layout);
    ASSERT_LE(tree.path(tree.runtime_bin()).size(), kLongestPath);
    expect_silent_failure(tree,
                          "No key SYSTEM_VSN in init file " + tree.path("Install.ini") + "\n");
}

TEST(InstallerPathLength, RejectsARootTooLongForTheManifestPath)
{
    DistributionLayout layout;
    layout.root_length = kLongestPath + 1 - std::string("\\Install.ini").size();
    layout.manifest_only = true;
    DistributionTree tree(layout);
    const auto before = tree.snapshot();
    expect_rejected_as_too_long(run_silently(tree), tree, before, tree.path("Install.ini"));
}

TEST(InstallerPathLength, InstallsWhenTheRuntimeVersionMakesTheLongestPathFillTheBuffer)
{
    const DistributionLayout layout =
        layout_with_longest_path(Lengthened::RuntimeVersion, kLongestPath);
    DistributionTree tree(layout);
    ASSERT_EQ(longest_built_path(tree.root(), layout.vsn, layout.system_vsn), kLongestPath);
    EXPECT_EQ(run_installer({tree.root()}, "\n"),
              outcome(0, kQuestion + success_line(layout.vsn), ""));
    EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Full));
}

TEST(InstallerPathLength, RejectsARuntimeVersionThatMakesAPathOneCharacterTooLong)
{
    const DistributionLayout layout =
        layout_with_longest_path(Lengthened::RuntimeVersion, kLongestPath + 1, true);
    DistributionTree tree(layout);
    ASSERT_EQ(longest_built_path(tree.root(), layout.vsn, layout.system_vsn), kLongestPath + 1);
    const auto before = tree.snapshot();
    expect_rejected_as_too_long(run_silently(tree), tree, before,
                                tree.path(join(tree.runtime_bin(), "qa_drive.exe")));
}

TEST(InstallerPathLength, RejectsARuntimeVersionLongerThanItsBuffer)
{
    for (std::size_t length : {kLongestPath + 1, kLongestPath + 100}) {
        SCOPED_TRACE(length);
        DistributionLayout layout;
        layout.vsn = version_of_length(length);
        layout.manifest_only = true;
        DistributionTree tree(layout);
        expect_silent_failure(tree,
                              "Value of VSN too long (more than 259 characters) in init file " +
                                  tree.path("Install.ini") + "\n");
    }
}

TEST(InstallerPathLength, RejectsARuntimeVersionThatFitsItsOwnBufferButNoPath)
{
    DistributionLayout layout;
    layout.vsn = version_of_length(kLongestPath);
    layout.manifest_only = true;
    DistributionTree tree(layout);
    expect_silent_failure(tree, path_too_long(tree.path(tree.runtime_bin())));
}

TEST(InstallerPathLength, InstallsWhenTheReleaseVersionMakesTheLongestPathFillTheBuffer)
{
    const DistributionLayout layout =
        layout_with_longest_path(Lengthened::ReleaseVersion, kLongestPath);
    DistributionTree tree(layout);
    ASSERT_EQ(longest_built_path(tree.root(), layout.vsn, layout.system_vsn), kLongestPath);
    EXPECT_EQ(run_silently(tree), outcome(0, "", ""));
    EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Minimal));
}

TEST(InstallerPathLength, RejectsAReleaseVersionThatMakesAPathOneCharacterTooLong)
{
    const DistributionLayout layout =
        layout_with_longest_path(Lengthened::ReleaseVersion, kLongestPath + 1, true);
    DistributionTree tree(layout);
    ASSERT_EQ(longest_built_path(tree.root(), layout.vsn, layout.system_vsn), kLongestPath + 1);
    const auto before = tree.snapshot();
    /* Both boot scripts' sources are too long; the minimal one comes first. */
    expect_rejected_as_too_long(run_silently(tree), tree, before,
                                tree.path(join(tree.release(), "start_bare.boot")));
}

TEST(InstallerPathLength, InstallsWhenItsOwnDirectoryMakesTheLongestPathFillTheBuffer)
{
    const DistributionLayout layout = layout_with_longest_path(Lengthened::Root, kLongestPath);
    DistributionTree tree(layout);
    const std::string copy = tree.copy_into_root(installer_program());
    const std::string root = with_backslashes(tree.root());
    ASSERT_EQ(longest_built_path(root, layout.vsn, layout.system_vsn), kLongestPath);
    EXPECT_EQ(run_process(copy, {"-s"}, ""), outcome(0, "", ""));
    EXPECT_TRUE(is_installed(tree, root, Startup::Minimal));
}

TEST(InstallerPathLength, RejectsItsOwnDirectoryWhenItMakesAPathOneCharacterTooLong)
{
    DistributionTree tree(layout_with_longest_path(Lengthened::Root, kLongestPath + 1, true));
    const std::string copy = tree.copy_into_root(installer_program());
    const auto before = tree.snapshot();
    expect_rejected_as_too_long(
        run_process(copy, {"-s"}, ""), tree, before,
        join(join(with_backslashes(tree.root()), tree.runtime_bin()), "qa_drive.exe"));
}

TEST(InstallerPathLength, RejectsAnExecutablePathLongerThanItsBuffer)
{
    DistributionLayout layout;
    layout.root_length = 2 * kLongestPath;
    layout.manifest_only = true;
    std::unique_ptr<DistributionTree> tree;
    std::string copy;
    std::map<std::string, std::string> before;
    try {
        tree = std::make_unique<DistributionTree>(layout);
        copy = tree->copy_into_root(installer_program());
        before = tree->snapshot();
    } catch (const std::filesystem::filesystem_error &error) {
        GTEST_SKIP() << "this system cannot make and list a path that long: " << error.what();
    }
    EXPECT_EQ(run_process(copy, {"-s"}, ""), outcome(1, "", kExecutablePathTooLong));
    EXPECT_EQ(tree->snapshot(), before);
}
