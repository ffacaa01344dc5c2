// Growable array of untyped pointers whose first 64 slots live inside the object.
#pragma once

#include <cstdint>

constexpr int32_t pointer_array_inline_slots = 64;

// Holds pointers it neither owns nor copies. The inline slots make it address-bound: do not copy
// or move an initialised array.
struct pointer_array {
    void *inline_slots[pointer_array_inline_slots];
    void **items;        // storage in use: inline_slots or a separate allocation
    int32_t capacity;    // slots of `items`
    int32_t count;       // pointers stored in items[0 .. count - 1]

    pointer_array() : inline_slots(), items(nullptr), capacity(0), count(0) {}
    pointer_array(const pointer_array &) = delete;
    pointer_array &operator=(const pointer_array &) = delete;
};

// Empties the array onto its inline slots (capacity 64). Does not free earlier storage.
void pointer_array_init(pointer_array *array);
// Frees separately allocated storage; the array then holds no storage (capacity 0) until it is
// initialised again.
void pointer_array_release(pointer_array *array);

// Appends `pointer` (null is stored like any other value), doubling the storage when it is full.
// 1 on success; 0 when the array is not initialised (reported, category 4) or the larger storage
// cannot be had (reported, category 1), the array then unchanged.
int pointer_array_append(pointer_array *array, void *pointer);
