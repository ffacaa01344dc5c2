// Option matching and removal in blank-separated argument lines.
#include "support/arg_options.h"

#include "support/string_util.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

const char *skip_blanks(const char *text)
{
    while (is_blank(*text))
        ++text;
    return text;
}

// Appends the word at `word`, up to NUL or a blank.
void append_word(fixed_string &out, const char *word)
{
    for (; *word && !is_blank(*word); ++word)
        out.append(*word);
}

} // namespace

int option_match(const char *arg, const char *option, int flags)
{
    if (!arg || !option)
        return 0;
    if (option[0] == '-') {
        // Only a dash doubles the option's own dash: "x-force" does not name "-force".
        if (arg[0] == '-' && first_word_equal(arg + 1, option))
            return 1;
        if (flags & OPTION_ABBREV)
            return first_word_abbrev(arg, option, 2) != 0;
        return first_word_equal(arg, option);
    }
    if (flags & OPTION_ABBREV)
        return first_word_prefix(arg, option) != 0;
    return first_word_equal(arg, option);
}

int dash_option_match(const char *arg, const char *option)
{
    if (!arg || !option)
        return 0;
    int i = 0;
    if (option[0] == '-') {
        for (; option[i] == '-'; ++i)
            if (arg[i] != '-')
                return 0;
    } else {
        if (arg[0] != '-')
            return 0;
        ++arg;
    }
    // At least one byte of the option after its dashes.
    if (option[i] == '\0' || arg[i] != option[i])
        return 0;
    for (;; ++i) {
        char c = arg[i];
        if (c == '\0' || c == ' ')
            return 1;
        if (option[i] == '\0' || c != option[i])
            return 0;
    }
}

int extract_option(const char *args, fixed_string &out, const char *option, int flags)
{
    out.clear();
    if (!args || !option)
        return 0;
    const char *line = skip_blanks(args);

    if ((flags & (OPTION_FIRST | OPTION_ANYWHERE)) && option_match(line, option, flags)) {
        if (const char *rest = next_arg(line))
            out.append(rest);
        return 1;
    }
    if (flags & (OPTION_LAST | OPTION_ANYWHERE)) {
        const char *last = last_arg(line);
        if (option_match(last, option, flags)) {
            const char *end = last;
            while (end > line && (end[-1] == ' ' || end[-1] == '\t'))
                --end;
            for (const char *p = line; p < end; ++p)
                out.append(*p);
            return 1;
        }
    }
    if (flags & OPTION_ANYWHERE) {
        append_word(out, line);
        for (const char *word = next_arg(line); word; word = next_arg(word)) {
            if (option_match(word, option, flags)) {
                if (const char *rest = next_arg(word)) {
                    out.append(' ');
                    out.append(rest);
                }
                return 1;
            }
            out.append(' ');
            append_word(out, word);
        }
    }
    return 0;
}

const char *strip_option(const char *args, fixed_string &out, const char *option, int *found)
{
    if (found)
        *found = 0;
    if (!args || !*args) {
        out.clear();
        return nullptr;
    }
    if (!extract_option(args, out, option, OPTION_ANYWHERE | OPTION_ABBREV))
        return args;
    if (found)
        *found = 1;
    return out.empty() ? nullptr : out.c_str();
}

const char *strip_force_option(const char *args, fixed_string &out, int *found)
{
    return strip_option(args, out, "-force", found);
}

void remove_options(const char *args, fixed_string &out, const char *options)
{
    fixed_string scratch(args);   // `args` may be the text of `out` itself
    out.assign(scratch.c_str());
    if (!options || !*skip_blanks(options))
        return;
    for (const char *option = skip_blanks(options); option; option = next_arg(option)) {
        // Every match removes a non-empty word, so the text shrinks and the loop ends.
        while (extract_option(out.c_str(), scratch, option, OPTION_ANYWHERE)
               && scratch.size() < out.size())
            out.assign(scratch.c_str());
    }
}
