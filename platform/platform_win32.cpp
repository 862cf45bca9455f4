#include "platform.h"

#include <windows.h>

static HANDLE platform_handle(PlatformFile file)
{
    return (HANDLE)file;
}

uint32_t platform_executable_path(char *buffer, uint32_t size)
{
    /* GetModuleFileNameA fills the whole buffer and returns size when the path
     * is cut short, so only a result below size is a whole path. */
    DWORD length = GetModuleFileNameA(NULL, buffer, size);
    return length < size ? (uint32_t)length : size;
}

PlatformFile platform_open_for_reading(const char *path)
{
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    return handle == INVALID_HANDLE_VALUE ? PLATFORM_NO_FILE : (PlatformFile)handle;
}

int32_t platform_read(PlatformFile file, void *buffer, uint32_t size)
{
    DWORD count = 0;
    if (!ReadFile(platform_handle(file), buffer, size, &count, NULL)) {
        return -1;
    }
    return (int32_t)count;
}

PlatformFile platform_create_for_writing(const char *path)
{
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    return handle == INVALID_HANDLE_VALUE ? PLATFORM_NO_FILE : (PlatformFile)handle;
}

int platform_write(PlatformFile file, const void *data, uint32_t size)
{
    DWORD written = 0;
    return WriteFile(platform_handle(file), data, size, &written, NULL) && written == size;
}

void platform_close(PlatformFile file)
{
    CloseHandle(platform_handle(file));
}

void platform_make_directory(const char *path)
{
    CreateDirectoryA(path, NULL);
}

int platform_file_exists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int platform_copy_file(const char *source, const char *target)
{
    return CopyFileA(source, target, FALSE) != 0;
}
