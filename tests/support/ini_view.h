/* Plain-value copies of INI documents, so tests can compare a document with
 * what they expect in one assertion and read the difference in the failure
 * message. */
#ifndef OSTREL_TESTS_SUPPORT_INI_VIEW_H
#define OSTREL_TESTS_SUPPORT_INI_VIEW_H

#include <inifile/inifile.h>

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

using EntryList = std::vector<std::pair<std::string, std::string>>;

struct SectionView {
    std::string name;  /* the section name, without brackets */
    EntryList entries; /* key and value of every entry, in order */
};

bool operator==(const SectionView &left, const SectionView &right);
std::ostream &operator<<(std::ostream &out, const SectionView &section);

using DocumentView = std::vector<SectionView>;

/* The keys and values of section, in order. */
EntryList entries_of(const IniSection *section);

/* Every section of doc with its entries, in order. */
DocumentView view_of(const IniDocument *doc);

/* A new document built with ini_put_section and ini_put_entry, owned by the
 * caller. A repeated name or key replaces the earlier one, as the API does. */
IniDocument *build_document(const DocumentView &view);

/* Loads path: the document as a view, or nothing when the loader returns
 * null. The document itself is released. */
std::optional<DocumentView> load_view(const std::string &path);

/* A line reader at the start of the file at path, newly opened for reading;
 * its file is INI_PLATFORM_NO_FILE when that fails. The caller closes it. */
IniLineReader open_line_reader(const std::string &path);

/* bytes with every byte outside printable ASCII, and the backslash, written
 * as an escape, for failure messages. */
std::string printable(const std::string &bytes);

#endif
