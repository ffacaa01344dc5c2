// Turns UTF-8 text into printable ASCII for the debug log; never fails on malformed input.
#pragma once

#include <cstdint>
#include <string>

#include "support/fixed_string.h"

// Longest replacement text of a code point, in characters.
constexpr int ascii_replacement_max_length = 5;

// ---- decoding ----------------------------------------------------------------------------

// Decodes the sequence at `text`, stores its code point in *code_point and returns the position
// after it. Returns null, storing nothing, when `text` is null or points at the terminator.
// Malformed input still yields a code point: a stray continuation byte gives its low six bits, a
// byte 0xF8..0xFF gives '.', and a sequence cut short by a byte that is not a continuation byte
// ends there with the bits gathered so far (that byte is not consumed). Never reads past the
// terminator. Overlong forms, surrogates and values above U+10FFFF are returned as computed.
const char *utf8_next_code_point(const char *text, uint32_t *code_point);

// ---- query -------------------------------------------------------------------------------

// The ASCII form of `code_point` from the fixed table (U+0080..U+2122: accents dropped, sharp s
// to "ss", the euro sign to "EU", ...), or null when the table has none.
const char *ascii_replacement(uint32_t code_point);

// ---- transliteration ---------------------------------------------------------------------

// Appends the ASCII form of `text` to `out`, stopping at the terminator or at a code point 0:
// tab, line feed and carriage return and 32..126 as themselves, other control characters as
// '.', code points from 127 on as their table replacement or else "[<decimal code point>]".
// Output beyond the capacity of `out` is cut. A null `text` appends nothing.
void utf8_to_ascii(const char *text, fixed_string &out);

// The same transliteration as a new string, without a length limit ("" for a null `text`).
std::string utf8_to_ascii_string(const char *text);
