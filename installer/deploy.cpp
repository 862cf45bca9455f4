/* SPDX-License-Identifier: MIT */
#include "installer.h"

#include <inifile/inifile.h>

#include "platform/installer_platform.h"

#define MESSAGE_MISSING_FILE "Could not find file %s\n"
#define MESSAGE_COPY_FAILED "Could not copy file %s to %s\n"
#define MESSAGE_CREATE_FAILED "Could not create file %s\n"
#define MESSAGE_CONTINUING "Continuing installation anyway...\n"
#define MESSAGE_BAILING_OUT "Cannot continue installation, bailing out.\n"
#define MESSAGE_SUCCESS "Ostrel %s installed successfully\n"
#define MESSAGE_NO_FULL_PATH "Could not find the full path of root directory %s\n"

/* The directories of InstallerManifest that a step's files lie in. */
enum InstallerDirectory { INSTALLER_PUBLISH, INSTALLER_RUNTIME_BIN, INSTALLER_RELEASE };

/* What a step does, and what its failure does to the run. */
enum InstallerAction {
    INSTALLER_COPY_OR_WARN,          /* a missing source ends the run; a failed copy warns */
    INSTALLER_COPY_OR_BAIL_OUT,      /* a missing source or a failed copy ends the run */
    INSTALLER_COPY_MADE_OR_BAIL_OUT, /* the source was just made; a failed copy ends the run */
    INSTALLER_WRITE_LAUNCHER_CONFIG  /* writes the target; a failure ends the run */
};

/* Which startup a step is for. */
enum InstallerStartup { INSTALLER_EITHER_STARTUP, INSTALLER_FULL_STARTUP, INSTALLER_BARE_STARTUP };

/* One step of the deployment: source in from, copied to target in to, the
 * publish directory unless the row names another; for either startup unless
 * it names one. */
struct InstallerStep {
    InstallerAction action;
    InstallerDirectory from;
    const char *source; /* null for the launcher configuration, which is written */
    const char *target;
    InstallerStartup startup = INSTALLER_EITHER_STARTUP;
    InstallerDirectory to = INSTALLER_PUBLISH;
};

/* The deployment, in its order. */
static const InstallerStep installer_steps[] = {
    {INSTALLER_COPY_OR_WARN, INSTALLER_RUNTIME_BIN, "ost.exe", "ost.exe"},
    {INSTALLER_COPY_OR_WARN, INSTALLER_RUNTIME_BIN, "ostwin.exe", "ostwin.exe"},
    {INSTALLER_COPY_OR_WARN, INSTALLER_RUNTIME_BIN, "ostc.exe", "ostc.exe"},
    {INSTALLER_COPY_OR_WARN, INSTALLER_RUNTIME_BIN, "scrutor.exe", "scrutor.exe"},
    {INSTALLER_COPY_OR_WARN, INSTALLER_RUNTIME_BIN, "sigmer.exe", "sigmer.exe"},
    {INSTALLER_COPY_OR_WARN, INSTALLER_RUNTIME_BIN, "ostx.exe", "ostx.exe"},
    {INSTALLER_COPY_OR_WARN, INSTALLER_RUNTIME_BIN, "qa_drive.exe", "qa_drive.exe"},
    /* The test runner's second name, from the copy just published. */
    {INSTALLER_COPY_OR_WARN, INSTALLER_PUBLISH, "qa_drive.exe", "drive_qa.exe"},
    {INSTALLER_COPY_OR_BAIL_OUT, INSTALLER_RELEASE, "start_bare.boot", "start_bare.boot"},
    {INSTALLER_COPY_OR_BAIL_OUT, INSTALLER_RELEASE, "start_mext.boot", "start_mext.boot"},
    /* The default boot script, which the startup chooses. */
    {INSTALLER_COPY_MADE_OR_BAIL_OUT, INSTALLER_PUBLISH, "start_bare.boot", "start.boot",
     INSTALLER_BARE_STARTUP},
    {INSTALLER_COPY_MADE_OR_BAIL_OUT, INSTALLER_PUBLISH, "start_mext.boot", "start.boot",
     INSTALLER_FULL_STARTUP},
    /* The launcher configuration, written beside the runtime, then published. */
    {INSTALLER_WRITE_LAUNCHER_CONFIG, INSTALLER_RUNTIME_BIN, NULL, "ost.ini",
     INSTALLER_EITHER_STARTUP, INSTALLER_RUNTIME_BIN},
    {INSTALLER_COPY_MADE_OR_BAIL_OUT, INSTALLER_RUNTIME_BIN, "ost.ini", "ost.ini"},
};

enum { INSTALLER_STEP_COUNT = sizeof installer_steps / sizeof installer_steps[0] };

/* Every path of a deployment, built before anything is created. */
struct InstallerPlan {
    char sources[INSTALLER_STEP_COUNT][INSTALLER_PATH_SIZE]; /* empty where a step has none */
    char targets[INSTALLER_STEP_COUNT][INSTALLER_PATH_SIZE];
    char bindir[INSTALLER_PATH_SIZE];  /* the runtime bin directory, and */
    char rootdir[INSTALLER_PATH_SIZE]; /* the root, fully qualified for the launcher */
};

/* Builds every path of the deployment into plan: each step's, then the
 * launcher configuration's from the root's full path, so that a launcher
 * started anywhere finds its runtime. Returns 0, or 1 after printing to
 * err. */
static int installer_plan(const InstallerSettings *settings, const InstallerManifest *manifest,
                          InstallerPlan *plan, FILE *err)
{
    const char *const directories[] = {manifest->publish, manifest->runtime_bin, manifest->release};
    for (int i = 0; i < INSTALLER_STEP_COUNT; i++) {
        const InstallerStep *step = &installer_steps[i];
        plan->sources[i][0] = '\0';
        if ((step->source != NULL && installer_build_path(plan->sources[i], err, "%s\\%s",
                                                          directories[step->from], step->source)) ||
            installer_build_path(plan->targets[i], err, "%s\\%s", directories[step->to],
                                 step->target)) {
            return 1;
        }
    }
    char full_root[INSTALLER_FULL_PATH_SIZE];
    if (!installer_platform_full_directory(settings->root, full_root, sizeof full_root)) {
        installer_print(err, MESSAGE_NO_FULL_PATH, settings->root);
        return 1;
    }
    return installer_build_path(plan->rootdir, err, "%s", full_root, NULL) ||
           installer_build_path(plan->bindir, err, "%s\\ostcore-%s\\bin", full_root, manifest->vsn);
}

/* The launcher configuration: where the runtime's executables are, the
 * program name and the root. Null when out of memory. */
static IniDocument *installer_launcher_config(const InstallerPlan *plan)
{
    IniDocument *config = ini_new_document();
    if (config == NULL) {
        return NULL;
    }
    IniSection *section = ini_new_section("ostrel");
    if (section == NULL || ini_put_section(config, section) < 0) {
        if (section != NULL) {
            ini_free_section(section);
        }
        ini_free_document(config);
        return NULL;
    }
    if (ini_put_entry(section, "Bindir", plan->bindir) < 0 ||
        ini_put_entry(section, "Progname", "ost") < 0 ||
        ini_put_entry(section, "Rootdir", plan->rootdir) < 0) {
        ini_free_document(config);
        return NULL;
    }
    return config;
}

/* Writes the launcher configuration to path. Returns 0, or 1 after printing
 * to err. */
static int installer_write_launcher_config(const InstallerPlan *plan, const char *path, FILE *err)
{
    IniDocument *config = installer_launcher_config(plan);
    if (config == NULL) {
        installer_print(err, "%s", installer_out_of_memory_message);
        return 1;
    }
    int saved = ini_save_file(config, path);
    ini_free_document(config);
    if (saved == -3) {
        installer_print(err, "%s", installer_out_of_memory_message);
        return 1;
    }
    if (saved != 0) {
        installer_print(err, MESSAGE_CREATE_FAILED, path);
        installer_print(err, MESSAGE_BAILING_OUT);
        return 1;
    }
    return 0;
}

/* Carries out step from source to target. Returns 0 to go on, or 1 after
 * printing to err. */
static int installer_run_step(const InstallerStep *step, const InstallerPlan *plan,
                              const char *source, const char *target, FILE *err)
{
    if (step->action == INSTALLER_WRITE_LAUNCHER_CONFIG) {
        return installer_write_launcher_config(plan, target, err);
    }
    if (step->action != INSTALLER_COPY_MADE_OR_BAIL_OUT &&
        !installer_platform_file_exists(source)) {
        installer_print(err, MESSAGE_MISSING_FILE, source);
        return 1;
    }
    if (installer_platform_copy_file(source, target)) {
        return 0;
    }
    installer_print(err, MESSAGE_COPY_FAILED, source, target);
    if (step->action == INSTALLER_COPY_OR_WARN) {
        installer_print(err, MESSAGE_CONTINUING);
        return 0;
    }
    installer_print(err, MESSAGE_BAILING_OUT);
    return 1;
}

int installer_deploy(const InstallerSettings *settings, const InstallerManifest *manifest,
                     FILE *out, FILE *err)
{
    InstallerPlan plan;
    if (installer_plan(settings, manifest, &plan, err) != 0) {
        return 1;
    }
    installer_platform_make_directory(manifest->publish);
    InstallerStartup startup =
        settings->full_startup ? INSTALLER_FULL_STARTUP : INSTALLER_BARE_STARTUP;
    for (int i = 0; i < INSTALLER_STEP_COUNT; i++) {
        const InstallerStep *step = &installer_steps[i];
        if ((step->startup == INSTALLER_EITHER_STARTUP || step->startup == startup) &&
            installer_run_step(step, &plan, plan.sources[i], plan.targets[i], err) != 0) {
            return 1;
        }
    }
    if (!settings->silent) {
        installer_print(out, MESSAGE_SUCCESS, manifest->vsn);
    }
    return 0;
}
