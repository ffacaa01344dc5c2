// pointer_heap: order under both comparisons, growth, empty and null cases.
#include "support/pointer_heap.h"

#include "tests/common/address_limit.h"
#include "tests/common/forked_call.h"
#include "tests/common/log_capture.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

int greatest_first(const void *x, const void *y)
{
    return strcmp(static_cast<const char *>(y), static_cast<const char *>(x));
}
int smallest_first(const void *x, const void *y)
{
    return strcmp(static_cast<const char *>(x), static_cast<const char *>(y));
}

std::vector<std::string> drain(pointer_heap *heap)
{
    std::vector<std::string> out;
    while (void *item = pointer_heap_pop(heap))
        out.push_back(static_cast<const char *>(item));
    return out;
}

} // namespace

TEST(PointerHeap, OrderUnderBothComparisons)
{
    char b[] = "b", c[] = "c", a[] = "a";
    struct {
        pointer_heap_compare compare;
        std::vector<std::string> expected;
    } cases[] = {
        {greatest_first, {"c", "b", "a"}},
        {smallest_first, {"a", "b", "c"}},
    };
    for (const auto &k : cases) {
        pointer_heap heap;
        ASSERT_EQ(pointer_heap_init(&heap, k.compare), 1);
        for (char *item : {b, c, a})
            ASSERT_EQ(pointer_heap_push(&heap, item), 1);
        EXPECT_EQ(drain(&heap), k.expected);
        EXPECT_EQ(heap.count, 0);
        pointer_heap_release(&heap);
    }
}

TEST(PointerHeap, ManyItemsComeOutSorted)
{
    std::mt19937 random(12345);
    std::vector<std::string> names;
    for (int i = 0; i < 1500; ++i)
        names.push_back("exe_" + std::to_string(random() % 700));   // with duplicates
    for (pointer_heap_compare compare : {greatest_first, smallest_first}) {
        pointer_heap heap;
        ASSERT_EQ(pointer_heap_init(&heap, compare), 1);
        for (auto &n : names)
            ASSERT_EQ(pointer_heap_push(&heap, &n[0]), 1);
        EXPECT_EQ(heap.count, 1500);
        std::vector<std::string> expected = names;
        std::sort(expected.begin(), expected.end());
        if (compare == greatest_first)
            std::reverse(expected.begin(), expected.end());
        EXPECT_EQ(drain(&heap), expected);
        pointer_heap_release(&heap);
    }
}

TEST(PointerHeap, GrowthPoint)
{
    std::vector<std::string> names(600);
    for (size_t i = 0; i < names.size(); ++i)
        names[i] = std::to_string(100000 + i);
    pointer_heap heap;
    ASSERT_EQ(pointer_heap_init(&heap, smallest_first), 1);
    EXPECT_EQ(heap.capacity, 254);
    void **first_storage = heap.items;
    for (int i = 0; i < 253; ++i)
        ASSERT_EQ(pointer_heap_push(&heap, &names[i][0]), 1);
    EXPECT_EQ(heap.capacity, 254);
    EXPECT_EQ(heap.items, first_storage);
    ASSERT_EQ(pointer_heap_push(&heap, &names[253][0]), 1);
    EXPECT_EQ(heap.capacity, 510);
    EXPECT_EQ(heap.count, 254);
    for (int i = 254; i < 509; ++i)
        ASSERT_EQ(pointer_heap_push(&heap, &names[i][0]), 1);
    EXPECT_EQ(heap.capacity, 510);
    ASSERT_EQ(pointer_heap_push(&heap, &names[509][0]), 1);
    EXPECT_EQ(heap.capacity, 1022);
    std::vector<std::string> expected(names.begin(), names.begin() + 510);
    EXPECT_EQ(drain(&heap), expected);
    pointer_heap_release(&heap);
    EXPECT_EQ(heap.items, nullptr);
}

TEST(PointerHeap, EmptyNullResetAndRelease)
{
    test_util::log_capture log;
    pointer_heap heap;
    ASSERT_EQ(pointer_heap_init(&heap, smallest_first), 1);
    EXPECT_EQ(pointer_heap_pop(&heap), nullptr);
    EXPECT_EQ(heap.count, 0);
    EXPECT_EQ(pointer_heap_push(&heap, nullptr), 0);
    EXPECT_EQ(heap.count, 0);

    char x[] = "x", y[] = "y";
    ASSERT_EQ(pointer_heap_push(&heap, x), 1);
    ASSERT_EQ(pointer_heap_push(&heap, y), 1);
    void **storage = heap.items;
    pointer_heap_reset(&heap, greatest_first);
    EXPECT_EQ(heap.count, 0);
    EXPECT_EQ(heap.items, storage);
    ASSERT_EQ(pointer_heap_push(&heap, x), 1);
    ASSERT_EQ(pointer_heap_push(&heap, y), 1);
    EXPECT_EQ(drain(&heap), (std::vector<std::string>{"y", "x"}));
    EXPECT_EQ(log.text(), "");

    pointer_heap_release(&heap);
    EXPECT_EQ(pointer_heap_pop(&heap), nullptr);
    EXPECT_EQ(pointer_heap_push(&heap, x), 0);   // no storage until initialised again
    EXPECT_EQ(heap.count, 0);
    EXPECT_EQ(log.text(), "Error in pointer_heap_push(), heap has no storage.\n");
}

TEST(PointerHeap, FailedGrowthLeavesTheHeapAsItWas)
{
    if (!test_util::address_limit_supported)
        GTEST_SKIP() << "the sanitizer's allocator does not let malloc fail";
    auto result = test_util::run_forked([] {
        test_util::log_capture log;
        pointer_heap heap;
        if (!pointer_heap_init(&heap, smallest_first))
            return std::string("no heap");
        // Capacities go 254, 510, 1022, ... 2^k - 2; fill one of 8 MiB up to its growth point.
        const int32_t big = (1 << 20) - 2;
        std::vector<std::string> names(big);
        for (int32_t i = 0; i < big; ++i)
            names[i] = std::to_string(10000000 + int64_t(i) * 7919 % big);
        for (int32_t i = 0; i < big - 1; ++i)
            if (pointer_heap_push(&heap, &names[i][0]) != 1)
                return std::string("push failed before the limit");
        if (heap.capacity != big)
            return "unexpected capacity " + std::to_string(heap.capacity);
        if (!test_util::limit_address_space(4 << 20))
            return std::string("no limit");
        std::string out = "push=" + std::to_string(pointer_heap_push(&heap, &names[big - 1][0]));
        out += " count=" + std::to_string(heap.count) + " capacity=" + std::to_string(heap.capacity);
        // Still a valid heap: everything comes out in order.
        std::string previous;
        int32_t popped = 0;
        bool ordered = true;
        while (void *item = pointer_heap_pop(&heap)) {
            std::string name = static_cast<const char *>(item);
            ordered = ordered && previous <= name;
            previous = name;
            ++popped;
        }
        out += " popped=" + std::to_string(popped) + (ordered ? " ordered\n" : " disordered\n");
        out += log.text();
        pointer_heap_release(&heap);
        return out;
    });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "push=0 count=1048573 capacity=1048574 popped=1048573 ordered\n"
                             "Error in pointer_heap_push(), unable to grow storage.\n");
}
