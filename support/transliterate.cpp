// UTF-8 to printable ASCII: a forgiving decoder and the fixed replacement table.
#include "support/transliterate.h"

#include <cstdio>

namespace {

// Sixteen consecutive code points from `first`; null marks one without a replacement.
struct replacement_row {
    uint32_t first;
    const char *text[16];
};

#define N nullptr
// Rows in ascending order; rows without any replacement are left out. U+0080..U+009F are read
// as the characters the Windows-1252 code page puts there.
const replacement_row replacement_rows[] = {
    {0x0080, {"EU", " ", ",", "f", ",,", "...", ".", ".", "^", "%.", "S", "<", "OE", " ", "Z", " "}},
    {0x0090, {" ", "'", "'", "\"", "\"", "*", "-", "-", "~", "TM", "S", ">", "oe", " ", "z", "Y"}},
    {0x00A0, {" ", "i", "c", "L", "$", "YEN", "|", "S", "-", "(C)", "a", "<<", "!", " ", "(R)", "-"}},
    {0x00B0, {".", "+-", "^2", "^3", "'", "u", "P", ".", ",", "^1", ".", ">>", "1/4", "1/2", "3/4", "?"}},
    {0x00C0, {"A", "A", "A", "A", "Ae", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I", "I"}},
    {0x00D0, {"D", "N", "O", "O", "O", "O", "Oe", "x", "O", "U", "U", "U", "Ue", "Y", "P", "ss"}},
    {0x00E0, {"a", "a", "a", "a", "ae", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i"}},
    {0x00F0, {"o", "n", "o", "o", "o", "o", "oe", "/", "o", "u", "u", "u", "ue", "y", "p", "y"}},
    {0x0100, {"A", "a", "A", "a", "A", "a", "C", "c", "C", "c", "C", "c", "C", "c", "D", "d"}},
    {0x0110, {"D", "d", "E", "e", "E", "e", "E", "e", "E", "e", "E", "e", "G", "g", "G", "g"}},
    {0x0120, {"G", "g", "G", "g", "H", "h", "H", "h", "I", "i", "I", "i", "I", "i", "I", "i"}},
    {0x0130, {"I", "i", "IJ", "ij", "J", "j", "K", "k", "K", "L", "l", "L", "l", "L", "l", "L"}},
    {0x0140, {"l", "L", "l", "N", "n", "N", "n", "N", "n", "n", "N", "n", "O", "o", "O", "o"}},
    {0x0150, {"O", "o", "OE", "oe", "R", "r", "R", "r", "R", "r", "S", "s", "S", "s", "S", "s"}},
    {0x0160, {"S", "s", "T", "t", "T", "t", "T", "t", "U", "u", "U", "u", "U", "u", "U", "u"}},
    {0x0170, {"U", "u", "U", "u", "W", "w", "Y", "y", "Y", "Z", "z", "Z", "z", "Z", "z", "f"}},
    {0x0180, {"b", "B", "b", "b", "b", "b", "C", "C", "c", "D", "D", "d", "d", "g", "E", "e"}},
    {0x0190, {"e", "F", "f", "G", "V", "hj", "l", "I", "K", "k", "l", "la", "m", "N", "n", "O-"}},
    {0x01A0, {"O", "o", "Q", "q", "P", "p", "R", "S", "s", "E", N, "t", "T", "t", "T", "U"}},
    {0x01B0, {"u", "U", "V", "Y", "y", "Z", "z", "3", "3", "3", "3", "2", "5", "5", "ts", "v"}},
    {0x01C0, {"|", "||", N, "!", "DZ", "Dz", "dz", "LJ", "Lj", "lj", "NJ", "Nj", "nj", "A", "a", "I"}},
    {0x01D0, {"i", "O", "o", "U", "u", "U", "u", "U", "u", "U", "u", "U", "u", "e", "A", "a"}},
    {0x01E0, {"A", "a", "AE", "ae", "G", "g", "G", "g", "K", "k", "O", "o", "O", "o", "3", "3"}},
    {0x01F0, {"j", "DZ", "Dz", "dz", "G", "g", "Hu", "Y", "N", "n", "A", "a", "AE", "ae", "O/", "o/"}},
    {0x0200, {"A", "a", "A", "a", "E", "e", "E", "e", "I", "i", "I", "i", "O", "o", "O", "o"}},
    {0x0210, {"R", "r", "R", "r", "U", "u", "U", "u", "S", "s", "T", "t", "3", "3", "H", "h"}},
    {0x0220, {"n", "d", "8", "8", "Z", "z", "A", "a", "E", "e", "O", "o", "O", "o", "O", "o"}},
    {0x0230, {"O", "o", "Y", "y", "l", "n", "t", "j", "db", "qp", "A", "C", "c", "L", "T", "s"}},
    {0x02B0, {"h", "h", "j", "r", "r", N, "r", "w", "y", "'", "\"", "'", "'", "'", ")", "("}},
    {0x02C0, {"?", "?", "<", ">", "^", "^", "^", "^", "'", "-", "'", "'", ".", "_", ",", ","}},
    {0x02D0, {":", "*", ")", "(", "*", "*", "+", "-", "^", "*", "*", ",", "~", "\"", "~", "x"}},
    {0x02E0, {"Y", "l", "s", "x", "?", N, N, N, N, N, N, N, N, "=", "\"", N}},
    {0x02F0, {"^", "<", ">", "*", "'", "\"", "\"", "~", ":", N, N, N, N, N, N, N}},
    {0x0300, {"'", "'", "^", "~", "-", "-", "^", ".", "..", ")", "*", "\"", "^", "'", "\"", "\""}},
    {0x0310, {"^", "^", "'", "'", "'", "'", ",", ",", N, N, N, "'", ",", N, N, "+"}},
    {0x0320, {"_", N, N, ".", "..", ".", ",", ",", ",", ",", N, N, N, N, N, N}},
    {0x0330, {"~", "_", "_", "=", "~", "-", "-", "/", "/", ",", N, N, N, "*", N, "="}},
    {0x0340, {"'", "'", "~", "'", N, N, N, "=", "\"", N, "~", "~", "~", N, ".", " "}},
    {0x0350, {">", "(", N, "x", "<", ">", ">", ")", "*", "*", "(inf)", N, N, N, "-", "_"}},
    {0x0370, {N, N, N, N, "'", ",", N, N, N, N, N, N, N, N, ";", N}},
    {0x0380, {N, N, N, N, "'", N, N, N, N, N, N, N, N, N, N, N}},
    {0x04D0, {"A", "a", "A", "a", "AE", "ae", "E", "e", N, N, N, N, N, N, N, N}},
    {0x04E0, {N, N, N, N, N, N, "O", "o", N, N, N, N, N, N, N, N}},
    {0x2010, {"-", "-", "-", "-", "-", "-", "||", "=", "'", "'", ",", "'", "\"", "\"", "\"", "\""}},
    {0x2020, {".", ".", "*", N, ".", "..", "...", ".", N, N, N, N, N, N, N, N}},
    {0x2030, {"%.", N, "'", "\"", "\"", "'", "\"", "\"", N, "<", ">", N, "!!", "?", "-", N}},
    {0x2040, {N, "/", N, N, "/", N, N, "??", "?!", "!?", N, N, N, N, "*", ";"}},
    {0x2050, {N, N, "%", "~", N, "*", "\"", N, N, N, ":", N, N, N, N, N}},
    {0x20A0, {N, N, N, N, "L", N, N, N, N, N, N, N, "EU", N, N, N}},
    {0x2120, {N, N, "TM", N, N, N, N, N, N, N, N, N, N, N, N, N}},
};
#undef N

constexpr int replacement_row_count = sizeof(replacement_rows) / sizeof(replacement_rows[0]);

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Appends the transliteration of `text` through `sink`, which takes a C string or one byte.
template <class Sink> void transliterate(const char *text, Sink &sink)
{
    if (!text)
        return;
    uint32_t code_point = 0;
    while ((text = utf8_next_code_point(text, &code_point)) != nullptr && code_point != 0) {
        bool kept_control = code_point == '\t' || code_point == '\n' || code_point == '\r';
        if (kept_control || (code_point >= 32 && code_point <= 126)) {
            sink.byte(static_cast<char>(code_point));
        } else if (code_point < 32) {
            sink.byte('.');
        } else if (const char *replacement = ascii_replacement(code_point)) {
            sink.text(replacement);
        } else {
            char number[64];
            snprintf(number, sizeof number, "[%u]", code_point);
            sink.text(number);
        }
    }
}

struct fixed_string_sink {
    fixed_string &out;
    void byte(char c) { out.append(c); }
    void text(const char *t) { out.append(t); }
};

struct std_string_sink {
    std::string &out;
    void byte(char c) { out.push_back(c); }
    void text(const char *t) { out.append(t); }
};

} // namespace

const char *utf8_next_code_point(const char *text, uint32_t *code_point)
{
    if (!text || *text == '\0')
        return nullptr;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    unsigned char lead = *p++;
    uint32_t value;
    int following;
    if (lead < 0x80) {
        value = lead;
        following = 0;
    } else if (lead < 0xC0) {
        value = lead & 0x3F;   // a continuation byte standing alone
        following = 0;
    } else if (lead < 0xE0) {
        value = lead & 0x1F;
        following = 1;
    } else if (lead < 0xF0) {
        value = lead & 0x0F;
        following = 2;
    } else if (lead < 0xF8) {
        value = lead & 0x07;
        following = 3;
    } else {
        value = '.';
        following = 0;
    }
    // The terminator is not a continuation byte, so a cut-short sequence stops on it.
    for (; following > 0 && is_continuation(*p); --following)
        value = value * 64 + (*p++ & 0x3F);
    if (code_point)
        *code_point = value;
    return reinterpret_cast<const char *>(p);
}

const char *ascii_replacement(uint32_t code_point)
{
    uint32_t first = code_point & ~uint32_t(0xF);
    int low = 0, high = replacement_row_count - 1;
    while (low <= high) {
        int middle = (low + high) / 2;
        if (replacement_rows[middle].first == first)
            return replacement_rows[middle].text[code_point & 0xF];
        if (replacement_rows[middle].first < first)
            low = middle + 1;
        else
            high = middle - 1;
    }
    return nullptr;
}

void utf8_to_ascii(const char *text, fixed_string &out)
{
    fixed_string_sink sink{out};
    transliterate(text, sink);
}

std::string utf8_to_ascii_string(const char *text)
{
    std::string out;
    std_string_sink sink{out};
    transliterate(text, sink);
    return out;
}
