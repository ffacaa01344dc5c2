// Options in argument lines: matching an option word, and removing options from a line.
// Words and case rules are those of support/string_util.h.
#pragma once

#include "support/fixed_string.h"

// Where extract_option() looks for the option, and how it matches; combine with '|'.
enum option_flags : int {
    OPTION_FIRST = 1,      // as the first word
    OPTION_LAST = 2,       // as the last word
    OPTION_ANYWHERE = 4,   // first, last or between
    OPTION_ABBREV = 8,     // abbreviations allowed (see option_match)
};

// ---- matching ----------------------------------------------------------------------------

// 1 when the first word of `arg` names `option`, ignoring case. An option with a leading '-'
// is also named by its double-dash form ("--force" for "-force"); with OPTION_ABBREV a dash and
// at least one more letter suffice ("-f"). An option without a dash must be equal, or with
// OPTION_ABBREV `arg`'s first word must be a prefix of it. 0 otherwise or for null arguments.
int option_match(const char *arg, const char *option, int flags);

// Case-sensitive: 1 when `arg` (a word ending at NUL or space) is `option` or an abbreviation
// of it with the same leading dashes and at least one byte after them; an option without a
// dash is written with one ("-fo" for "force"). 0 otherwise, when `arg` runs past the end of
// `option`, or for null arguments.
int dash_option_match(const char *arg, const char *option);

// ---- removing ----------------------------------------------------------------------------

// Removes one occurrence of `option` (matched with option_match and `flags`) from the argument
// line `args` and leaves the rest in `out`, which must not hold `args`. Returns 1 when one was
// removed. A first word goes with the blanks after it (the rest is kept unchanged), a last word
// with the spaces and tabs before it; a word in between with OPTION_ANYWHERE rebuilds the words
// before it single-spaced and keeps the rest after it unchanged. Returns 0 when there is no
// match (with OPTION_ANYWHERE `out` then holds the words single-spaced, else it is empty) or
// for a null `args` or `option` (`out` empty). Leading blanks of `args` are skipped. `out` is
// cut at its capacity.
int extract_option(const char *args, fixed_string &out, const char *option, int flags);

// extract_option(args, out, option, OPTION_ANYWHERE | OPTION_ABBREV). Sets *found (when not
// null) to 1 if the option was there, else 0. Returns `args` itself when it was not, the text
// of `out` when it was, and null when that text is empty or `args` is null or empty.
const char *strip_option(const char *args, fixed_string &out, const char *option, int *found);

// strip_option() for the option "-force".
const char *strip_force_option(const char *args, fixed_string &out, int *found);

// Copies `args` ("(null)" when null; it may be the text of `out`) into `out` and removes from it
// every occurrence of each word of the list `options` (OPTION_ANYWHERE).
void remove_options(const char *args, fixed_string &out, const char *options);
