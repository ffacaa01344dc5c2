// Adding and finding string keys: VoidPointerHashTable with string_hash beside
// std::unordered_map<std::string, ...> on the same keys, at 10k, 100k and 1M keys; the hashes
// alone; and the same table keyed by std::hash, which tells the table's share from the hash's.
#include "support/hash_table.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// A thing as the file manifest keeps it: a record found by its name.
struct named_record {
    std::string name;
    int size;
};

uint32_t record_hash(const void *thing)
{
    return string_hash(static_cast<const named_record *>(thing)->name.c_str());
}
uint32_t name_hash(const void *key) { return string_hash(static_cast<const char *>(key)); }
// Not for the program: the same table keyed by std::hash, to tell the table's cost from the hash's.
uint32_t record_std_hash(const void *thing)
{
    return uint32_t(std::hash<std::string>()(static_cast<const named_record *>(thing)->name));
}
uint32_t name_std_hash(const void *key)
{
    return uint32_t(std::hash<std::string_view>()(static_cast<const char *>(key)));
}

int record_has_name(const void *thing, const void *key)
{
    return strcmp(static_cast<const named_record *>(thing)->name.c_str(),
                  static_cast<const char *>(key)) == 0;
}

// Names like a client's files: short ones ("client_<n>.bin", 12 to 17 bytes) or long ones
// (33 to 36 bytes), in a fixed order; the lookup order is shuffled so that finds do not walk
// memory in insertion order.
struct key_set {
    std::vector<named_record> records;
    std::vector<const named_record *> lookup_order;

    key_set(int n, bool long_names)
    {
        std::mt19937 random(20260101);
        records.reserve(n);
        for (int i = 0; i < n; ++i) {
            std::string name = long_names ? "morvelle_client_" + std::to_string(random() % 1000) +
                                                "_build" + std::to_string(1000000 + i) + ".bin"
                                          : "client_" + std::to_string(i) + ".bin";
            records.push_back({name, i});
        }
        for (const auto &r : records)
            lookup_order.push_back(&r);
        std::shuffle(lookup_order.begin(), lookup_order.end(), random);
    }
};

const key_set &keys(const benchmark::State &state)
{
    static std::unordered_map<int64_t, std::unique_ptr<key_set>> sets;
    int n = int(state.range(0));
    bool long_names = state.range(1) != 0;
    auto &slot = sets[n * 2 + long_names];
    if (!slot)
        slot = std::make_unique<key_set>(n, long_names);
    return *slot;
}

// Items per second, and the seconds per operation (shown with an SI prefix, e.g. "25n").
void per_operation(benchmark::State &state, int n)
{
    state.SetItemsProcessed(int64_t(state.iterations()) * n);
    state.counters["time_per_op"] = benchmark::Counter(
        double(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_table_add(benchmark::State &state)
{
    const int n = int(state.range(0));
    const key_set &set = keys(state);
    for (auto _ : state) {
        auto table = std::make_unique<VoidPointerHashTable>(record_hash, name_hash, record_has_name);
        for (const auto &r : set.records)
            table->add(const_cast<named_record *>(&r));
        benchmark::DoNotOptimize(table->count());
        state.PauseTiming();
        table.reset();
        state.ResumeTiming();
    }
    per_operation(state, n);
}

void BM_map_add(benchmark::State &state)
{
    const int n = int(state.range(0));
    const key_set &set = keys(state);
    for (auto _ : state) {
        auto map = std::make_unique<std::unordered_map<std::string, const named_record *>>();
        for (const auto &r : set.records)
            map->emplace(r.name, &r);
        benchmark::DoNotOptimize(map->size());
        state.PauseTiming();
        map.reset();
        state.ResumeTiming();
    }
    per_operation(state, n);
}

template <VoidPointerHashTable::thing_hash_function thing_hash,
          VoidPointerHashTable::key_hash_function key_hash>
void table_find(benchmark::State &state)
{
    const int n = int(state.range(0));
    const key_set &set = keys(state);
    VoidPointerHashTable table(thing_hash, key_hash, record_has_name);
    for (const auto &r : set.records)
        table.add(const_cast<named_record *>(&r));
    int64_t found = 0;
    for (auto _ : state) {
        for (const named_record *r : set.lookup_order)
            found += table.find(r->name.c_str()) != nullptr;
        benchmark::ClobberMemory();
    }
    if (found != int64_t(state.iterations()) * n)
        state.SkipWithError("a key was not found");
    per_operation(state, n);
}

void BM_table_find(benchmark::State &state) { table_find<record_hash, name_hash>(state); }
void BM_table_find_std_hash(benchmark::State &state)
{
    table_find<record_std_hash, name_std_hash>(state);
}

void BM_map_find(benchmark::State &state)
{
    const int n = int(state.range(0));
    const key_set &set = keys(state);
    std::unordered_map<std::string, const named_record *> map;
    for (const auto &r : set.records)
        map.emplace(r.name, &r);
    int64_t found = 0;
    for (auto _ : state) {
        for (const named_record *r : set.lookup_order)
            found += map.find(r->name) != map.end();
        benchmark::ClobberMemory();
    }
    if (found != int64_t(state.iterations()) * n)
        state.SkipWithError("a key was not found");
    per_operation(state, n);
}

// The hashes alone over the same keys: string_hash mixes one byte per step, std::hash several.
void BM_string_hash(benchmark::State &state)
{
    const key_set &set = keys(state);
    uint32_t sum = 0;
    for (auto _ : state) {
        for (const named_record *r : set.lookup_order)
            sum += string_hash(r->name.c_str());
        benchmark::DoNotOptimize(sum);
    }
    per_operation(state, int(state.range(0)));
}

void BM_std_hash(benchmark::State &state)
{
    const key_set &set = keys(state);
    size_t sum = 0;
    std::hash<std::string> hash;
    for (auto _ : state) {
        for (const named_record *r : set.lookup_order)
            sum += hash(r->name);
        benchmark::DoNotOptimize(sum);
    }
    per_operation(state, int(state.range(0)));
}

void sizes(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"keys", "long"})
        ->ArgsProduct({{10000, 100000, 1000000}, {0, 1}})
        ->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_table_add)->Apply(sizes);
BENCHMARK(BM_map_add)->Apply(sizes);
BENCHMARK(BM_table_find)->Apply(sizes);
BENCHMARK(BM_map_find)->Apply(sizes);
BENCHMARK(BM_table_find_std_hash)->Apply(sizes);
BENCHMARK(BM_string_hash)->ArgNames({"keys", "long"})->Args({10000, 0})->Args({10000, 1})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_std_hash)->ArgNames({"keys", "long"})->Args({10000, 0})->Args({10000, 1})->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
