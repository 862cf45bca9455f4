/* SPDX-License-Identifier: MIT */
#include "ini_internal.h"

#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"

/* The bytes a save writes at once: enough that the system calls cost little
 * beside the bytes, while a save never holds the whole file. */
enum { INI_SAVE_BLOCK = 64 * 1024 };

/* Where the writer's bytes gather: for a file, a block written out whenever
 * it is full; in memory, a heap block that at least doubles whenever it must
 * grow, so that a document costs a few copies, keeping room for a NUL. */
struct IniOutput {
    char *bytes;
    size_t length;
    size_t capacity;
    IniPlatformFile file; /* where full blocks go, or INI_PLATFORM_NO_FILE: into memory */
};

/* The room left for bytes; in memory, a NUL still fits after them. */
static size_t ini_output_room(const IniOutput *output)
{
    return output->capacity - output->length - (output->file == INI_PLATFORM_NO_FILE);
}

/* Makes room for at least one more byte. Returns 0, -2 when writing the
 * full block out fails, or -3 when out of memory. */
static int ini_output_make_room(IniOutput *output)
{
    if (ini_output_room(output) > 0) {
        return 0;
    }
    if (output->file != INI_PLATFORM_NO_FILE) {
        if (!ini_platform_write(output->file, output->bytes, (uint32_t)output->length)) {
            return -2;
        }
        output->length = 0;
        return 0;
    }
    if (output->capacity > SIZE_MAX / 2) {
        return -3;
    }
    char *grown = (char *)realloc(output->bytes, 2 * output->capacity);
    if (grown == NULL) {
        return -3;
    }
    output->bytes = grown;
    output->capacity *= 2;
    return 0;
}

/* Appends size bytes. Returns 0, or what ini_output_make_room returns. */
static int ini_output_put(IniOutput *output, const char *bytes, size_t size)
{
    while (size > 0) {
        int result = ini_output_make_room(output);
        if (result != 0) {
            return result;
        }
        size_t room = ini_output_room(output);
        size_t count = size < room ? size : room;
        memcpy(output->bytes + output->length, bytes, count);
        output->length += count;
        bytes += count;
        size -= count;
    }
    return 0;
}

/* Appends text with a backslash before each ";" and "\", the two bytes the
 * loader would otherwise read as a comment or an escape. Returns 0, or what
 * ini_output_make_room returns. */
static int ini_output_put_escaped(IniOutput *output, const char *text)
{
    for (;;) {
        size_t plain = strcspn(text, ";\\");
        int result = ini_output_put(output, text, plain);
        if (result != 0 || text[plain] == '\0') {
            return result;
        }
        const char escaped[2] = {'\\', text[plain]};
        result = ini_output_put(output, escaped, 2);
        if (result != 0) {
            return result;
        }
        text += plain + 1;
    }
}

/* Appends every section of doc: "[name]" and a line feed, then
 * "key=value" and a line feed for each entry, escaped. Returns 0, or the
 * first failure of ini_output_make_room. */
static int ini_output_document(IniOutput *output, const IniDocument *doc)
{
    int result = 0;
    for (int32_t i = 0; result == 0 && i < doc->section_count; i++) {
        const IniSection *section = doc->sections[i];
        result = ini_output_put(output, "[", 1);
        if (result == 0) {
            result = ini_output_put(output, section->name, strlen(section->name));
        }
        if (result == 0) {
            result = ini_output_put(output, "]\n", 2);
        }
        for (int32_t j = 0; result == 0 && j < section->entry_count; j++) {
            result = ini_output_put_escaped(output, section->entries[j]->key);
            if (result == 0) {
                result = ini_output_put(output, "=", 1);
            }
            if (result == 0) {
                result = ini_output_put_escaped(output, section->entries[j]->value);
            }
            if (result == 0) {
                result = ini_output_put(output, "\n", 1);
            }
        }
    }
    return result;
}

/* What ini_save_file hands the file layer to write. */
struct IniFileContent {
    const IniDocument *doc;
    char *block; /* INI_SAVE_BLOCK bytes */
};

/* An IniPlatformContentWriter that writes an IniFileContent's document.
 * Returns 0, or -2 when a write fails. */
static int ini_write_document_to_file(IniPlatformFile file, void *context)
{
    const IniFileContent *content = (const IniFileContent *)context;
    IniOutput output = {content->block, 0, INI_SAVE_BLOCK, file};
    int result = ini_output_document(&output, content->doc);
    if (result == 0 && output.length > 0 &&
        !ini_platform_write(file, output.bytes, (uint32_t)output.length)) {
        result = -2;
    }
    return result;
}

int ini_save_file(const IniDocument *doc, const char *path)
{
    IniFileContent content = {doc, (char *)malloc(INI_SAVE_BLOCK)};
    if (content.block == NULL) {
        return -3;
    }
    int result = ini_platform_replace_file(path, NULL, 1, ini_write_document_to_file, &content);
    free(content.block);
    return result;
}

int ini_save_memory(const IniDocument *doc, char **bytes, size_t *size)
{
    *bytes = NULL;
    *size = 0;
    IniOutput output = {(char *)malloc(INI_GROW_STEP), 0, INI_GROW_STEP, INI_PLATFORM_NO_FILE};
    int result = output.bytes == NULL ? -3 : ini_output_document(&output, doc);
    if (result != 0) {
        free(output.bytes);
        return result;
    }
    output.bytes[output.length] = '\0';
    *bytes = output.bytes;
    *size = output.length;
    return 0;
}
