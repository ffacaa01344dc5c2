// Binary heap of pointers in slots 1..count, ordered by the owner's comparison.
#include "support/pointer_heap.h"

#include "support/debug_log.h"

#include <cstdlib>
#include <cstring>

namespace {

void **allocate_slots(int32_t capacity)
{
    return static_cast<void **>(malloc((size_t(capacity) + 2) * sizeof(void *)));
}

} // namespace

int pointer_heap_init(pointer_heap *heap, pointer_heap_compare compare)
{
    heap->compare = compare;
    heap->count = 0;
    heap->items = allocate_slots(pointer_heap_initial_capacity);
    if (!heap->items) {
        heap->capacity = 0;
        report_error("Error in pointer_heap_init(), unable to allocate storage.", REPORT_RESOURCE);
        return 0;
    }
    heap->capacity = pointer_heap_initial_capacity;
    return 1;
}

void pointer_heap_reset(pointer_heap *heap, pointer_heap_compare compare)
{
    heap->count = 0;
    heap->compare = compare;
}

void pointer_heap_release(pointer_heap *heap)
{
    free(heap->items);
    heap->items = nullptr;
    heap->capacity = 0;
    heap->count = 0;
}

int pointer_heap_push(pointer_heap *heap, void *item)
{
    if (!item)
        return 0;
    if (!heap->items) {
        report_error("Error in pointer_heap_push(), heap has no storage.", REPORT_RESOURCE);
        return 0;
    }
    int32_t position = heap->count + 1;
    if (position >= heap->capacity) {
        if (heap->capacity > (INT32_MAX - 4) / 2) {
            report_error("Error in pointer_heap_push(), heap is at its largest size.",
                         REPORT_RESOURCE);
            return 0;
        }
        int32_t new_capacity = heap->capacity * 2 + 2;
        void **grown = allocate_slots(new_capacity);
        if (!grown) {
            report_error("Error in pointer_heap_push(), unable to grow storage.", REPORT_RESOURCE);
            return 0;
        }
        memcpy(grown + 1, heap->items + 1, size_t(heap->count) * sizeof(void *));
        free(heap->items);
        heap->items = grown;
        heap->capacity = new_capacity;
    }
    heap->count = position;
    void **items = heap->items;
    while (position > 1) {
        int32_t parent = position / 2;
        if (heap->compare(item, items[parent]) >= 0)
            break;
        items[position] = items[parent];
        position = parent;
    }
    items[position] = item;
    return 1;
}

void *pointer_heap_pop(pointer_heap *heap)
{
    if (heap->count <= 0)
        return nullptr;
    void **items = heap->items;
    void *result = items[1];
    void *moving = items[heap->count];
    int32_t count = --heap->count;
    int32_t position = 1;
    for (;;) {
        int32_t child = position * 2;
        if (child > count)
            break;
        if (child + 1 <= count && heap->compare(items[child], items[child + 1]) > 0)
            ++child;
        if (heap->compare(items[child], moving) >= 0)
            break;
        items[position] = items[child];
        position = child;
    }
    if (count > 0)
        items[position] = moving;
    return result;
}
