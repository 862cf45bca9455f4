#include "support/ini_view.h"

#include <stdio.h>

#include "platform/platform.h"

bool operator==(const SectionView &left, const SectionView &right)
{
    return left.name == right.name && left.entries == right.entries;
}

std::ostream &operator<<(std::ostream &out, const SectionView &section)
{
    out << "[" << printable(section.name) << "]{";
    const char *separator = "";
    for (const auto &entry : section.entries) {
        out << separator << '"' << printable(entry.first) << "\"=\"" << printable(entry.second)
            << '"';
        separator = ", ";
    }
    return out << "}";
}

EntryList entries_of(const IniSection *section)
{
    EntryList entries;
    for (int32_t i = 0; i < section->entry_count; i++) {
        entries.emplace_back(section->entries[i]->key, section->entries[i]->value);
    }
    return entries;
}

DocumentView view_of(const IniDocument *doc)
{
    DocumentView view;
    for (int32_t i = 0; i < doc->section_count; i++) {
        view.push_back({doc->sections[i]->name, entries_of(doc->sections[i])});
    }
    return view;
}

IniDocument *build_document(const DocumentView &view)
{
    IniDocument *doc = ini_new_document();
    for (const SectionView &section_view : view) {
        IniSection *section = ini_new_section(section_view.name.c_str());
        for (const auto &entry : section_view.entries) {
            ini_put_entry(section, entry.first.c_str(), entry.second.c_str());
        }
        ini_put_section(doc, section);
    }
    return doc;
}

std::optional<DocumentView> load_view(const std::string &path)
{
    IniDocument *doc = ini_load_file(path.c_str());
    if (doc == nullptr) {
        return std::nullopt;
    }
    DocumentView view = view_of(doc);
    ini_free_document(doc);
    return view;
}

std::string printable(const std::string &bytes)
{
    std::string text;
    for (unsigned char byte : bytes) {
        if (byte == '\\') {
            text += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7f) {
            text += (char)byte;
        } else {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02x", byte);
            text += escape;
        }
    }
    return text;
}

IniLineReader open_line_reader(const std::string &path)
{
    IniLineReader reader;
    reader.file = ini_platform_open_for_reading(path.c_str());
    reader.end_of_input = INI_READER_MORE;
    reader.bytes_available = 0;
    reader.read_position = 0;
    return reader;
}
