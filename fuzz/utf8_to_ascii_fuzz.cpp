// Fuzzes the UTF-8 decoder and both transliteration forms on arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/transliterate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Exactly sized, so that a read past the terminator is caught.
    char *text = static_cast<char *>(malloc(size + 1));
    if (!text)
        return 0;
    memcpy(text, data, size);
    text[size] = '\0';

    // Each step consumes one to four bytes and never passes the terminator.
    const char *end = text + strlen(text);
    uint32_t code_point = 0;
    for (const char *p = text, *next; (next = utf8_next_code_point(p, &code_point)) != nullptr; p = next)
        if (next <= p || next - p > 4 || next > end || code_point > 0x1FFFFF)
            abort();

    fixed_string bounded;
    utf8_to_ascii(text, bounded);
    std::string unbounded = utf8_to_ascii_string(text);
    // The bounded form is the unbounded one cut at the capacity.
    if (unbounded.substr(0, fixed_string::max_length) != bounded.c_str())
        abort();
    for (unsigned char c : unbounded)
        if (!(c == '\t' || c == '\n' || c == '\r' || (c >= 32 && c <= 126)))
            abort();
    free(text);
    return 0;
}
