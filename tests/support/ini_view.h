/* Documents as plain values, so tests can compare a document with what they
 * expect in one assertion and read the difference in the failure message:
 * the views are those of the format's model (fuzz/ini_model.h), with its
 * model_of, model_of_section and model_printable. */
#ifndef OSTREL_TESTS_SUPPORT_INI_VIEW_H
#define OSTREL_TESTS_SUPPORT_INI_VIEW_H

#include <inifile/inifile.h>

#include <optional>
#include <string>

#include "ini_model.h"

using EntryList = ModelEntries;
using SectionView = ModelSection;
using DocumentView = ModelDocument;

/* A new document built with ini_put_section and ini_put_entry, owned by the
 * caller. A repeated name or key replaces the earlier one, as the API does. */
IniDocument *build_document(const DocumentView &view);

/* Loads path: the document as a view, or nothing when the loader returns
 * null. The document itself is released. */
std::optional<DocumentView> load_view(const std::string &path);

/* A line reader at the start of the file at path, newly opened for reading;
 * its file is INI_PLATFORM_NO_FILE when that fails. The caller closes it. */
IniLineReader open_line_reader(const std::string &path);

#endif
