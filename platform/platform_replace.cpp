/* SPDX-License-Identifier: MIT */
/* Replacing a file whole, the same on every system: the order of the steps
 * lives here once, for the writer and the copy, over the steps that
 * platform_posix.cpp and platform_win32.cpp give. */
#include "platform_replace.h"

/* The bytes a copy moves per read: room enough that the system calls cost
 * nothing beside the data, little enough for any thread's stack, so that a
 * copy never allocates. */
enum { INI_PLATFORM_COPY_CHUNK = 64 * 1024 };

int ini_platform_write_to(IniPlatformReplacement *replacement, IniPlatformFile file, int in_place,
                          int flushes)
{
    if (file == INI_PLATFORM_NO_FILE) {
        return 0;
    }
    replacement->file = file;
    replacement->in_place = in_place;
    replacement->flushes = flushes;
    if (in_place) {
        replacement->temporary[0] = '\0';
    }
    return 1;
}

/* Writes the closed temporary's content into the target itself, where the
 * system refuses to move it there, and removes the temporary. Returns
 * INI_PLATFORM_REPLACED, _NOT_MOVED when the target cannot be opened (it is
 * then as it was), or _NOT_FLUSHED when the writing fails part-way. */
static int ini_platform_rewrite_in_place(IniPlatformReplacement *replacement)
{
    int result = INI_PLATFORM_NOT_MOVED;
    IniPlatformFile source = ini_platform_open_for_reading(replacement->temporary);
    IniPlatformFile target = source == INI_PLATFORM_NO_FILE
                                 ? INI_PLATFORM_NO_FILE
                                 : ini_platform_open_to_rewrite(replacement->target);
    if (target != INI_PLATFORM_NO_FILE) {
        int written = ini_platform_copy_contents(source, target) && ini_platform_flush(target);
        written = ini_platform_close(target) && written;
        result = written ? INI_PLATFORM_REPLACED : INI_PLATFORM_NOT_FLUSHED;
    }
    if (source != INI_PLATFORM_NO_FILE) {
        ini_platform_close(source);
    }
    ini_platform_remove_temporary(replacement);
    return result;
}

/* Gives up: closes the file and removes the temporary, the target left as it
 * was (in place: holding what was written). */
static void ini_platform_abandon_replace(IniPlatformReplacement *replacement)
{
    ini_platform_close(replacement->file);
    if (!replacement->in_place) {
        ini_platform_remove_temporary(replacement);
    }
}

/* Flushes and closes the file, then moves the temporary over the target, or
 * writes the target in place where the system refuses the move. Returns
 * INI_PLATFORM_REPLACED, _NOT_MOVED or _NOT_FLUSHED; no temporary is left
 * behind whatever the result. */
static int ini_platform_finish_replace(IniPlatformReplacement *replacement)
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
    switch (ini_platform_move_into_place(replacement)) {
    case INI_PLATFORM_MOVED:
        return INI_PLATFORM_REPLACED;
    case INI_PLATFORM_MOVED_UNFLUSHED:
        return INI_PLATFORM_NOT_FLUSHED;
    case INI_PLATFORM_MOVE_REFUSED:
        return ini_platform_rewrite_in_place(replacement);
    default:
        ini_platform_remove_temporary(replacement);
        return INI_PLATFORM_NOT_MOVED;
    }
}

int ini_platform_replace_file(const char *target, const char *model, int may_write_in_place,
                              IniPlatformContentWriter write_content, void *context)
{
    /* Nothing is kept until the system's step finds what to keep. */
    IniPlatformReplacement replacement = {};
    replacement.owner = UINT32_MAX;
    replacement.group = UINT32_MAX;
    if (!ini_platform_begin_replace(target, model, may_write_in_place, &replacement)) {
        return INI_PLATFORM_NOT_MOVED;
    }
    int written = write_content(replacement.file, context);
    if (written != 0) {
        ini_platform_abandon_replace(&replacement);
        return written;
    }
    return ini_platform_finish_replace(&replacement);
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
