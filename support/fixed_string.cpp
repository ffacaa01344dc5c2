// Bounded text buffer: appends cut silently at max_length characters.
#include "support/fixed_string.h"

#include <cstdio>

void fixed_string::append(const char *text)
{
    if (!text)
        text = "(null)";
    while (*text && length_ < max_length)
        text_[length_++] = *text++;
    text_[length_] = '\0';
}

void fixed_string::append(char c)
{
    if (length_ >= max_length)
        return;
    text_[length_++] = c;
    text_[length_] = '\0';
}

void fixed_string::append_int(long long n)
{
    char number[32];
    snprintf(number, sizeof number, "%lld", n);
    append(number);
}
