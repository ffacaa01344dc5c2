// Chained pointer hash table and the one-at-a-time string and byte hashes.
#include "support/hash_table.h"

#include "support/debug_log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t hash_seed = 0x5D3B915D;
constexpr int message_buffer_size = 1000;

inline uint32_t mix_byte(uint32_t h, uint8_t c)
{
    h += c;
    h += h << 10;
    h ^= h >> 6;
    return h;
}

inline uint32_t finish(uint32_t h)
{
    h += h << 3;
    h ^= h >> 11;
    h += h << 15;
    return h;
}

} // namespace

uint32_t string_hash(const char *text)
{
    uint32_t h = hash_seed;
    uint32_t n = 0;
    if (text) {
        for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p, ++n)
            h = mix_byte(h, *p);
    }
    for (int shift = 0; shift < 32; shift += 8)
        h = mix_byte(h, uint8_t(n >> shift));
    return finish(h);
}

uint32_t bytes_hash(const void *data, int length)
{
    uint32_t h = uint32_t(length) + hash_seed;
    if (data) {
        const unsigned char *p = static_cast<const unsigned char *>(data);
        for (int i = 0; i < length; ++i)
            h = mix_byte(h, p[i]);
    }
    return finish(h);
}

VoidPointerHashTable::VoidPointerHashTable(thing_hash_function thing_hash,
                                           key_hash_function key_hash,
                                           key_matches_function key_matches)
    : thing_hash_(thing_hash), key_hash_(key_hash), key_matches_(key_matches)
{
    allocate_initial_buckets();
}

VoidPointerHashTable::~VoidPointerHashTable()
{
    remove_all();
    free(buckets_);
    buckets_ = nullptr;
    capacity_ = 0;
    mask_ = 0;
    count_ = 0;
    thing_hash_ = nullptr;
    key_hash_ = nullptr;
    key_matches_ = nullptr;
}

int VoidPointerHashTable::allocate_initial_buckets()
{
    buckets_ = static_cast<entry **>(calloc(initial_capacity, sizeof(entry *)));
    if (!buckets_) {
        report_error("Error in VoidPointerHashTable(), initial table alloc failed.", REPORT_RESOURCE);
        capacity_ = 0;
        mask_ = 0;
        return 0;
    }
    capacity_ = initial_capacity;
    mask_ = initial_capacity - 1;
    return 1;
}

int VoidPointerHashTable::add(void *thing)
{
    if (!buckets_ && !allocate_initial_buckets())
        return 0;
    if (uint32_t(count_) > capacity_ / 2)
        expand_hash_table();

    uint32_t h = thing_hash_(thing);
    uint32_t bucket = h & mask_;
    int walked = 0;
    for (entry *e = buckets_[bucket]; e; e = e->next) {
        if (e->thing == thing) {
            report_error("Error in VoidPointerHashTable::add(), attempt to add duplicate thing.",
                         REPORT_MISUSE);
            return 0;
        }
        ++walked;
    }
    if (walked > long_bucket_limit) {
        char message[message_buffer_size];
        snprintf(message, sizeof message,
                 "Error in VoidPointerHashTable::add(), found %d things in bucket %d.", walked,
                 int(bucket));
        report_error(message, REPORT_HASH_BUCKET);
    }
    if (count_ == INT32_MAX) {
        report_error("Error in VoidPointerHashTable::add(), table full.", REPORT_RESOURCE);
        return 0;
    }
    entry *e = static_cast<entry *>(malloc(sizeof(entry)));
    if (!e) {
        report_error("Error in VoidPointerHashTable::add(), entry alloc failed.", REPORT_RESOURCE);
        return 0;
    }
    e->hash = h;
    e->thing = thing;
    e->next = buckets_[bucket];
    buckets_[bucket] = e;
    ++count_;
    return 1;
}

void VoidPointerHashTable::expand_hash_table()
{
    if (!buckets_ || capacity_ >= max_capacity)
        return;
    uint32_t new_capacity = capacity_ * 2;
    entry **new_buckets = static_cast<entry **>(calloc(new_capacity, sizeof(entry *)));
    if (!new_buckets) {
        char message[message_buffer_size];
        snprintf(message, sizeof message,
                 "Error in VoidPointerHashTable::expand_hash_table(), unable to allocate table of "
                 "size %d.  Using old table.",
                 int(new_capacity));
        report_error(message, REPORT_RUNTIME);
        return;
    }
    uint32_t new_mask = new_capacity - 1;
    for (uint32_t b = 0; b < capacity_; ++b) {
        entry *e = buckets_[b];
        while (e) {
            entry *next = e->next;
            entry **head = &new_buckets[e->hash & new_mask];
            e->next = *head;
            *head = e;
            e = next;
        }
    }
    free(buckets_);
    buckets_ = new_buckets;
    capacity_ = new_capacity;
    mask_ = new_mask;
}

void *VoidPointerHashTable::find(const void *key) const
{
    if (!buckets_)
        return nullptr;
    uint32_t h = key_hash_(key);
    // An entry whose stored hash differs cannot hold the key: thing_hash and key_hash agree for a
    // thing's own key. Skipping those saves a call and a visit to the thing.
    for (const entry *e = buckets_[h & mask_]; e; e = e->next) {
        if (e->hash == h && key_matches_(e->thing, key))
            return e->thing;
    }
    return nullptr;
}

int VoidPointerHashTable::remove(void *thing)
{
    if (!buckets_)
        return 0;
    uint32_t bucket = thing_hash_(thing) & mask_;
    for (entry **link = &buckets_[bucket]; *link; link = &(*link)->next) {
        entry *e = *link;
        if (e->thing == thing) {
            *link = e->next;
            free(e);
            --count_;
            return 1;
        }
    }
    return 0;
}

void VoidPointerHashTable::remove_all()
{
    if (!buckets_)
        return;
    for (uint32_t b = 0; b < capacity_; ++b) {
        entry *e = buckets_[b];
        while (e) {
            entry *next = e->next;
            free(e);
            e = next;
        }
        buckets_[b] = nullptr;
    }
    count_ = 0;
}
