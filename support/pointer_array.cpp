// Growable pointer array with inline first storage.
#include "support/pointer_array.h"

#include "support/debug_log.h"

#include <cstdlib>
#include <cstring>

void pointer_array_init(pointer_array *array)
{
    array->items = array->inline_slots;
    array->capacity = pointer_array_inline_slots;
    array->count = 0;
}

void pointer_array_release(pointer_array *array)
{
    if (array->items && array->items != array->inline_slots)
        free(array->items);
    array->items = nullptr;
    array->capacity = 0;
    array->count = 0;
}

int pointer_array_append(pointer_array *array, void *pointer)
{
    if (!array || !array->items) {
        report_error("Error in pointer_array_append(), array not initialised.", REPORT_MISUSE);
        return 0;
    }
    if (array->count >= array->capacity) {
        if (array->capacity > INT32_MAX / 2) {
            report_error("Error in pointer_array_append(), array is at its largest size.",
                         REPORT_RESOURCE);
            return 0;
        }
        int32_t new_capacity = array->capacity * 2;
        void **grown = static_cast<void **>(malloc(size_t(new_capacity) * sizeof(void *)));
        if (!grown) {
            report_error("Error in pointer_array_append(), unable to grow storage.", REPORT_RESOURCE);
            return 0;
        }
        memcpy(grown, array->items, size_t(array->count) * sizeof(void *));
        if (array->items != array->inline_slots)
            free(array->items);
        array->items = grown;
        array->capacity = new_capacity;
    }
    array->items[array->count++] = pointer;
    return 1;
}
