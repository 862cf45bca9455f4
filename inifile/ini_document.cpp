/* SPDX-License-Identifier: MIT */
#include "ini_internal.h"

#include <stdlib.h>
#include <string.h>

int ini_grow_pointer_array(void ***array, int32_t *capacity)
{
    if (*capacity > INT32_MAX - INI_GROW_STEP) {
        return -1;
    }
    int32_t grown = *capacity + INI_GROW_STEP;
    void **larger = (void **)realloc(*array, (size_t)grown * sizeof(void *));
    if (larger == NULL) {
        return -1;
    }
    *array = larger;
    *capacity = grown;
    return 0;
}

IniDocument *ini_new_document()
{
    IniDocument *doc = (IniDocument *)malloc(sizeof(IniDocument));
    if (doc == NULL) {
        return NULL;
    }
    doc->sections = (IniSection **)malloc(sizeof(IniSection *[INI_GROW_STEP]));
    if (doc->sections == NULL) {
        free(doc);
        return NULL;
    }
    doc->section_count = 0;
    doc->section_capacity = INI_GROW_STEP;
    return doc;
}

void ini_free_document(IniDocument *doc)
{
    if (doc == NULL) {
        return;
    }
    for (int32_t i = 0; i < doc->section_count; i++) {
        ini_free_section(doc->sections[i]);
    }
    free(doc->sections);
    free(doc);
}

IniSection *ini_new_section_owning_name(char *name)
{
    IniSection *section = (IniSection *)malloc(sizeof(IniSection));
    if (section == NULL) {
        return NULL;
    }
    section->entries = (IniEntry **)malloc(sizeof(IniEntry *[INI_GROW_STEP]));
    if (section->entries == NULL) {
        free(section);
        return NULL;
    }
    section->entry_count = 0;
    section->entry_capacity = INI_GROW_STEP;
    section->name = name;
    return section;
}

IniSection *ini_new_section(const char *name)
{
    size_t size = strlen(name) + 1;
    char *copy = (char *)malloc(size);
    if (copy == NULL) {
        return NULL;
    }
    memcpy(copy, name, size);
    IniSection *section = ini_new_section_owning_name(copy);
    if (section == NULL) {
        free(copy);
    }
    return section;
}

void ini_free_section(IniSection *section)
{
    if (section == NULL) {
        return;
    }
    for (int32_t i = 0; i < section->entry_count; i++) {
        free(section->entries[i]->key);
        free(section->entries[i]);
    }
    free(section->entries);
    free(section->name);
    free(section);
}

int ini_section_index(const IniDocument *doc, const char *name)
{
    if (doc == NULL) {
        return -1;
    }
    for (int32_t i = 0; i < doc->section_count; i++) {
        if (strcmp(doc->sections[i]->name, name) == 0) {
            return i;
        }
    }
    return -1;
}

IniSection *ini_find_section(const IniDocument *doc, const char *name)
{
    int index = ini_section_index(doc, name);
    return index < 0 ? NULL : doc->sections[index];
}

const char *ini_section_name_at(const IniDocument *doc, int index)
{
    return doc != NULL && index >= 0 && index < doc->section_count ? doc->sections[index]->name
                                                                   : NULL;
}

IniSection *ini_section_at(const IniDocument *doc, int index)
{
    return doc != NULL && index >= 0 && index < doc->section_count ? doc->sections[index] : NULL;
}

int ini_append_section(IniDocument *doc, IniSection *section)
{
    if (doc->section_count == doc->section_capacity &&
        ini_grow_pointer_array((void ***)&doc->sections, &doc->section_capacity) != 0) {
        return -1;
    }
    doc->sections[doc->section_count++] = section;
    return 0;
}

/* Empties slot index as removal does, moving the last section into it; the
 * section that stood there is not released. */
static void ini_empty_section_slot(IniDocument *doc, int32_t index)
{
    doc->section_count--;
    doc->sections[index] = doc->sections[doc->section_count];
}

int ini_put_section(IniDocument *doc, IniSection *section)
{
    int first = ini_section_index(doc, section->name);
    if (first < 0) {
        return ini_append_section(doc, section) == 0 ? 1 : -1;
    }
    if (doc->sections[first] == section) {
        return 0;
    }
    /* A section the document already holds stands after the first of its
     * name; its old slot goes, so that no pointer is held, or freed, twice. */
    for (int32_t held = first + 1; held < doc->section_count; held++) {
        if (doc->sections[held] == section) {
            ini_empty_section_slot(doc, held);
            break;
        }
    }
    ini_free_section(doc->sections[first]);
    doc->sections[first] = section;
    return 0;
}

int ini_remove_section(IniDocument *doc, const char *name)
{
    int index = ini_section_index(doc, name);
    if (index < 0) {
        return 1;
    }
    ini_free_section(doc->sections[index]);
    ini_empty_section_slot(doc, index);
    return 0;
}

int ini_entry_index(const IniSection *section, const char *key)
{
    if (section == NULL) {
        return -1;
    }
    for (int32_t i = 0; i < section->entry_count; i++) {
        if (strcmp(section->entries[i]->key, key) == 0) {
            return i;
        }
    }
    return -1;
}

const char *ini_find_value(const IniSection *section, const char *key)
{
    int index = ini_entry_index(section, key);
    return index < 0 ? NULL : section->entries[index]->value;
}

const char *ini_entry_key_at(const IniSection *section, int index)
{
    return section != NULL && index >= 0 && index < section->entry_count
               ? section->entries[index]->key
               : NULL;
}

const char *ini_entry_value_at(const IniSection *section, int index)
{
    return section != NULL && index >= 0 && index < section->entry_count
               ? section->entries[index]->value
               : NULL;
}

int ini_append_entry(IniSection *section, char *key, char *value)
{
    /* The record comes first: once the array has grown, nothing can fail, so
     * a failure leaves the capacity as it was. */
    IniEntry *entry = (IniEntry *)malloc(sizeof(IniEntry));
    if (entry == NULL) {
        return -1;
    }
    if (section->entry_count == section->entry_capacity &&
        ini_grow_pointer_array((void ***)&section->entries, &section->entry_capacity) != 0) {
        free(entry);
        return -1;
    }
    entry->key = key;
    entry->value = value;
    section->entries[section->entry_count++] = entry;
    return 0;
}

int ini_put_entry(IniSection *section, const char *key, const char *value)
{
    size_t key_size = strlen(key) + 1;
    size_t value_size = strlen(value) + 1;
    char *block = (char *)malloc(key_size + value_size);
    if (block == NULL) {
        return -1;
    }
    memcpy(block, key, key_size);
    memcpy(block + key_size, value, value_size);

    int index = ini_entry_index(section, key);
    if (index >= 0) {
        IniEntry *entry = section->entries[index];
        free(entry->key);
        entry->key = block;
        entry->value = block + key_size;
        return 0;
    }
    if (ini_append_entry(section, block, block + key_size) != 0) {
        free(block);
        return -1;
    }
    return 1;
}

int ini_remove_entry(IniSection *section, const char *key)
{
    int index = ini_entry_index(section, key);
    if (index < 0) {
        return 1;
    }
    free(section->entries[index]->key);
    free(section->entries[index]);
    section->entry_count--;
    section->entries[index] = section->entries[section->entry_count];
    return 0;
}

IniSection *ini_copy_section(const IniSection *source, const char *new_name)
{
    IniSection *copy = ini_new_section(new_name);
    if (copy == NULL) {
        return NULL;
    }
    for (int32_t i = 0; i < source->entry_count; i++) {
        const char *key = source->entries[i]->key;
        const char *first_value = ini_find_value(source, key);
        if (ini_put_entry(copy, key, first_value) < 0) {
            ini_free_section(copy);
            return NULL;
        }
    }
    return copy;
}

const char *ini_get_string(const IniDocument *doc, const char *section, const char *key,
                           const char *fallback)
{
    const char *value = ini_find_value(ini_find_section(doc, section), key);
    return value != NULL ? value : fallback;
}

/* The value of digit in base (10 or 16), or -1 when it is no digit of that
 * base; ASCII only, whatever the locale. */
static int ini_digit_value(char digit, int base)
{
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (base == 16 && digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    if (base == 16 && digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    return -1;
}

/* Reads text whole as an optional sign, then decimal digits or 0x or 0X and
 * hexadecimal digits. Returns 0 with *number set, or -1 when text is not
 * such a number or lies outside the range of int64_t. */
static int ini_parse_integer(const char *text, int64_t *number)
{
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        text++;
    }
    int base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    /* The magnitude is gathered unsigned, so that the one of INT64_MIN fits. */
    uint64_t limit = negative ? (uint64_t)INT64_MAX + 1 : (uint64_t)INT64_MAX;
    uint64_t magnitude = 0;
    const char *digits = text;
    for (; *text != '\0'; text++) {
        int digit = ini_digit_value(*text, base);
        if (digit < 0 || magnitude > (limit - (uint64_t)digit) / (uint64_t)base) {
            return -1;
        }
        magnitude = magnitude * (uint64_t)base + (uint64_t)digit;
    }
    if (text == digits) {
        return -1;
    }
    if (!negative) {
        *number = (int64_t)magnitude;
    } else if (magnitude == limit) {
        *number = INT64_MIN;
    } else {
        *number = -(int64_t)magnitude;
    }
    return 0;
}

int64_t ini_get_integer(const IniDocument *doc, const char *section, const char *key,
                        int64_t fallback)
{
    const char *value = ini_get_string(doc, section, key, NULL);
    int64_t number;
    return value != NULL && ini_parse_integer(value, &number) == 0 ? number : fallback;
}

/* Returns 1 when text equals word, a lower-case ASCII word, once its ASCII
 * capitals are taken as small letters; else 0. */
static int ini_equals_ignoring_case(const char *text, const char *word)
{
    for (; *word != '\0'; text++, word++) {
        char letter = *text >= 'A' && *text <= 'Z' ? (char)(*text - 'A' + 'a') : *text;
        if (letter != *word) {
            return 0;
        }
    }
    return *text == '\0';
}

int ini_get_boolean(const IniDocument *doc, const char *section, const char *key, int fallback)
{
    static const char *const true_words[] = {"1", "true", "yes", "on"};
    static const char *const false_words[] = {"0", "false", "no", "off"};
    const char *value = ini_get_string(doc, section, key, NULL);
    for (size_t i = 0; value != NULL && i < sizeof true_words / sizeof true_words[0]; i++) {
        if (ini_equals_ignoring_case(value, true_words[i])) {
            return 1;
        }
        if (ini_equals_ignoring_case(value, false_words[i])) {
            return 0;
        }
    }
    return fallback;
}

void ini_free(void *block)
{
    free(block);
}
