/* SPDX-License-Identifier: MIT */
#include "platform_replace.h"

#include <stdio.h>
#include <string.h>

#include <windows.h>

static HANDLE ini_platform_handle(IniPlatformFile file)
{
    return (HANDLE)file;
}

/* Another process that holds a file open for a moment, as a virus scanner
 * or an indexer does, makes opening or moving it fail until it lets go:
 * such a failure is tried again for about this long, a little later each
 * time, before it counts. */
static const DWORD ini_platform_lock_wait_ms = 2000;
static const DWORD ini_platform_lock_pause_ms = 250;

/* Returns 1 when error says that another process has the file open in a way
 * that excludes what was asked. */
static int ini_platform_is_lock(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

/* Waits before the next try, as long as all the waits before it and at
 * most ini_platform_lock_pause_ms, adding it to *waited. Returns 1, or 0
 * without waiting once ini_platform_lock_wait_ms have passed. */
static int ini_platform_wait_for_lock(DWORD *waited)
{
    if (*waited >= ini_platform_lock_wait_ms) {
        return 0;
    }
    DWORD pause = *waited < 10 ? 10 : *waited;
    pause = pause < ini_platform_lock_pause_ms ? pause : ini_platform_lock_pause_ms;
    Sleep(pause);
    *waited += pause;
    return 1;
}

/* CreateFileA, tried again while another process holds the file. Returns the
 * handle, or INVALID_HANDLE_VALUE with the last error set. */
static HANDLE ini_platform_open(const char *path, DWORD access, DWORD share, DWORD disposition)
{
    DWORD waited = 0;
    for (;;) {
        HANDLE handle =
            CreateFileA(path, access, share, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL);
        if (handle != INVALID_HANDLE_VALUE || !ini_platform_is_lock(GetLastError()) ||
            !ini_platform_wait_for_lock(&waited)) {
            return handle;
        }
    }
}

IniPlatformFile ini_platform_open_for_reading(const char *path)
{
    HANDLE handle = ini_platform_open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    return handle == INVALID_HANDLE_VALUE ? INI_PLATFORM_NO_FILE : (IniPlatformFile)handle;
}

int32_t ini_platform_read(IniPlatformFile file, void *buffer, uint32_t size)
{
    DWORD count = 0;
    if (!ReadFile(ini_platform_handle(file), buffer, size, &count, NULL)) {
        return -1;
    }
    return (int32_t)count;
}

IniPlatformFile ini_platform_create_for_writing(const char *path)
{
    HANDLE handle = ini_platform_open(path, GENERIC_WRITE, FILE_SHARE_WRITE, CREATE_ALWAYS);
    return handle == INVALID_HANDLE_VALUE ? INI_PLATFORM_NO_FILE : (IniPlatformFile)handle;
}

int ini_platform_write(IniPlatformFile file, const void *data, uint32_t size)
{
    DWORD written = 0;
    return WriteFile(ini_platform_handle(file), data, size, &written, NULL) && written == size;
}

int ini_platform_flush(IniPlatformFile file)
{
    return FlushFileBuffers(ini_platform_handle(file)) != 0;
}

int ini_platform_close(IniPlatformFile file)
{
    return CloseHandle(ini_platform_handle(file)) != 0;
}

int ini_platform_is_missing(const char *path)
{
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        return 0;
    }
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

/* The attributes a replacement carries over; the rest (directory, device,
 * compression and the like) are the system's to set. */
static const DWORD ini_platform_kept_attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

int ini_platform_native_path(const char *path, char *native, size_t size)
{
    size_t length = strlen(path);
    if (length >= size) {
        return 0;
    }
    memcpy(native, path, length + 1);
    return 1;
}

const char *ini_platform_next_character(const char *text)
{
    return IsDBCSLeadByte((BYTE)*text) && text[1] != '\0' ? text + 2 : text + 1;
}

/* The length of the directory part of path: up to its last "\" or "/", or
 * the colon of a drive ("C:name"), included; 0 for a name alone. */
static size_t ini_platform_directory_length(const char *path)
{
    size_t length = 0;
    for (const char *at = path; *at != '\0'; at = ini_platform_next_character(at)) {
        if (*at == '\\' || *at == '/') {
            length = (size_t)(at - path) + 1;
        }
    }
    return length == 0 && path[0] != '\0' && path[1] == ':' ? 2 : length;
}

/* Creates the temporary beside replacement->target, for writing by this
 * process alone. Returns the handle, or INVALID_HANDLE_VALUE with the last
 * error set. */
static HANDLE ini_platform_create_temporary(IniPlatformReplacement *replacement)
{
    size_t directory = ini_platform_directory_length(replacement->target);
    if (directory + sizeof ".ost0000.tmp" > MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    memcpy(replacement->temporary, replacement->target, directory);
    unsigned start = (unsigned)GetTickCount() ^ ((unsigned)GetCurrentProcessId() << 4);
    for (unsigned attempt = 0; attempt <= 0xffff; attempt++) {
        snprintf(replacement->temporary + directory, sizeof ".ost0000.tmp", ".ost%04x.tmp",
                 (start + attempt) & 0xffff);
        HANDLE handle = CreateFileA(replacement->temporary, GENERIC_WRITE, 0, NULL, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD error = GetLastError();
        if (handle != INVALID_HANDLE_VALUE ||
            (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)) {
            return handle;
        }
    }
    return INVALID_HANDLE_VALUE;
}

/* The last-write time of an open file as one number; 0 when it cannot be
 * had. */
static uint64_t ini_platform_last_write(HANDLE handle)
{
    FILETIME time;
    if (!GetFileTime(handle, NULL, NULL, &time)) {
        return 0;
    }
    return (uint64_t)time.dwHighDateTime << 32 | time.dwLowDateTime;
}

/* Takes the attributes and the last-write time of model, a file, for the
 * new file. Returns 1, or 0 when model cannot be opened. */
static int ini_platform_take_model(const char *model, IniPlatformReplacement *replacement)
{
    HANDLE handle = CreateFileA(model, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) {
        return 0;
    }
    BY_HANDLE_FILE_INFORMATION information;
    int taken = GetFileInformationByHandle(handle, &information);
    if (taken) {
        replacement->permissions = information.dwFileAttributes & ini_platform_kept_attributes;
        replacement->last_write = ini_platform_last_write(handle);
    }
    CloseHandle(handle);
    return taken;
}

/* The final path of the file or directory that handle reached, as
 * GetFinalPathNameByHandleW gives it ("\\?\C:\..."), in path, which holds
 * INI_PLATFORM_PATH_SIZE characters. Returns its length, or 0 when it
 * cannot be had. */
static DWORD ini_platform_final_path(HANDLE handle, wchar_t *path)
{
    DWORD length = GetFinalPathNameByHandleW(handle, path, INI_PLATFORM_PATH_SIZE, 0);
    return length < INI_PLATFORM_PATH_SIZE ? length : 0;
}

/* Where the target that handle reached is a symbolic link, makes the file
 * the link names the target, so that it is replaced and the link stays.
 * Only the target's own name is looked at: a link or a short name among its
 * directories leads to the same directory, whose path stays as typed. The
 * target stays as typed when it is no link, or when the file's path cannot
 * be had, has a character the code page lacks, or is too long to use. */
static void ini_platform_follow_link(HANDLE handle, IniPlatformReplacement *replacement)
{
    size_t directory_length = ini_platform_directory_length(replacement->target);
    char directory[MAX_PATH] = ".";
    if (directory_length >= MAX_PATH) {
        return;
    }
    if (directory_length > 0) {
        memcpy(directory, replacement->target, directory_length);
        directory[directory_length] = '\0';
    }
    HANDLE opened = CreateFileA(directory, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    wchar_t named[INI_PLATFORM_PATH_SIZE];
    wchar_t reached[INI_PLATFORM_PATH_SIZE];
    DWORD length = opened == INVALID_HANDLE_VALUE ? 0 : ini_platform_final_path(opened, named);
    if (opened != INVALID_HANDLE_VALUE) {
        CloseHandle(opened);
    }
    if (length == 0 || ini_platform_final_path(handle, reached) == 0) {
        return;
    }
    /* The directory's path ends in "\" only at the top of a drive; the name
     * needs room after it. */
    if (named[length - 1] != L'\\') {
        if (length + 1 >= INI_PLATFORM_PATH_SIZE) {
            return;
        }
        named[length++] = L'\\';
    }
    if (MultiByteToWideChar(CP_ACP, 0, replacement->target + directory_length, -1, named + length,
                            (int)(INI_PLATFORM_PATH_SIZE - length)) == 0 ||
        CompareStringOrdinal(named, -1, reached, -1, TRUE) == CSTR_EQUAL) {
        return;
    }
    /* A link to a file beside it keeps the directory as typed; a path
     * elsewhere comes as "\\?\C:\..." for "C:\...", or as
     * "\\?\UNC\server\..." for "\\server\...". */
    char target[MAX_PATH];
    size_t start = 0;
    const wchar_t *rest = wcsrchr(reached, L'\\') + 1;
    if ((DWORD)(rest - reached) == length &&
        CompareStringOrdinal(named, (int)length, reached, (int)length, TRUE) == CSTR_EQUAL) {
        start = directory_length;
        memcpy(target, replacement->target, start);
    } else if (wcsncmp(reached, L"\\\\?\\UNC\\", 8) == 0) {
        start = 2;
        memcpy(target, "\\\\", start);
        rest = reached + 8;
    } else {
        rest = reached + (wcsncmp(reached, L"\\\\?\\", 4) == 0 ? 4 : 0);
    }
    /* UTF-8 holds every character; it takes neither the flag nor the
     * question whether the default character was used. */
    int utf8 = GetACP() == CP_UTF8;
    BOOL defaulted = FALSE;
    int size = WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, rest,
                                   -1, target + start, (int)(sizeof target - start), NULL,
                                   utf8 ? NULL : &defaulted);
    if (size > 0 && !defaulted) {
        memcpy(replacement->target, target, start + (size_t)size);
    }
}

int ini_platform_begin_replace(const char *target, const char *model, int may_write_in_place,
                               IniPlatformReplacement *replacement)
{
    size_t length = strlen(target);
    if (length >= sizeof replacement->target) {
        return 0;
    }
    memcpy(replacement->target, target, length + 1);
    /* Opening the target for writing, without emptying it, meets every
     * refusal that writing it would: a directory, a read-only file, a file
     * in use. A copy asks only for the attributes and the final path it
     * reads, so that neither a read-only file it made from a read-only
     * source nor a file the user may replace but not read stands in its
     * way; a file in use stops the copy at the move. */
    HANDLE existing =
        ini_platform_open(target, model != NULL ? FILE_READ_ATTRIBUTES : GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    int exists = existing != INVALID_HANDLE_VALUE;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) {
        return 0;
    }
    if (exists) {
        DWORD type = GetFileType(existing);
        BY_HANDLE_FILE_INFORMATION information;
        int known = GetFileInformationByHandle(existing, &information);
        if (type == FILE_TYPE_DISK) {
            ini_platform_follow_link(existing, replacement);
        }
        CloseHandle(existing);
        if (type != FILE_TYPE_DISK) {
            return may_write_in_place &&
                   ini_platform_write_to(
                       replacement, ini_platform_create_for_writing(replacement->target), 1, 0);
        }
        if (known && model == NULL) {
            replacement->keeps_bits = 1;
            replacement->permissions = information.dwFileAttributes & ini_platform_kept_attributes;
        }
        if (known && model != NULL && (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
            replacement->read_only_target =
                information.dwFileAttributes & ini_platform_kept_attributes;
        }
    }
    if (model != NULL) {
        if (!ini_platform_take_model(model, replacement)) {
            return 0;
        }
        replacement->keeps_bits = 1;
    }
    HANDLE handle = ini_platform_create_temporary(replacement);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        int refused = error == ERROR_ACCESS_DENIED || error == ERROR_FILENAME_EXCED_RANGE;
        return refused && exists && may_write_in_place &&
               ini_platform_write_to(replacement, ini_platform_open_to_rewrite(replacement->target),
                                     1, 1);
    }
    return ini_platform_write_to(replacement, (IniPlatformFile)handle, 0, 1);
}

int ini_platform_settle_temporary(const IniPlatformReplacement *replacement)
{
    /* Zero leaves a time or the attributes as they are. */
    FILE_BASIC_INFO information;
    ZeroMemory(&information, sizeof information);
    information.LastWriteTime.QuadPart = (LONGLONG)replacement->last_write;
    information.FileAttributes = replacement->keeps_bits ? replacement->permissions : 0;
    if (information.LastWriteTime.QuadPart == 0 && information.FileAttributes == 0) {
        return 1;
    }
    return SetFileInformationByHandle(ini_platform_handle(replacement->file), FileBasicInfo,
                                      &information, sizeof information) != 0;
}

/* Returns 1 when another process holds path open without letting it be
 * deleted, which a move over it, or of it, needs. */
static int ini_platform_is_held(const char *path)
{
    HANDLE handle =
        CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) {
        return ini_platform_is_lock(GetLastError());
    }
    CloseHandle(handle);
    return 0;
}

int ini_platform_move_into_place(const IniPlatformReplacement *replacement)
{
    DWORD read_only = replacement->read_only_target;
    if (read_only != 0) {
        DWORD writable = read_only & ~FILE_ATTRIBUTE_READONLY;
        SetFileAttributesA(replacement->target, writable != 0 ? writable : FILE_ATTRIBUTE_NORMAL);
    }
    /* One rename within the volume, which NTFS journals; MOVEFILE_WRITE_THROUGH
     * asks the system to finish the move on disk before it returns. A file
     * open without delete sharing, the target or the temporary, makes it
     * fail with a denied access; any other denial is for good. */
    DWORD waited = 0;
    int moved = INI_PLATFORM_MOVED;
    while (!MoveFileExA(replacement->temporary, replacement->target,
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD error = GetLastError();
        int held = ini_platform_is_lock(error) ||
                   (error == ERROR_ACCESS_DENIED && (ini_platform_is_held(replacement->target) ||
                                                     ini_platform_is_held(replacement->temporary)));
        if (!held || !ini_platform_wait_for_lock(&waited)) {
            moved = !held && error == ERROR_ACCESS_DENIED ? INI_PLATFORM_MOVE_REFUSED
                                                          : INI_PLATFORM_MOVE_FAILED;
            break;
        }
    }
    if (moved != INI_PLATFORM_MOVED && read_only != 0) {
        SetFileAttributesA(replacement->target, read_only);
    }
    return moved;
}

IniPlatformFile ini_platform_open_to_rewrite(const char *target)
{
    /* Opened as it is and emptied after: emptying it in the open
     * (TRUNCATE_EXISTING) is refused for a hidden or system file. */
    HANDLE handle = ini_platform_open(target, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
    if (handle != INVALID_HANDLE_VALUE && !SetEndOfFile(handle)) {
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
    return handle == INVALID_HANDLE_VALUE ? INI_PLATFORM_NO_FILE : (IniPlatformFile)handle;
}

void ini_platform_remove_temporary(const IniPlatformReplacement *replacement)
{
    SetFileAttributesA(replacement->temporary, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(replacement->temporary);
}
