// Bounded text buffer in which paths and messages are built: never allocates, never overflows.
#pragma once

#include <cstdint>

class fixed_string {
public:
    static constexpr int32_t capacity = 6000;       // bytes, terminator included
    static constexpr int32_t max_length = capacity - 1;

    fixed_string() { clear(); }
    explicit fixed_string(const char *text) { assign(text); }

    // Empties the string.
    void clear() { length_ = 0; text_[0] = '\0'; }

    // Appends characters of `text` until its end or until max_length characters are held; the
    // rest is dropped silently. A null pointer appends "(null)".
    void append(const char *text);

    // Appends one character if fewer than max_length are held, else drops it. Any byte, NUL
    // included, is held (size() counts it; C-string readers stop at it).
    void append(char c);

    // Appends the decimal form of `n`.
    void append_int(long long n);

    // clear() then append(text).
    void assign(const char *text) { clear(); append(text); }

    const char *c_str() const { return text_; }
    int32_t size() const { return length_; }
    bool empty() const { return length_ == 0; }

private:
    char text_[capacity];
    int32_t length_;
};
