/* SPDX-License-Identifier: MIT */
/* What the installer's services do alike on every system, over the file
 * layer: copying a file, a replacement whole filled from the source, and
 * finding characters in text of the system's code page. */
#include "installer_platform.h"

#include <string.h>

#include "platform/platform.h"

/* An IniPlatformContentWriter that copies the source file context points
 * to. Returns 0, or INI_PLATFORM_NOT_MOVED when a read or a write fails:
 * the target then stays as it was. */
static int installer_platform_copy_from(IniPlatformFile target, void *context)
{
    return ini_platform_copy_contents(*(const IniPlatformFile *)context, target)
               ? 0
               : INI_PLATFORM_NOT_MOVED;
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

const char *installer_platform_find_any(const char *text, const char *set)
{
    for (; *text != '\0'; text = ini_platform_next_character(text)) {
        if (strchr(set, *text) != NULL) {
            return text;
        }
    }
    return NULL;
}

const char *installer_platform_find_last_any(const char *text, const char *set)
{
    const char *last = NULL;
    for (const char *found = installer_platform_find_any(text, set); found != NULL;
         found = installer_platform_find_any(ini_platform_next_character(found), set)) {
        last = found;
    }
    return last;
}
