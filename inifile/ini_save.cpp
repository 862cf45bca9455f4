/* SPDX-License-Identifier: MIT */
#include "ini_internal.h"

#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"

/* The buffer that every entry line is built in; its capacity grows in steps
 * of INI_GROW_STEP and never shrinks. */
struct IniScratch {
    char *bytes;
    size_t capacity;
};

/* Appends text at *length with a backslash before each ";" and "\", the two
 * bytes the loader would otherwise read as a comment or an escape. Returns 0,
 * or -1 when out of memory. */
static int ini_scratch_append_escaped(IniScratch *scratch, size_t *length, const char *text)
{
    for (;;) {
        size_t plain = strcspn(text, ";\\");
        int escape = text[plain] != '\0';
        if (ini_reserve_bytes(&scratch->bytes, &scratch->capacity,
                              *length + plain + 2 * (size_t)escape) != 0) {
            return -1;
        }
        memcpy(scratch->bytes + *length, text, plain);
        *length += plain;
        if (!escape) {
            return 0;
        }
        scratch->bytes[(*length)++] = '\\';
        scratch->bytes[(*length)++] = text[plain];
        text += plain + 1;
    }
}

/* Builds "key=value\n", escaped, in the scratch buffer. Returns its length,
 * or 0 when out of memory. */
static size_t ini_build_entry_line(IniScratch *scratch, const IniEntry *entry)
{
    size_t length = 0;
    if (ini_scratch_append_escaped(scratch, &length, entry->key) != 0 ||
        ini_reserve_bytes(&scratch->bytes, &scratch->capacity, length + 1) != 0) {
        return 0;
    }
    scratch->bytes[length++] = '=';
    if (ini_scratch_append_escaped(scratch, &length, entry->value) != 0 ||
        ini_reserve_bytes(&scratch->bytes, &scratch->capacity, length + 1) != 0) {
        return 0;
    }
    scratch->bytes[length++] = '\n';
    return length;
}

/* Where the writer puts its bytes: puts length bytes into sink, as one piece.
 * Returns 0, -2 when the write fails or falls short, or -3 when out of
 * memory. */
typedef int (*IniWriteFunction)(intptr_t sink, const char *bytes, size_t length);

/* An IniWriteFunction over an open file: one write, which fails when it
 * falls short or is longer than one write can ask for. */
static int ini_write_file(intptr_t sink, const char *bytes, size_t length)
{
    return length <= UINT32_MAX && ini_platform_write(sink, bytes, (uint32_t)length) ? 0 : -2;
}

/* The bytes ini_save_memory gathers: a heap block that at least doubles
 * whenever it must grow, so that a document costs a few copies. */
struct IniMemoryOutput {
    char *bytes;
    size_t length;
    size_t capacity;
};

/* An IniWriteFunction over an IniMemoryOutput, keeping room for a NUL after
 * the bytes. */
static int ini_write_memory(intptr_t sink, const char *bytes, size_t length)
{
    /* The writer hands back the address that ini_save_memory gave it. */
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    IniMemoryOutput *output = (IniMemoryOutput *)sink;
    if (length >= SIZE_MAX - output->length) {
        return -3;
    }
    size_t needed = output->length + length + 1;
    if (needed > output->capacity) {
        size_t capacity = output->capacity > SIZE_MAX / 2 || 2 * output->capacity < needed
                              ? needed
                              : 2 * output->capacity;
        char *grown = (char *)realloc(output->bytes, capacity);
        if (grown == NULL) {
            return -3;
        }
        output->bytes = grown;
        output->capacity = capacity;
    }
    memcpy(output->bytes + output->length, bytes, length);
    output->length += length;
    return 0;
}

/* Writes one section: its header, in three writes, then one write per entry
 * line. Returns 0, or the first failure of put or -3 when out of memory. */
static int ini_write_section(intptr_t sink, IniWriteFunction put, IniScratch *scratch,
                             const IniSection *section)
{
    int result = put(sink, "[", 1);
    if (result == 0) {
        result = put(sink, section->name, strlen(section->name));
    }
    if (result == 0) {
        result = put(sink, "]\n", 2);
    }
    for (int32_t i = 0; result == 0 && i < section->entry_count; i++) {
        size_t length = ini_build_entry_line(scratch, section->entries[i]);
        result = length == 0 ? -3 : put(sink, scratch->bytes, length);
    }
    return result;
}

/* Writes every section of doc to sink, building entry lines in scratch.
 * Returns 0, or what ini_write_section returns first. */
static int ini_write_document(const IniDocument *doc, intptr_t sink, IniWriteFunction put,
                              IniScratch *scratch)
{
    int result = 0;
    for (int32_t i = 0; result == 0 && i < doc->section_count; i++) {
        result = ini_write_section(sink, put, scratch, doc->sections[i]);
    }
    return result;
}

/* What ini_save_file hands the file layer to write its content. */
struct IniFileOutput {
    const IniDocument *doc;
    IniScratch *scratch;
};

/* An IniPlatformContentWriter that writes an IniFileOutput's document.
 * Returns 0, -2 or -3 as ini_write_document does. */
static int ini_write_document_to_file(IniPlatformFile file, void *context)
{
    const IniFileOutput *output = (const IniFileOutput *)context;
    return ini_write_document(output->doc, file, ini_write_file, output->scratch);
}

int ini_save_file(const IniDocument *doc, const char *path)
{
    IniScratch scratch = {(char *)malloc(INI_GROW_STEP), INI_GROW_STEP};
    if (scratch.bytes == NULL) {
        return -3;
    }
    IniFileOutput output = {doc, &scratch};
    int result = ini_platform_replace_file(path, NULL, 1, ini_write_document_to_file, &output);
    free(scratch.bytes);
    return result;
}

int ini_save_memory(const IniDocument *doc, char **bytes, size_t *size)
{
    *bytes = NULL;
    *size = 0;
    IniScratch scratch = {(char *)malloc(INI_GROW_STEP), INI_GROW_STEP};
    if (scratch.bytes == NULL) {
        return -3;
    }
    /* Room for the NUL alone, which an empty document's buffer holds. */
    IniMemoryOutput output = {(char *)malloc(1), 0, 1};
    int result = output.bytes == NULL
                     ? -3
                     : ini_write_document(doc, (intptr_t)&output, ini_write_memory, &scratch);
    free(scratch.bytes);
    if (result != 0) {
        free(output.bytes);
        return result;
    }
    output.bytes[output.length] = '\0';
    *bytes = output.bytes;
    *size = output.length;
    return 0;
}
