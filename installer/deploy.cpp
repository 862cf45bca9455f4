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

/* Copies a file whose failure only warns. Returns 0, or 1 after printing to
 * err when the source is missing. */
static int installer_copy_or_warn(const char *source, const char *target, FILE *err)
{
    if (!installer_platform_file_exists(source)) {
        installer_print(err, MESSAGE_MISSING_FILE, source);
        return 1;
    }
    if (!installer_platform_copy_file(source, target)) {
        installer_print(err, MESSAGE_COPY_FAILED, source, target);
        installer_print(err, MESSAGE_CONTINUING);
    }
    return 0;
}

/* Copies a file the installation cannot go on without. Returns 0, or 1 after
 * printing to err. */
static int installer_copy_or_bail_out(const char *source, const char *target, FILE *err)
{
    if (installer_platform_copy_file(source, target)) {
        return 0;
    }
    installer_print(err, MESSAGE_COPY_FAILED, source, target);
    installer_print(err, MESSAGE_BAILING_OUT);
    return 1;
}

/* The launcher configuration: where the runtime's executables are, the
 * program name and the root. Null when out of memory. */
static IniDocument *installer_launcher_config(const InstallerPaths *paths)
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
    if (ini_put_entry(section, "Bindir", paths->launcher_bindir) < 0 ||
        ini_put_entry(section, "Progname", "ost") < 0 ||
        ini_put_entry(section, "Rootdir", paths->launcher_rootdir) < 0) {
        ini_free_document(config);
        return NULL;
    }
    return config;
}

/* Writes the launcher configuration into the runtime bin directory and copies
 * it into the publish directory. Returns 0, or 1 after printing to err. */
static int installer_write_launcher_config(const InstallerPaths *paths, FILE *err)
{
    IniDocument *config = installer_launcher_config(paths);
    if (config == NULL) {
        installer_print(err, "%s", installer_out_of_memory_message);
        return 1;
    }
    int saved = ini_save_file(config, paths->launcher_config);
    ini_free_document(config);
    if (saved == -3) {
        installer_print(err, "%s", installer_out_of_memory_message);
        return 1;
    }
    if (saved != 0) {
        installer_print(err, MESSAGE_CREATE_FAILED, paths->launcher_config);
        installer_print(err, MESSAGE_BAILING_OUT);
        return 1;
    }
    return installer_copy_or_bail_out(paths->launcher_config, paths->launcher_config_copy, err);
}

int installer_deploy(const InstallerSettings *settings, const InstallerPaths *paths, FILE *out,
                     FILE *err)
{
    for (int i = 0; i < INSTALLER_EXECUTABLE_COUNT; i++) {
        if (installer_copy_or_warn(paths->executable_sources[i], paths->executable_targets[i],
                                   err)) {
            return 1;
        }
    }
    const char *runner = paths->executable_targets[INSTALLER_EXECUTABLE_COUNT - 1];
    if (installer_copy_or_warn(runner, paths->runner_second_name, err)) {
        return 1;
    }
    for (int i = 0; i < INSTALLER_BOOT_SCRIPT_COUNT; i++) {
        if (!installer_platform_file_exists(paths->boot_sources[i])) {
            installer_print(err, MESSAGE_MISSING_FILE, paths->boot_sources[i]);
            return 1;
        }
        if (installer_copy_or_bail_out(paths->boot_sources[i], paths->boot_targets[i], err)) {
            return 1;
        }
    }
    const char *default_boot = paths->boot_targets[settings->full_startup ? 1 : 0];
    if (installer_copy_or_bail_out(default_boot, paths->default_boot, err) ||
        installer_write_launcher_config(paths, err)) {
        return 1;
    }
    if (!settings->silent) {
        installer_print(out, MESSAGE_SUCCESS, paths->vsn);
    }
    return 0;
}
