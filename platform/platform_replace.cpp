/* Replacing a file whole, the same on every system: the order of the steps
 * lives here once, for the writer and the copy, over the operations that
 * platform_posix.cpp and platform_win32.cpp give. */
#include "platform.h"

/* The bytes a copy moves per read: room enough that the system calls cost
 * nothing beside the data, little enough for any thread's stack, so that a
 * copy never allocates. */
enum { INI_PLATFORM_COPY_CHUNK = 64 * 1024 };

int ini_platform_finish_replace(IniPlatformReplacement *replacement)
{
    if (!replacement->in_place && !ini_platform_settle_temporary(replacement)) {
        ini_platform_abandon_replace(replacement);
        return INI_PLATFORM_NOT_MOVED;
    }
    int flushed = !replacement->flushes || ini_platform_flush(replacement->file);
    flushed = ini_platform_close(replacement->file) && flushed;
    if (replacement->in_place) {
        return flushed ? INI_PLATFORM_REPLACED : INI_PLATFORM_NOT_FLUSHED;
    }
    if (!flushed) {
        ini_platform_remove_temporary(replacement);
        return INI_PLATFORM_NOT_FLUSHED;
    }
    int moved = ini_platform_move_into_place(replacement);
    if (moved == 0) {
        ini_platform_remove_temporary(replacement);
        return INI_PLATFORM_NOT_MOVED;
    }
    return moved > 0 ? INI_PLATFORM_REPLACED : INI_PLATFORM_NOT_FLUSHED;
}

void ini_platform_abandon_replace(IniPlatformReplacement *replacement)
{
    ini_platform_close(replacement->file);
    if (!replacement->in_place) {
        ini_platform_remove_temporary(replacement);
    }
}

int ini_platform_copy_contents(IniPlatformFile source, IniPlatformFile target)
{
    char buffer[INI_PLATFORM_COPY_CHUNK];
    for (;;) {
        int32_t count = ini_platform_read(source, buffer, sizeof buffer);
        if (count <= 0) {
            return count == 0;
        }
        if (!ini_platform_write(target, buffer, (uint32_t)count)) {
            return 0;
        }
    }
}
