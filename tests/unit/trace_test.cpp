#include <gtest/gtest.h>

#include "datatypes/word.h"
#include "evaluation_fixture.h"
#include "evaluator/trace.h"

using namespace kiv;
using kiv::testing::EvaluationTest;

namespace {

class TraceTest : public EvaluationTest {
  protected:
    void SetUp() override {
        EvaluationTest::SetUp();
        run("append: make action! [[series value /part length /only /dup count] 25]");
    }

    void TearDown() override {
        interpreter::set_traced_callbacks(0);
        EvaluationTest::TearDown();
    }

    // The value of a word of the global context.
    Cell value_of(const char* name) { return *word::value_cell(word::load(name)); }
};

} // namespace

TEST_F(TraceTest, MaskFromTheEventWordsAtTheHeadOfTheBody) {
    using namespace interpreter;
    struct MaskCase {
        const char* body;
        uint32_t mask;
    } cases[] = {
        {"[[fetch set] 1]", event::fetch | event::set},
        {"[[Expr bogus 3 \"x\" end] 1]", event::expr | event::end}, // other values skipped
        {"[[]]", 0},
        {"[1 [fetch]]", event::all},
        {"[]", event::all},
    };
    for (const MaskCase& c : cases) {
        run(std::string("t: func [e] ") + c.body);
        EXPECT_EQ(trace_mask(value_of("t")), c.mask) << c.body;
    }
}

// The last argument is the argument-stack frame at the event: the
// evaluation frame of the block lies above the frame of `do`.
TEST_F(TraceTest, FrameArgumentIsAPairOfStackPositions) {
    run("log: make block! 8 t: func [e s i v r st] [[init enter] append log :st]");
    run("do/trace [1] :t");
    Cell log = value_of("log");
    ASSERT_EQ(block::rs_length(log), 2);
    const Cell* pairs = block::rs_head(log);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(cell::type_of(pairs[i]), uint32_t(TYPE_PAIR));
        EXPECT_LE(pairs[i].w2, pairs[i].w3);
    }
    EXPECT_GT(pairs[1].w2, pairs[0].w2);
}

// A runtime callback (here a sort comparator) is traced only when its
// kind is among the traced callbacks, and then bracketed by call and
// return.
TEST_F(TraceTest, CallbacksTracedByKind) {
    run("log: make block! 8 t: func [e s i v r st] [[call return fetch] append log e] "
        "c: func [a b] [a]");
    Rooted<Cell> tracer(value_of("t"));
    Rooted<Cell> comparator(value_of("c"));
    Cell values[2] = {Cell{TYPE_INTEGER, 0, 1, 0}, Cell{TYPE_INTEGER, 0, 2, 0}};
    auto call_comparator = [&] {
        ASSERT_TRUE(interpreter::trace_begin(*tracer));
        interpreter::call_with_values(*comparator, values, 2, interpreter::call_kind::sort);
        interpreter::trace_end();
        stack::reset();
    };
    call_comparator();
    EXPECT_EQ(run("log"), "[]");
    interpreter::set_traced_callbacks(interpreter::call_kind::parse | interpreter::call_kind::sort);
    call_comparator();
    EXPECT_EQ(run("log"), "[call fetch return]");
    EXPECT_FALSE(interpreter::tracing);
}

// Tracing is on only between begin and end, and off while the tracer runs
// even when the tracer calls a `trace` function.
TEST_F(TraceTest, TraceFunctionsFollowTheTracedMode) {
    run("log: make block! 8 f: func [[trace] x] [add x 1] "
        "t: func [e s i v r st] [[call] append log r f 1]");
    EXPECT_EQ(run("f 1 log"), "[]");
    EXPECT_EQ(run("do/trace [f 2] :t log"), "[f add]");
    EXPECT_FALSE(interpreter::tracing);
    EXPECT_FALSE(interpreter::traced_mode);
}
