/* SPDX-License-Identifier: MIT */
/* Copying a file, the same on every system: a replacement whole through
 * the file layer, filled from the source. */
#include "installer_platform.h"

#include "platform/platform.h"

int installer_platform_copy_file(const char *source, const char *target)
{
    IniPlatformFile from = ini_platform_open_for_reading(source);
    if (from == INI_PLATFORM_NO_FILE) {
        return 0;
    }
    IniPlatformReplacement replacement;
    int copied = ini_platform_begin_replace(target, source, 0, &replacement);
    if (copied && !ini_platform_copy_contents(from, replacement.file)) {
        ini_platform_abandon_replace(&replacement);
        copied = 0;
    } else if (copied) {
        copied = ini_platform_finish_replace(&replacement) == INI_PLATFORM_REPLACED;
    }
    ini_platform_close(from);
    return copied;
}
