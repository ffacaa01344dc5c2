// Tagged record list files (#E, #A, #S, #L lines closed by #end), (name, text) pair lists and
// number-array lines, over the line readers.
//
// A record is written as up to four lines, in this order:
//   "#E %d %d %d\n"  when any value is non-zero, the record has no text at all, or its first
//                    line would otherwise join it to the previous record (such as an S line
//                    after a record that ended with an A line)
//   "#A %s\n"        when it has an A text
//   "#S %s\n"        when it has an S text
//   "#L %s;\n"       when it has an L text (which may span lines)
// and a list ends with "#end\n". Texts are written as they are, so a list reads back as the same
// records as long as no A or S text holds a line break or zero byte and no L text holds a
// semicolon or zero byte.
#pragma once

#include "support/extra_desc.h"
#include "support/line_reader.h"

#include <cstdio>

// Buffer size of the tags and texts fget_extra_list reads.
constexpr int record_text_buffer_size = 16384;
// Values per number-array line.
constexpr int array_values_per_line = 10;

// Frees *list and fills it with the records read up to "#end" (any case), the end of the stream
// or a tag of another letter ("Error in fget_extra_list(), invalid tag '%s' found.", category 2;
// the records read so far stay). An E line always starts a record; an A, S or L line starts one
// unless it follows a line of an earlier kind of the same record. Returns the number of records.
int fget_extra_list(FILE *stream, extra_desc **list);
// Writes the records from `first` on and the closing "#end\n". 1 on success, 0 for a null stream
// or when the stream reported a write error.
int fput_extra_list(FILE *stream, const extra_desc *first);

// Frees *list, then reads (name, text) pairs into new records until a '#' line whose first word is
// "END" (any case) or the end of the stream: each '#' line (fget_hash_line) becomes s_text and the
// text after it (fget_tilde_text) l_text. Returns the number of records read.
int fget_pair_list(FILE *stream, extra_desc **list);

// Writes `count` values ten per line: "%s%d" with the name and the line number (0, 1, ...), then
// " %d" per value and a line feed; then one more line feed. No values give a single line feed.
// 1 on success, 0 on a write error or a null stream, or a null array with a positive count
// (reported, category 4).
int fput_int_array(FILE *stream, const char *name, const int *values, int count);
// The same for bytes, each written as a signed number.
int fput_char_array(FILE *stream, const char *name, const char *bytes, int count);

// Reads one array line's numbers (fget_block) into values[10 * line ...], where the line number is
// the base-10 value of `line_number_text`; numbers past `count` are dropped. The line is consumed
// in any case. 1 when the line's first slot lies within 0..count - 1, else 0.
int fget_int_array_line(FILE *stream, const char *line_number_text, int *values, int count);
// The same for a byte array: each number is stored as a byte.
int fget_char_array_line(FILE *stream, const char *line_number_text, char *bytes, int count);
