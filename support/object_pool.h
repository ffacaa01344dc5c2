// Bulk allocation of equal-sized objects into free lists, per-type object pools built on it, and
// the process-wide allocation statistics.
#pragma once

#include <cstdint>

// A pool of one type of small object. A free object's storage begins with the pointer to the next
// free object. Objects are handed out and taken back, never returned to the heap. Process-wide
// pools are unlocked: use each from one thread at a time.
struct object_pool {
    void *free_list;          // first free object, or null
    const char *type_name;    // used in the allocation messages
    int32_t block_size;       // bytes obtained per refill
    int32_t object_size;      // bytes of one object (aligned up to 8 on allocation)
};

// Carves one allocation of about `block_size` bytes into objects of `object_size` rounded up to a
// multiple of 8 (at least 8), links each to the next and returns the first; at least one object
// is made. Traced in category 256. When the block cannot be had it falls back to one object
// (reported, category 1); when that fails too it reports (category 1) and ends the process with
// exit status 1. Never returns null.
void *tavi_bulk_allocate(int object_size, const char *type_name, int block_size);

// Stores the bytes and blocks tavi_bulk_allocate has obtained so far; either pointer may be null.
// The totals stop at INT32_MAX rather than wrap.
void get_bulk_allocate_stats(int32_t *total_bytes, int32_t *block_count);

// Sets the pool's free list to a fresh tavi_bulk_allocate(object size, type name, block size).
void object_pool_refill(object_pool *pool);
// Pops an object from the free list, refilling the pool first when it is empty. Never null. The
// object's contents are whatever its last user left (its first pointer-sized bytes are the link).
void *object_pool_take(object_pool *pool);
// Pushes `object` (which came from this pool) on the front of the free list; null is ignored.
void object_pool_give(object_pool *pool, void *object);
