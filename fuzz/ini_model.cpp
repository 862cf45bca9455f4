/* SPDX-License-Identifier: MIT */
#include "ini_model.h"

#include <stdio.h>

std::vector<std::string> model_logical_lines(const uint8_t *bytes, size_t size,
                                             std::vector<uint64_t> *first_lines)
{
    std::vector<std::string> lines;
    std::string line;
    uint64_t line_feeds = 0;
    uint64_t first_line = 0;
    bool escaped = false;
    bool in_comment = false;
    auto store = [&](char byte) {
        if (line.empty()) {
            first_line = line_feeds + 1;
        }
        line += byte;
    };
    auto finish = [&]() {
        while (line.back() == ' ') {
            line.pop_back();
        }
        lines.push_back(line);
        if (first_lines != nullptr) {
            first_lines->push_back(first_line);
        }
        line.clear();
    };
    for (size_t i = 0; i < size; i++) {
        char byte = (char)bytes[i];
        if (byte == '\n') {
            line_feeds++;
        }
        if (in_comment) {
            if (byte != '\n') {
                continue; /* everything up to the line feed is dropped */
            }
            in_comment = false; /* the line feed then acts as outside a comment */
        }
        if (byte == '\r') {
            continue; /* discarded wherever it stands, even right after "\" */
        }
        if (escaped) {
            escaped = false;
            if (byte == '\n') {
                continue; /* a continuation: the next physical line joins this one */
            }
            if (byte != ' ' || !line.empty()) {
                store(byte);
            }
            continue;
        }
        if (byte == '\n') {
            if (!line.empty()) {
                finish();
            }
        } else if (byte == ';') {
            in_comment = true;
        } else if (byte == '\\') {
            escaped = true;
        } else if (byte != ' ' || !line.empty()) {
            store(byte);
        }
    }
    if (!line.empty()) {
        finish();
    }
    return lines;
}

std::string model_visible(const std::string &line)
{
    return line.substr(0, line.find('\0'));
}

static bool model_is_header(const std::string &text)
{
    return text.size() >= 3 && text.front() == '[' && text.back() == ']';
}

/* The position of the "=" that makes text an entry, or npos. */
static size_t model_entry_separator(const std::string &text)
{
    size_t separator = text.find('=');
    return separator == 0 ? std::string::npos : separator;
}

bool model_load(const uint8_t *bytes, size_t size, ModelDocument *doc, uint64_t *malformed_line)
{
    doc->clear();
    std::vector<uint64_t> first_lines;
    std::vector<std::string> lines = model_logical_lines(bytes, size, &first_lines);
    for (size_t i = 0; i < lines.size(); i++) {
        std::string text = model_visible(lines[i]);
        size_t separator = doc->empty() ? std::string::npos : model_entry_separator(text);
        if (separator != std::string::npos) {
            std::string key = text.substr(0, separator);
            while (!key.empty() && key.back() == ' ') {
                key.pop_back();
            }
            size_t value_start = text.find_first_not_of(' ', separator + 1);
            std::string value =
                value_start == std::string::npos ? std::string() : text.substr(value_start);
            doc->back().entries.emplace_back(key, value);
        } else if (model_is_header(text)) {
            doc->push_back({text.substr(1, text.size() - 2), {}});
        } else {
            doc->clear();
            if (malformed_line != nullptr) {
                *malformed_line = first_lines[i];
            }
            return false;
        }
    }
    return true;
}

std::string model_escaped(const std::string &text)
{
    std::string escaped;
    for (char byte : text) {
        if (byte == ';' || byte == '\\') {
            escaped += '\\';
        }
        escaped += byte;
    }
    return escaped;
}

std::string model_save(const ModelDocument &doc)
{
    std::string bytes;
    for (const ModelSection &section : doc) {
        bytes += "[" + section.name + "]\n";
        for (const auto &entry : section.entries) {
            bytes += model_escaped(entry.first) + "=" + model_escaped(entry.second) + "\n";
        }
    }
    return bytes;
}

static bool model_has_any(const std::string &text, const char *bytes)
{
    return text.find_first_of(bytes) != std::string::npos;
}

static bool model_has_edge_space(const std::string &text)
{
    return !text.empty() && (text.front() == ' ' || text.back() == ' ');
}

bool model_round_trips(const ModelDocument &doc)
{
    for (size_t i = 0; i < doc.size(); i++) {
        const ModelSection &section = doc[i];
        if (section.name.empty() || model_has_any(section.name, ";\\\r\n") ||
            (i > 0 && model_has_any(section.name, "="))) {
            return false;
        }
        for (const auto &entry : section.entries) {
            if (entry.first.empty() || model_has_any(entry.first, "=\r\n") ||
                model_has_any(entry.second, "\r\n") || model_has_edge_space(entry.first) ||
                model_has_edge_space(entry.second)) {
                return false;
            }
        }
    }
    return true;
}

ModelSection model_of_section(const IniSection *section)
{
    ModelSection model = {section->name, {}};
    for (int32_t i = 0; i < section->entry_count; i++) {
        model.entries.emplace_back(section->entries[i]->key, section->entries[i]->value);
    }
    return model;
}

ModelDocument model_of(const IniDocument *doc)
{
    ModelDocument model;
    for (int32_t i = 0; i < doc->section_count; i++) {
        model.push_back(model_of_section(doc->sections[i]));
    }
    return model;
}

std::string model_printable(const std::string &bytes)
{
    std::string text;
    for (unsigned char byte : bytes) {
        if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
            text += (char)byte;
        } else {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02x", byte);
            text += escape;
        }
    }
    return text;
}

std::string model_describe(const ModelDocument &doc)
{
    std::string text = std::to_string(doc.size()) + " sections:\n";
    for (const ModelSection &section : doc) {
        text += "  [" + model_printable(section.name) + "]\n";
        for (const auto &entry : section.entries) {
            text += "    \"" + model_printable(entry.first) + "\" = \"" +
                    model_printable(entry.second) + "\"\n";
        }
    }
    return text;
}

int32_t model_capacity(int32_t peak)
{
    int32_t steps = peak <= INI_GROW_STEP ? 1 : (peak + INI_GROW_STEP - 1) / INI_GROW_STEP;
    return steps * INI_GROW_STEP;
}

size_t model_block_capacity(size_t size)
{
    size_t steps = size <= INI_GROW_STEP ? 1 : (size + INI_GROW_STEP - 1) / INI_GROW_STEP;
    return steps * INI_GROW_STEP;
}

bool operator==(const ModelSection &left, const ModelSection &right)
{
    return left.name == right.name && left.entries == right.entries;
}

bool operator!=(const ModelSection &left, const ModelSection &right)
{
    return !(left == right);
}

std::ostream &operator<<(std::ostream &out, const ModelSection &section)
{
    out << "[" << model_printable(section.name) << "]{";
    const char *separator = "";
    for (const auto &entry : section.entries) {
        out << separator << '"' << model_printable(entry.first) << "\"=\""
            << model_printable(entry.second) << '"';
        separator = ", ";
    }
    return out << "}";
}
