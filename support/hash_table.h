// Chained hash table of untyped object pointers ("things") keyed by the owner's functions, and
// the two 32-bit hashes the program keys its tables with.
#pragma once

#include <cstdint>

// One-at-a-time hash of a C string's bytes followed by its 32-bit length. A null text hashes
// like the empty text. string_hash("") == 0x1AAD0981, string_hash("abc") == 0x4AF578A2.
uint32_t string_hash(const char *text);
// The same mixing over `length` bytes seeded with the length; no length bytes are mixed.
// bytes_hash("abc", 3) == 0x98E230CC. A null `data` or a length below 1 hashes no bytes.
uint32_t bytes_hash(const void *data, int length);

class VoidPointerHashTable {
public:
    // thing_hash(thing) and key_hash(key) must agree for a thing and its own key.
    typedef uint32_t (*thing_hash_function)(const void *thing);
    typedef uint32_t (*key_hash_function)(const void *key);
    // Non-zero when `thing` has the key `key`.
    typedef int (*key_matches_function)(const void *thing, const void *key);

    static constexpr uint32_t initial_capacity = 256;   // buckets at construction
    static constexpr uint32_t max_capacity = 1u << 30;  // the table never doubles past this
    static constexpr int long_bucket_limit = 50;        // more entries than this are reported

    // Starts with initial_capacity empty buckets. When that array cannot be allocated (reported,
    // category 1) the table has no buckets: find() gives null, remove() 0, and add() tries the
    // initial allocation again.
    VoidPointerHashTable(thing_hash_function thing_hash, key_hash_function key_hash,
                         key_matches_function key_matches);
    // Frees every entry and the bucket array; the things themselves are the owner's.
    ~VoidPointerHashTable();
    VoidPointerHashTable(const VoidPointerHashTable &) = delete;
    VoidPointerHashTable &operator=(const VoidPointerHashTable &) = delete;

    // Stores `thing` (not owned). Doubles the buckets first when count() is more than half of
    // capacity(). Returns 1 when stored; 0 when this very pointer is already stored (reported,
    // category 4) or no memory was left for its entry (reported, category 1), the table then
    // unchanged. A bucket that already held more than long_bucket_limit entries is reported
    // (category 8) but the thing is stored.
    int add(void *thing);
    // Unlinks the entry of this very pointer, looked for in the bucket of thing_hash(thing): a
    // thing's key must not change while it is stored. 1 when found and removed, else 0.
    int remove(void *thing);
    // Removes every entry; the bucket array stays.
    void remove_all();
    // Doubles the bucket count, moving entries by their stored hash. When the larger array cannot
    // be had (reported, category 2) or max_capacity is reached, the old array stays in use.
    void expand_hash_table();

    // The first thing in the key's bucket (most recently added first) that key_matches, or null.
    // Entries whose stored hash differs from key_hash(key) are passed over without a call.
    void *find(const void *key) const;
    uint32_t capacity() const { return capacity_; }
    uint32_t mask() const { return mask_; }
    int32_t count() const { return count_; }

private:
    struct entry {
        uint32_t hash;
        void *thing;
        entry *next;
    };

    int allocate_initial_buckets();

    entry **buckets_ = nullptr;
    uint32_t capacity_ = 0;
    uint32_t mask_ = 0;
    int32_t count_ = 0;
    thing_hash_function thing_hash_ = nullptr;
    key_hash_function key_hash_ = nullptr;
    key_matches_function key_matches_ = nullptr;
};
