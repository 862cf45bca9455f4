/* SPDX-License-Identifier: MIT */
#include "support/memory_file.h"

#include <string.h>

namespace
{

/* What the loader's "file" points to. */
struct MemoryFile {
    const char *bytes;
    size_t size;
    size_t position;
    uint32_t most;
};

int32_t memory_file_read(intptr_t file, void *buffer, uint32_t size)
{
    MemoryFile *memory = (MemoryFile *)file;
    size_t count = memory->size - memory->position;
    if (count > size) {
        count = size;
    }
    if (memory->most != 0 && count > memory->most) {
        count = memory->most;
    }
    memcpy(buffer, memory->bytes + memory->position, count);
    memory->position += count;
    return (int32_t)count;
}

} // namespace

IniDocument *load_from_memory(const char *bytes, size_t size, uint32_t most, IniLoadResult *result,
                              int32_t *line)
{
    MemoryFile memory = {bytes, size, 0, most};
    return ini_load_from((intptr_t)&memory, memory_file_read, result, line);
}
