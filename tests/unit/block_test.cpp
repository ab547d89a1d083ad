#include "datatype_fixture.h"

#include <vector>

#include "datatypes/block.h"
#include "datatypes/symbol.h"
#include "runtime/cycles.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

int32_t compare_blocks(const Cell* a, const Cell* b, int32_t op) {
    if (cell::type_of(*b) != TYPE_BLOCK) return -2;
    return block::compare_each(*a, *b, op);
}

class BlockTest : public DatatypeTest {
  protected:
    void SetUp() override {
        DatatypeTest::SetUp();
        // A block! row with the workers of this module, enough to nest blocks.
        datatype::register_type(TYPE_BLOCK, 0, "block!",
                                {{Slot::form, block::form},
                                 {Slot::mold, block::mold},
                                 {Slot::compare, compare_blocks}});
    }

    // A new block, kept for the rest of the test.
    static Cell empty_block(int32_t capacity) {
        Cell b;
        return test::hold(*block::make_at(b, capacity));
    }

    static Cell ints(std::vector<int32_t> values, uint32_t new_lines = 0) {
        Cell b = empty_block(int32_t(values.size()));
        for (size_t i = 0; i < values.size(); ++i) {
            Cell* c = integer::make_in(b, values[i]);
            if (new_lines & (1u << i)) c->header |= cell::new_line_flag;
        }
        return b;
    }

    static std::vector<int32_t> values_of(const Cell& b) {
        std::vector<int32_t> out;
        for (Cell* c = block::rs_head(b); c < block::rs_tail(b); ++c)
            out.push_back(integer::get(*c));
        return out;
    }
};

using V = std::vector<int32_t>;

} // namespace

TEST_F(BlockTest, AccessHelpers) {
    Cell b = ints({1, 2, 3});
    EXPECT_EQ(block::rs_length(b), 3);
    b.w1 = 5; // a head past the tail, as after another value shortened the buffer
    EXPECT_EQ(block::rs_length(b), -2);
    EXPECT_EQ(block::clip_head(b), block::rs_tail(b));
    EXPECT_EQ(b.w1, 3u);
    EXPECT_TRUE(block::at_tail(b));
    b.w1 = 1;
    EXPECT_FALSE(block::next_at_tail(b));
    EXPECT_TRUE(block::next_at_tail(b));
    EXPECT_TRUE(block::next_at_tail(b)); // stays at the tail
    EXPECT_EQ(b.w1, 3u);
    EXPECT_EQ(integer::get(*block::rs_abs_at(b, 1)), 2);
    block::truncate_at(b, 9); // never extends
    EXPECT_EQ(values_of(Cell{TYPE_BLOCK, 0, b.w2, 0}), V({1, 2, 3}));
    b.w1 = 1;
    block::truncate_at_head(b);
    EXPECT_EQ(values_of(Cell{TYPE_BLOCK, 0, b.w2, 0}), V({1}));
}

TEST_F(BlockTest, ConstructionAndInsertion) {
    Cell b = empty_block(0);
    EXPECT_EQ(b.header, uint32_t(TYPE_BLOCK));
    EXPECT_EQ(block::rs_length(b), 0);
    for (int32_t i = 1; i <= 40; ++i) block::append_value(b, int_cell(i));
    EXPECT_EQ(block::rs_length(b), 40);
    EXPECT_EQ(integer::get(*(block::rs_tail(b) - 1)), 40);

    Cell small = ints({7, 8});
    small.w1 = 1;
    block::insert_value(small, int_cell(5), true, false);
    EXPECT_EQ(small.w1, 2u);
    block::insert_value(small, int_cell(1), false, true);
    small.w1 = 0;
    EXPECT_EQ(values_of(small), V({1, 7, 5, 8}));

    Cell target = ints({9});
    block::insert_cells(target, ints({1, 2, 3}));
    EXPECT_EQ(target.w1, 3u);
    target.w1 = 0;
    EXPECT_EQ(values_of(target), V({1, 2, 3, 9}));

    // A block appended to itself copies the cells it had.
    block::append_cells(target, target);
    EXPECT_EQ(values_of(target), V({1, 2, 3, 9, 1, 2, 3, 9}));

    Cell parent = ints({});
    Cell* child = block::make_in(&parent, 4);
    EXPECT_EQ(cell::type_of(*child), TYPE_BLOCK);
    EXPECT_EQ(block::rs_length(parent), 1);
    Cell* root = block::make_root(nullptr, 2);
    EXPECT_TRUE(memory::buffer_of(root->w2)->flags & series_flag::heap);
}

TEST_F(BlockTest, RepeatedInsertion) {
    Cell one = int_cell(7);
    struct Case {
        int32_t dup;
        V want;
        uint32_t size; // buffer bytes afterwards
    } cases[] = {
        {3, {7, 7, 7}, 96}, // doubled below 5
        {6, {7, 7, 7, 7, 7, 7}, 96}, {1, {7}, 16}, {0, {}, 16}, {-2, {}, 16},
    };
    for (const Case& c : cases) {
        Cell b = empty_block(1);
        block::insert_repeated(b, 0, &one, 1, c.dup);
        EXPECT_EQ(values_of(b), c.want) << c.dup;
        EXPECT_EQ(memory::buffer_of(b.w2)->size, c.size) << c.dup;
    }
    Cell b = ints({1, 4});
    Cell pair[2] = {int_cell(2), int_cell(3)};
    block::insert_repeated(b, 1, pair, 2, 2);
    EXPECT_EQ(values_of(b), V({1, 2, 3, 2, 3, 4}));
    EXPECT_EQ(error_of([&] { block::insert_repeated(b, 0, pair, 2, INT32_MAX); }),
              (runtime::ErrorSite{runtime::Category::internal, err::internal::no_memory}));
    EXPECT_EQ(block::rs_length(b), 6);
}

TEST_F(BlockTest, LookupAndRemoval) {
    Cell b = ints({1, 2, 3, 2});
    EXPECT_EQ(integer::get(*block::select_ptr(b, int_cell(2))), 3);
    EXPECT_EQ(block::select_ptr(b, int_cell(3)), block::rs_head(b) + 3);
    Cell last = ints({5});
    EXPECT_EQ(block::select_ptr(last, int_cell(5)), &none::value);
    EXPECT_EQ(block::select_ptr(b, char_cell(2)), &none::value); // lookup equality is typed

    b.w1 = 2;
    EXPECT_TRUE(block::remove_value(b, int_cell(1), true));
    EXPECT_FALSE(block::remove_value(b, int_cell(9), true));
    EXPECT_FALSE(block::remove_value(b, int_cell(1), false));
    b.w1 = 0;
    EXPECT_EQ(values_of(b), V({2, 3, 2}));
    b.w1 = 1;
    EXPECT_FALSE(block::remove_value(b, int_cell(2), false)); // the 2 after the head
    b.w1 = 0;
    EXPECT_EQ(values_of(b), V({2, 3}));
}

TEST_F(BlockTest, CompareEach) {
    Cell none_block = empty_block(1);
    block::append_value(none_block, none::value);
    struct Case {
        Cell a, b;
        int32_t op, want;
    } cases[] = {
        {ints({1, 2}), ints({1, 2, 3}), 0, 1},
        {ints({1, 2}), ints({1, 2, 3}), 3, -1},
        {ints({1, 2, 3}), ints({1, 2}), 5, 1},
        {ints({}), ints({1}), 3, -1}, // empty orders first
        {ints({1}), ints({}), 3, 1},
        {ints({}), ints({}), 3, 0},
        {ints({1, 2}), ints({1, 3}), 3, -1},
        {ints({1, 2}), ints({1, 2}), 0, 0},
        {none_block, ints({1}), 3, -1}, // by type id
        {ints({1}), none_block, 3, 1},
        {ints({1}), ints({1}), 9, -1}, // equal but not the same
    };
    for (const Case& c : cases)
        EXPECT_EQ(block::compare_each(c.a, c.b, c.op), c.want)
            << values_of(c.a).size() << " vs " << values_of(c.b).size() << " op " << c.op;
    Cell b = ints({1});
    EXPECT_EQ(block::compare_each(b, b, 9), 0);
}

TEST_F(BlockTest, MoldNewLinesAndIndent) {
    Cell inner = ints({1, 2}, 0b01);
    Cell outer = ints({});
    block::append_value(outer, inner);
    integer::make_in(outer, 4);
    struct Case {
        Cell value;
        bool only, flat;
        const char* want;
    } cases[] = {
        {ints({1, 2, 3}), false, false, "[1 2 3]"},
        {ints({1, 2, 3}, 0b010), false, false, "[1\n2 3]"},
        {ints({1, 2, 3}, 0b001), false, false, "[\n    1 2 3\n]"},
        {ints({1, 2, 3}, 0b011), false, false, "[\n    1\n    2 3\n]"},
        {ints({1, 2, 3}, 0b011), false, true, "[1 2 3]"},
        {ints({1, 2, 3}, 0b011), true, false, "1\n2 3"},
        {outer, false, false, "[[\n    1 2\n] 4]"},
        {ints({}), false, false, "[]"},
    };
    for (const Case& c : cases) {
        Cell buffer = new_buffer();
        block::mold(&c.value, &buffer, c.only, false, c.flat, nullptr, 1000, 0);
        EXPECT_EQ(text_of(buffer), c.want);
    }
}

TEST_F(BlockTest, FormSeparatesWithSpaces) {
    Cell b = empty_block(3);
    block::append_value(b, char_cell('\n'));
    integer::make_in(b, 1);
    block::append_value(b, char_cell('x'));
    EXPECT_EQ(formed(b), "\n1 x");
    EXPECT_EQ(formed(ints({1, 2, 3})), "1 2 3");
}

TEST_F(BlockTest, SelfContainingBlocksShowTheCycleMarker) {
    Cell b = ints({1});
    block::append_value(b, b);
    EXPECT_EQ(molded(b), "[1 [...]]");
    EXPECT_EQ(formed(b), "1 ...");
    EXPECT_EQ(block::compare_each(b, b, 0), 0);
    // A cycle equals only a cycle.
    Cell other = ints({1});
    block::append_value(other, other);
    EXPECT_EQ(block::compare_each(b, other, 0), 0);
    Cell flat = ints({1});
    block::append_value(flat, ints({1}));
    EXPECT_EQ(block::compare_each(b, flat, 0), -1);
}

TEST_F(BlockTest, PartLimitStopsTheWalk) {
    Cell b = ints({10, 20, 30, 40});
    Cell buffer = new_buffer();
    Cell limit = int_cell(4);
    int32_t left = block::mold(&b, &buffer, false, false, false, &limit, 4, 0);
    EXPECT_EQ(text_of(buffer), "[10 20]");
    EXPECT_EQ(left, -3);
}

TEST_F(BlockTest, FrameHelpers) {
    Cell* saved_base = stack::state.base;
    Cell* building = block::push_new(0); // the block under construction
    stack::state.base = stack::state.top;
    integer::push(5);
    block::append_frame_value();
    *stack::state.base = int_cell(4);
    block::insert_frame_value();
    *stack::state.base = int_cell(3);
    block::insert_frame_value();
    EXPECT_EQ(building->w1, 2u);
    building->w1 = 0;
    EXPECT_EQ(values_of(*building), V({4, 3, 5}));

    stack::state.top = stack::state.base;
    block::push(*building);
    integer::push(6);
    Cell* result = block::append_second();
    EXPECT_EQ(result, stack::state.base);
    EXPECT_EQ(values_of(*building), V({4, 3, 5, 6}));
    stack::state.base = saved_base;
    stack::state.top = saved_base;
}

TEST_F(BlockTest, FindWordByCanonicalSymbol) {
    Cell b = empty_block(6);
    auto word = [](uint32_t type, const char* name) {
        return Cell{type, 0, symbol::intern(name), 0};
    };
    block::append_value(b, word(TYPE_REFINEMENT, "key"));
    integer::make_in(b, 1);
    block::append_value(b, word(TYPE_SET_WORD, "KEY"));
    integer::make_in(b, 2);
    block::append_value(b, word(TYPE_WORD, "key"));
    integer::make_in(b, 3);
    block::append_value(b, word(TYPE_GET_WORD, "last"));

    Cell key = word(TYPE_WORD, "key");
    EXPECT_EQ(integer::get(*block::find_word(b, key, false)), 2); // refinements are skipped
    EXPECT_EQ(integer::get(*block::find_word(b, key, true)), 3);
    EXPECT_EQ(block::find_word(b, word(TYPE_WORD, "Last"), false), &none::value);
    EXPECT_EQ(block::find_word(b, word(TYPE_WORD, "absent"), false), &none::value);
}

TEST_F(BlockTest, PushCopyShallowAndDeep) {
    Cell inner = ints({1, 2});
    Cell paren = ints({3});
    paren.header = TYPE_PAREN;
    Cell outer = ints({0});
    block::append_value(outer, inner)->header |= cell::new_line_flag;
    block::append_value(outer, paren);
    outer.w1 = 1; // copies start at the head

    struct Case {
        bool deep, any_block;
        bool inner_copied, paren_copied;
    } cases[] = {
        {false, false, false, false},
        {true, false, true, false},
        {true, true, true, true},
    };
    for (const Case& c : cases) {
        stack::state.top = stack::state.base = stack::state.bottom;
        Cell* copy = block::push_copy(outer, c.deep, c.any_block);
        ASSERT_EQ(block::rs_length(*copy), 2);
        EXPECT_NE(copy->w2, outer.w2);
        const Cell* cells = block::rs_head(*copy);
        EXPECT_EQ(cells[0].w2 != inner.w2, c.inner_copied);
        EXPECT_EQ(cells[1].w2 != paren.w2, c.paren_copied);
        EXPECT_EQ(cells[0].header, TYPE_BLOCK | cell::new_line_flag);
        EXPECT_EQ(cell::type_of(cells[1]), TYPE_PAREN);
        EXPECT_EQ(values_of(cells[0]), V({1, 2}));
    }
    stack::state.top = stack::state.base = stack::state.bottom;
}

TEST_F(BlockTest, DeepCopyOfASelfContainingBlockIsTooDeep) {
    Cell b = ints({1});
    block::append_value(b, b);
    EXPECT_EQ(error_of([&] { block::push_copy(b, true, false); }),
              (runtime::ErrorSite{runtime::Category::internal, err::internal::too_deep}));
    // The walk left nothing on the cycle stack.
    EXPECT_FALSE(cycles::find(b.w2));
    EXPECT_EQ(molded(b), "[1 [...]]");
    stack::state.top = stack::state.base = stack::state.bottom;
}
