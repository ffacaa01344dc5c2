// Base64 with the standard alphabet (RFC 4648) and '=' padding, into fixed_strings or buffers.
#pragma once

#include "support/fixed_string.h"

// ---- alphabet ----------------------------------------------------------------------------

// The 6-bit value of an alphabet character (A-Z 0-25, a-z 26-51, 0-9 52-61, '+' 62, '/' 63);
// any other character gives 0.
int base64_char_value(char c);

// The alphabet character of a 6-bit value; any value outside 0..63 gives '='.
char base64_value_char(int value);

// ---- encoding ----------------------------------------------------------------------------

// Appends the encoding of `length` bytes of `data` to `destination`: four characters per three
// bytes, a last group of one or two bytes padded with "==" or "=". Characters that do not fit
// are dropped under the fixed_string rule. Returns 1 when the destination holds fewer than
// fixed_string::max_length characters afterwards, else 0 (the encoding may be cut). Null data
// returns 0 and appends nothing; a length of 0 or less appends nothing.
int base64_encode(fixed_string &destination, const void *data, int length);

// base64_encode() of the bytes of `text` without its terminator. A null text returns 0 and
// appends nothing.
int base64_encode_text(fixed_string &destination, const char *text);

// ---- decoding ----------------------------------------------------------------------------
// Decoding reads `text` up to its end or its first '='; padding is optional. Every character
// outside the alphabet counts as 'A' (value 0). Bits left over after the last whole byte are
// dropped.

// Decodes `text` into `buffer` of `size` bytes. Returns the number of bytes written; 0 for a
// null text or buffer, and 0 when a character beyond a full buffer follows (the bytes already
// written stay in the buffer). Nothing past `size` bytes is ever written.
int base64_decode(unsigned char *buffer, int size, const char *text);

// Appends the decoded bytes of `text` to `destination`, zero bytes included (size() counts
// them). Returns 1 when the destination holds fewer than fixed_string::max_length characters
// afterwards; 0 for a null text (nothing appended) or when the bytes did not all fit.
int base64_decode_append(fixed_string &destination, const char *text);
