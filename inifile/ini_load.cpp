#include "ini_internal.h"

#include <stdlib.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

/* Returns the position of the first byte from position on, before available,
 * that is none of the two classes stored as they stand; available when there
 * is none. */
static size_t ini_special_end(const char *chunk, size_t position, size_t available)
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

/* Whether the byte at position is a backslash that makes the next byte of
 * the chunk one to store: any but a line feed, which joins two lines, or a
 * carriage return, which the escape skips. */
static bool ini_is_escape_pair(const char *chunk, size_t position, size_t available)
{
    if (chunk[position] != '\\' || position + 1 == available) {
        return false;
    }
    IniByteClass next = ini_byte_classes.of[(unsigned char)chunk[position + 1]];
    return next != INI_BYTE_LINE_FEED && next != INI_BYTE_CARRIAGE_RETURN;
}

/* Copies to out at *written what a line that has begun stores of the bytes
 * of chunk from position on: the bytes stored as they stand and the bytes a
 * backslash escapes, up to the first byte that is neither or to available.
 * Returns the position reached; *written grows by the bytes copied, never
 * more than the bytes passed. */
static size_t ini_copy_plain_portable(const char *chunk, size_t position, size_t available,
                                      char *out, size_t *written)
{
    size_t count = *written;
    for (;;) {
        size_t end = ini_special_end(chunk, position, available);
        memcpy(out + count, chunk + position, end - position);
        count += end - position;
        position = end;
        if (position == available || !ini_is_escape_pair(chunk, position, available)) {
            break;
        }
        out[count++] = chunk[position + 1];
        position += 2;
    }
    *written = count;
    return position;
}

#if defined(__SSE2__)
/* ini_copy_plain_portable, 16 bytes at a time while 16 are left. Each block
 * is stored whole, then the count moves only past the bytes that belong: out
 * needs room for available bytes past *written, as the count never moves
 * further than position. A backslash escaping a byte of the block stores the
 * block's rest again one byte back, so that the backslashes of Windows paths
 * leave the loop alone; it may stop earlier than the portable copy, never
 * elsewhere than at a backslash. */
static size_t ini_copy_plain_sse2(const char *chunk, size_t position, size_t available, char *out,
                                  size_t *written)
{
    const __m128i line_feed = _mm_set1_epi8('\n');
    const __m128i carriage_return = _mm_set1_epi8('\r');
    const __m128i semicolon = _mm_set1_epi8(';');
    const __m128i backslash = _mm_set1_epi8('\\');
    size_t count = *written;
    while (position + 16 <= available) {
        __m128i bytes = _mm_loadu_si128((const __m128i *)(const void *)(chunk + position));
        _mm_storeu_si128((__m128i *)(void *)(out + count), bytes);
        unsigned ends = (unsigned)_mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, line_feed), _mm_cmpeq_epi8(bytes, carriage_return)));
        unsigned escapes = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, backslash));
        unsigned specials =
            ends | escapes | (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, semicolon));
        if (specials == 0) {
            position += 16;
            count += 16;
            continue;
        }
        size_t removed = 0;
        do {
            unsigned at = (unsigned)__builtin_ctz(specials);
            /* Left to the caller: a byte that ends or interrupts the copy,
             * and an escape whose byte is out of the block, or whose
             * block's rest cannot be loaded within the chunk. */
            if (((escapes >> at) & 1U) == 0 || at == 15 || ((ends >> (at + 1)) & 1U) != 0 ||
                position + at + 17 > available) {
                *written = count + at - removed;
                return position + at;
            }
            _mm_storeu_si128(
                (__m128i *)(void *)(out + count + at - removed),
                _mm_loadu_si128((const __m128i *)(const void *)(chunk + position + at + 1)));
            removed++;
            specials &= ~(3U << at);
        } while (specials != 0);
        position += 16;
        count += 16 - removed;
    }
    *written = count;
    return ini_copy_plain_portable(chunk, position, available, out, written);
}
#endif

/* ini_copy_plain_portable or, where the compiler offers SSE2 and search asks
 * for the fastest, ini_copy_plain_sse2, with its need for room in out. */
static size_t ini_copy_plain(const char *chunk, size_t position, size_t available, char *out,
                             size_t *written, IniByteSearch search)
{
#if defined(__SSE2__)
    if (search == INI_SEARCH_FASTEST) {
        return ini_copy_plain_sse2(chunk, position, available, out, written);
    }
#else
    (void)search;
#endif
    return ini_copy_plain_portable(chunk, position, available, out, written);
}

/* The bytes a line gathers before it moves to the heap: room for a few
 * chunks, so that a line crossing a chunk edge or two stays off the heap
 * until it ends. */
enum { INI_SCRATCH_SIZE = 4 * INI_READ_CHUNK };

/* A logical line being read: the bytes gathered in scratch, after those of
 * text, on the heap, once scratch has run out of room. Nothing is allocated
 * before the line ends or scratch fills, so that a line of up to a few
 * chunks is allocated once, at its final capacity. */
struct IniLine {
    char *text;
    size_t length;
    size_t capacity;
    size_t pending; /* bytes in scratch */
    char scratch[INI_SCRATCH_SIZE];
};

/* The capacity that a block starting at INI_GROW_STEP bytes and growing by
 * INI_GROW_STEP reaches when it holds length bytes and a NUL. */
static size_t ini_line_capacity(size_t length)
{
    return (length + INI_GROW_STEP) / INI_GROW_STEP * INI_GROW_STEP;
}

/* Resizes the line's text to capacity. Returns 0, or -1 when out of memory,
 * the line then unchanged. */
static int ini_line_resize(IniLine *line, size_t capacity)
{
    char *resized =
        line->text == NULL ? (char *)malloc(capacity) : (char *)realloc(line->text, capacity);
    if (resized == NULL) {
        return -1;
    }
    line->text = resized;
    line->capacity = capacity;
    return 0;
}

/* Appends the scratch bytes to the text, which has room for them. */
static void ini_line_take_scratch(IniLine *line)
{
    memcpy(line->text + line->length, line->scratch, line->pending);
    line->length += line->pending;
    line->pending = 0;
}

/* Moves the scratch bytes of a line that goes on past its chunk to the heap
 * when scratch has no room for another chunk: a copy from the next chunk may
 * store up to a chunk of bytes past those already in scratch. A text that
 * must grow at least doubles, so that a line spanning many chunks moves a few
 * times, not once per chunk; ini_line_finish trims it. Returns 0, or -1 when
 * out of memory. */
static int ini_line_keep(IniLine *line)
{
    if (line->pending + INI_READ_CHUNK <= INI_SCRATCH_SIZE) {
        return 0;
    }
    size_t needed = line->length + line->pending;
    if (needed > line->capacity &&
        ini_line_resize(line, 2 * line->capacity > needed ? 2 * line->capacity : needed) != 0) {
        return -1;
    }
    ini_line_take_scratch(line);
    return 0;
}

/* Drops trailing spaces, gives the text its final capacity, moves the
 * scratch bytes to it and adds the NUL. Returns 0, or -1 when out of memory.
 * Finishing a finished line changes nothing. */
static int ini_line_finish(IniLine *line)
{
    while (line->pending > 0 && line->scratch[line->pending - 1] == ' ') {
        line->pending--;
    }
    if (line->pending == 0) {
        while (line->length > 0 && line->text[line->length - 1] == ' ') {
            line->length--;
        }
    }
    size_t capacity = ini_line_capacity(line->length + line->pending);
    if (capacity != line->capacity && ini_line_resize(line, capacity) != 0) {
        return -1;
    }
    ini_line_take_scratch(line);
    line->text[line->length] = '\0';
    return 0;
}

/* Where the reader's chunks come from and how it searches them. */
struct IniInput {
    IniReadFunction read;
    IniByteSearch search;
};

/* ini_platform_read by a call of its own: taking the address of a function
 * of another source gives mingw-w64 a reference ".refptr" symbol to define. */
static int32_t ini_read_platform_file(intptr_t file, void *buffer, uint32_t size)
{
    return ini_platform_read(file, buffer, size);
}

/* Fills the reader's buffer with the next chunk. Returns 1, or 0 after
 * marking the end of the input, or the failure of the read. */
static int ini_reader_fill(IniLineReader *reader, IniReadFunction read)
{
    int32_t count = read(reader->file, reader->buffer, INI_READ_CHUNK);
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

/* ini_read_line over input, counting line feeds into numbers. One state
 * machine over the byte table, kept whole so that it reads like the format's
 * table; once a line has begun, ini_copy_plain takes the bytes it stores
 * without a decision of their own. */
// NOLINTNEXTLINE(readability-function-cognitive-complexity)
static char *ini_next_line(IniLineReader *reader, const IniInput *input, IniLineNumbers *numbers)
{
    if (reader->end_of_input != INI_READER_MORE) {
        return NULL;
    }
    IniLine line;
    line.text = NULL;
    line.length = 0;
    line.capacity = 0;
    line.pending = 0;
    const IniReadFunction read = input->read;
    const IniByteSearch search = input->search;
    int escaped = 0;
    int in_comment = 0;
    for (;;) {
        if ((uint32_t)reader->read_position == reader->bytes_available &&
            !ini_reader_fill(reader, read)) {
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

        /* Each byte the table must judge is judged here; the bytes a begun
         * line stores as they stand are taken by ini_copy_plain in bulk. */
        int line_ended = 0;
        while (position < available) {
            IniByteClass byte_class = ini_byte_classes.of[(unsigned char)chunk[position]];
            int started = line.length + line.pending > 0;
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
            line.scratch[line.pending++] = chunk[position];
            position =
                ini_copy_plain(chunk, position + 1, available, line.scratch, &line.pending, search);
        }
        reader->read_position = (int32_t)position;
        /* A comment leaves the line as it is: it can be finished before the
         * line feed that ends it is found. */
        if (line_ended || (in_comment && line.length + line.pending > 0)) {
            if (ini_line_finish(&line) != 0) {
                goto out_of_memory;
            }
            if (line_ended) {
                return line.text;
            }
        } else if (line.pending > 0 && ini_line_keep(&line) != 0) {
            goto out_of_memory;
        }
    }

    /* A line cut short by a failed read is no line of the file. */
    if (line.length + line.pending == 0 || reader->end_of_input == INI_READER_READ_FAILED) {
        free(line.text);
        return NULL;
    }
    if (ini_line_finish(&line) == 0) {
        return line.text;
    }
out_of_memory:
    free(line.text);
    reader->end_of_input = INI_READER_OUT_OF_MEMORY;
    return NULL;
}

char *ini_read_line(IniLineReader *reader)
{
    const IniInput input = {ini_read_platform_file, INI_SEARCH_FASTEST};
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
static IniLoadResult ini_read_document(IniLineReader *reader, const IniInput *input,
                                       IniDocument *doc, IniLineNumbers *numbers)
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

IniDocument *ini_load_from(intptr_t file, IniReadFunction read, IniByteSearch search,
                           IniLoadResult *result, int32_t *line)
{
    IniLineNumbers numbers = {0, 0};
    IniDocument *doc = ini_new_document();
    if (doc == NULL) {
        *result = INI_LOAD_OUT_OF_MEMORY;
    } else {
        IniLineReader reader;
        reader.file = file;
        reader.end_of_input = INI_READER_MORE;
        reader.bytes_available = 0;
        reader.read_position = 0;
        const IniInput input = {read, search};
        *result = ini_read_document(&reader, &input, doc, &numbers);
        if (*result != INI_LOAD_OK) {
            ini_free_document(doc);
            doc = NULL;
        }
    }
    if (line != NULL) {
        *line = *result != INI_LOAD_MALFORMED    ? 0
                : numbers.first_line > INT32_MAX ? INT32_MAX
                                                 : (int32_t)numbers.first_line;
    }
    return doc;
}

IniDocument *ini_load_file_with_result(const char *path, IniLoadResult *result, int32_t *line)
{
    IniPlatformFile file = ini_platform_open_for_reading(path);
    if (file == INI_PLATFORM_NO_FILE) {
        *result = INI_LOAD_CANNOT_OPEN;
        if (line != NULL) {
            *line = 0;
        }
        return NULL;
    }
    IniDocument *doc =
        ini_load_from(file, ini_read_platform_file, INI_SEARCH_FASTEST, result, line);
    ini_platform_close(file);
    return doc;
}

IniDocument *ini_load_file(const char *path)
{
    IniLoadResult ignored;
    return ini_load_file_with_result(path, &ignored, NULL);
}
