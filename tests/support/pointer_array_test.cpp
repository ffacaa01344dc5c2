// pointer_array: inline slots, growth by doubling, release.
#include "support/pointer_array.h"

#include "tests/common/address_limit.h"
#include "tests/common/forked_call.h"
#include "tests/common/log_capture.h"

#include <gtest/gtest.h>
#include <cstdint>
#include <string>

namespace {

void *nth(intptr_t n) { return reinterpret_cast<void *>(n * 16 + 8); }

} // namespace

TEST(PointerArray, GrowthPoints)
{
    struct {
        int appends;
        int capacity;
        bool inline_storage;
    } cases[] = {
        {0, 64, true}, {64, 64, true}, {65, 128, false}, {128, 128, false}, {129, 256, false}, {1000, 1024, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.appends);
        pointer_array array;
        pointer_array_init(&array);
        for (int i = 0; i < c.appends; ++i)
            ASSERT_EQ(pointer_array_append(&array, nth(i)), 1);
        EXPECT_EQ(array.count, c.appends);
        EXPECT_EQ(array.capacity, c.capacity);
        EXPECT_EQ(array.items == array.inline_slots, c.inline_storage);
        for (int i = 0; i < c.appends; ++i)
            ASSERT_EQ(array.items[i], nth(i)) << i;
        pointer_array_release(&array);
        EXPECT_EQ(array.items, nullptr);
        EXPECT_EQ(array.capacity, 0);
        EXPECT_EQ(array.count, 0);
    }
}

TEST(PointerArray, NullIsAValue)
{
    pointer_array array;
    pointer_array_init(&array);
    ASSERT_EQ(pointer_array_append(&array, nullptr), 1);
    ASSERT_EQ(pointer_array_append(&array, nth(1)), 1);
    EXPECT_EQ(array.count, 2);
    EXPECT_EQ(array.items[0], nullptr);
    pointer_array_release(&array);
}

TEST(PointerArray, ReleasedArrayRefusesAppendsUntilInitialised)
{
    test_util::log_capture log;
    pointer_array array;   // never initialised: no storage
    EXPECT_EQ(pointer_array_append(&array, nth(0)), 0);
    pointer_array_init(&array);
    for (int i = 0; i < 70; ++i)
        ASSERT_EQ(pointer_array_append(&array, nth(i)), 1);
    pointer_array_release(&array);
    EXPECT_EQ(pointer_array_append(&array, nth(0)), 0);
    EXPECT_EQ(array.count, 0);
    EXPECT_EQ(log.occurrences("Error in pointer_array_append(), array not initialised.\n"), 2);
    pointer_array_init(&array);   // reusable after a new init
    EXPECT_EQ(pointer_array_append(&array, nth(3)), 1);
    EXPECT_EQ(array.items[0], nth(3));
    pointer_array_release(&array);
}

TEST(PointerArray, FailedGrowthLeavesTheArrayAsItWas)
{
    if (!test_util::address_limit_supported)
        GTEST_SKIP() << "the sanitizer's allocator does not let malloc fail";
    auto result = test_util::run_forked([] {
        test_util::log_capture log;
        pointer_array array;
        pointer_array_init(&array);
        const int full = 1 << 20;   // 8 MiB of slots; growing wants 16 MiB more
        for (int i = 0; i < full; ++i)
            if (pointer_array_append(&array, nth(i)) != 1)
                return std::string("append failed before the limit");
        void **storage = array.items;
        if (!test_util::limit_address_space(4 << 20))
            return std::string("no limit");
        std::string out = "append=" + std::to_string(pointer_array_append(&array, nth(full)));
        bool intact = array.items == storage && array.count == full && array.capacity == full;
        for (int i = 0; intact && i < full; ++i)
            intact = array.items[i] == nth(i);
        out += intact ? " intact\n" : " changed\n";
        out += log.text();
        pointer_array_release(&array);
        return out;
    });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "append=0 intact\nError in pointer_array_append(), unable to grow storage.\n");
}
