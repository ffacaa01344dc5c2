// Bulk allocation into linked free lists, and the pools that hand the objects out.
#include "support/object_pool.h"

#include "support/debug_log.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int message_buffer_size = 1000;
constexpr int64_t object_alignment = 8;

int32_t total_bytes_allocated = 0;
int32_t blocks_allocated = 0;

void count_allocation(int64_t bytes)
{
    int64_t total = int64_t(total_bytes_allocated) + bytes;
    total_bytes_allocated = total > INT32_MAX ? INT32_MAX : int32_t(total);
    if (blocks_allocated < INT32_MAX)
        ++blocks_allocated;
}

void report_allocation(const char *format, int count, int size, int bytes, const char *type_name,
                       uint32_t category)
{
    char message[message_buffer_size];
    snprintf(message, sizeof message, format, count, size, bytes, type_name ? type_name : "(null)");
    report_error(message, category);
}

} // namespace

void *tavi_bulk_allocate(int object_size, const char *type_name, int block_size)
{
    int64_t aligned = (int64_t(object_size) + object_alignment - 1) / object_alignment * object_alignment;
    if (aligned <= 0)
        aligned = object_alignment;
    // An object size near INT_MAX cannot be aligned within an int: no allocation can serve it.
    bool size_fits = aligned <= INT32_MAX;
    int size = size_fits ? int(aligned) : int(INT32_MAX & ~(object_alignment - 1));
    int count = block_size / size;
    if (count <= 0)
        count = 1;
    int bytes = int(int64_t(count) * size);   // count * size <= max(block_size, size)

    report_allocation("Allocating %6d objects of size %6d (%9d bytes), type '%s'", count, size,
                      bytes, type_name, REPORT_TRACE);
    char *block = size_fits ? static_cast<char *>(malloc(size_t(bytes))) : nullptr;
    if (block) {
        count_allocation(bytes);
        for (int i = 0; i + 1 < count; ++i)
            *reinterpret_cast<void **>(block + int64_t(i) * size) = block + int64_t(i + 1) * size;
        *reinterpret_cast<void **>(block + int64_t(count - 1) * size) = nullptr;
        return block;
    }

    report_allocation("Error in tavi_bulk_allocate(), malloc failed for %6d objects of size %6d "
                      "(%9d bytes), type '%s'.  Trying single object.",
                      count, size, bytes, type_name, REPORT_RESOURCE);
    void *single = size_fits ? malloc(size_t(size)) : nullptr;
    if (single) {
        count_allocation(size);
        *static_cast<void **>(single) = nullptr;
        return single;
    }
    report_allocation("Error in tavi_bulk_allocate(), malloc failed for %6d objects of size %6d "
                      "(%9d bytes), type '%s'.  Failing and exiting.",
                      1, size, size, type_name, REPORT_RESOURCE);
    exit(1);
}

void get_bulk_allocate_stats(int32_t *total_bytes, int32_t *block_count)
{
    if (total_bytes)
        *total_bytes = total_bytes_allocated;
    if (block_count)
        *block_count = blocks_allocated;
}

void object_pool_refill(object_pool *pool)
{
    pool->free_list = tavi_bulk_allocate(pool->object_size, pool->type_name, pool->block_size);
}

void *object_pool_take(object_pool *pool)
{
    if (!pool->free_list)
        object_pool_refill(pool);
    void *object = pool->free_list;
    pool->free_list = *static_cast<void **>(object);
    return object;
}

void object_pool_give(object_pool *pool, void *object)
{
    if (!object)
        return;
    *static_cast<void **>(object) = pool->free_list;
    pool->free_list = object;
}
