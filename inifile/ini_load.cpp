/* SPDX-License-Identifier: MIT */
#include "ini_internal.h"

#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"

static_assert(sizeof(IniPlatformFile) == sizeof(intptr_t),
              "IniLineReader keeps an IniPlatformFile");

/* How the line reader treats each byte value outside a comment. The two
 * classes stored as they stand inside a line come first, so that one
 * comparison tells them from the bytes the reader must handle one by one. */
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

/* What the copy of a line that has begun does with each byte, from its
 * class: stores it (0); drops it as a backslash whose next byte it stores,
 * whatever that is (INI_COPY_ESCAPE); or stops before it, leaving it to the
 * line reader (INI_COPY_STOP), a ";" only where no backslash escapes it
 * (INI_COPY_STOP | INI_COPY_UNLESS_ESCAPED). */
enum : unsigned char { INI_COPY_STOP = 1, INI_COPY_ESCAPE = 2, INI_COPY_UNLESS_ESCAPED = 4 };

struct IniCopyActions {
    unsigned char of[256];
};

static constexpr IniCopyActions ini_make_copy_actions()
{
    IniCopyActions actions = {};
    for (int byte = 0; byte < 256; byte++) {
        switch (ini_byte_classes.of[byte]) {
        case INI_BYTE_LINE_FEED:
        case INI_BYTE_CARRIAGE_RETURN:
            actions.of[byte] = INI_COPY_STOP;
            break;
        case INI_BYTE_SEMICOLON:
            actions.of[byte] = INI_COPY_STOP | INI_COPY_UNLESS_ESCAPED;
            break;
        case INI_BYTE_BACKSLASH:
            actions.of[byte] = INI_COPY_ESCAPE;
            break;
        default:
            break;
        }
    }
    return actions;
}

static constexpr IniCopyActions ini_copy_actions = ini_make_copy_actions();

/* Copies to out at *written what a line that has begun stores of the bytes
 * of chunk from position on: the bytes stored as they stand and the bytes a
 * backslash escapes, up to the first byte that is neither or to available.
 * A backslash before a line feed or a carriage return, or ending the chunk,
 * is left to the line reader too. Returns the position reached; *written
 * grows by the bytes copied, never more than the bytes passed.
 *
 * Eight bytes that are all stored as they stand go at once; the bytes of a
 * group of eight that holds anything else go one at a time, dropping
 * backslashes by arithmetic rather than by a branch, which would go astray
 * at each of the irregular places of the escaped backslashes of Windows
 * paths. */
static size_t ini_copy_plain(const char *chunk, size_t position, size_t available, char *out,
                             size_t *written)
{
    const unsigned char *bytes = (const unsigned char *)chunk;
    size_t count = *written;
    unsigned escaping = 0; /* 1 just after a backslash that escapes the next byte */
    for (;;) {
        size_t end = available;
        if (available - position >= 8) {
            const unsigned char *group = bytes + position;
            unsigned actions = ini_copy_actions.of[group[0]] | ini_copy_actions.of[group[1]] |
                               ini_copy_actions.of[group[2]] | ini_copy_actions.of[group[3]] |
                               ini_copy_actions.of[group[4]] | ini_copy_actions.of[group[5]] |
                               ini_copy_actions.of[group[6]] | ini_copy_actions.of[group[7]];
            if (actions == 0) {
                memcpy(out + count, group, 8);
                count += 8;
                position += 8;
                escaping = 0;
                continue;
            }
            end = position + 8;
        }
        for (; position < end; position++) {
            unsigned action = ini_copy_actions.of[bytes[position]];
            if ((action & INI_COPY_STOP) != 0 &&
                (escaping == 0 || (action & INI_COPY_UNLESS_ESCAPED) == 0)) {
                *written = count;
                return position - escaping;
            }
            unsigned drop = (unsigned)((action & INI_COPY_ESCAPE) != 0) & (escaping ^ 1U);
            out[count] = (char)bytes[position];
            count += drop ^ 1U;
            escaping = drop;
        }
        if (position == available) {
            *written = count;
            return position - escaping;
        }
    }
}

/* The bytes a line gathers on the stack: room for a few chunks, so that a
 * line crossing a chunk edge or two is gathered without the heap. */
enum { INI_SCRATCH_SIZE = 4 * INI_READ_CHUNK };

/* A logical line being read: its bytes gather in scratch, then, once
 * scratch has run out of room, in a heap block that at least doubles
 * whenever it must grow, so that a line spanning many chunks moves a few
 * times, not once per chunk. The line gets its final capacity when it ends:
 * a copy of scratch, or the heap block, trimmed. */
struct IniLine {
    char *bytes; /* scratch, or the heap block */
    size_t length;
    size_t capacity; /* of the heap block; 0 while the bytes are in scratch */
    char *text;      /* the finished line, or null */
    char scratch[INI_SCRATCH_SIZE];
};

/* The capacity that a block starting at INI_GROW_STEP bytes and growing by
 * INI_GROW_STEP reaches when it holds length bytes and a NUL. */
static size_t ini_line_capacity(size_t length)
{
    return (length + INI_GROW_STEP) / INI_GROW_STEP * INI_GROW_STEP;
}

/* The size of the block the line's bytes are in: scratch, or the heap
 * block. */
static size_t ini_line_block_size(const IniLine *line)
{
    return line->capacity == 0 ? (size_t)INI_SCRATCH_SIZE : line->capacity;
}

/* Where the next bytes of the line go, with room for count more. Returns
 * null when out of memory, the line then unchanged. */
static char *ini_line_room(IniLine *line, size_t count)
{
    size_t needed = line->length + count;
    if (needed <= ini_line_block_size(line)) {
        return line->bytes;
    }
    size_t capacity = 2 * line->capacity > needed ? 2 * line->capacity : needed;
    char *grown =
        line->capacity == 0 ? (char *)malloc(capacity) : (char *)realloc(line->bytes, capacity);
    if (grown == NULL) {
        return NULL;
    }
    if (line->capacity == 0) {
        memcpy(grown, line->scratch, line->length);
    }
    line->bytes = grown;
    line->capacity = capacity;
    return grown;
}

/* How many bytes from a place chunk_rest bytes before a chunk edge the line
 * may copy before it asks for room again: past each chunk edge after which
 * a whole chunk still has room, so that it grows exactly where asking for
 * the rest of a chunk at every edge would. */
static size_t ini_line_reach(const IniLine *line, size_t chunk_rest)
{
    size_t room = ini_line_block_size(line) - line->length;
    return room < chunk_rest ? room
                             : chunk_rest + (room - chunk_rest) / INI_READ_CHUNK * INI_READ_CHUNK;
}

/* Drops trailing spaces and gives the line its final block. Returns 0, or
 * -1 when out of memory. Finishing a finished line changes nothing. */
static int ini_line_finish(IniLine *line)
{
    if (line->text != NULL) {
        return 0;
    }
    while (line->length > 0 && line->bytes[line->length - 1] == ' ') {
        line->length--;
    }
    size_t capacity = ini_line_capacity(line->length);
    if (line->capacity == 0) {
        line->text = (char *)malloc(capacity);
        if (line->text == NULL) {
            return -1;
        }
        memcpy(line->text, line->bytes, line->length);
    } else {
        line->text = (char *)realloc(line->bytes, capacity);
        if (line->text == NULL) {
            return -1;
        }
        line->bytes = line->scratch;
        line->capacity = 0;
    }
    line->text[line->length] = '\0';
    return 0;
}

/* Releases what a line that is given up holds. */
static void ini_line_drop(IniLine *line)
{
    free(line->text);
    if (line->capacity != 0) {
        free(line->bytes);
    }
}

/* Where the reader's bytes come from and where they go. */
struct IniInput {
    IniReadFunction read;
    char *buffer;         /* the reader's own, or a larger one of the loader's */
    uint32_t buffer_size; /* a whole number of chunks */
    int32_t held_back;    /* an end or failure that came after some bytes of a fill */
};

/* ini_platform_read by a call of its own: taking the address of a function
 * of another source gives mingw-w64 a reference ".refptr" symbol to define. */
static int32_t ini_read_platform_file(intptr_t file, void *buffer, uint32_t size)
{
    return ini_platform_read(file, buffer, size);
}

/* Fills the buffer with the next chunks, read one after another while each
 * comes whole and the buffer has room, so that a load makes its reads in
 * runs rather than between its lines. An end or a failure that comes after
 * some bytes is held back until they are read. Returns 1, or 0 after marking
 * the end of the input, or the failure of the read. */
static int ini_reader_fill(IniLineReader *reader, IniInput *input)
{
    uint32_t filled = 0;
    if (input->held_back == INI_READER_MORE) {
        int32_t count;
        do {
            count = input->read(reader->file, input->buffer + filled, INI_READ_CHUNK);
            filled += count > 0 ? (uint32_t)count : 0;
        } while (count == INI_READ_CHUNK && filled + INI_READ_CHUNK <= input->buffer_size);
        if (count <= 0) {
            input->held_back = count == 0 ? INI_READER_END : INI_READER_READ_FAILED;
        }
    }
    if (filled == 0) {
        reader->end_of_input = input->held_back;
        return 0;
    }
    reader->bytes_available = filled;
    reader->read_position = 0;
    return 1;
}

/* Where the reader stands in the file's physical lines. */
struct IniLineNumbers {
    uint64_t line_feeds; /* line feeds consumed so far */
    uint64_t first_line; /* physical line (from 1) of the last line's first byte */
};

/* ini_read_line over input, counting line feeds into numbers. One state
 * machine over the byte table, kept whole so that it reads like the format's
 * table; once a line has begun, ini_copy_plain takes the bytes it stores
 * without a decision of their own. */
// NOLINTNEXTLINE(readability-function-cognitive-complexity)
static char *ini_next_line(IniLineReader *reader, IniInput *input, IniLineNumbers *numbers)
{
    if (reader->end_of_input != INI_READER_MORE) {
        return NULL;
    }
    IniLine line;
    line.bytes = line.scratch;
    line.length = 0;
    line.capacity = 0;
    line.text = NULL;
    int escaped = 0;
    int in_comment = 0;
    for (;;) {
        if ((uint32_t)reader->read_position == reader->bytes_available &&
            !ini_reader_fill(reader, input)) {
            break;
        }
        const char *buffer = input->buffer;
        size_t position = (size_t)reader->read_position;
        size_t available = (size_t)reader->bytes_available;
        /* A line asks for room for the rest of the current chunk, then
         * copies on across the chunks of the buffer up to copy_end. */
        size_t copy_end = 0;

        if (in_comment) {
            const char *line_feed =
                (const char *)memchr(buffer + position, '\n', available - position);
            if (line_feed == NULL) {
                reader->read_position = (int32_t)available;
                continue;
            }
            in_comment = 0;
            position = (size_t)(line_feed - buffer);
        }

        /* Each byte the table must judge is judged here; the bytes a begun
         * line stores as they stand are taken by ini_copy_plain in bulk. */
        int line_ended = 0;
        while (position < available) {
            IniByteClass byte_class = ini_byte_classes.of[(unsigned char)buffer[position]];
            int started = line.length > 0;
            if (escaped) {
                if (byte_class == INI_BYTE_CARRIAGE_RETURN) {
                    position++;
                    continue;
                }
                escaped = 0;
                if (byte_class == INI_BYTE_LINE_FEED) {
                    numbers->line_feeds++;
                    position++;
                    continue;
                }
                if (byte_class == INI_BYTE_SPACE && !started) {
                    position++;
                    continue;
                }
            } else if (byte_class > INI_BYTE_SPACE) {
                position++;
                if (byte_class == INI_BYTE_LINE_FEED) {
                    numbers->line_feeds++;
                    if (started) {
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
            } else if (byte_class == INI_BYTE_SPACE && !started) {
                position++;
                continue;
            }
            /* The first byte of a logical line fixes the physical line that
             * a malformed line is reported at. */
            if (!started) {
                numbers->first_line = numbers->line_feeds + 1;
            }
            if (position >= copy_end) {
                size_t chunk_rest = INI_READ_CHUNK - position % INI_READ_CHUNK;
                size_t rest = available - position;
                if (ini_line_room(&line, rest < chunk_rest ? rest : chunk_rest) == NULL) {
                    goto out_of_memory;
                }
                size_t reach = ini_line_reach(&line, chunk_rest);
                copy_end = position + (rest < reach ? rest : reach);
            }
            line.bytes[line.length++] = buffer[position];
            position = ini_copy_plain(buffer, position + 1, copy_end, line.bytes, &line.length);
        }
        reader->read_position = (int32_t)position;
        /* A comment leaves the line as it is: it can be finished before the
         * line feed that ends it is found. */
        if (line_ended || (in_comment && line.length > 0)) {
            if (ini_line_finish(&line) != 0) {
                goto out_of_memory;
            }
            if (line_ended) {
                return line.text;
            }
        }
    }

    /* A line cut short by a failed read is no line of the file. */
    if (line.length == 0 || reader->end_of_input == INI_READER_READ_FAILED) {
        ini_line_drop(&line);
        return NULL;
    }
    if (ini_line_finish(&line) == 0) {
        return line.text;
    }
out_of_memory:
    ini_line_drop(&line);
    reader->end_of_input = INI_READER_OUT_OF_MEMORY;
    return NULL;
}

char *ini_read_line(IniLineReader *reader)
{
    IniInput input = {ini_read_platform_file, reader->buffer, INI_READ_CHUNK, INI_READER_MORE};
    IniLineNumbers unused = {0, 0};
    return ini_next_line(reader, &input, &unused);
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
static IniLoadResult ini_read_document(IniLineReader *reader, IniInput *input, IniDocument *doc,
                                       IniLineNumbers *numbers)
{
    IniSection *section = NULL;
    char *line;
    while ((line = ini_next_line(reader, input, numbers)) != NULL) {
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

IniDocument *ini_load_from(intptr_t file, IniReadFunction read, IniLoadResult *result,
                           int32_t *line)
{
    IniLineNumbers numbers = {0, 0};
    IniLoadResult outcome = INI_LOAD_OUT_OF_MEMORY;
    IniDocument *doc = ini_new_document();
    if (doc != NULL) {
        IniLineReader reader;
        reader.file = file;
        reader.end_of_input = INI_READER_MORE;
        reader.bytes_available = 0;
        reader.read_position = 0;
        char buffer[INI_LOAD_BUFFER_SIZE];
        IniInput input = {read, buffer, INI_LOAD_BUFFER_SIZE, INI_READER_MORE};
        outcome = ini_read_document(&reader, &input, doc, &numbers);
        if (outcome != INI_LOAD_OK) {
            ini_free_document(doc);
            doc = NULL;
        }
    }
    ini_report_load(outcome, numbers.first_line, result, line);
    return doc;
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

/* The bytes ini_load_memory reads, and how far it has read them. */
struct IniMemoryInput {
    const char *bytes;
    size_t size;
    size_t position;
};

/* An IniReadFunction over an IniMemoryInput: copies as ini_platform_read
 * reads, so that the loader takes the bytes as it takes a file's. */
static int32_t ini_read_memory(intptr_t file, void *buffer, uint32_t size)
{
    /* The loader hands back the address that ini_load_memory gave it. */
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    IniMemoryInput *input = (IniMemoryInput *)file;
    size_t count = input->size - input->position;
    if (count > size) {
        count = size;
    }
    if (count > 0) {
        memcpy(buffer, input->bytes + input->position, count);
        input->position += count;
    }
    return (int32_t)count;
}

IniDocument *ini_load_memory(const void *bytes, size_t size, IniLoadResult *result, int32_t *line)
{
    IniMemoryInput input = {(const char *)bytes, size, 0};
    return ini_load_from((intptr_t)&input, ini_read_memory, result, line);
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
