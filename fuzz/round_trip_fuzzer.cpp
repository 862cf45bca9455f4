/* SPDX-License-Identifier: MIT */
/* Builds a document from the fuzz input through the library's own operations,
 * following each one in a plain model, then saves it, loads it again and
 * checks what the writer promises: the exact bytes written, and a reloaded
 * document equal to the original whenever the document is inside the bounds
 * that the writer guarantees, or else equal to what the format makes of those
 * bytes. */
#include <fuzzer/FuzzedDataProvider.h>
#include <inifile/inifile.h>
#include <stdlib.h>

#include <algorithm>

#include "fuzz_checks.h"

namespace
{

/* Bytes that mean something to the format, and a few that do not. */
const char fuzz_alphabet[] = {'a', 'b',  '=',  ';',  '\\', ' ',    '[',
                              ']', '\r', '\n', '\t', '#',  '\x80', '\xff'};

enum FuzzOperation {
    FUZZ_PUT_NEW_SECTION,
    FUZZ_PUT_ENTRY,
    FUZZ_PUT_ENTRY_FROM_ITSELF,
    FUZZ_REMOVE_ENTRY,
    FUZZ_REMOVE_SECTION,
    FUZZ_PUT_COPY,
    FUZZ_DISCARD_SECTIONS,
    FUZZ_LOOK_UP,
    FUZZ_PUT_MANY,
    FUZZ_OPERATION_LAST = FUZZ_PUT_MANY
};

/* The model of the document being built, with the largest count each array
 * has had, which fixes its capacity. */
struct FuzzModel {
    ModelDocument doc;
    std::vector<int32_t> entry_peaks; /* per section */
    int32_t section_peak = 0;
};

std::string fuzz_text(FuzzedDataProvider &input)
{
    size_t length = input.ConsumeIntegralInRange<size_t>(0, 6);
    std::string text;
    for (size_t i = 0; i < length; i++) {
        text += fuzz_alphabet[input.ConsumeIntegralInRange<size_t>(0, sizeof fuzz_alphabet - 1)];
    }
    return text;
}

/* One of the existing names, or a new text; existing ones are often taken so
 * that replacing and removing are exercised. */
std::string fuzz_name(FuzzedDataProvider &input, const std::vector<std::string> &existing)
{
    if (!existing.empty() && input.ConsumeBool()) {
        return existing[input.ConsumeIntegralInRange<size_t>(0, existing.size() - 1)];
    }
    return fuzz_text(input);
}

std::vector<std::string> fuzz_section_names(const ModelDocument &doc)
{
    std::vector<std::string> names;
    for (const ModelSection &section : doc) {
        names.push_back(section.name);
    }
    return names;
}

std::vector<std::string> fuzz_keys(const ModelSection &section)
{
    std::vector<std::string> keys;
    for (const auto &entry : section.entries) {
        keys.push_back(entry.first);
    }
    return keys;
}

/* The position of name in the model, or -1. */
int fuzz_section_position(const ModelDocument &doc, const std::string &name)
{
    for (size_t i = 0; i < doc.size(); i++) {
        if (doc[i].name == name) {
            return (int)i;
        }
    }
    return -1;
}

int fuzz_entry_position(const ModelSection &section, const std::string &key)
{
    for (size_t i = 0; i < section.entries.size(); i++) {
        if (section.entries[i].first == key) {
            return (int)i;
        }
    }
    return -1;
}

/* ini_put_entry on the library section and on its model, checking the
 * result. */
void fuzz_put_entry(IniSection *section, ModelSection *model, int32_t *peak, const char *key,
                    const char *value)
{
    std::string key_copy = key;
    std::string value_copy = value;
    int position = fuzz_entry_position(*model, key_copy);
    int result = ini_put_entry(section, key, value);
    if (position >= 0) {
        fuzz_check(result == 0, "put of a present key replaces");
        model->entries[(size_t)position].second = value_copy;
    } else {
        fuzz_check(result == 1, "put of a new key appends");
        model->entries.emplace_back(key_copy, value_copy);
        *peak = std::max(*peak, (int32_t)model->entries.size());
    }
}

/* Removes element position of a model array the way the library does: the
 * last element moves into its place. */
template <typename T> void fuzz_remove_at(std::vector<T> *elements, size_t position)
{
    (*elements)[position] = elements->back();
    elements->pop_back();
}

/* A new section named name with a few entries, made by the library and by
 * the model alike. */
IniSection *fuzz_new_section(FuzzedDataProvider &input, const std::string &name,
                             ModelSection *model, int32_t *peak)
{
    IniSection *section = ini_new_section(name.c_str());
    fuzz_check(section != NULL, "new section");
    *model = {name, {}};
    *peak = 0;
    size_t count = input.ConsumeIntegralInRange<size_t>(0, 3);
    for (size_t i = 0; i < count; i++) {
        std::string key = fuzz_name(input, fuzz_keys(*model));
        std::string value = fuzz_text(input);
        fuzz_put_entry(section, model, peak, key.c_str(), value.c_str());
    }
    return section;
}

/* ini_put_section on the library document and on the model. */
void fuzz_put_section(IniDocument *doc, FuzzModel *model, IniSection *section,
                      const ModelSection &section_model, int32_t entry_peak)
{
    int position = fuzz_section_position(model->doc, section_model.name);
    int result = ini_put_section(doc, section);
    if (position >= 0) {
        fuzz_check(result == 0, "put of a present section replaces");
        model->doc[(size_t)position] = section_model;
        model->entry_peaks[(size_t)position] = entry_peak;
    } else {
        fuzz_check(result == 1, "put of a new section appends");
        model->doc.push_back(section_model);
        model->entry_peaks.push_back(entry_peak);
        model->section_peak = std::max(model->section_peak, (int32_t)model->doc.size());
    }
}

/* The model of a copy: each distinct key once, in the order of its first
 * appearance, with its first value. */
ModelSection fuzz_copy_model(const ModelSection &source, const std::string &name)
{
    ModelSection copy = {name, {}};
    for (const auto &entry : source.entries) {
        if (fuzz_entry_position(copy, entry.first) < 0) {
            copy.entries.push_back(entry);
        }
    }
    return copy;
}

void fuzz_apply(FuzzedDataProvider &input, IniDocument *doc, FuzzModel *model)
{
    auto operation = (FuzzOperation)input.ConsumeIntegralInRange<int>(0, FUZZ_OPERATION_LAST);
    bool has_sections = !model->doc.empty();
    size_t section_index =
        has_sections ? input.ConsumeIntegralInRange<size_t>(0, model->doc.size() - 1) : 0;
    IniSection *section = has_sections ? doc->sections[section_index] : NULL;
    ModelSection *section_model = has_sections ? &model->doc[section_index] : NULL;

    switch (operation) {
    case FUZZ_PUT_NEW_SECTION: {
        ModelSection made;
        int32_t peak;
        std::string name = fuzz_name(input, fuzz_section_names(model->doc));
        IniSection *fresh = fuzz_new_section(input, name, &made, &peak);
        fuzz_put_section(doc, model, fresh, made, peak);
        break;
    }
    case FUZZ_PUT_ENTRY:
        if (section != NULL) {
            std::string key = fuzz_name(input, fuzz_keys(*section_model));
            std::string value = fuzz_text(input);
            fuzz_put_entry(section, section_model, &model->entry_peaks[section_index], key.c_str(),
                           value.c_str());
        }
        break;
    case FUZZ_PUT_ENTRY_FROM_ITSELF:
        /* Key and value taken from entries of the section itself, possibly
         * from the very entry being replaced. */
        if (section != NULL && section->entry_count > 0) {
            int32_t last = section->entry_count - 1;
            const IniEntry *keyed = section->entries[input.ConsumeIntegralInRange(0, last)];
            const IniEntry *valued = section->entries[input.ConsumeIntegralInRange(0, last)];
            fuzz_put_entry(section, section_model, &model->entry_peaks[section_index], keyed->key,
                           valued->value);
        }
        break;
    case FUZZ_REMOVE_ENTRY:
        if (section != NULL) {
            std::string key = fuzz_name(input, fuzz_keys(*section_model));
            int position = fuzz_entry_position(*section_model, key);
            int result = ini_remove_entry(section, key.c_str());
            fuzz_check(result == (position >= 0 ? 0 : 1), "remove entry result");
            if (position >= 0) {
                fuzz_remove_at(&section_model->entries, (size_t)position);
            }
        }
        break;
    case FUZZ_REMOVE_SECTION: {
        std::string name = fuzz_name(input, fuzz_section_names(model->doc));
        int position = fuzz_section_position(model->doc, name);
        int result = ini_remove_section(doc, name.c_str());
        fuzz_check(result == (position >= 0 ? 0 : 1), "remove section result");
        if (position >= 0) {
            fuzz_remove_at(&model->doc, (size_t)position);
            fuzz_remove_at(&model->entry_peaks, (size_t)position);
        }
        break;
    }
    case FUZZ_PUT_COPY:
        if (section != NULL) {
            std::string name = fuzz_name(input, fuzz_section_names(model->doc));
            IniSection *copy = ini_copy_section(section, name.c_str());
            fuzz_check(copy != NULL, "copy made");
            ModelSection copy_model = fuzz_copy_model(*section_model, name);
            fuzz_check_equal(ModelDocument{model_of_section(copy)}, ModelDocument{copy_model},
                             "copy as documented");
            fuzz_put_section(doc, model, copy, copy_model, (int32_t)copy_model.entries.size());
        }
        break;
    case FUZZ_DISCARD_SECTIONS: {
        /* Sections that never join the document are released by their
         * creator. */
        ModelSection made;
        int32_t peak;
        IniSection *fresh = fuzz_new_section(input, fuzz_text(input), &made, &peak);
        ini_free_section(fresh);
        if (section != NULL) {
            ini_free_section(ini_copy_section(section, fuzz_text(input).c_str()));
        }
        break;
    }
    case FUZZ_PUT_MANY: {
        /* Enough distinct names and keys at once to make the arrays grow. */
        std::string stem = fuzz_text(input);
        int count = input.ConsumeIntegralInRange(0, 25);
        bool sections = section == NULL || input.ConsumeBool();
        for (int i = 0; i < count; i++) {
            std::string name = stem + std::to_string(i);
            if (sections) {
                ModelSection made = {name, {}};
                fuzz_put_section(doc, model, ini_new_section(name.c_str()), made, 0);
            } else {
                fuzz_put_entry(section, section_model, &model->entry_peaks[section_index],
                               name.c_str(), stem.c_str());
            }
        }
        break;
    }
    case FUZZ_LOOK_UP: {
        std::string name = fuzz_name(input, fuzz_section_names(model->doc));
        int position = fuzz_section_position(model->doc, name);
        fuzz_check(ini_section_index(doc, name.c_str()) == position, "section index");
        fuzz_check((ini_find_section(doc, name.c_str()) == NULL) == (position < 0),
                   "section found exactly when present");
        if (section != NULL) {
            std::string key = fuzz_name(input, fuzz_keys(*section_model));
            int entry = fuzz_entry_position(*section_model, key);
            fuzz_check(ini_entry_index(section, key.c_str()) == entry, "entry index");
            const char *value = ini_find_value(section, key.c_str());
            fuzz_check(entry < 0
                           ? value == NULL
                           : value != NULL && section_model->entries[(size_t)entry].second == value,
                       "value found exactly when present");
        }
        break;
    }
    }
}

bool fuzz_has_empty_name_or_key(const ModelDocument &doc)
{
    for (const ModelSection &section : doc) {
        if (section.name.empty()) {
            return true;
        }
        for (const auto &entry : section.entries) {
            if (entry.first.empty()) {
                return true;
            }
        }
    }
    return false;
}

/* Saves doc, checks the bytes and those saved to memory, loads them again
 * and checks the result. */
void fuzz_check_round_trip(const IniDocument *doc, const ModelDocument &model)
{
    const char *path = fuzz_temp_path("round_trip_fuzzer");
    fuzz_check(ini_save_file(doc, path) == 0, "document saved");
    std::string bytes = fuzz_read_file(path);
    std::string expected_bytes = model_save(model);
    fuzz_check(bytes == expected_bytes, "saved bytes as the writer's form says");
    char *memory = NULL;
    size_t size = 0;
    fuzz_check(ini_save_memory(doc, &memory, &size) == 0, "document saved to memory");
    fuzz_check(std::string(memory, size) == bytes && memory[size] == '\0',
               "the bytes saved to memory are the file's, and a NUL");
    free(memory);

    ModelDocument expected;
    bool loads = model_load((const uint8_t *)bytes.data(), bytes.size(), &expected);
    if (model_round_trips(model)) {
        fuzz_check(loads, "a document inside the bounds loads again");
        fuzz_check_equal(expected, model, "a document inside the bounds comes back unchanged");
    }
    if (fuzz_has_empty_name_or_key(model)) {
        fuzz_check(!loads, "an empty section name or key makes the file fail to load");
    }

    IniDocument *loaded = ini_load_file(path);
    fuzz_check((loaded != NULL) == loads, "reloaded exactly when the saved bytes are well formed");
    if (loaded != NULL) {
        fuzz_check_document(loaded, FUZZ_ENTRIES_LOADED);
        fuzz_check_equal(model_of(loaded), expected, "reloaded document as the format says");
        ini_free_document(loaded);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    IniDocument *doc = ini_new_document();
    fuzz_check(doc != NULL, "new document");
    FuzzModel model;
    while (input.remaining_bytes() > 0) {
        fuzz_apply(input, doc, &model);
        fuzz_check_equal(model_of(doc), model.doc, "document follows the model");
    }
    fuzz_check_document(doc, FUZZ_ENTRIES_PUT);
    fuzz_check(doc->section_capacity == model_capacity(model.section_peak),
               "section capacity grown only when full, never shrunk");
    for (size_t i = 0; i < model.doc.size(); i++) {
        fuzz_check(doc->sections[i]->entry_capacity == model_capacity(model.entry_peaks[i]),
                   "entry capacity grown only when full, never shrunk");
    }
    fuzz_check_round_trip(doc, model.doc);
    ini_free_document(doc);
    return 0;
}
