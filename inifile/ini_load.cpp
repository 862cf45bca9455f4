#include "ini_internal.h"

#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"

static_assert(sizeof(IniPlatformFile) == sizeof(intptr_t),
              "IniLineReader keeps an IniPlatformFile");

/* How the line reader treats each byte value outside a comment. The two
 * classes stored as they stand inside a line come first, so that one
 * comparison tells them from the rest. */
enum IniByteClass : unsigned char {
    INI_BYTE_ORDINARY,
    INI_BYTE_SPACE,
    INI_BYTE_LINE_FEED,
    INI_BYTE_CARRIAGE_RETURN,
    INI_BYTE_SEMICOLON,
    INI_BYTE_BACKSLASH
};

struct IniByteClasses {
    IniByteClass of[256];
};

static constexpr IniByteClasses ini_make_byte_classes()
{
    IniByteClasses classes = {};
    classes.of[(unsigned char)'\n'] = INI_BYTE_LINE_FEED;
    classes.of[(unsigned char)'\r'] = INI_BYTE_CARRIAGE_RETURN;
    classes.of[(unsigned char)' '] = INI_BYTE_SPACE;
    classes.of[(unsigned char)';'] = INI_BYTE_SEMICOLON;
    classes.of[(unsigned char)'\\'] = INI_BYTE_BACKSLASH;
    return classes;
}

static constexpr IniByteClasses ini_byte_classes = ini_make_byte_classes();

/* A logical line being built: a heap buffer whose capacity grows in steps of
 * INI_GROW_STEP. */
struct IniLineBuffer {
    char *text;
    size_t length;
    size_t capacity;
};

/* A stretch of the reader's buffer whose bytes the line stores as they
 * stand. Stretches are kept until the line ends or the chunk is used up, so
 * that the line grows once for all of them, not once per stretch. */
struct IniRun {
    uint16_t start;
    uint16_t length;
};

/* The most stretches one chunk can hold: each but the first follows a byte
 * that is not stored. */
enum { INI_MAX_RUNS = INI_READ_CHUNK / 2 + 1 };

/* Returns the end of the bytes from position on that are ordinary bytes or
 * spaces, at most available. */
static size_t ini_plain_end(const char *chunk, size_t position, size_t available)
{
    const unsigned char *bytes = (const unsigned char *)chunk;
    while (position + 4 <= available &&
           (ini_byte_classes.of[bytes[position]] | ini_byte_classes.of[bytes[position + 1]] |
            ini_byte_classes.of[bytes[position + 2]] | ini_byte_classes.of[bytes[position + 3]]) <=
               INI_BYTE_SPACE) {
        position += 4;
    }
    while (position < available && ini_byte_classes.of[bytes[position]] <= INI_BYTE_SPACE) {
        position++;
    }
    return position;
}

/* Appends the stretches of chunk, count bytes in all, with one growth of the
 * line. Returns 0, or -1 when out of memory. */
static int ini_line_append_runs(IniLineBuffer *line, const char *chunk, const IniRun *runs,
                                size_t run_count, size_t count)
{
    if (ini_reserve_bytes(&line->text, &line->capacity, line->length + count) != 0) {
        return -1;
    }
    for (size_t i = 0; i < run_count; i++) {
        memcpy(line->text + line->length, chunk + runs[i].start, runs[i].length);
        line->length += runs[i].length;
    }
    return 0;
}

/* Drops trailing spaces and adds the NUL. Returns the finished line, or null
 * when out of memory. */
static char *ini_line_finish(IniLineBuffer *line)
{
    while (line->text[line->length - 1] == ' ') {
        line->length--;
    }
    if (ini_reserve_bytes(&line->text, &line->capacity, line->length + 1) != 0) {
        return NULL;
    }
    line->text[line->length] = '\0';
    return line->text;
}

/* Fills the reader's buffer with the next chunk. Returns 1, or 0 after
 * marking the end of the input, or the failure of the read. */
static int ini_reader_fill(IniLineReader *reader)
{
    int32_t count = ini_platform_read(reader->file, reader->buffer, INI_READ_CHUNK);
    if (count <= 0) {
        reader->end_of_input = count == 0 ? INI_READER_END : INI_READER_READ_FAILED;
        return 0;
    }
    reader->bytes_available = (uint32_t)count;
    reader->read_position = 0;
    return 1;
}

/* Where the reader stands in the file's physical lines. */
struct IniLineNumbers {
    uint64_t line_feeds; /* line feeds consumed so far */
    uint64_t first_line; /* physical line (from 1) of the last line's first byte */
};

/* ini_read_line, counting line feeds into numbers. One state machine over the
 * byte table, kept whole so that it reads like the format's table. */
// NOLINTNEXTLINE(readability-function-cognitive-complexity)
static char *ini_next_line(IniLineReader *reader, IniLineNumbers *numbers)
{
    if (reader->end_of_input != INI_READER_MORE) {
        return NULL;
    }
    IniLineBuffer line = {(char *)malloc(INI_GROW_STEP), 0, INI_GROW_STEP};
    if (line.text == NULL) {
        reader->end_of_input = INI_READER_OUT_OF_MEMORY;
        return NULL;
    }
    int escaped = 0;
    int in_comment = 0;
    for (;;) {
        if ((uint32_t)reader->read_position == reader->bytes_available &&
            !ini_reader_fill(reader)) {
            break;
        }
        const char *chunk = reader->buffer;
        size_t position = (size_t)reader->read_position;
        size_t available = reader->bytes_available;

        if (in_comment) {
            const char *line_feed =
                (const char *)memchr(chunk + position, '\n', available - position);
            if (line_feed == NULL) {
                reader->read_position = (int32_t)available;
                continue;
            }
            in_comment = 0;
            position = (size_t)(line_feed - chunk);
        }

        /* Walk the chunk up to the end of the line, a comment or the end of
         * the chunk, noting the stretches to store; then store them with one
         * growth of the line. */
        IniRun runs[INI_MAX_RUNS];
        size_t run_count = 0;
        size_t stored = 0;
        int line_ended = 0;
        while (position < available) {
            IniByteClass byte_class = ini_byte_classes.of[(unsigned char)chunk[position]];
            size_t start = position++;
            if (escaped) {
                if (byte_class == INI_BYTE_CARRIAGE_RETURN) {
                    continue;
                }
                escaped = 0;
                if (byte_class == INI_BYTE_LINE_FEED) {
                    numbers->line_feeds++;
                    continue;
                }
                if (byte_class == INI_BYTE_SPACE && line.length + stored == 0) {
                    continue;
                }
            } else if (byte_class == INI_BYTE_SPACE) {
                if (line.length + stored == 0) {
                    continue;
                }
            } else if (byte_class != INI_BYTE_ORDINARY) {
                if (byte_class == INI_BYTE_LINE_FEED) {
                    numbers->line_feeds++;
                    if (line.length + stored > 0) {
                        line_ended = 1;
                        break;
                    }
                    continue;
                }
                if (byte_class == INI_BYTE_SEMICOLON) {
                    in_comment = 1;
                    break;
                }
                escaped = byte_class == INI_BYTE_BACKSLASH;
                continue;
            }
            /* A byte to store, with every following byte of the chunk that
             * is stored as it stands. */
            if (line.length + stored == 0) {
                numbers->first_line = numbers->line_feeds + 1;
            }
            position = ini_plain_end(chunk, position, available);
            runs[run_count].start = (uint16_t)start;
            runs[run_count].length = (uint16_t)(position - start);
            run_count++;
            stored += position - start;
        }
        reader->read_position = (int32_t)position;
        if (stored > 0 && ini_line_append_runs(&line, chunk, runs, run_count, stored) != 0) {
            goto out_of_memory;
        }
        if (line_ended) {
            char *finished = ini_line_finish(&line);
            if (finished == NULL) {
                goto out_of_memory;
            }
            return finished;
        }
    }

    /* A line cut short by a failed read is no line of the file. */
    if (line.length == 0 || reader->end_of_input == INI_READER_READ_FAILED) {
        free(line.text);
        return NULL;
    }
    {
        char *finished = ini_line_finish(&line);
        if (finished != NULL) {
            return finished;
        }
    }
out_of_memory:
    free(line.text);
    reader->end_of_input = INI_READER_OUT_OF_MEMORY;
    return NULL;
}

char *ini_read_line(IniLineReader *reader)
{
    IniLineNumbers unused = {0, 0};
    return ini_next_line(reader, &unused);
}

/* Returns the first "=" of an entry line, or null when line is no entry. */
static char *ini_entry_separator(char *line)
{
    char *separator = strchr(line, '=');
    return separator == line ? NULL : separator;
}

static int ini_is_section_header(const char *line)
{
    size_t length = strlen(line);
    return length >= 3 && line[0] == '[' && line[length - 1] == ']';
}

/* Turns an entry line into its key and value in place and appends it. Returns
 * 0, or -1 when out of memory, the line then still owned by the caller. */
static int ini_add_entry_line(IniSection *section, char *line, char *separator)
{
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
    if (ini_append_section(doc, section) != 0) {
        section->name = NULL;
        ini_free_section(section);
        return NULL;
    }
    return section;
}

/* Reads every line of an open file into doc, each entry into the section
 * above it. Returns INI_LOAD_OK, INI_LOAD_MALFORMED at the first line that is
 * neither, numbers then telling where it starts, INI_LOAD_OUT_OF_MEMORY or
 * INI_LOAD_READ_FAILED. */
static IniLoadResult ini_read_document(IniLineReader *reader, IniDocument *doc,
                                       IniLineNumbers *numbers)
{
    IniSection *section = NULL;
    char *line;
    while ((line = ini_next_line(reader, numbers)) != NULL) {
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
        section = ini_add_header_line(doc, line);
        if (section == NULL) {
            free(line);
            return INI_LOAD_OUT_OF_MEMORY;
        }
    }
    switch (reader->end_of_input) {
    case INI_READER_OUT_OF_MEMORY:
        return INI_LOAD_OUT_OF_MEMORY;
    case INI_READER_READ_FAILED:
        return INI_LOAD_READ_FAILED;
    default:
        return INI_LOAD_OK;
    }
}

/* Loads an open file into a new document. Returns it, or null with *result
 * saying why; numbers then tell where a malformed line starts. */
static IniDocument *ini_load_open_file(IniPlatformFile file, IniLoadResult *result,
                                       IniLineNumbers *numbers)
{
    IniDocument *doc = ini_new_document();
    if (doc == NULL) {
        *result = INI_LOAD_OUT_OF_MEMORY;
        return NULL;
    }
    IniLineReader reader;
    reader.file = file;
    reader.end_of_input = INI_READER_MORE;
    reader.bytes_available = 0;
    reader.read_position = 0;
    *result = ini_read_document(&reader, doc, numbers);
    if (*result != INI_LOAD_OK) {
        ini_free_document(doc);
        return NULL;
    }
    return doc;
}

IniDocument *ini_load_file_with_result(const char *path, IniLoadResult *result, int32_t *line)
{
    IniLineNumbers numbers = {0, 0};
    IniDocument *doc = NULL;
    IniPlatformFile file = ini_platform_open_for_reading(path);
    if (file == INI_PLATFORM_NO_FILE) {
        *result = INI_LOAD_CANNOT_OPEN;
    } else {
        doc = ini_load_open_file(file, result, &numbers);
        ini_platform_close(file);
    }
    if (line != NULL) {
        *line = *result != INI_LOAD_MALFORMED    ? 0
                : numbers.first_line > INT32_MAX ? INT32_MAX
                                                 : (int32_t)numbers.first_line;
    }
    return doc;
}

IniDocument *ini_load_file(const char *path)
{
    IniLoadResult ignored;
    return ini_load_file_with_result(path, &ignored, NULL);
}
