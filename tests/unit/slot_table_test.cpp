#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/collector.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/slot_table.h"
#include "runtime/types.h"
#include "tests/unit/fresh_globals.h"

using namespace kiv;

namespace {

class SlotTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::reset_globals();
        slot_table::init();
        test::collect_under_stress();
    }
    void TearDown() override { test::release_globals(); }
};

Cell integer(uint32_t n) {
    return {TYPE_INTEGER, 0, n, 0};
}
Cell character(uint32_t cp) {
    return {TYPE_CHAR, 0, cp, 0};
}

uint32_t block_length() {
    return memory::buffer_of(slot_table::root.w2)->length();
}

} // namespace

TEST_F(SlotTableTest, HandlesCountFromOneAndAFullTableDoubles) {
    EXPECT_EQ(block_length(), slot_table::initial_capacity);
    for (uint32_t i = 1; i <= 100; ++i) ASSERT_EQ(slot_table::add(character(i)), i);
    EXPECT_EQ(slot_table::capacity(), 100u);
    EXPECT_EQ(slot_table::add(character(101)), 101u);
    EXPECT_EQ(slot_table::capacity(), 200u);
    EXPECT_EQ(block_length(), 200u);
    for (uint32_t i = 1; i <= 101; ++i) {
        Cell* c = slot_table::get(i);
        ASSERT_TRUE(c);
        EXPECT_EQ(c->w2, i);
        EXPECT_EQ(cell::type_of(*c), uint32_t(TYPE_CHAR));
    }
    EXPECT_EQ(slot_table::add(character(102)), 102u);
}

TEST_F(SlotTableTest, TheMostRecentlyFreedSlotIsReusedFirst) {
    for (uint32_t i = 1; i <= 6; ++i) slot_table::add(integer(i));
    slot_table::remove(1);
    EXPECT_EQ(slot_table::add(integer(10)), 1u);
    slot_table::remove(3);
    slot_table::remove(5);
    EXPECT_EQ(slot_table::add(integer(50)), 5u);
    EXPECT_EQ(slot_table::add(integer(30)), 3u);
    EXPECT_EQ(slot_table::add(integer(7)), 7u);
    EXPECT_EQ(slot_table::get(5)->w2, 50u);
}

TEST_F(SlotTableTest, StaleAndOutOfRangeHandlesGiveNull) {
    uint32_t a = slot_table::add(integer(4)); // an integer! like the free cells
    uint32_t b = slot_table::add(integer(5));
    ASSERT_TRUE(slot_table::get(a));
    EXPECT_EQ(slot_table::get(a)->w2, 4u);
    slot_table::remove(a);
    for (uint32_t h : {a, 0u, 3u, 100u, 101u, 0xFFFFFFFFu}) EXPECT_FALSE(slot_table::get(h)) << h;
    EXPECT_TRUE(slot_table::get(b));
}

TEST_F(SlotTableTest, RemovingZeroOrAStaleHandleChangesNothing) {
    uint32_t a = slot_table::add(integer(1));
    uint32_t b = slot_table::add(integer(2));
    slot_table::remove(0);
    EXPECT_EQ(slot_table::add(integer(3)), 3u);
    slot_table::remove(a);
    slot_table::remove(a);    // a second remove must not chain the cell twice
    slot_table::remove(5000); // beyond the table
    uint32_t c = slot_table::add(integer(10));
    uint32_t d = slot_table::add(integer(11));
    EXPECT_EQ(c, a);
    EXPECT_NE(d, c);
    EXPECT_EQ(slot_table::get(c)->w2, 10u);
    EXPECT_EQ(slot_table::get(d)->w2, 11u);
    EXPECT_EQ(slot_table::get(b)->w2, 2u);
}

TEST_F(SlotTableTest, StoredValuesSurviveCollectionsEvenWhileTheTableGrows) {
    collector::active = true;
    collector::stress = true;      // poison what buffers leave
    memory::collect_always = true; // and collect at every allocation
    auto text = [](const std::string& s) {
        NodeId node = memory::alloc_bytes(uint32_t(s.size()));
        Buffer* b = memory::buffer_of(node);
        std::memcpy(buffer::reserve_tail(b, uint32_t(s.size())), s.data(), s.size());
        return Cell{TYPE_STRING, 0, node, 0};
    };
    auto contents = [](uint32_t handle) {
        Cell* c = slot_table::get(handle);
        if (!c || cell::type_of(*c) != TYPE_STRING) return std::string("not a string");
        Buffer* b = memory::buffer_of(c->w2);
        return std::string(reinterpret_cast<char*>(b->head), size_t(b->tail - b->head));
    };
    for (uint32_t i = 1; i <= 100; ++i) slot_table::add(text("face " + std::to_string(i)));
    // The value added while the table doubles sits in a block that nothing
    // else holds: the growth's collection frees that block.
    NodeId holder = memory::alloc_cells(1);
    {
        RootedNode keep(holder);
        Cell s = text("the last face");
        Buffer* b = memory::buffer_of(holder);
        *cell::append_unset(b) = s;
    }
    EXPECT_EQ(slot_table::add(*memory::buffer_of(holder)->head_cell()), 101u);
    collector::collect();
    for (uint32_t i = 1; i <= 100; ++i) EXPECT_EQ(contents(i), "face " + std::to_string(i));
    EXPECT_EQ(contents(101), "the last face");
}
