#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/sort.h"
#include "runtime/throw.h"

using namespace kiv;

namespace {

// A record holds a 32-bit key in its first 4 bytes; wider records carry
// their input position next, then filler bytes derived from it, so that a
// record torn apart or duplicated by the sort shows.
using Records = std::vector<uint8_t>;

uint32_t key_of(const uint8_t* record) {
    uint32_t key;
    std::memcpy(&key, record, 4);
    return key;
}

Records make_records(const std::vector<uint32_t>& keys, uint32_t width) {
    Records out(keys.size() * width);
    for (size_t i = 0; i < keys.size(); ++i) {
        uint8_t* r = &out[i * width];
        std::memcpy(r, &keys[i], 4);
        if (width < 8) continue;
        uint32_t position = uint32_t(i);
        std::memcpy(r + 4, &position, 4);
        for (uint32_t b = 8; b < width; ++b) r[b] = uint8_t(i * 31 + b);
    }
    return out;
}

// What the comparison callback sees through its first word.
struct Probe {
    uint64_t comparisons = 0;
    uint64_t throw_after = UINT64_MAX;
    uintptr_t lowest_stack = UINTPTR_MAX;
};

// Orders by key; word2 is -1 for a descending order.
int by_key(const void* a, const void* b, intptr_t word1, intptr_t word2) {
    auto* probe = reinterpret_cast<Probe*>(word1);
    char here;
    probe->lowest_stack = std::min(probe->lowest_stack, reinterpret_cast<uintptr_t>(&here));
    if (probe->comparisons++ == probe->throw_after) throw runtime::Throw{runtime::code::error};
    uint32_t x = key_of(static_cast<const uint8_t*>(a));
    uint32_t y = key_of(static_cast<const uint8_t*>(b));
    return int(word2) * ((x > y) - (x < y));
}

enum class Shape {
    random,
    sorted,
    reversed,
    all_equal,
    few_distinct,
    organ_pipe,
    nearly_sorted,
    nearly_reversed
};
const Shape all_shapes[] = {Shape::random,        Shape::sorted,         Shape::reversed,
                            Shape::all_equal,     Shape::few_distinct,   Shape::organ_pipe,
                            Shape::nearly_sorted, Shape::nearly_reversed};

std::vector<uint32_t> make_keys(Shape shape, size_t n, uint32_t seed = 7) {
    std::mt19937 rng(seed);
    std::vector<uint32_t> keys(n);
    for (size_t i = 0; i < n; ++i) {
        switch (shape) {
        case Shape::random: keys[i] = rng(); break;
        case Shape::sorted: keys[i] = uint32_t(i); break;
        case Shape::reversed: keys[i] = uint32_t(n - i); break;
        case Shape::all_equal: keys[i] = 5; break;
        case Shape::few_distinct: keys[i] = rng() % 4; break;
        case Shape::organ_pipe: keys[i] = uint32_t(std::min(i, n - 1 - i)); break;
        // Ordered runs with one record in 50 out of place: they go through
        // the gathering of runs into the presorted prefix.
        case Shape::nearly_sorted: keys[i] = rng() % 50 ? uint32_t(i) : rng() % n; break;
        case Shape::nearly_reversed: keys[i] = rng() % 50 ? uint32_t(n - i) : rng() % n; break;
        }
    }
    return keys;
}

// The records as a sorted list of byte strings: equal for two arrays that
// hold the same records in any order.
std::vector<std::string> multiset(const Records& records, uint32_t width) {
    std::vector<std::string> out;
    for (size_t i = 0; i < records.size(); i += width)
        out.emplace_back(reinterpret_cast<const char*>(&records[i]), width);
    std::sort(out.begin(), out.end());
    return out;
}

using Entry = void (*)(void*, uint32_t, uint32_t, intptr_t, intptr_t, sort::Compare);
struct Algorithm {
    const char* name;
    Entry entry;
    bool stable;
};
const Algorithm algorithms[] = {{"sort", sort::sort, false},
                                {"merge-sort", sort::merge_sort, true}};

void run(const Algorithm& a, Records& records, uint32_t width, Probe& probe, intptr_t dir = 1) {
    a.entry(records.data(), uint32_t(records.size() / width), width,
            reinterpret_cast<intptr_t>(&probe), dir, by_key);
}

// Ordered by key in direction dir, and for a stable sort equal keys in
// input order.
void expect_ordered(const Records& records, uint32_t width, bool stable, int dir = 1) {
    for (size_t i = width; i < records.size(); i += width) {
        uint32_t prev = key_of(&records[i - width]), key = key_of(&records[i]);
        ASSERT_TRUE(dir > 0 ? prev <= key : prev >= key) << "at record " << i / width;
        if (stable && width >= 8 && prev == key) {
            ASSERT_LT(key_of(&records[i - width + 4]), key_of(&records[i + 4]))
                << "equal keys out of input order at record " << i / width;
        }
    }
}

class SortTest : public ::testing::Test {
  protected:
    void SetUp() override { blocks_before = heap::block_count(); }
    void TearDown() override { EXPECT_EQ(heap::block_count(), blocks_before) << "heap leak"; }
    size_t blocks_before = 0;
};

} // namespace

TEST_F(SortTest, EveryShapeSizeAndWidth) {
    for (const Algorithm& a : algorithms)
        for (Shape shape : all_shapes)
            for (size_t n : {0, 1, 2, 3, 7, 8, 100, 100000})
                for (uint32_t width : {4u, 8u, 16u, 32u}) {
                    SCOPED_TRACE(testing::Message() << a.name << " shape " << int(shape) << " n "
                                                    << n << " width " << width);
                    Records records = make_records(make_keys(shape, n), width);
                    auto before = multiset(records, width);
                    Probe probe;
                    run(a, records, width, probe);
                    expect_ordered(records, width, a.stable);
                    ASSERT_EQ(multiset(records, width), before);
                    if (n < 2) {
                        EXPECT_EQ(probe.comparisons, 0u);
                    }
                    // Never quadratic: a generous n log n bound.
                    if (n > 1) {
                        EXPECT_LE(probe.comparisons, uint64_t(3 * n * std::log2(double(n)) + 32));
                    }
                }
}

TEST_F(SortTest, OddWidthsAndTheSecondWordReachTheCallback) {
    // Widths that are not a multiple of 4 are exchanged byte by byte; word2
    // turns the order around.
    for (const Algorithm& a : algorithms)
        for (uint32_t width : {5u, 9u, 13u}) {
            SCOPED_TRACE(testing::Message() << a.name << " width " << width);
            Records records = make_records(make_keys(Shape::random, 3000), width);
            auto before = multiset(records, width);
            Probe probe;
            run(a, records, width, probe, -1);
            expect_ordered(records, width, a.stable, -1);
            EXPECT_EQ(multiset(records, width), before);
        }
}

TEST_F(SortTest, PresortedInputTakesAboutOneComparisonPerRecord) {
    const size_t n = 100000;
    for (Shape shape : {Shape::sorted, Shape::reversed, Shape::all_equal}) {
        Records records = make_records(make_keys(shape, n), 8);
        Probe probe;
        run(algorithms[0], records, 8, probe);
        expect_ordered(records, 8, false);
        EXPECT_EQ(probe.comparisons, n - 1) << int(shape);
    }
}

TEST_F(SortTest, QuicksortAloneStaysNLogNOnStructuredInput) {
    // Called directly, without the presorted scan in front of it.
    const size_t n = 100000;
    for (Shape shape : all_shapes) {
        Records records = make_records(make_keys(shape, n), 4);
        Probe probe;
        sort::quicksort(records.data(), 0, uint32_t(n), 4, reinterpret_cast<intptr_t>(&probe), 1,
                        by_key);
        expect_ordered(records, 4, false);
        EXPECT_LE(probe.comparisons, uint64_t(3 * n * std::log2(double(n)))) << int(shape);
    }
}

TEST_F(SortTest, MergeSortKeepsEqualRecordsInInputOrder) {
    // Few keys, many ties, in runs of every length (ascending, strictly
    // descending, short ones extended by insertion).
    std::mt19937 rng(3);
    std::vector<uint32_t> keys;
    while (keys.size() < 20000) {
        uint32_t run = 1 + rng() % 60, start = rng() % 5;
        bool down = rng() % 2;
        for (uint32_t i = 0; i < run; ++i)
            keys.push_back(down ? start + (run - i) / 7 : start + i / 9);
    }
    Records records = make_records(keys, 16);
    Probe probe;
    run(algorithms[1], records, 16, probe);
    expect_ordered(records, 16, true);
}

TEST_F(SortTest, ThrowingComparatorRestoresTheOriginalOrder) {
    for (const Algorithm& a : algorithms)
        for (Shape shape : all_shapes)
            for (uint64_t k : {0, 1, 5, 100, 1000, 5000}) {
                SCOPED_TRACE(testing::Message() << a.name << " shape " << int(shape) << " k " << k);
                Records records = make_records(make_keys(shape, 1000), 16);
                const Records original = records;
                Probe probe;
                probe.throw_after = k;
                bool thrown = false;
                try {
                    run(a, records, 16, probe);
                } catch (const runtime::Throw& t) {
                    thrown = true;
                    EXPECT_EQ(t.code, runtime::code::error);
                }
                if (thrown)
                    EXPECT_EQ(records, original);
                else
                    expect_ordered(records, 16, a.stable); // finished in fewer comparisons
            }
}

TEST_F(SortTest, ThrowInsideQuicksortAndMergeRunsKeepsTheMultiset) {
    // The steps below the entries keep no copy: a throw leaves a permutation.
    for (uint64_t k : {0, 3, 40, 700, 4000, 20000}) {
        Records records = make_records(make_keys(Shape::random, 2000), 8);
        auto before = multiset(records, 8);
        Probe probe;
        probe.throw_after = k;
        EXPECT_THROW(sort::quicksort(records.data(), 0, 2000, 8, reinterpret_cast<intptr_t>(&probe),
                                     1, by_key),
                     runtime::Throw);
        EXPECT_EQ(multiset(records, 8), before) << k;
    }
    // Two sorted runs, the shorter one on either side, so that both the
    // forward and the backward merge are cut.
    for (size_t left : {300, 900})
        for (uint64_t k : {0, 1, 150, 599}) {
            std::vector<uint32_t> keys = make_keys(Shape::random, 1200);
            std::sort(keys.begin(), keys.begin() + left);
            std::sort(keys.begin() + left, keys.end());
            Records records = make_records(keys, 16);
            auto before = multiset(records, 16);
            Records buffer(600 * 16);
            Probe probe;
            probe.throw_after = k;
            sort::Context context(16, reinterpret_cast<intptr_t>(&probe), 1, by_key);
            uint8_t* base = records.data();
            EXPECT_THROW(
                sort::merge_runs(base, base + left * 16, base + 1200 * 16, buffer.data(), context),
                runtime::Throw);
            EXPECT_EQ(multiset(records, 16), before) << left << " " << k;
        }
}

TEST_F(SortTest, MergeBufferSizeBeyond32BitsIsTooLong) {
    // The size is checked before any record is read.
    uint8_t untouched[16] = {};
    Probe probe;
    runtime::last_error = {};
    EXPECT_THROW(
        sort::merge_sort(untouched, 0x80000000u, 8, reinterpret_cast<intptr_t>(&probe), 1, by_key),
        runtime::Throw);
    EXPECT_EQ(runtime::last_error.category, runtime::Category::script);
    EXPECT_EQ(runtime::last_error.id, err::script::too_long);
    EXPECT_EQ(probe.comparisons, 0u);
}

namespace {

// Limits the address space of this (forked) process to what it uses now
// plus `extra` bytes, so that larger allocations fail.
void limit_memory_to_current_plus(size_t extra) {
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0;
    statm >> pages;
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = pages * size_t(sysconf(_SC_PAGESIZE)) + extra;
    setrlimit(RLIMIT_AS, &limit);
}

} // namespace

// Death tests run in a fresh process so that no memory freed by earlier
// tests is left in the allocator for the limited allocations to reuse.
TEST(SortDeathTest, MergeBufferWithoutMemoryRaisesNoMemory) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            uint8_t untouched[16] = {};
            Probe probe;
            limit_memory_to_current_plus(16 << 20);
            try {
                // A buffer of 256 MiB.
                sort::merge_sort(untouched, 1u << 26, 8, reinterpret_cast<intptr_t>(&probe), 1,
                                 by_key);
            } catch (const runtime::Throw&) {
                bool ok = runtime::last_error.category == runtime::Category::internal &&
                          runtime::last_error.id == err::internal::no_memory &&
                          probe.comparisons == 0 && heap::block_count() == 0;
                std::_Exit(ok ? 3 : 1);
            }
            std::_Exit(2);
        },
        testing::ExitedWithCode(3), "");
}

TEST(SortDeathTest, WithoutRoomForTheCopyAThrowStillKeepsTheMultiset) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address-space limit leaves no room for the sanitizer's shadow memory";
#endif
    // The merge buffer (8 MiB) fits, the copy that would restore the order
    // (16 MiB) does not: a throw leaves the records permuted, none lost or
    // duplicated. The throw comes at several points of the run building
    // and merging.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const size_t n = 1 << 20;
            const Records original = make_records(make_keys(Shape::random, n), 16);
            Records records = original;
            std::vector<char> seen(n);
            limit_memory_to_current_plus(12 << 20);
            for (uint64_t k : {20011, 400009, 1500007, 3000017}) {
                std::memcpy(records.data(), original.data(), records.size());
                Probe probe;
                probe.throw_after = k;
                try {
                    run(algorithms[1], records, 16, probe);
                    std::_Exit(2);
                } catch (const runtime::Throw&) {
                }
                std::fill(seen.begin(), seen.end(), 0);
                bool moved = false;
                for (size_t i = 0; i < n; ++i) {
                    uint32_t at = key_of(&records[i * 16 + 4]);
                    if (at >= n || seen[at] ||
                        std::memcmp(&records[i * 16], &original[at * 16], 16) != 0)
                        std::_Exit(1);
                    seen[at] = 1;
                    moved |= at != i;
                }
                if (!moved) std::_Exit(4); // the copy was taken after all
            }
            std::_Exit(3);
        },
        testing::ExitedWithCode(3), "");
}

namespace {

// McIlroy's adversary: keys are decided only when the sort compares them,
// always so that the pivot candidate turns out small. Replaying the keys it
// decided makes a deterministic quicksort take its worst path.
struct Adversary {
    std::vector<uint32_t> value;
    uint32_t gas, solid = 0, candidate = 0;
    explicit Adversary(size_t n) : value(n, uint32_t(n)), gas(uint32_t(n)) {}
};

int adversary_compare(const void* a, const void* b, intptr_t word1, intptr_t) {
    auto* adv = reinterpret_cast<Adversary*>(word1);
    uint32_t x = key_of(static_cast<const uint8_t*>(a)), y = key_of(static_cast<const uint8_t*>(b));
    if (adv->value[x] == adv->gas && adv->value[y] == adv->gas)
        adv->value[x == adv->candidate ? x : y] = adv->solid++;
    if (adv->value[x] == adv->gas)
        adv->candidate = x;
    else if (adv->value[y] == adv->gas)
        adv->candidate = y;
    return (adv->value[x] > adv->value[y]) - (adv->value[x] < adv->value[y]);
}

} // namespace

TEST_F(SortTest, AdversarialInputKeepsTheStackShallow) {
    const size_t n = 6000;
    std::vector<uint32_t> positions(n);
    for (size_t i = 0; i < n; ++i) positions[i] = uint32_t(i);
    Adversary adversary(n);
    sort::quicksort(positions.data(), 0, uint32_t(n), 4, reinterpret_cast<intptr_t>(&adversary), 0,
                    adversary_compare);

    Records records = make_records(adversary.value, 4);
    Probe probe;
    char top;
    sort::quicksort(records.data(), 0, uint32_t(n), 4, reinterpret_cast<intptr_t>(&probe), 1,
                    by_key);
    expect_ordered(records, 4, false);
    // The input really is a bad case: far beyond n log n comparisons...
    EXPECT_GT(probe.comparisons, uint64_t(n) * n / 100);
    // ...yet the stack holds a logarithmic number of frames, not one per
    // partition step.
    EXPECT_LT(reinterpret_cast<uintptr_t>(&top) - probe.lowest_stack, 8192u);
}
