/* SPDX-License-Identifier: MIT */
#include "support/ini_view.h"

#include "platform/platform.h"

IniDocument *build_document(const ModelDocument &view)
{
    IniDocument *doc = ini_new_document();
    for (const ModelSection &section_view : view) {
        IniSection *section = ini_new_section(section_view.name.c_str());
        for (const auto &entry : section_view.entries) {
            ini_put_entry(section, entry.first.c_str(), entry.second.c_str());
        }
        ini_put_section(doc, section);
    }
    return doc;
}

std::optional<ModelDocument> take_view(IniDocument *doc)
{
    if (doc == nullptr) {
        return std::nullopt;
    }
    ModelDocument view = model_of(doc);
    ini_free_document(doc);
    return view;
}

std::optional<ModelDocument> load_view(const std::string &path)
{
    return take_view(ini_load_file(path.c_str()));
}

std::string generated_file(std::mt19937 &engine)
{
    static const char *const pieces[] = {"a",   "b",    "key",  " ",  "  ", "=",    "[",   "]",
                                         "\\;", "\\\\", "\\\n", "\r", "\t", "\xe9", "\\=", "x y"};
    auto words = [&](uint32_t most) {
        std::string text;
        for (uint32_t count = engine() % most; count > 0; count--) {
            text += pieces[engine() % (sizeof pieces / sizeof pieces[0])];
        }
        if (engine() % 16 == 0) {
            text.append(engine() % 1200, 'v');
        }
        return text;
    };
    std::string text = engine() % 8 == 0 ? "" : "[" + words(3) + "]\n";
    for (uint32_t lines = engine() % 60; lines > 0; lines--) {
        uint32_t kind = engine() % 200;
        if (kind < 40) {
            text += (kind < 36 ? "[s" : "[") + words(4) + "]";
        } else if (kind < 170) {
            text += "k" + words(3) + "=" + words(6);
        } else if (kind < 184) {
            text += ";" + words(5);
        } else if (kind < 199) {
            text += std::string(engine() % 3, ' ');
        } else {
            text += words(4);
        }
        if (engine() % 8 == 0) {
            text += " ;" + words(3);
        }
        text += engine() % 4 == 0 ? "\r\n" : "\n";
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
