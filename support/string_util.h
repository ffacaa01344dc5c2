// Word-oriented text helpers: splitting on blanks, case-blind word comparisons and word lists,
// an integer recogniser, a bounded copy, a keyword-list editor and a wildcard matcher.
//
// A word is a run of bytes up to a terminator. For the comparisons the terminators are NUL,
// space, tab and line feed (carriage return is an ordinary byte); letters A..Z equal a..z and
// every other byte compares as itself. A word is the text from the position given: a leading
// blank means an empty first word. A list is a text of words separated by blanks (leading
// blanks are skipped), walked with next_arg(). Apart from all_prefixes_in_list(), each
// comparison returns 0 when an argument is null.
#pragma once

// Comparisons look at no more than this many bytes of a word; a word this long never matches.
constexpr int word_compare_limit = 400;

// ---- word splitting ----------------------------------------------------------------------

// The start of the second word of `text` (blanks: space, tab, line feed), or null when there
// is none. A null `text` is reported (category REPORT_TRACE) and gives null.
const char *next_arg(const char *text);

// The start of the second word on the same line, or null. Only spaces separate words (a tab is
// an ordinary byte); a line feed before the second word gives null. Null is reported as above.
const char *next_arg_eol(const char *text);

// The start of the last word reached by next_arg(), or `text` itself when next_arg() finds
// none. Null is reported as above and gives null.
const char *last_arg(const char *text);

// ---- word comparisons --------------------------------------------------------------------

// 1 when the first words of `a` and `b` are equal ignoring case (two empty words are equal).
int first_word_equal(const char *a, const char *b);

// The length of `a`'s first word when it is a prefix of `b`'s first word ignoring case, else 0;
// an empty first word in `a` gives 0.
int first_word_prefix(const char *a, const char *b);

// The length of `a`'s first word when it is a prefix of `b`'s first word ignoring case and is
// at least `min_length` long or the whole of `b`'s first word; else 0. Empty `a` gives 0.
int first_word_abbrev(const char *a, const char *b, int min_length);

// ---- word lists --------------------------------------------------------------------------

// 1 when `word`'s first word equals some word of `list`.
int word_in_list(const char *word, const char *list);
// word_in_list() with the arguments the other way round.
int list_contains_word(const char *list, const char *word);
// 1 when every word of `words` is in `list`; a list of no words passes, a null one gives 0.
int list_contains_all_words(const char *list, const char *words);
// 1 when `word`'s first word is a prefix (first_word_prefix) of some word of `list`.
int prefix_in_list(const char *list, const char *word);
// 1 when every word of `words` passes prefix_in_list(); null or wordless `words` give 1.
int all_prefixes_in_list(const char *list, const char *words);
// 1 when first_word_abbrev(word, w, min_length) holds for some word w of `list`.
int abbrev_in_list(const char *word, const char *list, int min_length);

// Toggles `keyword`'s first word in the heap-held, space-separated list *list_pointer (null for
// an empty list; it came from malloc). "NULL" in any case frees the whole list. Present words
// are removed, every occurrence; a new word goes to the front. Returns a constant message:
// "List is already empty.", "List deleted.", "Keyword removed." or "Keyword added.". Returns null
// with a report, leaving the list unchanged, for a null argument or an empty keyword
// (REPORT_MISUSE) and when memory runs out (REPORT_RESOURCE).
const char *add_remove_keyword_line(const char *keyword, char **list_pointer);

// ---- numbers -----------------------------------------------------------------------------

// Recognises a base-10 int at the start of `text`: it must begin with a digit, with '+', or with
// '-' and a digit; trailing bytes are ignored ("12abc" is 12, "+" alone is 0). Returns 1 and
// stores the value in *out (when `out` is not null). Returns 0, storing nothing, for null
// `text`, for anything else, and for a number outside the signed 32-bit range.
[[nodiscard]] int parse_int_text(const char *text, int *out);

// ---- copying and matching ----------------------------------------------------------------

// Copies `src` into `dest` of `size` bytes, always terminated. Returns 1 when all of it fit.
// Returns 0 with a report (REPORT_MISUSE) for a null `dest` or a size below 1 (nothing
// written), a null `src` (`dest` emptied), or a `src` that does not fit (`dest` holds its first
// size-1 bytes and the report quotes the whole source).
int safe_strcpy(char *dest, const char *src, int size);

// 1 when `text` matches `pattern`, in which '*' stands for any run of bytes (also empty) and
// every other byte for itself, case-sensitive; else 0 (also for a null argument).
int wildcard_match(const char *text, const char *pattern);
