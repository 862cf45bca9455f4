/* SPDX-License-Identifier: MIT */
#include "ini_internal.h"

#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"

static_assert(sizeof(IniPlatformFile) == sizeof(intptr_t),
              "IniLineReader keeps an IniPlatformFile");

/* The bytes a line gathers on the stack before it needs the heap. */
enum { INI_SCRATCH_SIZE = 4 * INI_READ_CHUNK };

/* A logical line being read: its bytes gather in scratch, then in a heap
 * block (ini_line_append). The line gets its final block when it ends: a
 * copy of scratch, or the heap block, trimmed unless it already has its
 * final capacity. */
struct IniLine {
    char *bytes;     /* scratch, or the heap block */
    size_t length;   /* bytes stored so far */
    size_t capacity; /* of the heap block; 0 while the bytes are in scratch */
    char scratch[INI_SCRATCH_SIZE];
};

/* The capacity that a block starting at INI_GROW_STEP bytes and growing by
 * INI_GROW_STEP reaches for length bytes and a NUL: a finished line's. */
static size_t ini_line_final_capacity(size_t length)
{
    return (length + INI_GROW_STEP) / INI_GROW_STEP * INI_GROW_STEP;
}

/* Moves the line to a heap block with room for needed bytes. When last,
 * they end the line but for trailing spaces, and the block is the one it
 * will end in; otherwise the block is twice, four times... the size of the
 * old one, so that a line spanning many reads moves a few times. Returns 0,
 * or -1 when out of memory, the line then unchanged. */
static int ini_line_grow(IniLine *line, size_t needed, int last)
{
    size_t capacity = last                  ? ini_line_final_capacity(needed)
                      : line->capacity == 0 ? (size_t)INI_SCRATCH_SIZE
                                            : line->capacity;
    while (capacity < needed) {
        capacity = capacity > SIZE_MAX / 2 ? needed : 2 * capacity;
    }
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

/* Appends count bytes to the line. When last, a line feed follows them, and
 * a line in scratch or out of room moves straight into the block it will
 * end in (ini_line_grow). Returns 0, or -1 when out of memory, the line
 * then unchanged. */
static int ini_line_append(IniLine *line, const char *bytes, size_t count, int last)
{
    size_t size = line->capacity == 0 ? (size_t)INI_SCRATCH_SIZE : line->capacity;
    size_t needed = line->length + count;
    if ((needed > size || (last && line->capacity == 0)) &&
        ini_line_grow(line, needed, last) != 0) {
        return -1;
    }
    memcpy(line->bytes + line->length, bytes, count);
    line->length += count;
    return 0;
}

/* Drops trailing spaces and returns the line in a block of its own, of its
 * final capacity (ini_line_final_capacity); null when out of memory, the
 * line then released all the same. */
static char *ini_line_finish(IniLine *line)
{
    while (line->length > 0 && line->bytes[line->length - 1] == ' ') {
        line->length--;
    }
    size_t capacity = ini_line_final_capacity(line->length);
    char *text;
    if (line->capacity == 0) {
        text = (char *)malloc(capacity);
        if (text != NULL) {
            memcpy(text, line->bytes, line->length);
        }
    } else {
        text = line->capacity == capacity ? line->bytes : (char *)realloc(line->bytes, capacity);
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
    /* Where each of ini_judged_bytes comes next among the bytes at hand,
     * or their end when it does not; null until looked for. Each is looked
     * for again only once the scan has passed it, so that a scanner looks at
     * every byte at hand once for each. */
    const char *next_judged[4];
    /* 1 when the scanner serves one line: it looks for the bytes after a
     * line feed no further than the first line feed, as it will not be
     * there to use what it would find past it. */
    int one_line;
};

/* Starts scanner with no bytes at hand, before the first line of an input
 * that read brings from file into buffer, buffer_size bytes at a time. */
static void ini_scanner_start(IniScanner *scanner, IniReadFunction read, intptr_t file,
                              char *buffer, uint32_t buffer_size)
{
    scanner->bytes = buffer;
    scanner->position = 0;
    scanner->available = 0;
    scanner->end = INI_READER_MORE;
    scanner->read = read;
    scanner->file = file;
    scanner->buffer = buffer;
    scanner->buffer_size = buffer_size;
    scanner->line_feeds = 0;
    scanner->first_line = 0;
    memset(scanner->next_judged, 0, sizeof scanner->next_judged);
    scanner->one_line = 0;
}

/* The bytes a line must judge: the rest are stored as they stand. */
static const char ini_judged_bytes[4] = {'\n', '\r', ';', '\\'};

/* The first byte from at on among the bytes at hand that is one of
 * ini_judged_bytes, or their end when none is. */
static const char *ini_scanner_next_judged(IniScanner *scanner, const char *at)
{
    const char *stop = scanner->bytes + scanner->available;
    const char *first = stop;
    for (size_t kind = 0; kind < sizeof ini_judged_bytes; kind++) {
        const char *next = scanner->next_judged[kind];
        if (next == NULL || next < at) {
            const char *limit = scanner->one_line ? first : stop;
            next = (const char *)memchr(at, ini_judged_bytes[kind], (size_t)(limit - at));
            next = next == NULL ? limit : next;
            scanner->next_judged[kind] = next;
        }
        first = next < first ? next : first;
    }
    return first;
}

/* Copies to a line, which has begun or begins at at, what it stores of the
 * bytes at hand from at on: the runs of bytes it stores as they stand, and
 * each byte a backslash escapes. Stops at their end, or at the first byte
 * the line reader must judge: a line feed, a carriage return, an unescaped
 * ";", or a backslash before a line feed, a carriage return or the end.
 * Returns where it stopped, or null when out of memory. */
static const char *ini_line_copy_plain(IniLine *line, IniScanner *scanner, const char *at)
{
    const char *stop = scanner->bytes + scanner->available;
    for (;;) {
        const char *end = ini_scanner_next_judged(scanner, at);
        int last = end != stop && *end == '\n';
        if (ini_line_append(line, at, (size_t)(end - at), last) != 0) {
            return NULL;
        }
        at = end;
        if (at == stop || *at != '\\' || stop - at < 2 || at[1] == '\n' || at[1] == '\r') {
            return at;
        }
        if (ini_line_append(line, at + 1, 1, 0) != 0) {
            return NULL;
        }
        at += 2;
    }
}

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
    memset(scanner->next_judged, 0, sizeof scanner->next_judged); /* found among the old bytes */
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

/* ini_read_line over scanner, counting line feeds. The bytes before a line
 * begins and the special ones are judged here one at a time, by the
 * format's rules; from each byte the line stores on, ini_line_copy_plain
 * takes the bytes stored without a decision of their own. */
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
            int stored_escaped = escaped;
            escaped = 0;
            if (byte == ' ' && line.length == 0) {
                continue;
            }
            /* The first byte of a logical line fixes the physical line that
             * a malformed line is reported at. */
            if (line.length == 0) {
                scanner->first_line = scanner->line_feeds + 1;
            }
            if (!stored_escaped) {
                at--; /* the first byte of the run below */
            } else if (ini_line_append(&line, &byte, 1, 0) != 0) {
                goto out_of_memory;
            }
            at = ini_line_copy_plain(&line, scanner, at);
            if (at == NULL) {
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
    IniScanner scanner;
    ini_scanner_start(&scanner, ini_read_platform_file, reader->file, reader->buffer,
                      INI_READ_CHUNK);
    scanner.position = (size_t)reader->read_position;
    scanner.available = reader->bytes_available;
    scanner.end = reader->end_of_input;
    scanner.one_line = 1;
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
    IniScanner scanner;
    ini_scanner_start(&scanner, read, file, buffer, INI_LOAD_BUFFER_SIZE);
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
    IniScanner scanner;
    ini_scanner_start(&scanner, NULL, 0, NULL, 0);
    scanner.bytes = (const char *)bytes;
    scanner.available = size;
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
