// Base64 encoder and decoders.
#include "support/base64.h"

#include <cstring>

namespace {

const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char pad_char = '=';

// Bit accumulator of the decoders: six bits in per character, a byte out per eight bits.
struct decode_state {
    unsigned int bits = 0;
    int bit_count = 0;

    // Takes one text character; true when a byte is complete, stored in *byte.
    bool take(char c, unsigned char *byte)
    {
        bits = ((bits << 6) | unsigned(base64_char_value(c))) & 0xFFFu;
        bit_count += 6;
        if (bit_count < 8)
            return false;
        bit_count -= 8;
        *byte = static_cast<unsigned char>(bits >> bit_count);
        return true;
    }
};

} // namespace

int base64_char_value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return 0;
}

char base64_value_char(int value)
{
    if (value < 0 || value >= 64)
        return pad_char;
    return alphabet[value];
}

int base64_encode(fixed_string &destination, const void *data, int length)
{
    if (!data)
        return 0;
    const unsigned char *bytes = static_cast<const unsigned char *>(data);
    for (int i = 0; i < length; i += 3) {
        int left = length - i;
        unsigned int group = unsigned(bytes[i]) << 16;
        if (left > 1)
            group |= unsigned(bytes[i + 1]) << 8;
        if (left > 2)
            group |= bytes[i + 2];
        int characters = left >= 3 ? 4 : left + 1;
        for (int k = 0; k < 4; k++) {
            // Once the destination is full nothing more can be stored: the result is 0 either way.
            if (destination.size() >= fixed_string::max_length)
                return 0;
            if (k < characters)
                destination.append(base64_value_char(int((group >> (18 - 6 * k)) & 0x3F)));
            else
                destination.append(pad_char);
        }
    }
    return destination.size() < fixed_string::max_length;
}

int base64_encode_text(fixed_string &destination, const char *text)
{
    if (!text)
        return 0;
    size_t length = strlen(text);
    // An int length bounds one call; nothing this long can fit into a fixed_string anyway.
    if (length > size_t(fixed_string::capacity))
        length = size_t(fixed_string::capacity);
    return base64_encode(destination, text, int(length));
}

int base64_decode(unsigned char *buffer, int size, const char *text)
{
    if (!text || !buffer)
        return 0;
    decode_state state;
    int written = 0;
    for (const char *p = text; *p && *p != pad_char; p++) {
        // Any text character after a full buffer is an overflow, even one that would not
        // complete another byte.
        if (written >= size)
            return 0;
        unsigned char byte;
        if (state.take(*p, &byte))
            buffer[written++] = byte;
    }
    return written;
}

int base64_decode_append(fixed_string &destination, const char *text)
{
    if (!text)
        return 0;
    decode_state state;
    for (const char *p = text; *p && *p != pad_char; p++) {
        unsigned char byte;
        if (!state.take(*p, &byte))
            continue;
        destination.append(static_cast<char>(byte));
    }
    return destination.size() < fixed_string::max_length;
}
