/* SPDX-License-Identifier: MIT */
/* Copying a file, the same on every system: a replacement whole through
 * the file layer, filled from the source. */
#include "installer_platform.h"

#include "platform/platform.h"

/* An IniPlatformContentWriter that copies the source file context points
 * to. Returns 0, or INI_PLATFORM_NOT_FLUSHED when a read or a write fails. */
static int installer_platform_copy_from(IniPlatformFile target, void *context)
{
    return ini_platform_copy_contents(*(const IniPlatformFile *)context, target)
               ? 0
               : INI_PLATFORM_NOT_FLUSHED;
}

int installer_platform_copy_file(const char *source, const char *target)
{
    IniPlatformFile from = ini_platform_open_for_reading(source);
    if (from == INI_PLATFORM_NO_FILE) {
        return 0;
    }
    int result = ini_platform_replace_file(target, source, 0, installer_platform_copy_from, &from);
    ini_platform_close(from);
    return result == INI_PLATFORM_REPLACED;
}
