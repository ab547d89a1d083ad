#include <gtest/gtest.h>

#include <string>

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/throw.h"
#include "runtime/types.h"
#include "tests/unit/fresh_globals.h"

using namespace kiv;

namespace {

class CyclesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::reset_globals();
        cycles::reset();
        test::collect_under_stress();
    }
    void TearDown() override {
        cycles::reset();
        test::release_globals();
    }
};

// Nests guards `levels` deep, then throws.
void nest(uint32_t levels, NodeId node) {
    if (levels == 0) throw runtime::Throw{runtime::code::error};
    cycles::Guard guard(node);
    nest(levels - 1, node + 1);
}

} // namespace

TEST_F(CyclesTest, FindSeesEveryEntryUntilPopped) {
    cycles::push(10);
    cycles::push(20);
    EXPECT_TRUE(cycles::find(10));
    EXPECT_TRUE(cycles::find(20));
    EXPECT_FALSE(cycles::find(30));
    cycles::pop();
    EXPECT_FALSE(cycles::find(20));
    cycles::pop();
    cycles::pop(); // empty: nothing happens
    EXPECT_EQ(cycles::depth(), 0u);
    cycles::push(5);
    cycles::pop_n(3);
    EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(CyclesTest, TheThousandthNestedPushRaisesTooDeepAndEmptiesTheStack) {
    for (uint32_t i = 1; i < cycles::capacity; ++i) cycles::push(i);
    EXPECT_EQ(cycles::depth(), 999u);
    runtime::last_error = {};
    try {
        cycles::push(1000);
        FAIL() << "no error";
    } catch (const runtime::Throw& t) {
        EXPECT_EQ(t.code, runtime::code::error);
    }
    EXPECT_EQ(runtime::last_error.category, runtime::Category::internal);
    EXPECT_EQ(runtime::last_error.id, err::internal::too_deep);
    EXPECT_EQ(cycles::depth(), 0u);
    EXPECT_FALSE(cycles::find(1));
}

TEST_F(CyclesTest, GuardsLeaveNothingBehindWhenAnErrorUnwindsTheWalk) {
    cycles::Guard outer(1);
    try {
        nest(5, 100);
    } catch (const runtime::Throw&) {
    }
    EXPECT_EQ(cycles::depth(), 1u);
    EXPECT_FALSE(cycles::find(100));
    EXPECT_TRUE(cycles::find(1));

    // Too deep inside guards: the stack is emptied, the unwinding guards
    // leave it empty and it works again afterwards.
    try {
        nest(cycles::capacity + 5, 2000);
    } catch (const runtime::Throw&) {
    }
    EXPECT_EQ(cycles::depth(), 0u);
    cycles::push(7);
    EXPECT_EQ(cycles::depth(), 1u);
}

TEST_F(CyclesTest, DetectGivesTheMarkerOfTheValuesType) {
    const NodeId inside = 42;
    cycles::push(inside);
    struct Case {
        Cell value;
        const char* mold;
    };
    const Case cases[] = {
        {{TYPE_BLOCK, 0, inside, 0}, "[...]"},
        {{TYPE_HASH, 0, inside, 9}, "[...]"},
        {{TYPE_PAREN, 3, inside, 0}, "(...)"},
        {{TYPE_MAP, 0, inside, 9}, "#[...]"},
        {{TYPE_OBJECT, inside, 0, 0}, "make object! [...]"},
        {{TYPE_PATH, 0, inside, 0}, "..."},
        {{TYPE_SET_PATH, 0, inside, 0}, "..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mold);
        for (bool mold : {true, false}) {
            int32_t part = 10;
            const char* marker = cycles::detect(c.value, part, mold);
            ASSERT_TRUE(marker);
            std::string expected = mold ? c.mold : "...";
            EXPECT_EQ(marker, expected);
            EXPECT_EQ(part, 10 - int32_t(expected.size()));
        }
    }
    // Not on the stack: no marker, part untouched. An object is known by
    // its context node, not its word 2.
    int32_t part = 10;
    EXPECT_FALSE(cycles::detect(Cell{TYPE_BLOCK, 0, inside + 1, 0}, part, true));
    EXPECT_FALSE(cycles::detect(Cell{TYPE_OBJECT, inside + 1, inside, 0}, part, true));
    EXPECT_EQ(part, 10);
}

TEST_F(CyclesTest, TheCollectorKeepsTheSeriesBeingWalked) {
    // The values are made unreachable on purpose, and collected once below.
    collector::active = false;
    // A block being walked that nothing else holds, with a string in it.
    NodeId walked = memory::alloc_cells(1);
    NodeId inner = memory::alloc_bytes(16);
    Buffer* b = memory::buffer_of(walked);
    *cell::append_unset(b) = Cell{TYPE_STRING, 0, inner, 0};
    memory::alloc_bytes(16); // garbage
    cycles::push(walked);
    collector::add_marker(cycles::mark);
    collector::collect();
    EXPECT_EQ(collector::stats.nodes_freed, 1u);
    EXPECT_EQ(memory::buffer_of(walked)->head_cell()->w2, inner);
    EXPECT_EQ(memory::buffer_of(inner)->node, inner);
}
