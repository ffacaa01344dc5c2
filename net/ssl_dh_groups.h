// The stored Diffie-Hellman groups offered to SSL handshakes: published safe primes, generator 2.
#pragma once

#include <cstdint>

// One group: a big-endian prime of exactly bits / 8 bytes and a one-byte generator.
struct ssl_dh_group {
    int32_t bits;
    const unsigned char *prime;
    int32_t prime_length;
    unsigned char generator;
};

// Number of stored groups: 512, 768, 1024, 1536, 2048, 3072 and 4096 bits, in that order.
constexpr int ssl_dh_group_count = 7;

// The stored groups, smallest first.
extern const ssl_dh_group ssl_dh_groups[ssl_dh_group_count];

// The index of the group of exactly `bits` bits, or -1 when there is none.
int ssl_dh_group_index(int bits);
