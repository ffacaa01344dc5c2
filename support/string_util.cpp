// Word splitting, case-blind word comparisons, word lists, numbers, bounded copy, wildcards.
#include "support/string_util.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "support/c_string.h"
#include "support/debug_log.h"
#include "support/fixed_string.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool ends_word(char c) { return c == '\0' || is_blank(c); }

const char *skip_blanks(const char *text)
{
    while (is_blank(*text))
        ++text;
    return text;
}

const char *skip_word(const char *text)
{
    while (!ends_word(*text))
        ++text;
    return text;
}

// The byte as the comparisons see it: letters folded to lower case, word ends to NUL.
unsigned char fold(char c)
{
    if (ends_word(c))
        return 0;
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c - 'A' + 'a');
    return static_cast<unsigned char>(c);
}

// The first word of a list, or null when it has none.
const char *first_list_word(const char *list)
{
    const char *word = skip_blanks(list);
    return *word ? word : nullptr;
}

// Calls test(word) for each word of `list` until it returns true; 1 when it did.
template <class Test> int any_list_word(const char *list, Test test)
{
    for (const char *word = first_list_word(list); word; word = next_arg(word))
        if (test(word))
            return 1;
    return 0;
}

// The shared walk of first_word_prefix and first_word_abbrev: the length n of `a`'s first word
// when its bytes agree with `b` up to there (0 for an empty or mismatching word, or one that
// reaches the compare limit); *b_ends tells whether `b`'s word also ends at n.
int matching_prefix_length(const char *a, const char *b, bool *b_ends)
{
    for (int i = 0; i < word_compare_limit; ++i) {
        unsigned char ca = fold(a[i]);
        if (ca == 0) {
            *b_ends = fold(b[i]) == 0;
            return i;
        }
        if (ca != fold(b[i]))
            return 0;
    }
    return 0;
}

} // namespace

const char *next_arg(const char *text)
{
    if (!text) {
        report_error("Error in next_arg(), NULL pointer passed in.", REPORT_TRACE);
        return nullptr;
    }
    text = skip_blanks(text);
    if (!*text)
        return nullptr;
    text = skip_blanks(skip_word(text));
    return *text ? text : nullptr;
}

const char *next_arg_eol(const char *text)
{
    if (!text) {
        report_error("Error in next_arg_eol(), NULL pointer passed in.", REPORT_TRACE);
        return nullptr;
    }
    while (*text == ' ')
        ++text;
    if (*text == '\0' || *text == '\n')
        return nullptr;
    while (*text != '\0' && *text != ' ') {
        if (*text == '\n')
            return nullptr;
        ++text;
    }
    while (*text == ' ')
        ++text;
    if (*text == '\0' || *text == '\n')
        return nullptr;
    return text;
}

const char *last_arg(const char *text)
{
    if (!text) {
        report_error("Error in last_arg(), NULL pointer passed in.", REPORT_TRACE);
        return nullptr;
    }
    for (const char *next = next_arg(text); next; next = next_arg(next))
        text = next;
    return text;
}

int first_word_equal(const char *a, const char *b)
{
    if (!a || !b)
        return 0;
    for (int i = 0; i < word_compare_limit; ++i) {
        unsigned char ca = fold(a[i]);
        if (ca != fold(b[i]))
            return 0;
        if (ca == 0)
            return 1;
    }
    return 0;
}

int first_word_prefix(const char *a, const char *b)
{
    if (!a || !b)
        return 0;
    bool b_ends = false;
    return matching_prefix_length(a, b, &b_ends);
}

int first_word_abbrev(const char *a, const char *b, int min_length)
{
    if (!a || !b)
        return 0;
    bool b_ends = false;
    int length = matching_prefix_length(a, b, &b_ends);
    if (length > 0 && (length >= min_length || b_ends))
        return length;
    return 0;
}

int word_in_list(const char *word, const char *list)
{
    if (!word || !list)
        return 0;
    return any_list_word(list, [word](const char *w) { return first_word_equal(word, w) != 0; });
}

int list_contains_word(const char *list, const char *word) { return word_in_list(word, list); }

int list_contains_all_words(const char *list, const char *words)
{
    if (!list || !words)
        return 0;
    return !any_list_word(words, [list](const char *w) { return !word_in_list(w, list); });
}

int prefix_in_list(const char *list, const char *word)
{
    if (!list || !word)
        return 0;
    return any_list_word(list, [word](const char *w) { return first_word_prefix(word, w) != 0; });
}

int all_prefixes_in_list(const char *list, const char *words)
{
    if (!words)
        return 1;
    return !any_list_word(words, [list](const char *w) { return !prefix_in_list(list, w); });
}

int abbrev_in_list(const char *word, const char *list, int min_length)
{
    if (!word || !list)
        return 0;
    return any_list_word(list, [word, min_length](const char *w) {
        return first_word_abbrev(word, w, min_length) != 0;
    });
}

const char *add_remove_keyword_line(const char *keyword, char **list_pointer)
{
    if (!keyword || !list_pointer) {
        report_error("Error in add_remove_keyword_line(), null dest?", REPORT_MISUSE);
        return nullptr;
    }
    char *list = *list_pointer;
    if (first_word_equal(keyword, "NULL")) {
        if (!list)
            return "List is already empty.";
        tavi_free_and_clear(list_pointer);
        return "List deleted.";
    }
    size_t keyword_length = skip_word(keyword) - keyword;
    if (keyword_length == 0) {
        // An empty word would give the list a leading blank and could never be removed again.
        report_error("Error in add_remove_keyword_line(), empty keyword.", REPORT_MISUSE);
        return nullptr;
    }
    size_t list_length = list ? strlen(list) : 0;

    if (list && word_in_list(keyword, list)) {
        char *rebuilt = static_cast<char *>(malloc(list_length + 1));
        if (!rebuilt) {
            report_error("Error in add_remove_keyword_line(), out of memory.", REPORT_RESOURCE);
            return nullptr;
        }
        size_t used = 0;
        for (const char *word = first_list_word(list); word; word = next_arg(word)) {
            if (first_word_equal(keyword, word))
                continue;
            size_t length = skip_word(word) - word;
            if (used > 0)
                rebuilt[used++] = ' ';
            memcpy(rebuilt + used, word, length);
            used += length;
        }
        rebuilt[used] = '\0';
        free(list);
        *list_pointer = nullptr;
        if (used > 0)
            *list_pointer = rebuilt;
        else
            free(rebuilt);
        return "Keyword removed.";
    }

    size_t total = keyword_length + (list ? 1 + list_length : 0);
    char *grown = static_cast<char *>(malloc(total + 1));
    if (!grown) {
        report_error("Error in add_remove_keyword_line(), out of memory.", REPORT_RESOURCE);
        return nullptr;
    }
    memcpy(grown, keyword, keyword_length);
    if (list) {
        grown[keyword_length] = ' ';
        memcpy(grown + keyword_length + 1, list, list_length);
    }
    grown[total] = '\0';
    free(list);
    *list_pointer = grown;
    return "Keyword added.";
}

int parse_int_text(const char *text, int *out)
{
    if (!text)
        return 0;
    bool digit_first = text[0] >= '0' && text[0] <= '9';
    bool dash_digit = text[0] == '-' && text[1] >= '0' && text[1] <= '9';
    if (!digit_first && text[0] != '+' && !dash_digit)
        return 0;
    // A value that does not fit in an int is no number: wrapping it would turn a size or length
    // into an unrelated one.
    int saved_errno = errno;
    errno = 0;
    long value = strtol(text, nullptr, 10);
    bool out_of_range = errno == ERANGE || value < INT_MIN || value > INT_MAX;
    errno = saved_errno;
    if (out_of_range)
        return 0;
    if (out)
        *out = static_cast<int>(value);
    return 1;
}

int safe_strcpy(char *dest, const char *src, int size)
{
    if (!dest) {
        report_error("Error in safe_strcpy(), NULL dest.", REPORT_MISUSE);
        return 0;
    }
    if (size <= 0) {
        report_error("Error in safe_strcpy(), dest too short.", REPORT_MISUSE);
        return 0;
    }
    if (!src) {
        dest[0] = '\0';
        report_error("Error in safe_strcpy(), NULL src.", REPORT_MISUSE);
        return 0;
    }
    for (int i = 0; i < size; ++i) {
        dest[i] = src[i];
        if (src[i] == '\0')
            return 1;
    }
    dest[size - 1] = '\0';
    fixed_string message("Error in safe_strcpy(), src overflow. String was: ->");
    message.append(src);
    message.append("<-");
    report_error(message.c_str(), REPORT_MISUSE);
    return 0;
}

int wildcard_match(const char *text, const char *pattern)
{
    if (!text || !pattern)
        return 0;
    // Greedy walk that, on a mismatch, lets the last star swallow one more byte: the same
    // answer as trying each later occurrence of a segment, without the exponential search.
    const char *star = nullptr;
    const char *resume = nullptr;
    while (*text) {
        if (*pattern == '*') {
            star = pattern++;
            resume = text;
        } else if (*pattern == *text) {
            ++pattern;
            ++text;
        } else if (star) {
            pattern = star + 1;
            text = ++resume;
        } else {
            return 0;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}
