/* SPDX-License-Identifier: MIT */
#include "installer.h"

#include <stdlib.h>
#include <string.h>

#include <inifile/inifile.h>

#include "platform/installer_platform.h"

#define MESSAGE_CANNOT_OPEN "Cannot open init file %s\n"
#define MESSAGE_NO_SECTION "No [Install] section in init file %s\n"
#define MESSAGE_NO_VSN "No key VSN in init file %s\n"
#define MESSAGE_NO_SYSTEM_VSN "No key SYSTEM_VSN in init file %s\n"
#define MESSAGE_VALUE_TOO_LONG "Value of %s too long (more than 259 characters) in init file %s\n"
#define MESSAGE_VALUE_UNSAFE                                                                       \
    "Value of %s in init file %s must not hold \\, /, : or control characters\n"
#define MESSAGE_VALUE_NOT_TEXT "Value of %s in init file %s is no text of this system's code page\n"
#define MESSAGE_PATH_TOO_LONG "Path too long (more than 259 characters): %s\n"
#define MESSAGE_NO_FULL_PATH "Could not find the full path of root directory %s\n"

const char installer_out_of_memory_message[] = "Out of memory\n";

static const char *const installer_executables[INSTALLER_EXECUTABLE_COUNT] = {
    "ost.exe", "ostwin.exe", "ostc.exe", "scrutor.exe", "sigmer.exe", "ostx.exe", "qa_drive.exe"};

static const char *const installer_boot_scripts[INSTALLER_BOOT_SCRIPT_COUNT] = {"start_bare.boot",
                                                                                "start_mext.boot"};

/* Formats format with first and second into path, a buffer of
 * INSTALLER_PATH_SIZE bytes. Returns 0, or 1 after printing the whole path
 * that does not fit to err. */
static int installer_build_path(char *path, FILE *err, const char *format, const char *first,
                                const char *second)
{
    int length = snprintf(path, INSTALLER_PATH_SIZE, format, first, second);
    if (length >= 0 && length < INSTALLER_PATH_SIZE) {
        return 0;
    }
    char *whole = length < 0 ? NULL : (char *)malloc((size_t)length + 1);
    if (whole == NULL) {
        installer_print(err, "%s", installer_out_of_memory_message);
        return 1;
    }
    snprintf(whole, (size_t)length + 1, format, first, second);
    installer_print(err, MESSAGE_PATH_TOO_LONG, whole);
    free(whole);
    return 1;
}

/* Builds the paths of the files in the runtime bin directory. Returns 0, or 1
 * after printing to err. */
static int installer_build_runtime_file_paths(InstallerPaths *paths, FILE *err)
{
    if (installer_build_path(paths->launcher_config, err, "%s\\ost.ini", paths->runtime_bin,
                             NULL)) {
        return 1;
    }
    for (int i = 0; i < INSTALLER_EXECUTABLE_COUNT; i++) {
        if (installer_build_path(paths->executable_sources[i], err, "%s\\%s", paths->runtime_bin,
                                 installer_executables[i])) {
            return 1;
        }
    }
    return 0;
}

/* Builds every path under the release and publish directories. Returns 0, or
 * 1 after printing to err. */
static int installer_build_release_and_publish_paths(const char *root, const char *system_vsn,
                                                     InstallerPaths *paths, FILE *err)
{
    if (installer_build_path(paths->release, err, "%s\\releases\\%s", root, system_vsn) ||
        installer_build_path(paths->publish, err, "%s\\bin", root, NULL) ||
        installer_build_path(paths->runner_second_name, err, "%s\\%s", paths->publish,
                             "drive_qa.exe") ||
        installer_build_path(paths->default_boot, err, "%s\\start.boot", paths->publish, NULL) ||
        installer_build_path(paths->launcher_config_copy, err, "%s\\ost.ini", paths->publish,
                             NULL)) {
        return 1;
    }
    for (int i = 0; i < INSTALLER_EXECUTABLE_COUNT; i++) {
        if (installer_build_path(paths->executable_targets[i], err, "%s\\%s", paths->publish,
                                 installer_executables[i])) {
            return 1;
        }
    }
    for (int i = 0; i < INSTALLER_BOOT_SCRIPT_COUNT; i++) {
        if (installer_build_path(paths->boot_sources[i], err, "%s\\%s", paths->release,
                                 installer_boot_scripts[i]) ||
            installer_build_path(paths->boot_targets[i], err, "%s\\%s", paths->publish,
                                 installer_boot_scripts[i])) {
            return 1;
        }
    }
    return 0;
}

/* Builds the two paths of the launcher configuration from the root's full
 * path: a launcher started anywhere finds its runtime. A fully qualified
 * root gives them as typed. Returns 0, or 1 after printing to err. */
static int installer_build_launcher_paths(const char *root, InstallerPaths *paths, FILE *err)
{
    char full_root[INSTALLER_FULL_PATH_SIZE];
    if (!installer_platform_full_directory(root, full_root, sizeof full_root)) {
        installer_print(err, MESSAGE_NO_FULL_PATH, root);
        return 1;
    }
    return installer_build_path(paths->launcher_rootdir, err, "%s", full_root, NULL) ||
           installer_build_path(paths->launcher_bindir, err, "%s\\ostcore-%s\\bin", full_root,
                                paths->vsn);
}

/* Refuses value, a manifest value that becomes one component of a path, when
 * it is unsafe there: returns 1 after printing to err, or 0 when it is safe.
 * A separator or a ":" would lead the path out of the root (or to a drive or
 * an alternate data stream), and a control byte would reach the terminal in
 * messages; bytes that are no text of the code page name no file the user
 * could have meant. ".." alone stays: without a separator it names a
 * directory inside the root. The separators are looked for by character, so
 * that the second byte of a double-byte character is no "\". */
static int installer_refuse_unsafe_value(const char *key, const char *value, const char *manifest,
                                         FILE *err)
{
    int control = 0;
    for (const unsigned char *byte = (const unsigned char *)value; *byte != '\0'; byte++) {
        control |= *byte < 0x20 || *byte == 0x7F;
    }
    if (control || installer_platform_find_any(value, "\\/:") != NULL) {
        installer_print(err, MESSAGE_VALUE_UNSAFE, key, manifest);
        return 1;
    }
    if (!installer_platform_is_text(value)) {
        installer_print(err, MESSAGE_VALUE_NOT_TEXT, key, manifest);
        return 1;
    }
    return 0;
}

/* Takes both versions from the manifest's "Install" section and builds every
 * path. Returns 0, or 1 after printing to err. */
static int installer_read_versions(const IniDocument *manifest, const char *root,
                                   InstallerPaths *paths, FILE *err)
{
    const IniSection *install = ini_find_section(manifest, "Install");
    if (install == NULL) {
        installer_print(err, MESSAGE_NO_SECTION, paths->manifest);
        return 1;
    }
    const char *vsn = ini_find_value(install, "VSN");
    if (vsn == NULL) {
        installer_print(err, MESSAGE_NO_VSN, paths->manifest);
        return 1;
    }
    if (installer_refuse_unsafe_value("VSN", vsn, paths->manifest, err)) {
        return 1;
    }
    size_t vsn_size = strlen(vsn) + 1;
    if (vsn_size > INSTALLER_PATH_SIZE) {
        installer_print(err, MESSAGE_VALUE_TOO_LONG, "VSN", paths->manifest);
        return 1;
    }
    memcpy(paths->vsn, vsn, vsn_size);
    if (installer_build_path(paths->runtime_bin, err, "%s\\ostcore-%s\\bin", root, paths->vsn)) {
        return 1;
    }
    const char *system_vsn = ini_find_value(install, "SYSTEM_VSN");
    if (system_vsn == NULL) {
        installer_print(err, MESSAGE_NO_SYSTEM_VSN, paths->manifest);
        return 1;
    }
    if (installer_refuse_unsafe_value("SYSTEM_VSN", system_vsn, paths->manifest, err)) {
        return 1;
    }
    /* The files' paths come only now, so that a manifest without SYSTEM_VSN is
     * reported as such whatever the length of the root. */
    return installer_build_runtime_file_paths(paths, err) ||
           installer_build_release_and_publish_paths(root, system_vsn, paths, err) ||
           installer_build_launcher_paths(root, paths, err);
}

int installer_read_manifest(const InstallerSettings *settings, InstallerPaths *paths, FILE *err)
{
    if (installer_build_path(paths->manifest, err, "%s\\Install.ini", settings->root, NULL)) {
        return 1;
    }
    IniLoadResult load_result;
    IniDocument *manifest = ini_load_file_with_result(paths->manifest, &load_result, NULL);
    if (manifest == NULL) {
        if (load_result == INI_LOAD_OUT_OF_MEMORY) {
            installer_print(err, "%s", installer_out_of_memory_message);
        } else {
            installer_print(err, MESSAGE_CANNOT_OPEN, paths->manifest);
        }
        return 1;
    }
    int failed = installer_read_versions(manifest, settings->root, paths, err);
    ini_free_document(manifest);
    if (failed) {
        return 1;
    }
    installer_platform_make_directory(paths->publish);
    return 0;
}
