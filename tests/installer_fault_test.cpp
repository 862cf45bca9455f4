/* SPDX-License-Identifier: MIT */
/* The installer's steps when memory runs out or the file layer fails, with
 * the steps run in-process and the faults coming from the seam. Each
 * allocation of a step fails in turn: every run that meets the failure must
 * end with status 1 and the one line "Out of memory", leak nothing, and
 * create nothing a failed step must not. Each write, flush, close and move
 * fails, or ends the process, in turn: every file stays whole. */
#include "installer.h"
#include "platform/installer_platform.h"

#include <gtest/gtest.h>

#include <limits.h>
#include <stdio.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/distribution.h"
#include "support/installer_run.h"
#include "support/fault_injection.h"
#include "support/ini_view.h"
#include "support/temp_dir.h"

namespace
{

class InstallerFaults : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        fault_reset();
    }
    void TearDown() override
    {
        fault_reset();
    }

    /* Runs step with a fresh error stream and the n-th allocation failing;
     * returns the step's status and keeps what it printed in err_text. */
    template <typename Step> int run_failing(long n, Step step)
    {
        std::string err_path = scratch.file("err.txt");
        /* Binary, so that Windows keeps the line feeds as they were printed. */
        FILE *err = fopen(err_path.c_str(), "wb");
        EXPECT_NE(err, nullptr);
        fault_reset();
        fault_fail_allocation(n);
        int status = fault_watch([&] { return step(err); });
        fclose(err);
        err_text = read_file_bytes(err_path);
        return status;
    }

    /* What a step run by expect_out_of_memory_reported leaves, and why. */
    struct StepEffects {
        const char *made;         /* made only by a run that meets no failure; null: nothing */
        const char *why_not_made; /* why a failed run has not made it */
        const char *allocations;  /* what costs the step more than five allocations */
    };

    /* Fails each allocation of step in turn, then runs it with none failing.
     * A run that meets the failure must end with status 1 and the one line
     * "Out of memory", without effects.made in tree and leaking nothing; the
     * last run must end with status 0, print nothing and make it. */
    template <typename Step>
    void expect_out_of_memory_reported(Step step, const DistributionTree &tree,
                                       const StepEffects &effects)
    {
        const std::map<std::string, std::string> before = tree.snapshot();
        long failures = 0;
        for (long n = 0;; n++) {
            SCOPED_TRACE("allocation " + std::to_string(n) + " fails");
            int status = run_failing(n, step);
            if (effects.made == nullptr) {
                EXPECT_EQ(tree.snapshot(), before) << effects.why_not_made;
            }
            if (!fault_allocation_failed()) {
                EXPECT_EQ(status, 0);
                EXPECT_EQ(err_text, "");
                EXPECT_TRUE(effects.made == nullptr || tree.exists(effects.made));
                break;
            }
            failures++;
            EXPECT_EQ(status, 1);
            EXPECT_EQ(err_text, installer_out_of_memory_message);
            EXPECT_TRUE(effects.made == nullptr || !tree.exists(effects.made))
                << effects.why_not_made;
            ASSERT_LT(n, 1000);
        }
        EXPECT_GT(failures, 5) << effects.allocations;
    }

    TempDirectory scratch;
    std::string err_text;
};

TEST_F(InstallerFaults, ReportsOutOfMemoryWhileReadingTheManifestAndCreatesNothing)
{
    DistributionTree tree;
    InstallerSettings settings = {1, tree.root().c_str(), 0};
    InstallerManifest manifest;
    expect_out_of_memory_reported(
        [&](FILE *err) { return installer_read_manifest(&settings, &manifest, err); }, tree,
        {nullptr, "reading the manifest makes nothing",
         "the manifest's document, lines, section and entries"});
}

TEST_F(InstallerFaults, ReportsOutOfMemoryWhileWritingTheLauncherConfiguration)
{
    DistributionTree tree;
    InstallerSettings settings = {1, tree.root().c_str(), 0};
    InstallerManifest manifest;
    ASSERT_EQ(installer_read_manifest(&settings, &manifest, stderr), 0);
    expect_out_of_memory_reported(
        [&](FILE *err) { return installer_deploy(&settings, &manifest, stdout, err); }, tree,
        {"bin\\ost.ini", "no copy of a configuration not written",
         "the document, its section, its entries and the line buffer"});
}

/* A save, a copy and a run over an earlier installation that fail, or
 * whose process ends, at any write, flush, close or move leave every file
 * they replace whole, old or new: a failure leaves no temporary, an end at
 * most the one under way. A save or a copy reports each failure but that of
 * a close after its move. */
TEST_F(InstallerFaults, LeavesEveryFileOldOrNewWhateverStepFailsOrEndsTheProcess)
{
    DistributionTree tree;
    install_earlier(tree);
    InstallerSettings settings = {1, tree.root().c_str(), 0};
    InstallerManifest manifest;
    ASSERT_EQ(installer_read_manifest(&settings, &manifest, stderr), 0);
    IniDocument *doc = build_document({{"s", {{"path", "C:\\dir;x"}, {"k", "v"}}}, {"t", {}}});
    tree.write_file("source", std::string(200 * 1024, 'c')); /* four chunks of a copy */
    const std::string source = tree.path("source");
    const std::string saved = tree.path("saved.ini");
    const std::string copied = tree.path("copied");
    const std::string err_path = scratch.file("err.txt");

    const int kAny = INT_MIN; /* a result not looked at */
    struct Replacement {
        const char *what;
        std::function<void()> make_earlier;
        std::function<int()> run;
        int success;                    /* the result when nothing fails */
        int failures[FAULT_CALL_KINDS]; /* after a failed write, flush, close, move */
    };
    auto save = [&] { return ini_save_file(doc, saved.c_str()); };
    auto copy = [&] { return installer_platform_copy_file(source.c_str(), copied.c_str()); };
    const Replacement replacements[] = {
        {"a save over a file",
         [&] { tree.write_file("saved.ini", "old"); },
         save,
         0,
         {-2, -2, -2, -1}},
        {"a save of a new file", [&] { tree.remove("saved.ini"); }, save, 0, {-2, -2, -2, -1}},
        {"a copy over a file", [&] { tree.write_file("copied", "old"); }, copy, 1, {0, 0, 0, 0}},
        {"a copy to a new file", [&] { tree.remove("copied"); }, copy, 1, {0, 0, 0, 0}},
        {"a run over an installation",
         [&] { install_earlier(tree); },
         [&] {
             FILE *err = fopen(err_path.c_str(), "wb");
             int status = installer_deploy(&settings, &manifest, err, err);
             fclose(err);
             return status;
         },
         0,
         {kAny, kAny, kAny, kAny}},
    };
    const char *const kinds[] = {"write", "flush", "close", "move"};
    const char *const ways[] = {" fails", " falls short", " ends the process"};
    for (const Replacement &replacement : replacements) {
        replacement.make_earlier();
        const std::map<std::string, std::string> earlier = tree.snapshot();
        fault_reset();
        ASSERT_EQ(fault_watch(replacement.run), replacement.success) << replacement.what;
        const std::map<std::string, std::string> installed = tree.snapshot();
        long counts[FAULT_CALL_KINDS];
        for (int call = 0; call < FAULT_CALL_KINDS; call++) {
            counts[call] = fault_calls((FaultCall)call);
        }
        for (int call = 0; call < FAULT_CALL_KINDS; call++) {
            for (long n = 0; n < counts[call]; n++) {
                for (int way = 0; way < 3; way++) {
                    if (way == 1 && call != FAULT_CALL_WRITE) {
                        continue;
                    }
                    SCOPED_TRACE(std::string(replacement.what) + ", " + kinds[call] + " " +
                                 std::to_string(n) + ways[way]);
                    replacement.make_earlier();
                    fault_reset();
                    if (way == 2) {
                        fault_end_at_call((FaultCall)call, n);
                    } else if (way == 1) {
                        fault_fail_write(n, FAULT_WRITE_ALL_BUT_LAST);
                    } else {
                        fault_fail_call((FaultCall)call, n);
                    }
                    int result = fault_watch(replacement.run);
                    EXPECT_TRUE(holds_old_or_new(tree, earlier, installed, way == 2));
                    int expected = replacement.failures[call];
                    /* A copy closes its source after the move. */
                    if (expected != kAny && call == FAULT_CALL_CLOSE && n > 0) {
                        expected = replacement.success;
                    }
                    if (way != 2 && expected != kAny) {
                        EXPECT_EQ(result, expected);
                    }
                }
            }
        }
    }
    ini_free_document(doc);
}

} // namespace
