// Binary heap of untyped pointers ordered by the owner's comparison: the lowest item comes out first.
#pragma once

#include <cstdint>

// Negative when `first` is to come out before `second`.
typedef int (*pointer_heap_compare)(const void *first, const void *second);

constexpr int32_t pointer_heap_initial_capacity = 254;   // with capacity + 2 slots allocated

// Slot 0 is unused; the heap occupies items[1 .. count] (the children of slot k are 2k, 2k + 1).
// Holds pointers it neither owns nor copies.
struct pointer_heap {
    void **items = nullptr;               // capacity + 2 slots, or null
    int32_t capacity = 0;
    int32_t count = 0;
    pointer_heap_compare compare = nullptr;
};

// Allocates the first storage (capacity 254) and empties the heap. 1 on success; 0 when the
// storage cannot be had (reported, category 1): the heap is then empty without storage, and
// pushes fail until it is initialised again.
[[nodiscard]] int pointer_heap_init(pointer_heap *heap, pointer_heap_compare compare);
// Empties the heap and sets a new comparison; the storage stays.
void pointer_heap_reset(pointer_heap *heap, pointer_heap_compare compare);
// Frees the storage; the heap is then empty without storage.
void pointer_heap_release(pointer_heap *heap);

// Adds `item`. Returns 1 when added; 0 for a null item (ignored) or when the heap has no storage
// or cannot grow (reported, category 1), the heap then unchanged.
int pointer_heap_push(pointer_heap *heap, void *item);
// Removes and returns the item that compares lowest (on ties the earlier child wins), or null
// when the heap is empty.
void *pointer_heap_pop(pointer_heap *heap);
