#include "support/ini_view.h"

#include "platform/platform.h"

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
    DocumentView view = model_of(doc);
    ini_free_document(doc);
    return view;
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
