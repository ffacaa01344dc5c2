// Tagged record lists, pair lists and number-array lines on C streams.
#include "support/record_file.h"

#include "support/c_string.h"
#include "support/debug_log.h"
#include "support/string_util.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int message_buffer_size = 1000;

// Record line kinds in the order a record is written, and their tag letters in that order.
enum record_kind { kind_none = -1, kind_e = 0, kind_a = 1, kind_s = 2, kind_l = 3 };
constexpr char kind_letters[] = "EASL";

void replace_text(char **text, const char *with)
{
    tavi_free_and_clear(text);
    *text = tavi_strdup(with);
}

// Two heap buffers for one read; `ok` is false (reported, category 1) when memory ran out.
struct read_buffers {
    char *first;
    char *second;
    bool ok;
    read_buffers(int first_size, int second_size, const char *failure)
        : first(static_cast<char *>(malloc(size_t(first_size)))),
          second(static_cast<char *>(malloc(size_t(second_size)))), ok(first && second)
    {
        if (!ok)
            report_error(failure, REPORT_RESOURCE);
    }
    ~read_buffers()
    {
        free(first);
        free(second);
    }
    read_buffers(const read_buffers &) = delete;
    read_buffers &operator=(const read_buffers &) = delete;
};

bool has_text(const extra_desc *record)
{
    return record->a_text || record->s_text || record->l_text;
}

// The kind of the first text line a record is written with, or kind_none.
int first_text_kind(const extra_desc *record)
{
    return record->a_text ? kind_a : record->s_text ? kind_s : record->l_text ? kind_l : kind_none;
}

template <class T>
int put_array(FILE *stream, const char *name, const T *values, int count, const char *misuse)
{
    if (!stream || (!values && count > 0)) {
        report_error(misuse, REPORT_MISUSE);
        return 0;
    }
    if (!name)
        name = "";
    for (int first = 0; first < count; first += array_values_per_line) {
        fprintf(stream, "%s%d", name, first / array_values_per_line);
        for (int i = first; i < count && i < first + array_values_per_line; ++i)
            fprintf(stream, " %d", int(values[i]));
        fputc('\n', stream);
    }
    fputc('\n', stream);
    return !ferror(stream);
}

template <class T>
int get_array_line(FILE *stream, const char *line_number_text, T *values, int count)
{
    if (!stream)
        return 0;
    int numbers[fget_block_max];
    int read = fget_block(stream, numbers);
    if (!line_number_text || !values)
        return 0;
    // Ruling out line >= count first keeps line * 10 far from overflow.
    long line = strtol(line_number_text, nullptr, 10);
    if (line < 0 || line >= count)
        return 0;
    long first = line * array_values_per_line;
    if (first >= count)
        return 0;
    for (long i = 0; i < read && i < array_values_per_line && first + i < count; ++i)
        values[first + i] = T(numbers[i]);
    return 1;
}

} // namespace

int fget_extra_list(FILE *stream, extra_desc **list)
{
    free_extra_list(list);
    if (!stream || !list)
        return 0;
    read_buffers buffers(record_text_buffer_size, record_text_buffer_size,
                         "Error in fget_extra_list(), unable to allocate read buffers.");
    if (!buffers.ok)
        return 0;
    char *tag = buffers.first;
    char *text = buffers.second;
    int records = 0;
    int previous = kind_none;
    extra_desc *current = nullptr;
    extra_desc **tail = list;

    while (fget_tag(stream, tag, record_text_buffer_size)) {
        if (first_word_equal(tag, "end"))
            break;
        const char *letter = tag[0] ? strchr(kind_letters, tag[0]) : nullptr;
        if (!letter) {
            char message[message_buffer_size];
            snprintf(message, sizeof message, "Error in fget_extra_list(), invalid tag '%s' found.",
                     tag);
            report_error(message, REPORT_RUNTIME);
            return records;
        }
        int kind = int(letter - kind_letters);
        if (kind == kind_e || !current || previous >= kind) {
            current = new_extra_desc();
            *tail = current;
            tail = &current->next;
            ++records;
        }
        previous = kind;

        if (kind == kind_e) {
            int values[fget_block_max];
            fget_block(stream, values);
            for (int i = 0; i < 3; ++i)
                current->e_values[i] = values[i];
        } else if (kind == kind_l) {
            text[0] = '\0';
            fget_long(stream, text, record_text_buffer_size);
            replace_text(&current->l_text, text);
        } else {
            text[0] = '\0';
            fget_line(stream, text, record_text_buffer_size);
            replace_text(kind == kind_a ? &current->a_text : &current->s_text, text);
        }
    }
    return records;
}

int fput_extra_list(FILE *stream, const extra_desc *first)
{
    if (!stream)
        return 0;
    int previous_last = kind_none;
    for (const extra_desc *r = first; r; r = r->next) {
        // A record whose first line comes after the previous record's last line would be read
        // as part of it; its values line keeps them apart.
        bool would_join = previous_last != kind_none && first_text_kind(r) > previous_last;
        if (r->e_values[0] || r->e_values[1] || r->e_values[2] || !has_text(r) || would_join)
            fprintf(stream, "#E %d %d %d\n", int(r->e_values[0]), int(r->e_values[1]),
                    int(r->e_values[2]));
        if (r->a_text)
            fprintf(stream, "#A %s\n", r->a_text);
        if (r->s_text)
            fprintf(stream, "#S %s\n", r->s_text);
        if (r->l_text)
            fprintf(stream, "#L %s;\n", r->l_text);
        previous_last = r->l_text ? kind_l : r->s_text ? kind_s : r->a_text ? kind_a : kind_e;
    }
    fputs("#end\n", stream);
    return !ferror(stream);
}

int fget_pair_list(FILE *stream, extra_desc **list)
{
    free_extra_list(list);
    if (!stream || !list)
        return 0;
    read_buffers buffers(hash_line_buffer_size, tilde_text_buffer_size,
                         "Error in fget_pair_list(), unable to allocate read buffers.");
    if (!buffers.ok)
        return 0;
    char *name = buffers.first;
    char *text = buffers.second;
    int records = 0;
    extra_desc **tail = list;
    while (fget_hash_line(stream, name) && !first_word_equal(name, "END")) {
        extra_desc *record = new_extra_desc();
        record->s_text = tavi_strdup(name);
        fget_tilde_text(stream, text);
        record->l_text = tavi_strdup(text);
        *tail = record;
        tail = &record->next;
        ++records;
    }
    return records;
}

int fput_int_array(FILE *stream, const char *name, const int *values, int count)
{
    return put_array(stream, name, values, count, "Error in fput_int_array(), NULL pointer passed in.");
}

int fput_char_array(FILE *stream, const char *name, const char *bytes, int count)
{
    return put_array(stream, name, reinterpret_cast<const signed char *>(bytes), count,
                     "Error in fput_char_array(), NULL pointer passed in.");
}

int fget_int_array_line(FILE *stream, const char *line_number_text, int *values, int count)
{
    return get_array_line(stream, line_number_text, values, count);
}

int fget_char_array_line(FILE *stream, const char *line_number_text, char *bytes, int count)
{
    return get_array_line(stream, line_number_text, bytes, count);
}
