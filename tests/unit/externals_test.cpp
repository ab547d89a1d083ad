#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "runtime/collector.h"
#include "runtime/externals.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/types.h"
#include "tests/unit/fresh_globals.h"

using namespace kiv;

namespace {

// Every release, as (kind tag, pointer).
std::vector<std::pair<char, void*>> released;

void release_image(void* p) {
    released.emplace_back('i', p);
}
void release_font(void* p) {
    released.emplace_back('f', p);
}

void* ptr(uintptr_t n) {
    return reinterpret_cast<void*>(n * 16);
}

class ExternalsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::reset_globals();
        released.clear();
        externals::init();
        image = externals::register_kind("image", release_image);
        font = externals::register_kind("font", release_font);
        silent = externals::register_kind("silent", nullptr);
    }
    void TearDown() override { test::release_globals(); }
    uint32_t image = 0, font = 0, silent = 0;
};

} // namespace

TEST_F(ExternalsTest, KindsAreNumberedFromOneAndTheTableIsFixed) {
    EXPECT_EQ(image, 1u);
    EXPECT_EQ(font, 2u);
    for (uint32_t k = 4; k <= externals::max_kinds; ++k)
        EXPECT_EQ(externals::register_kind("more", release_font), k);
    EXPECT_EQ(externals::register_kind("one too many", release_font), 0u);
    int32_t index = externals::store(ptr(1), 0);
    externals::sweep();
    EXPECT_TRUE(released.empty());
    EXPECT_FALSE(externals::entry(index));
}

TEST_F(ExternalsTest, SweepReleasesEachUnreferencedRecordOnceThroughItsKind) {
    int32_t a = externals::store(ptr(1), image);
    int32_t b = externals::store(ptr(2), font);
    int32_t c = externals::store(ptr(3), image);
    int32_t d = externals::store(ptr(4), silent);
    EXPECT_TRUE(externals::mark(b));
    EXPECT_FALSE(externals::mark(b));
    externals::sweep();
    using Log = std::vector<std::pair<char, void*>>;
    EXPECT_EQ(released, (Log{{'i', ptr(3)}, {'i', ptr(1)}}));
    EXPECT_FALSE(externals::entry(a));
    EXPECT_FALSE(externals::entry(c));
    EXPECT_FALSE(externals::entry(d));
    ASSERT_TRUE(externals::entry(b));
    EXPECT_EQ(externals::entry(b)->kind, font); // mark cleared

    // Nothing marks b in the next collection; a third finds nothing left.
    externals::sweep();
    externals::sweep();
    EXPECT_EQ(released, (Log{{'i', ptr(3)}, {'i', ptr(1)}, {'f', ptr(2)}}));
    EXPECT_EQ(externals::table.used_head, externals::none);
}

TEST_F(ExternalsTest, StoringTheLastFreeRecordGrowsTheTableFirst) {
    std::set<int32_t> indexes;
    for (uint32_t i = 0; i < externals::initial_capacity - 1; ++i)
        indexes.insert(externals::store(ptr(i + 1), image));
    EXPECT_EQ(externals::table.capacity, externals::initial_capacity);
    indexes.insert(externals::store(ptr(5000), image));
    EXPECT_EQ(externals::table.capacity, 2 * externals::initial_capacity);
    EXPECT_EQ(indexes.size(), size_t(externals::initial_capacity));
    EXPECT_NE(externals::table.free_head, externals::none);
    // The records survived the move and the new ones are usable.
    for (uint32_t i = 0; i < externals::initial_capacity + 10; ++i) externals::store(ptr(1), font);
    EXPECT_EQ(externals::entry(0)->pointer, ptr(1));
    EXPECT_EQ(externals::entry(999)->pointer, ptr(5000));
}

TEST_F(ExternalsTest, ReplaceReleasesOnlyADifferentOldPointer) {
    int32_t index = externals::store(ptr(1), image);
    externals::replace(index, ptr(1));
    EXPECT_TRUE(released.empty());
    externals::replace(index, ptr(2));
    EXPECT_EQ(released, (std::vector<std::pair<char, void*>>{{'i', ptr(1)}}));
    EXPECT_EQ(externals::entry(index)->pointer, ptr(2));
}

TEST_F(ExternalsTest, RemoveUnlinksFromAnywhereAndIgnoresStaleIndexes) {
    int32_t a = externals::store(ptr(1), image);
    int32_t b = externals::store(ptr(2), image);
    int32_t c = externals::store(ptr(3), image);
    EXPECT_EQ(externals::remove(b, true), externals::none);
    EXPECT_EQ(externals::remove(a, false), externals::none);
    EXPECT_EQ(released, (std::vector<std::pair<char, void*>>{{'i', ptr(2)}}));
    // Removing again, or an index never given out, changes nothing: two
    // new records still get two different indexes.
    for (int32_t stale : {a, b, -1, 5000}) externals::remove(stale, true);
    EXPECT_EQ(released.size(), 1u);
    int32_t d = externals::store(ptr(4), image);
    int32_t e = externals::store(ptr(5), image);
    EXPECT_NE(d, e);
    EXPECT_EQ(d, a); // the most recently freed record comes back first
    // Only c, d and e are in use.
    externals::sweep();
    EXPECT_EQ(released.size(), 4u);
    EXPECT_FALSE(externals::entry(c));
}

TEST_F(ExternalsTest, MarkSkipsFreeAndNegativeIndexesAndMayUpdateThePointer) {
    int32_t index = externals::store(ptr(1), image);
    EXPECT_FALSE(externals::mark(-1));
    EXPECT_FALSE(externals::mark(int32_t(externals::table.capacity)));
    EXPECT_FALSE(externals::mark(index + 1));
    EXPECT_TRUE(externals::mark(index, ptr(9)));
    EXPECT_EQ(externals::entry(index)->pointer, ptr(9));
    externals::sweep();
    EXPECT_TRUE(released.empty());
}

TEST_F(ExternalsTest, ReleaseAllVisitsOneKindAndKeepsTheRecords) {
    externals::store(ptr(1), image);
    externals::store(ptr(2), font);
    externals::store(ptr(3), font);
    std::vector<void*> seen;
    static std::vector<void*>* sink;
    sink = &seen;
    externals::release_all(font, [](void* p) { sink->push_back(p); });
    EXPECT_EQ(seen, (std::vector<void*>{ptr(3), ptr(2)}));
    EXPECT_TRUE(released.empty());
    int32_t count = 0;
    for (int32_t i = externals::table.used_head; i != externals::none;
         i = externals::table.records[i].next)
        ++count;
    EXPECT_EQ(count, 3);
}

TEST_F(ExternalsTest, TheCollectorReleasesWhatNoHandleReaches) {
    collector::hooks.mark_external = [](uint32_t index) { externals::mark(int32_t(index)); };
    collector::add_sweeper(externals::sweep);
    Rooted<Cell> held(Cell{TYPE_HANDLE, 0, 0, uint32_t(externals::store(ptr(1), font))});
    Rooted<Cell> without(Cell{TYPE_HANDLE, 0, 0, uint32_t(externals::none)});
    externals::store(ptr(2), image); // its handle! is gone
    collector::collect();
    collector::collect();
    EXPECT_EQ(released, (std::vector<std::pair<char, void*>>{{'i', ptr(2)}}));
    EXPECT_TRUE(externals::entry(int32_t(held->w3)));
}
