// Line, tag, text and number readers over C streams; fget_line takes runs of buffered bytes.
#include "support/line_reader.h"

#include "support/debug_log.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <stdio_ext.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr int tilde_text_stop_length = 3989;   // stop once more characters than this are stored
constexpr int semicolon_text_max_length = semicolon_text_buffer_size - 1;

void report_overflow(const char *warning, const char *text)
{
    report_error(warning, REPORT_RUNTIME);
    report_error(text, REPORT_RUNTIME);
}

bool usable(FILE *stream, const char *buffer, int size, const char *misuse)
{
    if (stream && buffer && size >= 1)
        return true;
    report_error(misuse, REPORT_MISUSE);
    return false;
}

// Reads characters until `ends_text` accepts one (consumed, not stored) or the stream ends,
// storing at most size - 1. Returns the stored count; *ended_by gets the ending character or EOF.
template <class Ends>
int read_bounded(FILE *stream, int c, char *buffer, int size, Ends ends_text, int *ended_by)
{
    int stored = 0;
    while (c != EOF && !ends_text(c)) {
        if (stored < size - 1)
            buffer[stored++] = char(c);
        c = fgetc(stream);
    }
    buffer[stored] = '\0';
    *ended_by = c;
    return stored;
}

bool ends_line(int c) { return c == '\n' || c == '\r' || c == '\0'; }

// Holds the stream's lock for one whole line, so that each character costs no locking; a stream
// whose owner took over its locking (FSETLOCKING_BYCALLER) is left alone.
class stream_lock {
public:
    explicit stream_lock(FILE *stream)
        : stream_(__fsetlocking(stream, FSETLOCKING_QUERY) == FSETLOCKING_BYCALLER ? nullptr
                                                                                      : stream)
    {
        if (stream_)
            flockfile(stream_);
    }
    ~stream_lock()
    {
        if (stream_)
            funlockfile(stream_);
    }
    stream_lock(const stream_lock &) = delete;
    stream_lock &operator=(const stream_lock &) = delete;

private:
    FILE *stream_;
};

// The bytes a locked stream has read ahead: getc_unlocked() hands them out one at a time from
// [buffered_run, buffered_end), and skip_buffered() takes several at once. glibc's read
// pointers are the ones its getc_unlocked macro works on; elsewhere nothing counts as buffered.
#ifdef __GLIBC__
const char *buffered_run(FILE *stream) { return stream->_IO_read_ptr; }
const char *buffered_end(FILE *stream) { return stream->_IO_read_end; }
void skip_buffered(FILE *stream, size_t count) { stream->_IO_read_ptr += count; }
#else
const char *buffered_run(FILE *) { return nullptr; }
const char *buffered_end(FILE *) { return nullptr; }
void skip_buffered(FILE *, size_t) {}
#endif

// The number of bytes from `run` before the first line end, or up to `end`.
size_t buffered_line_length(const char *run, const char *end)
{
    const char *p = run;
#ifdef __SSE2__
    // Sixteen bytes at a time, never reading past `end`.
    const __m128i line_feed = _mm_set1_epi8('\n');
    const __m128i carriage_return = _mm_set1_epi8('\r');
    const __m128i zero = _mm_setzero_si128();
    for (; end - p >= 16; p += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, line_feed),
                                                 _mm_cmpeq_epi8(bytes, carriage_return)),
                                    _mm_cmpeq_epi8(bytes, zero));
        if (int mask = _mm_movemask_epi8(hits))
            return size_t(p - run) + size_t(__builtin_ctz(unsigned(mask)));
    }
#endif
    // Line ends are control characters: one compare rules out nearly every byte.
    while (p < end && (static_cast<unsigned char>(*p) > '\r' || !ends_line(*p)))
        ++p;
    return size_t(p - run);
}

int skip_past_hash(FILE *stream)
{
    int c;
    do
        c = fgetc(stream);
    while (c != EOF && c != '#');
    return c;
}

// The character after a number: a line end is consumed; anything else goes back.
// Returns true when the line ended.
bool line_ends_here(FILE *stream)
{
    int c = fgetc(stream);
    if (c == '\n' || c == '\r')
        return true;
    if (c != EOF)
        ungetc(c, stream);
    return false;
}

void drop_rest_of_line(FILE *stream)
{
    int c;
    do
        c = fgetc(stream);
    while (c != EOF && c != '\n' && c != '\0');
}

int read_int(FILE *stream, int *value)
{
    long number;
    int result = fscanf(stream, "%20ld", &number);
    if (result == 1)
        *value = number > INT_MAX ? INT_MAX : number < INT_MIN ? INT_MIN : int(number);
    return result;
}

int read_double(FILE *stream, double *value)
{
    return fscanf(stream, "%20lf", value);
}

template <class T, class Read>
int read_block(FILE *stream, T values[fget_block_max], Read read_one, const char *eof_message,
               const char *misuse_message)
{
    if (!stream || !values) {
        report_error(misuse_message, REPORT_MISUSE);
        return 0;
    }
    int count = 0;
    while (count < fget_block_max) {
        if (line_ends_here(stream))
            break;
        int result = read_one(stream, &values[count]);
        if (result == EOF) {
            report_error(eof_message, REPORT_RUNTIME);
            break;
        }
        if (result != 1)
            break;
        ++count;
    }
    if (count == fget_block_max) {
        drop_rest_of_line(stream);
        return count;
    }
    for (int i = count; i < fget_block_max; ++i)
        values[i] = T(0);
    return count;
}

} // namespace

int fget_line(FILE *stream, char *buffer, int size)
{
    if (!usable(stream, buffer, size, "Error in fget_line(), bad arguments."))
        return 0;
    stream_lock lock(stream);
    int c = getc_unlocked(stream);
    if (c == EOF)
        return 0;
    const size_t room = size_t(size) - 1;
    size_t stored = 0;
    while (c != EOF && !ends_line(c)) {
        if (stored < room)
            buffer[stored++] = char(c);
        // The rest of the line as far as the stream has it buffered, in one go.
        const char *run = buffered_run(stream);
        size_t length = buffered_line_length(run, buffered_end(stream));
        size_t kept = length < room - stored ? length : room - stored;
        if (kept) {
            memcpy(buffer + stored, run, kept);
            stored += kept;
        }
        skip_buffered(stream, length);
        c = getc_unlocked(stream);
    }
    buffer[stored] = '\0';
    if (stored == room)
        report_overflow("Warning in fget_line(), string overflow.  String was:", buffer);
    return int(stored) + 1;
}

int fget_tag(FILE *stream, char *buffer, int size)
{
    if (!usable(stream, buffer, size, "Error in fget_tag(), bad arguments."))
        return 0;
    buffer[0] = '\0';
    if (skip_past_hash(stream) == EOF)
        return 0;
    int ended_by;
    int stored = read_bounded(stream, fgetc(stream), buffer, size,
                              [](int ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r'; },
                              &ended_by);
    if (stored == size - 1)
        report_overflow("Warning in fget_tag(), string overflow.  String was:", buffer);
    return stored + 1;
}

int fget_long(FILE *stream, char *buffer, int size)
{
    if (!usable(stream, buffer, size, "Error in fget_long(), bad arguments."))
        return 0;
    int c = fgetc(stream);
    if (c == EOF)
        return 0;
    int ended_by;
    int stored = read_bounded(stream, c, buffer, size,
                              [](int ch) { return ch == ';' || ch == '\0'; }, &ended_by);
    if (ended_by != EOF) {
        // The line feed a writer puts after the semicolon belongs to the text's line; anything
        // else (such as the '#' of the next tag) stays for the next reader.
        int after = fgetc(stream);
        if (after != '\n' && after != EOF)
            ungetc(after, stream);
    }
    if (stored == size - 1)
        report_overflow("Warning in fget_long(), string overflow.  String was:", buffer);
    return stored + 1;
}

int fget_block(FILE *stream, int values[fget_block_max])
{
    return read_block(stream, values, read_int, "Error in fget_block(), EOF encountered.",
                      "Error in fget_block(), NULL pointer passed in.");
}

int fget_dblock(FILE *stream, double values[fget_block_max])
{
    return read_block(stream, values, read_double, "Error in fget_dblock(), EOF encountered.",
                      "Error in fget_dblock(), NULL pointer passed in.");
}

int fget_hash_line(FILE *stream, char buffer[hash_line_buffer_size])
{
    if (!usable(stream, buffer, hash_line_buffer_size, "Error in fget_hash_line(), bad arguments."))
        return 0;
    if (skip_past_hash(stream) == EOF)
        return 0;
    int ended_by;
    int stored = read_bounded(stream, fgetc(stream), buffer, hash_line_buffer_size,
                              [](int ch) { return ch == '\n' || ch == '\r'; }, &ended_by);
    if (stored == hash_line_buffer_size - 1)
        report_overflow("Warning in fget_hash_line(), string overflow.  String was:", buffer);
    return stored + 1;
}

int fget_tilde_text(FILE *stream, char buffer[tilde_text_buffer_size])
{
    if (!usable(stream, buffer, tilde_text_buffer_size, "Error in fget_tilde_text(), bad arguments."))
        return 0;
    int c = fgetc(stream);
    if (c == EOF)
        return 0;
    int stored = 0;
    while (c != EOF && stored <= tilde_text_stop_length) {
        if (c == '~') {
            int after = fgetc(stream);
            if (after == EOF || !((after >= 'A' && after <= 'Z') || after == '~'))
                break;
            buffer[stored++] = '~';
            buffer[stored++] = char(after);
        } else {
            buffer[stored++] = char(c);
        }
        if (stored > tilde_text_stop_length)
            break;
        c = fgetc(stream);
    }
    buffer[stored] = '\0';
    return stored + 1;
}

int fget_semicolon_text(FILE *stream, char buffer[semicolon_text_buffer_size])
{
    if (!usable(stream, buffer, semicolon_text_buffer_size,
                "Error in fget_semicolon_text(), bad arguments."))
        return 0;
    if (fgetc(stream) == EOF)
        return 0;
    int stored = 0;
    int c;
    while (stored < semicolon_text_max_length && (c = fgetc(stream)) != EOF && c != ';')
        buffer[stored++] = char(c);
    fgetc(stream);
    buffer[stored] = '\0';
    return stored + 1;
}

int fget_line_has_prefix(FILE *stream, const char *text)
{
    char line[prefix_line_buffer_size];
    if (!fget_line(stream, line, sizeof line))
        return 0;
    return text_has_prefix(line, text);
}

int text_has_prefix(const char *text, const char *prefix)
{
    if (!text || !prefix)
        return 0;
    return strncmp(text, prefix, strlen(prefix)) == 0;
}
