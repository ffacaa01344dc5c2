// Fuzzes both Base64 decoders with arbitrary text and checks that encoding round-trips.
#include "support/base64.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // First byte: the buffer size for the buffer decoder; the rest: the text.
    int buffer_size = data[0];
    std::string text(reinterpret_cast<const char *>(data + 1), size - 1);

    // Exactly buffer_size bytes on the heap, so that any write past them is caught.
    unsigned char *buffer = static_cast<unsigned char *>(malloc(size_t(buffer_size) + 1));
    int written = base64_decode(buffer, buffer_size, text.c_str());
    if (written < 0 || written > buffer_size)
        abort();

    fixed_string appended("prefix");
    base64_decode_append(appended, text.c_str());
    if (appended.size() > fixed_string::max_length || appended.c_str()[appended.size()] != '\0')
        abort();

    // Whenever both decoders accepted everything, they agree.
    if (written > 0 && memchr(buffer, 0, size_t(written)) == nullptr) {
        fixed_string alone;
        if (base64_decode_append(alone, text.c_str()) == 1 &&
            (alone.size() != written || memcmp(alone.c_str(), buffer, size_t(written)) != 0))
            abort();
    }
    free(buffer);

    // Encoding the raw input and decoding it again gives the input back.
    int length = int(size > 3000 ? 3000 : size);
    fixed_string encoded;
    if (base64_encode(encoded, data, length) == 1) {
        if (encoded.size() != (length + 2) / 3 * 4)
            abort();
        unsigned char *back = static_cast<unsigned char *>(malloc(size_t(length)));
        if (base64_decode(back, length, encoded.c_str()) != length ||
            memcmp(back, data, size_t(length)) != 0)
            abort();
        free(back);
    }
    return 0;
}
