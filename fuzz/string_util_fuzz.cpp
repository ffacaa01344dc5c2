// Fuzzes the word splitters, comparisons, number recogniser, option removal and wildcard matcher.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "support/arg_options.h"
#include "support/string_util.h"

namespace {

// An exactly sized heap copy of bytes [begin, end), terminated.
char *copy_text(const uint8_t *begin, const uint8_t *end)
{
    size_t size = end - begin;
    char *text = static_cast<char *>(malloc(size + 1));
    if (text) {
        memcpy(text, begin, size);
        text[size] = '\0';
    }
    return text;
}

void check_position(const char *text, const char *position)
{
    if (position && (position < text || position > text + strlen(text)))
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The input is two texts separated by the first NUL byte.
    const uint8_t *split = static_cast<const uint8_t *>(memchr(data, 0, size));
    const uint8_t *second_begin = split ? split + 1 : data + size;
    char *a = copy_text(data, split ? split : data + size);
    char *b = copy_text(second_begin, data + size);
    if (!a || !b) {
        free(a);
        free(b);
        return 0;
    }

    check_position(a, next_arg(a));
    check_position(a, next_arg_eol(a));
    check_position(a, last_arg(a));

    int equal = first_word_equal(a, b);
    if (equal != first_word_equal(b, a))
        abort();
    int prefix = first_word_prefix(a, b);
    bool a_word_empty = *a == '\0' || *a == ' ' || *a == '\t' || *a == '\n';
    if (prefix < 0 || prefix >= word_compare_limit || (equal && !a_word_empty && !prefix))
        abort();
    (void)first_word_abbrev(a, b, 3);
    if (word_in_list(a, b) != list_contains_word(b, a))
        abort();
    (void)list_contains_all_words(b, a);
    (void)prefix_in_list(b, a);
    (void)all_prefixes_in_list(b, a);
    (void)abbrev_in_list(a, b, 2);
    (void)option_match(a, b, OPTION_ABBREV);
    (void)dash_option_match(a, b);

    int value = 0;
    if (parse_int_text(a, &value)) {
        errno = 0;
        long long wide = strtoll(a, nullptr, 10);
        if (errno == ERANGE || wide != value)
            abort();
    }

    fixed_string out;
    (void)extract_option(a, out, b, OPTION_ANYWHERE | OPTION_ABBREV);
    int found = 0;
    (void)strip_option(a, out, b, &found);
    remove_options(a, out, b);
    if (out.size() > int32_t(strlen(a)))
        abort();

    // Keep the matcher's inputs small: its work grows with their product.
    if (strlen(a) < 4096 && strlen(b) < 256)
        (void)wildcard_match(a, b);

    char small[8];
    (void)safe_strcpy(small, a, sizeof small);

    free(a);
    free(b);
    return 0;
}
