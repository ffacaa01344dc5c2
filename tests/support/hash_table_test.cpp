// VoidPointerHashTable: growth, duplicates, removal, long buckets; string_hash and bytes_hash.
#include "support/hash_table.h"

#include "tests/common/address_limit.h"
#include "tests/common/forked_call.h"
#include "tests/common/log_capture.h"

#include <gtest/gtest.h>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct named {
    std::string name;
};

int thing_hash_calls = 0;

uint32_t named_hash(const void *thing)
{
    ++thing_hash_calls;
    return string_hash(static_cast<const named *>(thing)->name.c_str());
}
uint32_t key_hash(const void *key) { return string_hash(static_cast<const char *>(key)); }
int named_matches(const void *thing, const void *key)
{
    return static_cast<const named *>(thing)->name == static_cast<const char *>(key);
}

// Every thing hashes to its `name`'s first byte: lets a test place things in chosen buckets.
uint32_t first_byte_hash(const void *thing)
{
    return uint8_t(static_cast<const named *>(thing)->name[0]);
}
uint32_t first_byte_key_hash(const void *key) { return uint8_t(*static_cast<const char *>(key)); }

std::vector<std::unique_ptr<named>> make_things(int n, const char *prefix = "file")
{
    std::vector<std::unique_ptr<named>> things;
    for (int i = 0; i < n; ++i)
        things.push_back(std::make_unique<named>(named{prefix + std::to_string(i)}));
    return things;
}

} // namespace

TEST(StringHash, KnownValues)
{
    EXPECT_EQ(string_hash(""), 0x1AAD0981u);
    EXPECT_EQ(string_hash("abc"), 0x4AF578A2u);
    EXPECT_EQ(string_hash(nullptr), string_hash(""));
    EXPECT_EQ(bytes_hash("abc", 3), 0x98E230CCu);
    // The length is mixed in: a text and its extension by a zero byte's worth differ.
    EXPECT_NE(string_hash("ab"), string_hash("abc"));
    EXPECT_NE(bytes_hash("abc", 3), bytes_hash("abc", 2));
    // bytes_hash hashes bytes past a zero byte; string_hash stops there.
    EXPECT_NE(bytes_hash("a\0b", 3), bytes_hash("a\0c", 3));
    // High bytes count as unsigned.
    EXPECT_NE(string_hash("\xff"), string_hash("\x7f"));
}

TEST(VoidPointerHashTable, NewTableIsEmpty)
{
    VoidPointerHashTable table(named_hash, key_hash, named_matches);
    EXPECT_EQ(table.capacity(), 256u);
    EXPECT_EQ(table.mask(), 255u);
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(table.find("anything"), nullptr);
    named stranger{"stranger"};
    EXPECT_EQ(table.remove(&stranger), 0);
}

TEST(VoidPointerHashTable, GrowsBeforeCountPassesHalfTheBuckets)
{
    struct {
        int adds;
        uint32_t capacity;
    } cases[] = {
        {1, 256}, {129, 256}, {130, 512}, {257, 512}, {258, 1024}, {514, 2048},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.adds);
        auto things = make_things(c.adds);
        VoidPointerHashTable table(named_hash, key_hash, named_matches);
        thing_hash_calls = 0;
        for (auto &t : things)
            ASSERT_EQ(table.add(t.get()), 1);
        EXPECT_EQ(table.capacity(), c.capacity);
        EXPECT_EQ(table.mask(), c.capacity - 1);
        EXPECT_EQ(table.count(), c.adds);
        // Growth moves entries by their stored hash: one hash per add, none per move.
        EXPECT_EQ(thing_hash_calls, c.adds);
        for (auto &t : things)
            EXPECT_EQ(table.find(t->name.c_str()), t.get());
        EXPECT_EQ(table.find("file-missing"), nullptr);
    }
}

TEST(VoidPointerHashTable, HundredThirtiethAddDoubles)
{
    auto things = make_things(130);
    VoidPointerHashTable table(named_hash, key_hash, named_matches);
    for (int i = 0; i < 129; ++i)
        ASSERT_EQ(table.add(things[i].get()), 1);
    EXPECT_EQ(table.capacity(), 256u);
    ASSERT_EQ(table.add(things[129].get()), 1);
    EXPECT_EQ(table.capacity(), 512u);
    EXPECT_EQ(table.count(), 130);
}

TEST(VoidPointerHashTable, DuplicatePointerIsRefusedEqualKeysAreKept)
{
    test_util::log_capture log;
    VoidPointerHashTable table(named_hash, key_hash, named_matches);
    named first{"same"}, second{"same"};
    ASSERT_EQ(table.add(&first), 1);
    EXPECT_EQ(table.add(&first), 0);
    EXPECT_EQ(table.count(), 1);
    EXPECT_EQ(log.occurrences("Error in VoidPointerHashTable::add(), attempt to add duplicate thing.\n"), 1);

    ASSERT_EQ(table.add(&second), 1);
    EXPECT_EQ(table.count(), 2);
    EXPECT_EQ(table.find("same"), &second);   // the one added last
    EXPECT_EQ(table.remove(&second), 1);
    EXPECT_EQ(table.find("same"), &first);
    EXPECT_EQ(table.remove(&second), 0);
    EXPECT_EQ(table.count(), 1);
}

TEST(VoidPointerHashTable, DuplicateCategoryIsMisuse)
{
    test_util::log_capture log;
    report_error_set_mask(REPORT_MISUSE);
    VoidPointerHashTable table(named_hash, key_hash, named_matches);
    named one{"one"};
    ASSERT_EQ(table.add(&one), 1);
    EXPECT_EQ(table.add(&one), 0);
    report_error_set_mask(0);
    EXPECT_EQ(log.text(), "");
}

TEST(VoidPointerHashTable, RemoveUnlinksFromAnyPlaceInTheChain)
{
    // All in one bucket: "a1", "a2", "a3" share the first byte.
    VoidPointerHashTable table(first_byte_hash, first_byte_key_hash,
                               [](const void *thing, const void *key) {
                                   return int(static_cast<const named *>(thing)->name ==
                                              static_cast<const char *>(key));
                               });
    named a1{"a1"}, a2{"a2"}, a3{"a3"};
    for (named *n : {&a1, &a2, &a3})
        ASSERT_EQ(table.add(n), 1);
    for (named *gone : {&a2, &a3, &a1}) {
        EXPECT_EQ(table.remove(gone), 1);
        EXPECT_EQ(table.find(gone->name.c_str()), nullptr);
    }
    EXPECT_EQ(table.count(), 0);
}

TEST(VoidPointerHashTable, SameBucketDifferentHashes)
{
    // 'A' (65) and 65 + 256 land in bucket 65 of the first array; find must tell them apart.
    struct numbered {
        uint32_t hash;
    };
    auto hash = [](const void *thing) { return static_cast<const numbered *>(thing)->hash; };
    auto khash = [](const void *key) { return *static_cast<const uint32_t *>(key); };
    auto matches = [](const void *thing, const void *key) {
        return int(static_cast<const numbered *>(thing)->hash == *static_cast<const uint32_t *>(key));
    };
    VoidPointerHashTable table(hash, khash, matches);
    numbered low{65}, high{65 + 256};
    ASSERT_EQ(table.add(&low), 1);
    ASSERT_EQ(table.add(&high), 1);
    uint32_t k1 = 65, k2 = 65 + 256, k3 = 65 + 512;
    EXPECT_EQ(table.find(&k1), &low);
    EXPECT_EQ(table.find(&k2), &high);
    EXPECT_EQ(table.find(&k3), nullptr);
}

TEST(VoidPointerHashTable, LongBucketIsReportedButStored)
{
    test_util::log_capture log;
    VoidPointerHashTable table(first_byte_hash, first_byte_key_hash, named_matches);
    auto things = make_things(53, "x");   // all hash to 'x' = 120
    for (int i = 0; i < 51; ++i)
        ASSERT_EQ(table.add(things[i].get()), 1);
    EXPECT_EQ(log.text(), "");   // the 51st add walked 50 entries: not more than 50
    ASSERT_EQ(table.add(things[51].get()), 1);
    ASSERT_EQ(table.add(things[52].get()), 1);
    EXPECT_EQ(log.text(), "Error in VoidPointerHashTable::add(), found 51 things in bucket 120.\n"
                          "Error in VoidPointerHashTable::add(), found 52 things in bucket 120.\n");
    EXPECT_EQ(table.count(), 53);
    EXPECT_EQ(table.find("x52"), things[52].get());
    EXPECT_EQ(table.find("x0"), things[0].get());
}

TEST(VoidPointerHashTable, RemoveAllKeepsBuckets)
{
    auto things = make_things(300);
    VoidPointerHashTable table(named_hash, key_hash, named_matches);
    for (auto &t : things)
        ASSERT_EQ(table.add(t.get()), 1);
    ASSERT_EQ(table.capacity(), 1024u);
    table.remove_all();
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(table.capacity(), 1024u);
    EXPECT_EQ(table.find("file7"), nullptr);
    // Reusable afterwards, and the same pointers are no longer duplicates.
    ASSERT_EQ(table.add(things[7].get()), 1);
    EXPECT_EQ(table.find("file7"), things[7].get());
}

TEST(VoidPointerHashTable, ExplicitExpansionKeepsEverything)
{
    auto things = make_things(40);
    VoidPointerHashTable table(named_hash, key_hash, named_matches);
    for (auto &t : things)
        ASSERT_EQ(table.add(t.get()), 1);
    table.expand_hash_table();
    table.expand_hash_table();
    EXPECT_EQ(table.capacity(), 1024u);
    EXPECT_EQ(table.count(), 40);
    for (auto &t : things)
        EXPECT_EQ(table.find(t->name.c_str()), t.get());
    for (auto &t : things)
        EXPECT_EQ(table.remove(t.get()), 1);
    EXPECT_EQ(table.count(), 0);
}

TEST(VoidPointerHashTable, FailedExpansionKeepsTheOldTableUsable)
{
    if (!test_util::address_limit_supported)
        GTEST_SKIP() << "the sanitizer's allocator does not let malloc fail";
    auto result = test_util::run_forked([] {
        test_util::log_capture log;
        // 65537 things make 131072 buckets (1 MiB); the next add wants 2 MiB.
        std::vector<uint32_t> values(65540);
        for (size_t i = 0; i < values.size(); ++i)
            values[i] = uint32_t(i);
        auto hash = [](const void *thing) { return *static_cast<const uint32_t *>(thing) * 2654435761u; };
        auto matches = [](const void *thing, const void *key) {
            return int(*static_cast<const uint32_t *>(thing) == *static_cast<const uint32_t *>(key));
        };
        VoidPointerHashTable table(hash, hash, matches);
        for (int i = 0; i < 65537; ++i)
            if (table.add(&values[i]) != 1)
                return std::string("add failed before the limit");
        if (table.capacity() != 131072)
            return "unexpected capacity " + std::to_string(table.capacity());
        if (!test_util::limit_address_space(512 * 1024))
            return std::string("no limit");
        std::string out;
        out += "add=" + std::to_string(table.add(&values[65537]));
        out += " add=" + std::to_string(table.add(&values[65538]));
        out += " capacity=" + std::to_string(table.capacity());
        out += " count=" + std::to_string(table.count());
        int found = 0;
        for (int i = 0; i < 65539; ++i)
            found += table.find(&values[i]) == &values[i];
        out += " found=" + std::to_string(found);
        out += " removed=" + std::to_string(table.remove(&values[65538]));
        out += "\n" + log.text();
        return out;
    });
    EXPECT_EQ(result.status, 0);
    const std::string report = "Error in VoidPointerHashTable::expand_hash_table(), unable to "
                               "allocate table of size 262144.  Using old table.\n";
    EXPECT_EQ(result.output, "add=1 add=1 capacity=131072 count=65539 found=65539 removed=1\n" +
                                 report + report);
}
