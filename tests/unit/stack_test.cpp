#include <gtest/gtest.h>

#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/throw.h"
#include "tests/unit/bare_stack.h"
#include "tests/unit/fresh_globals.h"

using namespace kiv;

namespace {

constexpr uint32_t body = test::body_symbol, anon = test::anon_symbol;
using test::integer;
using test::word;

class StackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::reset_globals();
        stack::init(body, anon);
        runtime::record.pending = 0;
        test::collect_under_stress();
    }
    void TearDown() override { test::release_globals(); }

    // Expects a throw error with the id and the stack exactly as before.
    template <class F>
    void expect_throw_error(uint32_t id, F exit) {
        auto before = stack::state;
        try {
            exit();
            FAIL() << "expected a raise";
        } catch (const runtime::Throw& t) {
            EXPECT_EQ(t.code, runtime::code::error);
            EXPECT_EQ(runtime::last_error.category, runtime::Category::thrw);
            EXPECT_EQ(runtime::last_error.id, id);
        }
        EXPECT_EQ(stack::state.base, before.base);
        EXPECT_EQ(stack::state.top, before.top);
        EXPECT_EQ(stack::state.ctop, before.ctop);
        EXPECT_EQ(runtime::record.pending, 0u);
    }
};

} // namespace

TEST_F(StackTest, EmptyStackEdges) {
    EXPECT_EQ(stack::get_top(), stack::state.bottom);
    stack::push(integer(1));
    stack::pop(5);
    EXPECT_EQ(stack::state.top, stack::state.bottom);
}

TEST_F(StackTest, UnwindKeepsResultAndRevertEmptiesCaller) {
    stack::push(integer(7));
    Cell* caller_base = stack::state.base;
    stack::mark_native(word(10));
    Cell* callee_base = stack::state.base;
    stack::push(integer(42));
    stack::push(integer(43));
    stack::unwind();
    EXPECT_EQ(stack::state.base, caller_base);
    EXPECT_EQ(stack::state.top, callee_base + 1);
    EXPECT_EQ(stack::get_top()->w2, 42u);

    stack::mark_native(word(10));
    stack::push(integer(5));
    stack::unwind_last();
    EXPECT_EQ(stack::state.base->w2, 5u);

    stack::mark_native(word(10));
    stack::push(integer(9));
    stack::revert();
    EXPECT_EQ(stack::state.top, stack::state.base);
}

TEST_F(StackTest, FunctionFramesRestoreTheirContext) {
    NodeId ctx = memory::alloc_cells(2);
    Buffer* b = memory::buffer_of(ctx);
    cell::append_unset(b)->w2 = 77; // the context cell's values word
    cell::append_unset(b);
    stack::mark_func_ctx(word(10), ctx);
    stack::push(integer(1));
    stack::mark_func(word(10), ctx);
    EXPECT_EQ(stack::values_at(memory::buffer_of(ctx)->head_cell()[0].w2)->w2, 1u);
    stack::unwind();
    stack::unwind_func();
    EXPECT_EQ(memory::buffer_of(ctx)->head_cell()[0].w2, 77u);
}

TEST_F(StackTest, BreakLandsOnTheNearestLoopThroughFunctions) {
    stack::mark_loop(word(20));
    Cell* loop_base = stack::state.base;
    stack::push(integer(0));
    stack::mark_interp_func(word(21), 0);
    stack::mark_interp_native(word(22)); // the break native
    stack::push(integer(99));            // break/return value
    stack::throw_break(true, false);
    EXPECT_EQ(runtime::record.pending, runtime::code::brk);
    EXPECT_EQ(stack::state.base, loop_base);
    EXPECT_EQ(stack::state.top, loop_base);
    EXPECT_EQ(stack::state.base->w2, 99u);
    EXPECT_EQ(stack::frame_kind(stack::get_ctop()), stack::kind::loop);
}

TEST_F(StackTest, ExitsWithoutTargetRaiseAndLeaveTheStack) {
    stack::mark_loop(word(20));
    stack::mark_try_all(word(23));
    stack::mark_interp_native(word(22));
    expect_throw_error(2, [] { stack::throw_break(false, false); });
    expect_throw_error(5, [] { stack::throw_break(false, true); });
    expect_throw_error(3, [] { stack::throw_exit(true, false); });
    stack::push(integer(1));
    stack::push(Cell{2, 0, 0, 0});
    expect_throw_error(4, [] { stack::throw_throw(runtime::code::thrw); });
}

TEST_F(StackTest, ReturnFindsTheReturnTarget) {
    stack::mark_interp_func(word(21), 0);
    stack::set_frame_flag(true);
    Cell* func_base = stack::state.base;
    stack::mark_loop(word(20));
    stack::mark_loop(word(20));
    stack::mark_interp_native(word(24));
    stack::push(integer(3));
    stack::throw_exit(true, false);
    EXPECT_EQ(runtime::record.pending, runtime::code::ret);
    EXPECT_EQ(stack::state.base, func_base);
    EXPECT_EQ(stack::state.base->w2, 3u);
    EXPECT_EQ(stack::frame_kind(stack::get_ctop()), stack::kind::function);
}

TEST_F(StackTest, ThrowBringsValueAndNameToTheCatch) {
    stack::mark_catch(word(25));
    Cell* catch_base = stack::state.base;
    stack::mark_interp_func(word(21), 0);
    stack::mark_interp_native(word(26));
    stack::push(integer(8));
    stack::push(word(30));
    stack::throw_throw(runtime::code::thrw);
    EXPECT_EQ(stack::state.base, catch_base);
    EXPECT_EQ(catch_base[0].w2, 8u);
    EXPECT_EQ(catch_base[1].w2, 30u);
    EXPECT_EQ(stack::state.top, catch_base + 2);
}

TEST_F(StackTest, ErrorInsideTryBecomesTheTryNativesResult) {
    stack::mark_interp_native(word(27)); // the try native
    Cell* try_native_base = stack::state.base;
    stack::push(integer(0));
    stack::mark_try(word(27));
    stack::mark_interp_func(word(21), 0);
    stack::push(integer(1));
    Cell error{34, 1, 2, 3};
    try {
        stack::throw_error(error);
        FAIL();
    } catch (const runtime::Throw& t) {
        EXPECT_EQ(t.code, runtime::code::error);
    }
    stack::adjust_post_try();
    EXPECT_EQ(stack::state.base, try_native_base);
    EXPECT_EQ(cell::type_of(*stack::state.base), 34u);
    EXPECT_EQ(stack::frame_kind(stack::get_ctop()), stack::kind::native);
}

TEST_F(StackTest, CallNamesSkipBodyFrames) {
    EXPECT_EQ(stack::get_call_frame(), nullptr);
    stack::mark_interp_func(word(70000), 0); // symbol ids above 16 bits are kept whole
    stack::mark_eval(word(body));
    stack::mark(word(anon), stack::kind::native);
    const stack::Frame* f = stack::get_call_frame();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->symbol, 70000u);
}

TEST_F(StackTest, DeepNestingOverflowsAndRecovers) {
    uint32_t depth = 0;
    try {
        for (;; ++depth) stack::mark_interp_native(word(10));
    } catch (const runtime::Throw& t) {
        EXPECT_EQ(t.code, runtime::code::error);
        EXPECT_EQ(runtime::last_error.category, runtime::Category::internal);
        EXPECT_EQ(runtime::last_error.id, err::internal::stack_overflow);
    }
    EXPECT_EQ(depth, stack::frame_count);
    stack::unwind();
    stack::mark_interp_native(word(10)); // room again

    stack::state.ctop = stack::state.cbottom;
    stack::state.base = stack::state.top = stack::state.bottom;
    try {
        for (;;) stack::push(integer(1));
    } catch (const runtime::Throw&) {
        EXPECT_LT(stack::state.top, stack::state.end);
    }
}
