/* SPDX-License-Identifier: MIT */
/* End-to-end cases for the installer's manifest "Install.ini": which files it
 * refuses, which sections and keys it needs, and how it reads their values. */
#include "ini_model.h"
#include "support/distribution.h"
#include "support/installer_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

/* A row of a manifest table: a name for the trace and the manifest text. */
struct ManifestCase {
    const char *name;
    std::string manifest;
};

/* Runs a silent installation over a tree whose manifest is text and checks
 * that it ends with message (followed by the manifest path) having created
 * nothing. */
void expect_refused_manifest(const ManifestCase &row, const std::string &message)
{
    SCOPED_TRACE(row.name);
    DistributionTree tree;
    tree.write_file("Install.ini", row.manifest);
    expect_silent_failure(tree, message + tree.path("Install.ini") + "\n");
}

const char kValidManifest[] = "[Install]\nVSN=1.0\nSYSTEM_VSN=A1\n";

} // namespace

TEST(InstallerManifest, ReportsAMissingManifest)
{
    DistributionTree tree;
    tree.remove("Install.ini");
    expect_silent_failure(tree, cannot_open(tree.path("Install.ini")));
}

TEST(InstallerManifest, ReportsAManifestThatIsADirectory)
{
    DistributionTree tree;
    tree.replace_with_directory("Install.ini");
    expect_silent_failure(tree, cannot_open(tree.path("Install.ini")));
}

TEST(InstallerManifest, RefusesAManifestThatIsNotWellFormed)
{
    const std::vector<ManifestCase> cases = {
        {"key line before the first section", "VSN=1.0\n[Install]\nSYSTEM_VSN=A1\n"},
        {"byte-order mark", "\xEF\xBB\xBF" + std::string(kValidManifest)},
        {"line that begins with an equals sign", "[Install]\nVSN=1.0\n=A1\nSYSTEM_VSN=A1\n"},
        {"line that is neither entry nor header", "[Install]\nVSN=1.0\nSYSTEM_VSN A1\n"},
        {"empty brackets as the first header", "[]\nVSN=1.0\nSYSTEM_VSN=A1\n"},
        {"lines ended by carriage returns alone", "[Install]\rVSN=1.0\rSYSTEM_VSN=A1\r"},
    };
    for (const ManifestCase &row : cases) {
        expect_refused_manifest(row, "Cannot open init file ");
    }
}

TEST(InstallerManifest, ReportsAMissingInstallSection)
{
    const std::vector<ManifestCase> cases = {
        {"empty file", ""},
        {"only blank and comment lines", "; Ostrel distribution\n\n   \n; nothing else\n"},
        {"lower-case section name", "[install]\nVSN=1.0\nSYSTEM_VSN=A1\n"},
        {"spaces inside the brackets", "[ Install ]\nVSN=1.0\nSYSTEM_VSN=A1\n"},
        {"other section only", "[Other]\nVSN=1.0\nSYSTEM_VSN=A1\n"},
    };
    for (const ManifestCase &row : cases) {
        expect_refused_manifest(row, "No [Install] section in init file ");
    }
}

TEST(InstallerManifest, ReportsAMissingRuntimeVersionFirst)
{
    const std::vector<ManifestCase> cases = {
        {"no VSN", "[Install]\nSYSTEM_VSN=A1\n"},
        {"neither key", "[Install]\n"},
        {"neither key but others", "[Install]\nNAME=Ostrel\n"},
        {"lower-case key", "[Install]\nvsn=1.0\nSYSTEM_VSN=A1\n"},
        {"VSN in another section", "[Install]\nSYSTEM_VSN=A1\n[Other]\nVSN=1.0\n"},
        {"VSN in a second Install section", "[Install]\nSYSTEM_VSN=A1\n[Install]\nVSN=1.0\n"},
    };
    for (const ManifestCase &row : cases) {
        expect_refused_manifest(row, "No key VSN in init file ");
    }
}

TEST(InstallerManifest, ReportsAMissingReleaseVersion)
{
    const std::vector<ManifestCase> cases = {
        {"no SYSTEM_VSN", "[Install]\nVSN=1.0\n"},
        {"misspelt key", "[Install]\nVSN=1.0\nSYSTEM-VSN=A1\n"},
        {"SYSTEM_VSN in another section", "[Other]\nSYSTEM_VSN=A1\n[Install]\nVSN=1.0\n"},
        {"SYSTEM_VSN in a second Install section",
         "[Install]\nVSN=1.0\n[Install]\nSYSTEM_VSN=A1\n"},
    };
    for (const ManifestCase &row : cases) {
        expect_refused_manifest(row, "No key SYSTEM_VSN in init file ");
    }
}

TEST(InstallerManifest, TakesAnEmptyRuntimeVersion)
{
    DistributionLayout layout;
    layout.vsn = "";
    DistributionTree tree(layout);
    ASSERT_EQ(tree.runtime_bin(), "ostcore-\\bin");
    EXPECT_EQ(run_installer({tree.root()}, "\n"), outcome(0, kQuestion + success_line(""), ""));
    EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Full));
    EXPECT_EQ(tree.read_file("bin\\ost.ini"),
              "[ostrel]\nBindir=" + model_escaped(tree.root() + "\\ostcore-\\bin") +
                  "\nProgname=ost\nRootdir=" + model_escaped(tree.root()) + "\n");
}

TEST(InstallerManifest, IgnoresSpacesAroundTheEqualsSign)
{
    DistributionLayout layout;
    layout.manifest = "[Install]\n  VSN   =   1.0  \nSYSTEM_VSN= A1\n";
    DistributionTree tree(layout);
    EXPECT_EQ(run_installer({tree.root()}, "\n"), outcome(0, kQuestion + success_line("1.0"), ""));
    EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Full));
}

TEST(InstallerManifest, UsesTheFirstOfDuplicateKeysAndSections)
{
    DistributionLayout layout;
    layout.manifest = "[Install]\nVSN=1.0\nVSN=9.9\nSYSTEM_VSN=A1\nSYSTEM_VSN=B2\n"
                      "[Install]\nVSN=8.8\nSYSTEM_VSN=C3\n";
    DistributionTree tree(layout);
    EXPECT_EQ(run_silently(tree), outcome(0, "", ""));
    EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Minimal));
}

TEST(InstallerManifest, SkipsCommentsBlankLinesAndOtherSections)
{
    DistributionLayout layout;
    layout.manifest = "; Ostrel distribution manifest\r\n\r\n[Meta]\r\nVSN=7.7\r\n"
                      "[Install]\r\nNAME=Ostrel ; the product\r\nVSN=1.0 ; runtime\r\n"
                      "\r\nSYSTEM_VSN=A1";
    DistributionTree tree(layout);
    EXPECT_EQ(run_installer({tree.root()}, "y\n"), outcome(0, kQuestion + success_line("1.0"), ""));
    EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Minimal));
}

TEST(InstallerManifest, UsesTheVersionsAsTextWithEscapesResolved)
{
    DistributionLayout layout;
    layout.vsn = "2.0 beta;1";
    layout.system_vsn = "R=12";
    layout.manifest = "[Install]\nVSN=2.0 beta\\;1\nSYSTEM_VSN=R=12\n";
    DistributionTree tree(layout);
    EXPECT_EQ(run_installer({tree.root()}, "\n"),
              outcome(0, kQuestion + success_line("2.0 beta;1"), ""));
    EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Full));
    EXPECT_EQ(tree.read_file("ostcore-2.0 beta;1\\bin\\ost.ini"),
              "[ostrel]\nBindir=" + model_escaped(tree.root()) +
                  "\\\\ostcore-2.0 beta\\;1\\\\bin\nProgname=ost\nRootdir=" +
                  model_escaped(tree.root()) + "\n");
}

/* Each value would lead a path out of the root to "outside", a directory
 * beside it that holds every file the installer would read there, or to a
 * drive or stream, or would put a control byte on the terminal. */
TEST(InstallerManifest, RefusesVersionsThatLeaveTheRootOrHoldControlBytes)
{
    struct Row {
        const char *name;
        const char *refused_key;
        std::string vsn;
        std::string system_vsn;
    };
    const std::string kTooLong(300, '9');
    const std::vector<Row> rows = {
        {"runtime version up by backslashes", "VSN", "1.0\\..\\..\\outside", "A1"},
        {"runtime version up by slashes", "VSN", "1.0/../../outside", "A1"},
        {"release version up by backslashes", "SYSTEM_VSN", "1.0", "A1\\..\\..\\..\\outside"},
        {"release version up by slashes", "SYSTEM_VSN", "1.0", "A1/../../../outside"},
        {"colon: a stream", "VSN", "1.0:stream", "A1"},
        {"colon: a drive", "SYSTEM_VSN", "1.0", "C:"},
        {"escape byte", "VSN", "1.0\x1b[2J", "A1"},
        {"tab", "SYSTEM_VSN", "1.0", "A\t1"},
        {"delete byte", "VSN", "1.0\x7f", "A1"},
        {"both refused: the runtime version first", "VSN", "..\\x", "..\\y"},
        {"too long as well: refused for what it holds", "VSN", kTooLong + "/", "A1"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        DistributionTree tree;
        for (const std::string &name : published_executables()) {
            tree.write_file("..\\outside\\bin\\" + name, "outside " + name);
        }
        for (const std::string &name : boot_scripts()) {
            tree.write_file(std::string("..\\outside\\") + name, "outside");
        }
        tree.write_file("Install.ini", "[Install]\nVSN=" + model_escaped(row.vsn) +
                                           "\nSYSTEM_VSN=" + model_escaped(row.system_vsn) + "\n");
        expect_silent_failure(tree, unsafe_value(row.refused_key, tree.path("Install.ini")));
    }
}

/* ".." alone holds no separator, so it stays inside the root. (As a runtime
 * version it would make "ostcore-..", which Windows reads as "ostcore-", as
 * it drops the dots at the end of a name.) */
TEST(InstallerManifest, TakesVersionsThatStayInsideTheRoot)
{
    struct Row {
        const char *name;
        std::string vsn;
        std::string system_vsn;
    };
    const std::vector<Row> rows = {
        {"dots inside a name", "1..0", "A..1"},
        {"two dots alone: the root's releases directory", "1.0", ".."},
        {"bytes of 0x80 and above", "1.0\xe9", "A\xa0"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        DistributionLayout layout;
        layout.vsn = row.vsn;
        layout.system_vsn = row.system_vsn;
        DistributionTree tree(layout);
        EXPECT_EQ(run_silently(tree), outcome(0, "", ""));
        EXPECT_TRUE(is_installed(tree, tree.root(), Startup::Minimal));
    }
}
