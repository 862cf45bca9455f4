/* SPDX-License-Identifier: MIT */
/* An independent model of the INI file format: what a file of given bytes
 * holds and what the writer produces for a document. The model works byte by
 * byte on plain strings, so it shares no code and no shortcut with the
 * library it checks. It needs nothing but the library's header and the C++
 * standard library, so that the fuzz targets and the tests can both use it. */
#ifndef OSTREL_FUZZ_INI_MODEL_H
#define OSTREL_FUZZ_INI_MODEL_H

#include <inifile/inifile.h>

#include <stddef.h>
#include <stdint.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

using ModelEntries = std::vector<std::pair<std::string, std::string>>;

struct ModelSection {
    std::string name;     /* without brackets */
    ModelEntries entries; /* key, value; in order */
};

using ModelDocument = std::vector<ModelSection>;

bool operator==(const ModelSection &left, const ModelSection &right);
bool operator!=(const ModelSection &left, const ModelSection &right);
/* The section on one line, its bytes as model_printable writes them. */
std::ostream &operator<<(std::ostream &out, const ModelSection &section);

/* The logical lines of a file holding bytes, resolved as the format says
 * (comments, escapes, carriage returns, continuations, spaces), each still
 * holding any NUL byte read. When first_lines is not null, the physical line
 * (from 1) where each logical line's first byte stands is appended to it. */
std::vector<std::string> model_logical_lines(const uint8_t *bytes, size_t size,
                                             std::vector<uint64_t> *first_lines = nullptr);

/* The part of a logical line that a NUL-terminated string shows: the line up
 * to its first NUL byte. */
std::string model_visible(const std::string &line);

/* The document a file holding bytes loads as. Returns false when the file is
 * not well formed; *malformed_line, when given, then holds the physical line
 * (from 1) where the first logical line that is neither header nor entry
 * starts. */
bool model_load(const uint8_t *bytes, size_t size, ModelDocument *doc,
                uint64_t *malformed_line = nullptr);

/* text with a backslash before each ";" and each backslash, as the writer
 * puts keys and values. */
std::string model_escaped(const std::string &text);

/* The exact bytes the writer produces for doc. */
std::string model_save(const ModelDocument &doc);

/* True when doc is inside the bounds within which saving and loading again
 * gives the same document. */
bool model_round_trips(const ModelDocument &doc);

/* The name, keys and values of a library section. */
ModelSection model_of_section(const IniSection *section);

/* The names, keys and values of a library document. */
ModelDocument model_of(const IniDocument *doc);

/* bytes with every byte outside printable ASCII, and the backslash, written
 * as an escape, for failure messages. */
std::string model_printable(const std::string &bytes);

/* doc as readable text, one line per section and entry, its bytes as
 * model_printable writes them. */
std::string model_describe(const ModelDocument &doc);

/* The capacity an array has after growing only when full, starting at the
 * grow step, once it has held peak elements at most. */
int32_t model_capacity(int32_t peak);

/* The capacity a block of bytes reaches that starts at the grow step and
 * grows by it until it holds size bytes: where a loaded line of length L
 * lives, size being L + 1 for its NUL. */
size_t model_block_capacity(size_t size);

#endif
