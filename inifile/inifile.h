/* SPDX-License-Identifier: MIT */
/* inifile: INI configuration documents in memory, a strict loader and an
 * escaping writer. This header compiles as C99 and as C++.
 *
 * The format. A file is bytes in no particular encoding (a byte-order mark is
 * just more bytes), read as logical lines:
 *   - A line feed ends a physical line; the last line needs none. A carriage
 *     return is dropped wherever it stands, so CR LF and LF files read alike.
 *   - ";" starts a comment that runs to the end of the physical line.
 *   - A backslash escapes the next byte: "\;" is a ";" and "\\" one
 *     backslash, and a backslash before a line feed joins the next physical
 *     line to this one. Before any other byte it is dropped and the byte kept
 *     as it is: "home=C:\Users" reads as "C:Users" (write "C:\\Users"), an
 *     escaped "=" still splits an entry and an escaped space is trimmed like
 *     any other. In a comment, or as the file's last byte, it does nothing.
 *   - Spaces (0x20; tabs are ordinary bytes) at the start and end of a
 *     logical line are dropped; a line left empty (blank, or a comment) is
 *     skipped. A logical line ends at its first NUL byte, if it holds one.
 * A logical line is then either a section header, "[name]" (3 bytes or more;
 * the name is everything between the brackets, spaces included), or an
 * entry, "key = value", split at its first "=", the spaces around that "="
 * dropped; the key may not be empty, the value may. The entries after a
 * header belong to its section; a line holding "=" after the first header
 * is an entry, even "[a=b]". Duplicate sections and keys are all kept;
 * lookups find the first. A file is malformed, and does not load, when its
 * first logical line is no header ("key=value" before any section, or a
 * byte-order mark) or a later one is neither entry nor header ("=value",
 * "[]", a word alone).
 *
 * The bytes are read as they stand, in no code page: in a double-byte code
 * page, a character whose second byte is 0x5C, the byte of a backslash (such
 * as the 0x95 0x5C of one character in code page 932), must be written with
 * that byte escaped, as the writer writes it.
 *
 * The writer puts "[name]" for each section and "key=value" for each entry,
 * each on a line of its own ended by a line feed, and puts a backslash before
 * every ";" and backslash in keys and values; section names are written as
 * they stand. What it writes loads back as the same document when every
 * section name is non-empty and free of ";", backslash, carriage return and
 * line feed (and, after the first section, of "="), every key is non-empty
 * and free of "=", and no key or value begins or ends with a space or holds a
 * carriage return or line feed. Outside those bounds the data changes on the
 * way back: spaces at the ends of keys and values and carriage returns are
 * lost; a line feed ends the line there; a ";" or backslash in a section name
 * reads as a comment or an escape; a key holding "=" splits at it; a later
 * section named "a=b" reads back as the entry "[a" = "b]" of the section
 * before it, its own entries joining that section; and an empty name or key
 * makes the file fail to load.
 *
 * Ownership. Whoever creates or loads a document owns it and releases it with
 * ini_free_document. A document owns its sections, a section its name and its
 * entries, an entry one heap block holding its key and its value. A section
 * made by ini_new_section or ini_copy_section belongs to its creator until it
 * is handed to ini_put_section; from then on the document releases it. Lookups
 * return pointers that stay owned by the document: they stay valid until the
 * thing they point into is replaced, removed or freed. All memory comes from
 * malloc, realloc and free of the C runtime the library is linked with, and
 * the blocks that ini_save_memory and ini_read_line hand over go back to it
 * through ini_free: a program with a C runtime of its own (one built with
 * MSVC, or against another C runtime than inifile.dll's) must not pass them
 * to its own free(), which keeps another heap; a program that shares the
 * library's runtime, as every program that links the static archive does,
 * may.
 *
 * Strings are 8-bit and NUL-terminated; names and keys are compared byte for
 * byte, case included. Every array starts with room for INI_GROW_STEP
 * pointers and grows by INI_GROW_STEP; removal never shrinks it.
 *
 * Out of memory. No operation crashes or leaves a half-changed document
 * behind: an operation that cannot get memory changes nothing and says so in
 * its result (null or -1; the loader and the writer as they say). A document
 * or section that would pass INT32_MAX elements counts as out of memory.
 *
 * Passing null documents, sections, names, keys or values, or a section that
 * belongs to another document to ini_put_section, is outside every contract
 * below, but for two kinds of function: the release functions take null and
 * do nothing, and the lookups and getters take a null document or section and
 * answer as for an empty one (ini_section_index, ini_find_section,
 * ini_section_name_at, ini_section_at, ini_get_string, ini_get_integer and
 * ini_get_boolean a null document; ini_entry_index, ini_find_value,
 * ini_entry_key_at and ini_entry_value_at a null section), so that
 * ini_find_value(ini_find_section(doc, "missing"), "key") is null. The
 * library has no global state, never prints and never ends the process.
 *
 * Threads. Separate documents may be used from separate threads at once; one
 * document is not safe to change from two threads, nor to read from one
 * while another changes it.
 *
 * Linking. The library builds as a static archive or, with the CMake option
 * BUILD_SHARED_LIBS, as a shared library (libinifile.so.1; inifile.dll with
 * its import library libinifile.dll.a) that exports the functions of this
 * header and no other name. Its CMake package (target inifile::inifile) and
 * its pkg-config file define what a program that includes this header
 * needs. */
#ifndef OSTREL_INIFILE_INIFILE_H
#define OSTREL_INIFILE_INIFILE_H

#include <stddef.h>
#include <stdint.h>

/* The version of the library, as its build and its packages give it. */
#define INIFILE_VERSION_MAJOR 1
#define INIFILE_VERSION_MINOR 1
#define INIFILE_VERSION_PATCH 0

/* Marks each function of the library's interface. The build of the shared
 * library defines INIFILE_BUILDING_SHARED, and a program that links it
 * INIFILE_SHARED (its CMake package and pkg-config file do so), so that
 * Windows exports and imports the functions. Everything else the library
 * holds is hidden: the static archive hides even these, so that a shared
 * object built from it exports only what its author chooses. */
#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(INIFILE_BUILDING_SHARED)
#define INIFILE_API __declspec(dllexport)
#elif defined(INIFILE_SHARED)
#define INIFILE_API __declspec(dllimport)
#else
#define INIFILE_API
#endif
#elif defined(__GNUC__) && (defined(INIFILE_BUILDING_SHARED) || defined(INIFILE_SHARED))
#define INIFILE_API __attribute__((visibility("default")))
#else
#define INIFILE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    INI_GROW_STEP = 10,   /* initial capacity and growth of every array */
    INI_READ_CHUNK = 1024 /* bytes ini_read_line asks for per read */
};

typedef struct IniEntry {
    char *key;   /* start of the entry's heap block; freeing it frees both */
    char *value; /* points into the same block, never freed on its own */
} IniEntry;

typedef struct IniSection {
    int32_t entry_count;    /* entries in use */
    int32_t entry_capacity; /* slots in entries */
    char *name;             /* owned; the name without brackets */
    IniEntry **entries;     /* owned; in section order */
} IniSection;

typedef struct IniDocument {
    int32_t section_count;    /* sections in use */
    int32_t section_capacity; /* slots in sections */
    IniSection **sections;    /* owned; in document order */
} IniDocument;

/* end_of_input values of an IniLineReader. */
enum {
    INI_READER_MORE = 0,           /* lines may follow */
    INI_READER_END = 1,            /* the file ended */
    INI_READER_OUT_OF_MEMORY = -1, /* a line could not be stored */
    INI_READER_READ_FAILED = -2    /* a read failed */
};

/* The state of one pass over an open file. Start it with the file set and
 * every number 0; then the first request for a byte reads the first chunk. */
typedef struct IniLineReader {
    intptr_t file;            /* open for reading: a POSIX descriptor or a Win32 HANDLE, widened */
    int32_t end_of_input;     /* INI_READER_MORE, _END, _OUT_OF_MEMORY, _READ_FAILED */
    uint32_t bytes_available; /* bytes the last read put into buffer */
    int32_t read_position;    /* index of the next unread byte in buffer */
    char buffer[INI_READ_CHUNK]; /* the last chunk read */
} IniLineReader;

/* Results of ini_load_file_with_result and ini_load_memory. */
typedef enum IniLoadResult {
    INI_LOAD_OK = 0,
    INI_LOAD_CANNOT_OPEN = 1,   /* the file exists but cannot be opened: a directory,
                                 * a file the process may not read */
    INI_LOAD_MALFORMED = 2,     /* the file breaks the format's structure */
    INI_LOAD_OUT_OF_MEMORY = 3, /* memory ran out while loading */
    INI_LOAD_READ_FAILED = 4,   /* the file opened, but a read from it failed */
    INI_LOAD_NOT_FOUND = 5      /* the file, or a directory on its path, does not exist */
} IniLoadResult;

/* A new empty document (capacity INI_GROW_STEP), owned by the caller; null
 * when out of memory. */
INIFILE_API IniDocument *ini_new_document(void);

/* Releases a document with every section in it; null does nothing. */
INIFILE_API void ini_free_document(IniDocument *doc);

/* A new empty section holding a copy of name, owned by the caller until it is
 * handed to ini_put_section; null when out of memory. */
INIFILE_API IniSection *ini_new_section(const char *name);

/* Releases a section the caller owns, with its name and every entry; null
 * does nothing. */
INIFILE_API void ini_free_section(IniSection *section);

/* The position of the first section named name, or -1 when there is none
 * (or doc is null). */
INIFILE_API int ini_section_index(const IniDocument *doc, const char *name);

/* The first section named name, or null when there is none (or doc is
 * null); the document keeps owning it. */
INIFILE_API IniSection *ini_find_section(const IniDocument *doc, const char *name);

/* The name of the section at index, or null when index is negative or at or
 * past the section count (or doc is null). The section keeps owning it. */
INIFILE_API const char *ini_section_name_at(const IniDocument *doc, int index);

/* The section at index, or null when index is negative or at or past the
 * section count (or doc is null); with ini_section_name_at it reaches each
 * of several sections of one name. The document keeps owning it. */
INIFILE_API IniSection *ini_section_at(const IniDocument *doc, int index);

/* Hands section to the document. When a section of the same name is present,
 * section takes the slot of the first one, which is released: result 0.
 * When section is that first one, nothing changes: result 0. When section is
 * a later one the document already holds (as ini_section_at reaches the
 * second of two sections of one name), it leaves its own slot as
 * ini_remove_section empties one, the last section moving into it, and
 * takes the slot of the first, which is released: result 0 (putting the
 * third section of "[s] a=1, [t], [s] b=2" leaves "[s] b=2, [t]"). None of
 * these can fail, and section itself is never released. Otherwise section
 * is appended: result 1. When the array cannot grow the document is
 * unchanged and section still belongs to the caller: result -1. */
INIFILE_API int ini_put_section(IniDocument *doc, IniSection *section);

/* Releases the first section named name and moves the last section into its
 * slot: result 0. Result 1 when no section has that name. */
INIFILE_API int ini_remove_section(IniDocument *doc, const char *name);

/* The position of the first entry whose key is key, or -1 when there is none
 * (or section is null). */
INIFILE_API int ini_entry_index(const IniSection *section, const char *key);

/* The value of the first entry whose key is key, or null when there is none
 * (or section is null). The section keeps owning it. */
INIFILE_API const char *ini_find_value(const IniSection *section, const char *key);

/* The key of the entry at index, or null when index is negative or at or past
 * the entry count (or section is null). The section keeps owning it. */
INIFILE_API const char *ini_entry_key_at(const IniSection *section, int index);

/* The value of the entry at index, or null when index is negative or at or
 * past the entry count (or section is null); with ini_entry_key_at it
 * reaches each of several entries of one key. The section keeps owning it. */
INIFILE_API const char *ini_entry_value_at(const IniSection *section, int index);

/* Sets key to a copy of value. When an entry with key is present, the first
 * one is updated in place and keeps its position: result 0 (its old key and
 * value pointers are then invalid). Otherwise a new entry is appended: result
 * 1. key and value may point into the entry being replaced. Result -1 when
 * out of memory, the section then unchanged. */
INIFILE_API int ini_put_entry(IniSection *section, const char *key, const char *value);

/* Releases the first entry whose key is key and moves the last entry into its
 * slot: result 0. Result 1 when no entry has that key. */
INIFILE_API int ini_remove_entry(IniSection *section, const char *key);

/* A new section named new_name holding each distinct key of source once, in
 * the order of its first appearance, with the value of its first appearance.
 * Owned by the caller; source is unchanged. Null when out of memory. */
INIFILE_API IniSection *ini_copy_section(const IniSection *source, const char *new_name);

/* The value of the first entry key of the first section named section; or
 * fallback, which may be null, when doc is null or has no such section, or
 * the section no such entry. A value stays owned by the document, valid as
 * long as ini_find_value's. */
INIFILE_API const char *ini_get_string(const IniDocument *doc, const char *section, const char *key,
                                       const char *fallback);

/* The value ini_get_string finds, read whole as an integer: an optional "+"
 * or "-", then either decimal digits or "0x" or "0X" and hexadecimal digits
 * in either case ("-0x10" is -16; "010" is ten, never octal). From
 * INT64_MIN ("-9223372036854775808", "-0x8000000000000000") to INT64_MAX
 * every value is read exactly. fallback when there is no value, and when
 * the value is anything else: empty, holding a space or any other byte out
 * of that form ("1.5", "12ab", " 1", "+-1"), a sign or "0x" alone, or a
 * number outside the range of int64_t ("9223372036854775808", and
 * "0x8000000000000000", which is not taken for a negative number). */
INIFILE_API int64_t ini_get_integer(const IniDocument *doc, const char *section, const char *key,
                                    int64_t fallback);

/* The value ini_get_string finds, read as a truth value: 1 for "1", "true",
 * "yes" and "on", 0 for "0", "false", "no" and "off", the letters compared
 * without regard to ASCII case ("TRUE", "Off") and to the locale; fallback,
 * as it was passed, when there is no value or it is anything else ("",
 * "2", "y", " on"). */
INIFILE_API int ini_get_boolean(const IniDocument *doc, const char *section, const char *key,
                                int fallback);

/* Releases a block that ini_save_memory or ini_read_line returned, on the
 * heap of the C runtime the library is linked with; null does nothing. A
 * program whose C runtime may not be the library's, as with inifile.dll,
 * releases them with this and never with its own free(). */
INIFILE_API void ini_free(void *block);

/* Loads the file at path. Returns a new document owned by the caller, or null
 * when the file is missing, cannot be opened or read to its end, is not well
 * formed, or memory runs out. A failed read fails the load: what was read
 * before it is never passed off as the whole file. On Windows a file that
 * another program holds open is waited for, for about two seconds, before it
 * counts as one that cannot be opened. */
INIFILE_API IniDocument *ini_load_file(const char *path);

/* As ini_load_file, and, when result is not null, stores in *result why it
 * returned what it did: INI_LOAD_OK with the document; INI_LOAD_NOT_FOUND
 * when nothing stands at path because the file or a directory on its path
 * does not exist, and INI_LOAD_CANNOT_OPEN when something stands there that
 * cannot be opened for reading (also when the system cannot tell which, as
 * for a directory on the path that the process may not search);
 * INI_LOAD_READ_FAILED, INI_LOAD_MALFORMED or INI_LOAD_OUT_OF_MEMORY. When
 * line is not null, stores in *line, for INI_LOAD_MALFORMED, the number
 * (from 1) of the physical line where the first malformed logical line
 * starts, counting blank and comment lines (INT32_MAX when it lies further
 * on), and 0 for every other result. */
INIFILE_API IniDocument *ini_load_file_with_result(const char *path, IniLoadResult *result,
                                                   int32_t *line);

/* Loads the size bytes at bytes as ini_load_file_with_result loads a file
 * holding them: the same document, result and line. Returns a new document
 * owned by the caller, with *result INI_LOAD_OK; or null with *result
 * INI_LOAD_MALFORMED (*line as for a file) or INI_LOAD_OUT_OF_MEMORY. result
 * and line may each be null: nothing is then stored through it. Size 0 is an
 * empty document, and bytes may then be null. The bytes are only read, and
 * the document keeps no pointer into them. */
INIFILE_API IniDocument *ini_load_memory(const void *bytes, size_t size, IniLoadResult *result,
                                         int32_t *line);

/* A short English description of result, such as "no such file or
 * directory", for a person to read; a value that is no IniLoadResult has one
 * too. Never null; the text is static, owned by the library. */
INIFILE_API const char *ini_load_result_text(IniLoadResult result);

/* Returns the next logical line as a heap string: its bytes, of which there
 * is at least one, without leading or trailing spaces, with comments,
 * escapes, carriage returns and continuations resolved; the caller releases
 * it with ini_free. A line holding a NUL byte ends as a string at its first
 * NUL, while its trailing spaces are trimmed before that, from the end of
 * all its bytes: such a line can come back empty ("\0abc" gives ""), or with
 * a space before the NUL ("a \0b" gives "a "). Returns null at the end of
 * the input, and from then on; end_of_input then tells INI_READER_END from
 * INI_READER_OUT_OF_MEMORY and INI_READER_READ_FAILED (a line cut short by a
 * failed read is dropped). */
INIFILE_API char *ini_read_line(IniLineReader *reader);

/* Writes doc to the file at path, replacing it whole; doc is only read. The
 * document goes into a new temporary file beside it, named ".ost", four hex
 * digits and ".tmp", which is flushed to disk and then moved over the file in
 * one step: whenever the process stops, the file holds its old content or
 * the whole document. The file keeps its permission bits, and its owner and
 * group where the process may set them (on Windows, its attributes); a
 * symbolic link stays a link, and the file it names is replaced.
 *
 * Returns 0 when the whole document is written and on disk; -1 when the file
 * cannot be created or replaced (a directory, a missing directory, a file
 * the process may not write); -2 when a write or a flush failed or wrote
 * fewer bytes than asked; -3, before anything is written, when memory for
 * the bytes to write ran out. After -1, -2 or -3 the file is as it was and
 * no temporary is left, but for the paths written in place, as by a plain
 * write, which after -2 hold a prefix of the document: a path that is no
 * regular file (a device such as /dev/null, a FIFO), a file whose directory
 * takes no new file from the process, and a file the system lets it write
 * but not replace (another user's in a sticky directory; on Windows, one it
 * may not delete). A FIFO that no program reads is never waited for: -1 at
 * once. On Windows a file that another program holds open is waited for, for
 * about two seconds, before -1. A -2 from the flush of the directory after
 * the move, which a system reports only when its disk fails, leaves the new
 * document in place. */
INIFILE_API int ini_save_file(const IniDocument *doc, const char *path);

/* Puts into a new heap buffer exactly the bytes ini_save_file writes for doc,
 * and a NUL after them; doc is only read. Returns 0 with *bytes the buffer,
 * owned by the caller, who releases it with ini_free, and *size the count of
 * bytes before the NUL (0 for an empty document); or -3 when out of memory,
 * with *bytes null and *size 0. */
INIFILE_API int ini_save_memory(const IniDocument *doc, char **bytes, size_t *size);

#ifdef __cplusplus
}
#endif

#endif
