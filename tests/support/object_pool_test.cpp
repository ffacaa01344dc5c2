// tavi_bulk_allocate, its statistics, object pools and the extra_desc records taken from them.
#include "support/object_pool.h"

#include "support/extra_desc.h"
#include "tests/common/forked_call.h"
#include "tests/common/log_capture.h"

#include <gtest/gtest.h>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>

namespace {

// Walks a fresh block's list: its length, checking that each object follows the previous one
// by `size` bytes.
int list_length(void *first, int size)
{
    int n = 0;
    for (char *p = static_cast<char *>(first); p; ++n) {
        char *next = *reinterpret_cast<char **>(p);
        if (next) {
            EXPECT_EQ(next - p, size) << "object " << n;
        }
        p = next;
    }
    return n;
}

} // namespace

TEST(BulkAllocate, SizesAndCounts)
{
    struct {
        int object_size;
        int block_size;
        int aligned;
        int count;
    } cases[] = {
        {48, 65536, 48, 1365},
        {1, 65536, 8, 8192},
        {0, 64, 8, 8},
        {-5, 64, 8, 8},
        {9, 64, 16, 4},
        {100, 50, 104, 1},      // block smaller than one object: a single object
        {16, 0, 16, 1},
        {16, -100, 16, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.object_size);
        int32_t bytes_before, blocks_before, bytes_after, blocks_after;
        get_bulk_allocate_stats(&bytes_before, &blocks_before);
        void *first = tavi_bulk_allocate(c.object_size, "test object", c.block_size);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(list_length(first, c.aligned), c.count);
        get_bulk_allocate_stats(&bytes_after, &blocks_after);
        EXPECT_EQ(bytes_after - bytes_before, c.count * c.aligned);
        EXPECT_EQ(blocks_after - blocks_before, 1);
        free(first);
    }
}

TEST(BulkAllocate, TracesEachBlock)
{
    test_util::log_capture log(3);
    void *first = tavi_bulk_allocate(48, "struct extra_desc", 65536);
    free(first);
    EXPECT_EQ(log.text(),
              "Allocating   1365 objects of size     48 (    65520 bytes), type 'struct extra_desc'\n");
}

TEST(BulkAllocate, StatisticsPointersAreOptional)
{
    int32_t bytes = -1, blocks = -1;
    get_bulk_allocate_stats(nullptr, nullptr);
    get_bulk_allocate_stats(&bytes, nullptr);
    get_bulk_allocate_stats(nullptr, &blocks);
    EXPECT_GE(bytes, 0);
    EXPECT_GE(blocks, 0);
}

TEST(BulkAllocate, ImpossibleSizeReportsAndExits)
{
    test_util::temp_dir dir;
    std::string log_path = dir / "log.txt";
    auto result = test_util::run_forked([&] {
        test_util::log_to(log_path, 1);
        tavi_bulk_allocate(INT_MAX, "huge", 65536);
        return std::string("returned");
    });
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "");
    std::string log = test_util::read_file(log_path);
    EXPECT_NE(log.find("Error in tavi_bulk_allocate(), malloc failed for      1 objects of size "
                       "2147483640 (2147483640 bytes), type 'huge'.  Trying single object.\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Error in tavi_bulk_allocate(), malloc failed for      1 objects of size "
                       "2147483640 (2147483640 bytes), type 'huge'.  Failing and exiting.\n"),
              std::string::npos)
        << log;
}

TEST(ObjectPool, TakesRefillsAndGivesBack)
{
    object_pool pool = {nullptr, "pool test", 64, 16};
    int32_t blocks_before, blocks_now;
    get_bulk_allocate_stats(nullptr, &blocks_before);
    std::set<void *> taken;
    for (int i = 0; i < 4; ++i)
        taken.insert(object_pool_take(&pool));
    EXPECT_EQ(taken.size(), 4u);
    get_bulk_allocate_stats(nullptr, &blocks_now);
    EXPECT_EQ(blocks_now - blocks_before, 1);
    EXPECT_EQ(pool.free_list, nullptr);

    void *fifth = object_pool_take(&pool);   // a second block
    get_bulk_allocate_stats(nullptr, &blocks_now);
    EXPECT_EQ(blocks_now - blocks_before, 2);
    EXPECT_EQ(taken.count(fifth), 0u);

    object_pool_give(&pool, fifth);
    object_pool_give(&pool, nullptr);   // ignored
    EXPECT_EQ(object_pool_take(&pool), fifth);   // last given, first taken
    // The blocks stay with the pool's users for good: they are never returned to the heap, so
    // this test frees them itself (the first object of each block is the block).
    void *lowest = *taken.begin();
    free(lowest);
    free(fifth);
}

TEST(ExtraDesc, RecordsAreClearedAndRecycled)
{
    ASSERT_EQ(sizeof(extra_desc), 48u);
    EXPECT_STREQ(extra_desc_pool.type_name, "struct extra_desc");
    EXPECT_EQ(extra_desc_pool.block_size, 65536);
    EXPECT_EQ(extra_desc_pool.object_size, 48);

    extra_desc *record = new_extra_desc();
    record->e_values[1] = 7;
    record->a_text = strdup("a");
    record->s_text = strdup("s");
    record->l_text = strdup("l");
    record->next = record;   // junk link: must not be followed
    free_extra_desc(record);
    free_extra_desc(nullptr);

    extra_desc *again = new_extra_desc();
    EXPECT_EQ(again, record);   // back from the front of the free list
    EXPECT_EQ(again->e_values[0], 0);
    EXPECT_EQ(again->e_values[1], 0);
    EXPECT_EQ(again->e_values[2], 0);
    EXPECT_EQ(again->a_text, nullptr);
    EXPECT_EQ(again->s_text, nullptr);
    EXPECT_EQ(again->l_text, nullptr);
    EXPECT_EQ(again->next, nullptr);
    free_extra_desc(again);
}

TEST(ExtraDesc, AppendCopyAndFreeLists)
{
    extra_desc *list = nullptr;
    for (int i = 0; i < 3; ++i) {
        extra_desc *r = new_extra_desc();
        r->e_values[0] = i;
        r->e_values[2] = -i;
        r->s_text = strdup(("s" + std::to_string(i)).c_str());
        if (i == 1)
            r->l_text = strdup("multi\nline");
        append_extra_desc(&list, r);
    }
    extra_desc *copy = new_extra_desc();   // replaced by the copy
    copy->a_text = strdup("old");
    EXPECT_EQ(copy_extra_list(&copy, list), 3);

    const extra_desc *a = list, *b = copy;
    for (int i = 0; i < 3; ++i, a = a->next, b = b->next) {
        ASSERT_NE(b, nullptr);
        EXPECT_NE(a, b);
        EXPECT_EQ(b->e_values[0], i);
        EXPECT_EQ(b->e_values[1], 0);
        EXPECT_EQ(b->e_values[2], -i);
        EXPECT_STREQ(b->s_text, a->s_text);
        EXPECT_NE(b->s_text, a->s_text);   // a copy, not a shared text
        EXPECT_EQ(b->a_text, nullptr);
        if (i == 1)
            EXPECT_STREQ(b->l_text, "multi\nline");
        else
            EXPECT_EQ(b->l_text, nullptr);
    }
    EXPECT_EQ(b, nullptr);

    EXPECT_EQ(copy_extra_list(&copy, nullptr), 0);
    EXPECT_EQ(copy, nullptr);
    free_extra_list(&list);
    EXPECT_EQ(list, nullptr);
    free_extra_list(&list);
    free_extra_list(nullptr);
}
