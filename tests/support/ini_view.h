/* SPDX-License-Identifier: MIT */
/* Documents as plain values, so tests can compare a document with what they
 * expect in one assertion and read the difference in the failure message.
 * The values are the format's model's (fuzz/ini_model.h: ModelDocument,
 * model_of, model_printable); here is what only the tests need of them. */
#ifndef OSTREL_TESTS_SUPPORT_INI_VIEW_H
#define OSTREL_TESTS_SUPPORT_INI_VIEW_H

#include <inifile/inifile.h>

#include <optional>
#include <random>
#include <string>

#include "ini_model.h"

/* A new document built with ini_put_section and ini_put_entry, owned by the
 * caller. A repeated name or key replaces the earlier one, as the API does. */
IniDocument *build_document(const ModelDocument &view);

/* The document doc holds as a view, or nothing for null; doc is released. */
std::optional<ModelDocument> take_view(IniDocument *doc);

/* Loads path: the document as a view, or nothing when the loader returns
 * null. The document itself is released. */
std::optional<ModelDocument> load_view(const std::string &path);

/* A pseudo-random file of headers, entries, comments and blank lines with
 * escapes, carriage returns and continuations, mostly well formed. */
std::string generated_file(std::mt19937 &engine);

/* A line reader at the start of the file at path, newly opened for reading;
 * its file is INI_PLATFORM_NO_FILE when that fails. The caller closes it. */
IniLineReader open_line_reader(const std::string &path);

#endif
