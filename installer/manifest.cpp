/* SPDX-License-Identifier: MIT */
#include "installer.h"

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

/* Refuses value, a manifest value that becomes one component of a path, when
 * it is unsafe there: returns 1 after printing to err, or 0 when it is safe.
 * A separator or a ":" would lead the path out of the root (or to a drive or
 * an alternate data stream), and a control byte would reach the terminal in
 * messages; bytes that are no text of the code page name no file the user
 * could have meant. ".." alone stays: without a separator it names a
 * directory inside the root. The separators are looked for by character, so
 * that the second byte of a double-byte character is no "\". */
static int installer_refuse_unsafe_value(const char *key, const char *value, const char *path,
                                         FILE *err)
{
    int control = 0;
    for (const unsigned char *byte = (const unsigned char *)value; *byte != '\0'; byte++) {
        control |= *byte < 0x20 || *byte == 0x7F;
    }
    if (control || installer_platform_find_any(value, "\\/:") != NULL) {
        installer_print(err, MESSAGE_VALUE_UNSAFE, key, path);
        return 1;
    }
    if (!installer_platform_is_text(value)) {
        installer_print(err, MESSAGE_VALUE_NOT_TEXT, key, path);
        return 1;
    }
    return 0;
}

/* Takes both versions from the manifest document, loaded from path, and
 * builds the three directories under root. Returns 0, or 1 after printing
 * to err. */
static int installer_read_versions(const IniDocument *document, const char *path, const char *root,
                                   InstallerManifest *manifest, FILE *err)
{
    const IniSection *install = ini_find_section(document, "Install");
    if (install == NULL) {
        installer_print(err, MESSAGE_NO_SECTION, path);
        return 1;
    }
    const char *vsn = ini_find_value(install, "VSN");
    if (vsn == NULL) {
        installer_print(err, MESSAGE_NO_VSN, path);
        return 1;
    }
    if (installer_refuse_unsafe_value("VSN", vsn, path, err)) {
        return 1;
    }
    size_t vsn_size = strlen(vsn) + 1;
    if (vsn_size > INSTALLER_PATH_SIZE) {
        installer_print(err, MESSAGE_VALUE_TOO_LONG, "VSN", path);
        return 1;
    }
    memcpy(manifest->vsn, vsn, vsn_size);
    if (installer_build_path(manifest->runtime_bin, err, "%s\\ostcore-%s\\bin", root,
                             manifest->vsn)) {
        return 1;
    }
    const char *system_vsn = ini_find_value(install, "SYSTEM_VSN");
    if (system_vsn == NULL) {
        installer_print(err, MESSAGE_NO_SYSTEM_VSN, path);
        return 1;
    }
    return installer_refuse_unsafe_value("SYSTEM_VSN", system_vsn, path, err) ||
           installer_build_path(manifest->release, err, "%s\\releases\\%s", root, system_vsn) ||
           installer_build_path(manifest->publish, err, "%s\\bin", root, NULL);
}

int installer_read_manifest(const InstallerSettings *settings, InstallerManifest *manifest,
                            FILE *err)
{
    char path[INSTALLER_PATH_SIZE];
    if (installer_build_path(path, err, "%s\\Install.ini", settings->root, NULL)) {
        return 1;
    }
    IniLoadResult load_result;
    IniDocument *document = ini_load_file_with_result(path, &load_result, NULL);
    if (document == NULL) {
        if (load_result == INI_LOAD_OUT_OF_MEMORY) {
            installer_print(err, "%s", installer_out_of_memory_message);
        } else {
            installer_print(err, MESSAGE_CANNOT_OPEN, path);
        }
        return 1;
    }
    int failed = installer_read_versions(document, path, settings->root, manifest, err);
    ini_free_document(document);
    return failed;
}
