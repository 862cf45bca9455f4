/* SPDX-License-Identifier: MIT */
/* The installer's steps when memory runs out or the file layer fails, with
 * the steps run in-process and the faults coming from the seam. Each
 * allocation of a step fails in turn: every run that meets the failure must
 * end with status 1 and the one line "Out of memory", leak nothing, and
 * create nothing a failed step must not. Each write, flush, close and move
 * fails, or ends the process, in turn: every file stays whole. */
#include "installer.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <map>
#include <string>
#include <vector>

#include "support/distribution.h"
#include "support/installer_run.h"
#include "support/fault_injection.h"
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
        const char *released;     /* what a failed run must have released */
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
            EXPECT_EQ(fault_live_allocations(), 0) << effects.released;
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
        {nullptr, "reading the manifest makes nothing", "the manifest is released",
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
         "the configuration document is released",
         "the document, its section, its entries and the line buffer"});
}

TEST_F(InstallerFaults, LeavesEveryFileOldOrNewWhereverARunOverAnInstallationFailsOrEnds)
{
    DistributionTree tree;
    InstallerSettings settings = {1, tree.root().c_str(), 0};
    InstallerManifest manifest;
    ASSERT_EQ(installer_read_manifest(&settings, &manifest, stderr), 0);
    install_earlier(tree);
    const std::map<std::string, std::string> earlier = tree.snapshot();
    std::string err_path = scratch.file("err.txt");
    auto deploy = [&] {
        FILE *err = fopen(err_path.c_str(), "wb");
        int status = fault_watch([&] { return installer_deploy(&settings, &manifest, err, err); });
        fclose(err);
        return status;
    };
    ASSERT_EQ(deploy(), 0);
    ASSERT_TRUE(is_installed(tree, tree.root(), Startup::Minimal));
    const std::map<std::string, std::string> installed = tree.snapshot();

    const char *const kinds[] = {"write", "flush", "close", "move"};
    long counts[FAULT_CALL_KINDS];
    for (int call = 0; call < FAULT_CALL_KINDS; call++) {
        counts[call] = fault_calls((FaultCall)call);
    }
    EXPECT_EQ(counts[FAULT_CALL_MOVE], (long)installed_files(tree).size());
    for (int call = 0; call < FAULT_CALL_KINDS; call++) {
        for (long n = 0; n < counts[call]; n++) {
            for (bool ends : {false, true}) {
                SCOPED_TRACE(std::string(kinds[call]) + " " + std::to_string(n) +
                             (ends ? " ends the process" : " fails"));
                install_earlier(tree);
                fault_reset();
                if (ends) {
                    fault_end_at_call((FaultCall)call, n);
                } else {
                    fault_fail_call((FaultCall)call, n);
                }
                deploy();
                EXPECT_TRUE(holds_old_or_new(tree, earlier, installed, ends));
            }
        }
    }
}

} // namespace
