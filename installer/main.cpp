/* SPDX-License-Identifier: MIT */
#include "installer.h"

/* The steps of a run, each ending it at its first failure. Returns the exit
 * status. */
static int installer_run(int argc, char **argv, InstallerSettings *settings, char *executable_path)
{
    if (installer_refuse_inexact_text(argc, argv, settings, stderr) != 0 ||
        installer_parse_arguments(argc, argv, settings, stderr) != 0) {
        return 1;
    }
    if (settings->root == NULL &&
        installer_root_from_executable(settings, executable_path, stderr) != 0) {
        return 1;
    }
    if (!settings->silent && installer_ask_startup(settings, stdin, stdout, stderr) != 0) {
        return 1;
    }
    InstallerManifest manifest;
    if (installer_read_manifest(settings, &manifest, stderr) != 0) {
        return 1;
    }
    return installer_deploy(settings, &manifest, stdout, stderr);
}

int main(int argc, char **argv)
{
    InstallerSettings settings = {0, NULL, 0};
    char executable_path[INSTALLER_PATH_SIZE];
    int status = installer_run(argc, argv, &settings, executable_path);
    installer_keep_window_open(&settings, stdin, stdout);
    return status;
}
