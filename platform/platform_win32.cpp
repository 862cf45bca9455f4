#include "platform.h"

#include <windows.h>

static HANDLE ini_platform_handle(IniPlatformFile file)
{
    return (HANDLE)file;
}

uint32_t ini_platform_executable_path(char *buffer, uint32_t size)
{
    /* GetModuleFileNameA fills the whole buffer and returns size when the path
     * is cut short, so only a result below size is a whole path. */
    DWORD length = GetModuleFileNameA(NULL, buffer, size);
    return length < size ? (uint32_t)length : size;
}

IniPlatformFile ini_platform_open_for_reading(const char *path)
{
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
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
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    return handle == INVALID_HANDLE_VALUE ? INI_PLATFORM_NO_FILE : (IniPlatformFile)handle;
}

int ini_platform_write(IniPlatformFile file, const void *data, uint32_t size)
{
    DWORD written = 0;
    return WriteFile(ini_platform_handle(file), data, size, &written, NULL) && written == size;
}

void ini_platform_close(IniPlatformFile file)
{
    CloseHandle(ini_platform_handle(file));
}

void ini_platform_make_directory(const char *path)
{
    CreateDirectoryA(path, NULL);
}

int ini_platform_file_exists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int ini_platform_copy_file(const char *source, const char *target)
{
    return CopyFileA(source, target, FALSE) != 0;
}

int ini_platform_owns_console_window(void)
{
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1) {
        return 0;
    }
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) &&
           GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) &&
           GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode);
}
