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

/* Writes length bytes with one write. Returns 1, or 0 when the write fails,
 * falls short, or is longer than one write can ask for. */
static int ini_write_bytes(IniPlatformFile file, const char *bytes, size_t length)
{
    return length <= UINT32_MAX && ini_platform_write(file, bytes, (uint32_t)length);
}

/* Writes one section: its header, then one write per entry line. Returns 0,
 * -2 when a write fails or is short, -3 when out of memory. */
static int ini_write_section(IniPlatformFile file, IniScratch *scratch, const IniSection *section)
{
    if (!ini_platform_write(file, "[", 1) ||
        !ini_write_bytes(file, section->name, strlen(section->name)) ||
        !ini_platform_write(file, "]\n", 2)) {
        return -2;
    }
    for (int32_t i = 0; i < section->entry_count; i++) {
        size_t length = ini_build_entry_line(scratch, section->entries[i]);
        if (length == 0) {
            return -3;
        }
        if (!ini_write_bytes(file, scratch->bytes, length)) {
            return -2;
        }
    }
    return 0;
}

int ini_save_file(const IniDocument *doc, const char *path)
{
    IniScratch scratch = {(char *)malloc(INI_GROW_STEP), INI_GROW_STEP};
    if (scratch.bytes == NULL) {
        return -3;
    }
    IniPlatformReplacement replacement;
    if (!ini_platform_begin_replace(path, NULL, 1, &replacement)) {
        free(scratch.bytes);
        return -1;
    }
    int result = 0;
    for (int32_t i = 0; result == 0 && i < doc->section_count; i++) {
        result = ini_write_section(replacement.file, &scratch, doc->sections[i]);
    }
    free(scratch.bytes);
    if (result != 0) {
        ini_platform_abandon_replace(&replacement);
        return result;
    }
    return ini_platform_finish_replace(&replacement);
}
