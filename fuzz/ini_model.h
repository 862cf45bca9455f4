/* An independent model of the INI file format for the fuzz targets: what a
 * file of given bytes holds, what the writer produces for a document, and
 * checks of a library document against its structural rules. The model works
 * byte by byte on plain strings, so it shares no code and no shortcut with the
 * library it checks. Every check that fails prints what it found and aborts,
 * which libFuzzer reports as a crash. */
#ifndef OSTREL_FUZZ_INI_MODEL_H
#define OSTREL_FUZZ_INI_MODEL_H

#include <inifile/inifile.h>

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

struct ModelSection {
    std::string name;                                         /* without brackets */
    std::vector<std::pair<std::string, std::string>> entries; /* key, value; in order */
};

using ModelDocument = std::vector<ModelSection>;

/* Prints message and aborts unless condition holds. */
void fuzz_check(bool condition, const char *message);

/* The logical lines of a file holding bytes, resolved as the format says
 * (comments, escapes, carriage returns, continuations, spaces), each still
 * holding any NUL byte read. */
std::vector<std::string> model_logical_lines(const uint8_t *bytes, size_t size);

/* The document a file holding bytes loads as. Returns false when the file is
 * not well formed. */
bool model_load(const uint8_t *bytes, size_t size, ModelDocument *doc);

/* The exact bytes the writer produces for doc. */
std::string model_save(const ModelDocument &doc);

/* True when doc is inside the bounds within which saving and loading again
 * gives the same document. */
bool model_round_trips(const ModelDocument &doc);

/* The name, keys and values of a library section. */
ModelSection model_of_section(const IniSection *section);

/* The names, keys and values of a library document. */
ModelDocument model_of(const IniDocument *doc);

/* Aborts, printing both documents, unless actual equals expected. */
void fuzz_check_equal(const ModelDocument &actual, const ModelDocument &expected,
                      const char *message);

/* The capacity an array has after growing only when full, starting at the
 * grow step, once it has held peak elements at most. */
int32_t model_capacity(int32_t peak);

/* How the entries of a document were made. */
enum FuzzEntryOrigin {
    FUZZ_ENTRIES_LOADED, /* by the loader: one line per block */
    FUZZ_ENTRIES_PUT     /* by ini_put_entry: key, NUL, value, NUL */
};

/* Checks every structural rule of doc: counts within capacities, capacities
 * multiples of the grow step, arrays allocated with exactly their capacity,
 * names and keys at the start of heap blocks of their own, each value inside
 * its key's block after the key's NUL, and the lookups agreeing with a plain
 * scan. Loaded entries must also have keys without leading or trailing spaces
 * and values without leading spaces. Aborts on the first violation. */
void fuzz_check_document(const IniDocument *doc, FuzzEntryOrigin origin);

/* A file of this process's own in the temporary directory, for one fuzz
 * target; removed when the process exits. */
const char *fuzz_temp_path(const char *target);

/* Replaces the content of the file at path with bytes. Aborts on failure. */
void fuzz_write_file(const char *path, const uint8_t *bytes, size_t size);

/* The whole content of the file at path. Aborts on failure. */
std::string fuzz_read_file(const char *path);

#endif
