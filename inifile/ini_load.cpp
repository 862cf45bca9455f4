/* SPDX-License-Identifier: MIT */
#include "ini_internal.h"

#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"

static_assert(sizeof(IniPlatformFile) == sizeof(intptr_t),
              "IniLineReader keeps an IniPlatformFile");

/* Returns 1 for the bytes a line that has begun cannot store as they stand:
 * a line feed, a carriage return, ";" and a backslash. */
static int ini_is_special(unsigned char byte)
{
    return byte == '\n' || byte == '\r' || byte == ';' || byte == '\\';
}

/* The eight bytes at bytes, the first in the lowest bits, whatever the
 * machine's byte order. */
static inline uint64_t ini_load_eight(const char *bytes)
{
    const unsigned char *at = (const unsigned char *)bytes;
    return (uint64_t)at[0] | (uint64_t)at[1] << 8 | (uint64_t)at[2] << 16 | (uint64_t)at[3] << 24 |
           (uint64_t)at[4] << 32 | (uint64_t)at[5] << 40 | (uint64_t)at[6] << 48 |
           (uint64_t)at[7] << 56;
}

/* The top bit of the first byte of word that may be special
 * (ini_is_special), and maybe of bytes after it; 0 when none is. A byte
 * below 0x80 turns its top bit on when subtracting one from it borrows, so
 * when it is 0 before the subtraction (after an exclusive or with ";" or a
 * backslash, when it is that), or below 14 before subtracting 14; a byte
 * that a marked byte below it borrows from may be marked too. The other
 * bytes below 14, as a tab, are marked with the line feed and the carriage
 * return, and then found ordinary: text seldom holds them. */
static uint64_t ini_maybe_special(uint64_t word)
{
    const uint64_t ones = 0x0101010101010101U;
    uint64_t below_fourteen = word - ones * ('\r' + 1);
    uint64_t semicolons = (word ^ ones * ';') - ones;
    uint64_t backslashes = (word ^ ones * '\\') - ones;
    return (below_fourteen | semicolons | backslashes) & ~word & (ones << 7);
}

/* The index (0 to 7) of the byte whose top bit is the lowest one set in
 * bits, which is not 0. */
static size_t ini_first_marked_byte(uint64_t bits)
{
    uint64_t lowest = bits & (~bits + 1);
    return (size_t)(((lowest >> 7) * 0x0001020304050607U) >> 56);
}

/* The bytes a line gathers on the stack before it needs the heap. */
enum { INI_SCRATCH_SIZE = 4 * INI_READ_CHUNK };

/* A logical line being read: its bytes gather in scratch, then, once
 * scratch has run out of room, in a heap block that at least doubles
 * whenever it must grow. The line gets its final block, a copy of scratch
 * or the heap block trimmed, when it ends. */
struct IniLine {
    char *bytes;     /* scratch, or the heap block */
    size_t length;   /* bytes stored so far */
    size_t capacity; /* of the heap block; 0 while the bytes are in scratch */
    char scratch[INI_SCRATCH_SIZE];
};

/* The bytes the line has room for after its own. */
static size_t ini_line_room(const IniLine *line)
{
    return (line->capacity == 0 ? (size_t)INI_SCRATCH_SIZE : line->capacity) - line->length;
}

/* Makes room for at least count more bytes. Returns 0, or -1 when out of
 * memory, the line then unchanged. */
static int ini_line_reserve(IniLine *line, size_t count)
{
    size_t room = ini_line_room(line);
    if (count <= room) {
        return 0;
    }
    size_t needed = line->length + count;
    size_t capacity = 2 * (line->length + room) > needed ? 2 * (line->length + room) : needed;
    char *grown =
        line->capacity == 0 ? (char *)malloc(capacity) : (char *)realloc(line->bytes, capacity);
    if (grown == NULL) {
        return -1;
    }
    if (line->capacity == 0) {
        memcpy(grown, line->scratch, line->length);
    }
    line->bytes = grown;
    line->capacity = capacity;
    return 0;
}

/* The first byte from at on, before limit, that may be special
 * (ini_maybe_special), or limit when there is none: sixteen bytes are
 * looked at at once while they hold none. */
static const char *ini_plain_end(const char *at, const char *limit)
{
    while (limit - at >= 16 && (ini_maybe_special(ini_load_eight(at)) |
                                ini_maybe_special(ini_load_eight(at + 8))) == 0) {
        at += 16;
    }
    for (; limit - at >= 8; at += 8) {
        uint64_t special = ini_maybe_special(ini_load_eight(at));
        if (special != 0) {
            return at + ini_first_marked_byte(special);
        }
    }
    while (at < limit && !ini_is_special((unsigned char)*at)) {
        at++;
    }
    return at;
}

/* Copies to a line that has begun what it stores of the bytes from at on:
 * the runs of bytes it stores as they stand, and each byte a backslash
 * escapes. Stops at stop, or at the first byte the line reader must judge:
 * a line feed, a carriage return, an unescaped ";", or a backslash before
 * a line feed, a carriage return or stop. Returns where it stopped, or null
 * when out of memory. */
static const char *ini_line_copy_plain(IniLine *line, const char *at, const char *stop)
{
    for (;;) {
        if (ini_line_reserve(line, 1) != 0) {
            return NULL;
        }
        size_t room = ini_line_room(line);
        const char *limit = (size_t)(stop - at) < room ? stop : at + room;
        const char *end = ini_plain_end(at, limit);
        memcpy(line->bytes + line->length, at, (size_t)(end - at));
        line->length += (size_t)(end - at);
        at = end;
        if (at == stop) {
            return at;
        }
        if (at == limit) {
            continue; /* out of room */
        }
        /* A byte below 14 that is no line end, or a backslash whose byte
         * is here: stored, with room for it left below limit. */
        if (!ini_is_special((unsigned char)*at)) {
            line->bytes[line->length++] = *at++;
        } else if (*at == '\\' && stop - at >= 2 && at[1] != '\n' && at[1] != '\r') {
            line->bytes[line->length++] = at[1];
            at += 2;
        } else {
            return at;
        }
    }
}

/* Appends count bytes to the line. Returns 0, or -1 when out of memory, the
 * line then unchanged. */
static int ini_line_append(IniLine *line, const char *bytes, size_t count)
{
    if (ini_line_reserve(line, count) != 0) {
        return -1;
    }
    memcpy(line->bytes + line->length, bytes, count);
    line->length += count;
    return 0;
}

/* Drops trailing spaces and returns the line in a block of its own, of the
 * capacity that a block starting at INI_GROW_STEP bytes and growing by
 * INI_GROW_STEP reaches for its bytes and a NUL; null when out of memory,
 * the line then released all the same. */
static char *ini_line_finish(IniLine *line)
{
    while (line->length > 0 && line->bytes[line->length - 1] == ' ') {
        line->length--;
    }
    size_t capacity = (line->length + INI_GROW_STEP) / INI_GROW_STEP * INI_GROW_STEP;
    char *text;
    if (line->capacity == 0) {
        text = (char *)malloc(capacity);
        if (text != NULL) {
            memcpy(text, line->bytes, line->length);
        }
    } else {
        text = (char *)realloc(line->bytes, capacity);
        if (text == NULL) {
            free(line->bytes);
        }
    }
    if (text != NULL) {
        text[line->length] = '\0';
    }
    return text;
}

/* Where a pass over the input stands: the bytes at hand, and where more come
 * from. */
struct IniScanner {
    const char *bytes;    /* the bytes at hand */
    size_t position;      /* of the next one to take */
    size_t available;     /* how many there are */
    int32_t end;          /* INI_READER_MORE until the input ends, fails, or memory runs out */
    IniReadFunction read; /* reads more into buffer; null: bytes is the whole input */
    intptr_t file;        /* handed to read */
    char *buffer;         /* where read puts the bytes */
    uint32_t buffer_size; /* how many it asks for */
    uint64_t line_feeds;  /* consumed so far */
    uint64_t first_line;  /* physical line (from 1) of the last line's first byte */
};

/* ini_platform_read by a call of its own: taking the address of a function
 * of another source gives mingw-w64 a reference ".refptr" symbol to define. */
static int32_t ini_read_platform_file(intptr_t file, void *buffer, uint32_t size)
{
    return ini_platform_read(file, buffer, size);
}

/* Takes the next bytes, one read's worth. Returns 1, or 0 after marking the
 * end of the input or the failure of the read. */
static int ini_scanner_fill(IniScanner *scanner)
{
    int32_t count = scanner->read == NULL
                        ? 0
                        : scanner->read(scanner->file, scanner->buffer, scanner->buffer_size);
    if (count <= 0) {
        scanner->end = count == 0 ? INI_READER_END : INI_READER_READ_FAILED;
        return 0;
    }
    scanner->bytes = scanner->buffer;
    scanner->position = 0;
    scanner->available = (size_t)count;
    return 1;
}

/* Finishes line for scanner: returns it, or null with the scanner out of
 * memory. */
static char *ini_scanner_finish(IniScanner *scanner, IniLine *line)
{
    char *text = ini_line_finish(line);
    if (text == NULL) {
        scanner->end = INI_READER_OUT_OF_MEMORY;
    }
    return text;
}

/* ini_read_line over scanner, counting line feeds. Once a line has begun,
 * ini_line_copy_plain takes the bytes it stores without a decision of their
 * own; the bytes before a line begins and the special ones are judged here
 * one at a time, by the format's rules. */
// NOLINTNEXTLINE(readability-function-cognitive-complexity)
static char *ini_next_line(IniScanner *scanner)
{
    if (scanner->end != INI_READER_MORE) {
        return NULL;
    }
    IniLine line;
    line.bytes = line.scratch;
    line.length = 0;
    line.capacity = 0;
    int escaped = 0;
    int in_comment = 0;
    while (scanner->position < scanner->available || ini_scanner_fill(scanner)) {
        const char *at = scanner->bytes + scanner->position;
        const char *const stop = scanner->bytes + scanner->available;
        if (in_comment) {
            const char *line_feed = (const char *)memchr(at, '\n', (size_t)(stop - at));
            in_comment = line_feed == NULL;
            at = in_comment ? stop : line_feed;
        }
        while (at < stop && !in_comment) {
            if (line.length > 0 && !escaped) {
                at = ini_line_copy_plain(&line, at, stop);
                if (at == NULL) {
                    goto out_of_memory;
                }
                if (at == stop) {
                    break;
                }
            }
            char byte = *at++;
            if (byte == '\r') {
                continue; /* dropped wherever it stands, leaving an escape pending */
            }
            if (byte == '\n') {
                scanner->line_feeds++;
                if (escaped || line.length == 0) {
                    escaped = 0;
                    continue;
                }
                scanner->position = (size_t)(at - scanner->bytes);
                return ini_scanner_finish(scanner, &line);
            }
            if (!escaped && (byte == ';' || byte == '\\')) {
                in_comment = byte == ';';
                escaped = byte == '\\';
                continue;
            }
            escaped = 0;
            if (byte == ' ' && line.length == 0) {
                continue;
            }
            /* The first byte of a logical line fixes the physical line that
             * a malformed line is reported at. */
            if (line.length == 0) {
                scanner->first_line = scanner->line_feeds + 1;
            }
            if (ini_line_append(&line, &byte, 1) != 0) {
                goto out_of_memory;
            }
        }
        scanner->position = (size_t)(at - scanner->bytes);
    }

    /* A line cut short by a failed read is no line of the file. */
    if (line.length > 0 && scanner->end != INI_READER_READ_FAILED) {
        return ini_scanner_finish(scanner, &line);
    }
    if (line.capacity != 0) {
        free(line.bytes);
    }
    return NULL;
out_of_memory:
    if (line.capacity != 0) {
        free(line.bytes);
    }
    scanner->end = INI_READER_OUT_OF_MEMORY;
    return NULL;
}

char *ini_read_line(IniLineReader *reader)
{
    IniScanner scanner = {reader->buffer,
                          (size_t)reader->read_position,
                          reader->bytes_available,
                          reader->end_of_input,
                          ini_read_platform_file,
                          reader->file,
                          reader->buffer,
                          INI_READ_CHUNK,
                          0,
                          0};
    char *line = ini_next_line(&scanner);
    reader->read_position = (int32_t)scanner.position;
    reader->bytes_available = (uint32_t)scanner.available;
    reader->end_of_input = scanner.end;
    return line;
}

/* Returns the first "=" of an entry line, or null when line is no entry. */
static char *ini_entry_separator(char *line)
{
    char *separator = strchr(line, '=');
    return separator == line ? NULL : separator;
}

/* Returns 1 when line is "[", a name of at least one byte, then "]". */
static int ini_is_section_header(const char *line)
{
    size_t length = strlen(line);
    return length >= 3 && line[0] == '[' && line[length - 1] == ']';
}

/* While a document is read, its arrays of sections and entries double
 * whenever they are full, so that reading moves each a few times, not once
 * per INI_GROW_STEP elements; ini_settle_array then gives each the capacity
 * that growing by INI_GROW_STEP would have given it. Returns 0, or -1 when
 * out of memory, the array then unchanged. */
static int ini_double_array(void ***array, int32_t *capacity)
{
    if (*capacity > INT32_MAX / 2) {
        return 0; /* the appends grow it by steps from here */
    }
    void **doubled = (void **)realloc(*array, 2 * (size_t)*capacity * sizeof(void *));
    if (doubled == NULL) {
        return -1;
    }
    *array = doubled;
    *capacity *= 2;
    return 0;
}

/* Gives an array that has been read, holding count elements, the capacity
 * that growing by INI_GROW_STEP from INI_GROW_STEP gives them. Returns 0, or
 * -1 when out of memory, the array then unchanged. */
static int ini_settle_array(void ***array, int32_t *capacity, int32_t count)
{
    int32_t settled = count > INI_GROW_STEP
                          ? count + (INI_GROW_STEP - count % INI_GROW_STEP) % INI_GROW_STEP
                          : INI_GROW_STEP;
    if (settled == *capacity) {
        return 0;
    }
    void **shrunk = (void **)realloc(*array, (size_t)settled * sizeof(void *));
    if (shrunk == NULL) {
        return -1;
    }
    *array = shrunk;
    *capacity = settled;
    return 0;
}

/* ini_settle_array for the entries of section, which has been read; a null
 * section has none. */
static int ini_settle_section(IniSection *section)
{
    return section == NULL ? 0
                           : ini_settle_array((void ***)&section->entries, &section->entry_capacity,
                                              section->entry_count);
}

/* Turns an entry line into its key and value in place and appends it. Returns
 * 0, or -1 when out of memory, the line then still owned by the caller. */
static int ini_add_entry_line(IniSection *section, char *line, char *separator)
{
    if (section->entry_count == section->entry_capacity &&
        ini_double_array((void ***)&section->entries, &section->entry_capacity) != 0) {
        return -1;
    }
    char *key_end = separator;
    *key_end = '\0';
    while (key_end[-1] == ' ') {
        *--key_end = '\0';
    }
    char *value = separator + 1;
    while (*value == ' ') {
        value++;
    }
    return ini_append_entry(section, line, value);
}

/* Turns a header line into its section name in place and appends a section
 * owning it. Returns the section, or null when out of memory, the line then
 * still owned by the caller. */
static IniSection *ini_add_header_line(IniDocument *doc, char *line)
{
    size_t name_length = strlen(line) - 2;
    memmove(line, line + 1, name_length);
    line[name_length] = '\0';
    IniSection *section = ini_new_section_owning_name(line);
    if (section == NULL) {
        return NULL;
    }
    if ((doc->section_count == doc->section_capacity &&
         ini_double_array((void ***)&doc->sections, &doc->section_capacity) != 0) ||
        ini_append_section(doc, section) != 0) {
        section->name = NULL;
        ini_free_section(section);
        return NULL;
    }
    return section;
}

/* Reads every line of an open file into doc, each entry into the section
 * above it. Returns INI_LOAD_OK, INI_LOAD_MALFORMED at the first line that is
 * neither, the scanner then telling where it starts, INI_LOAD_OUT_OF_MEMORY or
 * INI_LOAD_READ_FAILED. */
static IniLoadResult ini_read_document(IniScanner *scanner, IniDocument *doc)
{
    IniSection *section = NULL;
    char *line;
    while ((line = ini_next_line(scanner)) != NULL) {
        char *separator = section == NULL ? NULL : ini_entry_separator(line);
        if (separator != NULL) {
            if (ini_add_entry_line(section, line, separator) != 0) {
                free(line);
                return INI_LOAD_OUT_OF_MEMORY;
            }
            continue;
        }
        if (!ini_is_section_header(line)) {
            free(line);
            return INI_LOAD_MALFORMED;
        }
        if (ini_settle_section(section) != 0) {
            free(line);
            return INI_LOAD_OUT_OF_MEMORY;
        }
        section = ini_add_header_line(doc, line);
        if (section == NULL) {
            free(line);
            return INI_LOAD_OUT_OF_MEMORY;
        }
    }
    if (scanner->end == INI_READER_END &&
        (ini_settle_section(section) != 0 ||
         ini_settle_array((void ***)&doc->sections, &doc->section_capacity, doc->section_count) !=
             0)) {
        return INI_LOAD_OUT_OF_MEMORY;
    }
    switch (scanner->end) {
    case INI_READER_OUT_OF_MEMORY:
        return INI_LOAD_OUT_OF_MEMORY;
    case INI_READER_READ_FAILED:
        return INI_LOAD_READ_FAILED;
    default:
        return INI_LOAD_OK;
    }
}

/* Stores the result and line of a load where the caller asked for them. */
static void ini_report_load(IniLoadResult outcome, uint64_t malformed_line, IniLoadResult *result,
                            int32_t *line)
{
    if (result != NULL) {
        *result = outcome;
    }
    if (line != NULL) {
        *line = outcome != INI_LOAD_MALFORMED ? 0
                : malformed_line > INT32_MAX  ? INT32_MAX
                                              : (int32_t)malformed_line;
    }
}

/* Loads the document that scanner reads; returns and reports as
 * ini_load_file_with_result does. */
static IniDocument *ini_load_scanned(IniScanner *scanner, IniLoadResult *result, int32_t *line)
{
    IniLoadResult outcome = INI_LOAD_OUT_OF_MEMORY;
    IniDocument *doc = ini_new_document();
    if (doc != NULL) {
        outcome = ini_read_document(scanner, doc);
        if (outcome != INI_LOAD_OK) {
            ini_free_document(doc);
            doc = NULL;
        }
    }
    ini_report_load(outcome, scanner->first_line, result, line);
    return doc;
}

IniDocument *ini_load_from(intptr_t file, IniReadFunction read, IniLoadResult *result,
                           int32_t *line)
{
    char buffer[INI_LOAD_BUFFER_SIZE];
    IniScanner scanner = {buffer, 0, 0, INI_READER_MORE, read, file, buffer, INI_LOAD_BUFFER_SIZE,
                          0,      0};
    return ini_load_scanned(&scanner, result, line);
}

IniDocument *ini_load_file_with_result(const char *path, IniLoadResult *result, int32_t *line)
{
    IniPlatformFile file = ini_platform_open_for_reading(path);
    if (file == INI_PLATFORM_NO_FILE) {
        ini_report_load(ini_platform_is_missing(path) ? INI_LOAD_NOT_FOUND : INI_LOAD_CANNOT_OPEN,
                        0, result, line);
        return NULL;
    }
    IniDocument *doc = ini_load_from(file, ini_read_platform_file, result, line);
    ini_platform_close(file);
    return doc;
}

IniDocument *ini_load_file(const char *path)
{
    return ini_load_file_with_result(path, NULL, NULL);
}

IniDocument *ini_load_memory(const void *bytes, size_t size, IniLoadResult *result, int32_t *line)
{
    IniScanner scanner = {(const char *)bytes, 0, size, INI_READER_MORE, NULL, 0, NULL, 0, 0, 0};
    return ini_load_scanned(&scanner, result, line);
}

const char *ini_load_result_text(IniLoadResult result)
{
    switch (result) {
    case INI_LOAD_OK:
        return "loaded";
    case INI_LOAD_NOT_FOUND:
        return "no such file or directory";
    case INI_LOAD_CANNOT_OPEN:
        return "cannot open the file";
    case INI_LOAD_MALFORMED:
        return "malformed line";
    case INI_LOAD_OUT_OF_MEMORY:
        return "out of memory";
    case INI_LOAD_READ_FAILED:
        return "cannot read the file";
    }
    return "unknown load result";
}
