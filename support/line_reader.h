// Byte-by-byte readers of lines, tags, texts and number blocks from a caller's C stream.
//
// None of them opens, rewinds or closes the stream. Unless said otherwise each returns 0 when the
// stream was already at its end (nothing read, buffer left as it was) and otherwise one more than
// the number of characters stored, so an empty line or tag gives 1. Texts are always terminated.
#pragma once

#include <cstdio>

// Numbers read by fget_block and fget_dblock from one line.
constexpr int fget_block_max = 12;
// Buffer size fget_hash_line needs: it stores at most hash_line_buffer_size - 1 characters.
constexpr int hash_line_buffer_size = 16384;
// Buffer size fget_tilde_text needs: it stops once more than 3989 characters are stored, and a
// tilde pair can bring that to 3991.
constexpr int tilde_text_buffer_size = 4000;
// Buffer size fget_semicolon_text needs: it stores at most 3999 characters.
constexpr int semicolon_text_buffer_size = 4000;
// Longest line fget_line_has_prefix looks at.
constexpr int prefix_line_buffer_size = 2048;

// Reads one line ended by a line feed, a carriage return, a zero byte or the end of the stream;
// only that one character is consumed, so CR LF reads as a line and an empty line. Stores at most
// size - 1 characters and drops the rest of a longer line. Storing exactly size - 1 is reported as
// "Warning in fget_line(), string overflow.  String was:" and the text (category 2). A size below
// 1 or a null buffer or stream reads nothing and returns 0 (reported, category 4).
int fget_line(FILE *stream, char *buffer, int size);

// Skips past the next '#' and reads the word after it, up to a space, tab, line feed, carriage
// return (consumed) or the end of the stream. The buffer is emptied first. 0 when no '#' remains.
// Same storage limit and overflow warning as fget_line (text "fget_tag()").
int fget_tag(FILE *stream, char *buffer, int size);

// Reads a text up to a semicolon, a zero byte or the end of the stream; line feeds are ordinary
// characters. A line feed right after the semicolon is consumed too (any other character is left
// in the stream). Same storage limit and overflow warning as fget_line (text "fget_long()").
int fget_long(FILE *stream, char *buffer, int size);

// Reads up to 12 whitespace-separated integers of the current line; a line feed or carriage
// return right after a number ends the line (consumed). After the twelfth number the rest of the
// line is dropped. Stops at text that is not a number (left in the stream) and at the end of the
// stream ("Error in fget_block(), EOF encountered.", category 2). Values beyond the int range are
// clamped. Unfilled slots are set to 0. Returns the count read (0..12).
int fget_block(FILE *stream, int values[fget_block_max]);
// The same with floating-point numbers ("Error in fget_dblock(), EOF encountered.").
int fget_dblock(FILE *stream, double values[fget_block_max]);

// Skips past the next '#' and reads the rest of that line (ended by a line feed, carriage return
// or the end of the stream, not stored) into a buffer of hash_line_buffer_size bytes; a longer
// line is cut and reported like fget_line's (text "fget_hash_line()"). 0 when no '#' remains.
int fget_hash_line(FILE *stream, char buffer[hash_line_buffer_size]);

// Reads a text ended by a tilde that is followed by anything but an upper-case letter or a tilde
// (both consumed, neither stored) or by the end of the stream. "~X" and "~~" are stored as they
// are and the text goes on. Stops once more than 3989 characters are stored, leaving the rest.
int fget_tilde_text(FILE *stream, char buffer[tilde_text_buffer_size]);

// Drops one character, reads a text up to a semicolon or the end of the stream or until 3999
// characters are stored, then drops one more character. The semicolon is not kept.
int fget_semicolon_text(FILE *stream, char buffer[semicolon_text_buffer_size]);

// Reads one line (at most prefix_line_buffer_size - 1 characters kept) and returns 1 when it
// starts with `text` (text_has_prefix); 0 otherwise and at the end of the stream.
int fget_line_has_prefix(FILE *stream, const char *text);

// 1 when both are given and `text` starts with `prefix` (an empty prefix always matches), else 0.
int text_has_prefix(const char *text, const char *prefix);
