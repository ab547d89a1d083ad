#include <gtest/gtest.h>

#include <string>

#include "evaluator/interpreter.h"
#include "flow_fixture.h"

namespace kiv::testing {
namespace {

// Runs each test with the flat core on, and puts the switch back.
class FlatCoreTest : public FlowTest {
  protected:
    void SetUp() override {
        FlowTest::SetUp();
        saved_ = interpreter::flat_core;
        interpreter::flat_core = true;
        natives::register_native(97, interrupt, {0, 0});
        run("interrupt: make native! [[] 97] "
            "deep: make function! [[n] [either n < 1 [interrupt forever []] [deep n - 1]]] "
            "fail: make function! [[n] [either n < 1 [n + none] [(fail n - 1)]]] "
            "twice: make function! [[x] [x + x]]");
    }
    void TearDown() override {
        stack::clear_interrupt();
        interpreter::flat_core = saved_;
        FlowTest::TearDown();
    }

    // Asks for the halt, as Ctrl-C at the console does.
    static void interrupt(bool, const int32_t*) { stack::interrupt(true); }

    // The result of the text, or its error id, in the mode given.
    std::string outcome(const std::string& text, bool core) {
        interpreter::flat_core = core;
        int32_t id = -1;
        std::string result;
        Cell* base = stack::state.base;
        stack::Frame* ctop = stack::state.ctop;
        try {
            result = run(text);
        } catch (const runtime::Throw& t) {
            stack::state.base = stack::state.top = base;
            stack::state.ctop = ctop;
            id = t.code == runtime::code::error ? int32_t(runtime::last_error.id) : -2;
        }
        interpreter::flat_core = true;
        return id == -1 ? result : "error " + std::to_string(id);
    }

  private:
    bool saved_ = false;
};

// A halt asked for deep in a recursion comes at the next call, and the
// functions left by it run as before: their contexts are their own again.
TEST_F(FlatCoreTest, HaltInsideDeepRecursion) {
    for (const char* depth : {"1", "50", "400"}) {
        EXPECT_EQ(run(std::string("catch/name [deep ") + depth + "] 'console"), "halt-request")
            << depth;
        stack::clear_interrupt();
        EXPECT_EQ(run("twice 21"), "42") << "after a halt at depth " << depth;
        EXPECT_EQ(run("catch/name [loop 3 [twice 1] 2] 'console"), "2");
    }
}

// An error deep in a recursion of bodies and parens leaves nothing of the
// core's own behind: the same error comes again, and other calls run.
TEST_F(FlatCoreTest, ErrorsLeaveTheCallsAsTheyWere) {
    std::string walker = outcome("fail 30", false);
    EXPECT_EQ(walker.rfind("error ", 0), 0u) << walker;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(outcome("fail 30", true), walker);
        EXPECT_EQ(run("twice 4"), "8");
    }
    EXPECT_EQ(run("loop 3 [try [fail 2]] twice 5"), "10");
}

// Both evaluators give the same results and errors.
TEST_F(FlatCoreTest, SameOutcomeAsTheWalker) {
    const char* programs[] = {
        "twice 3 + 4",
        "twice (twice 2)",
        "either 1 < 2 [twice 3] [0]",
        "either 2 < 1 [0] [(twice 3) + 1]",
        "b: [1 + 2] loop 3 [do b] poke b 2 '* do b",
        "x: 0 loop 3 [x: x + (twice x) + 1] x",
        "t: make function! [[a b] [a - b]] t 9 t 1 2",
        "t 9",
        "twice",
        "catch [loop 5 [if 2 < 3 [throw twice 8]]]",
        "r: 0 loop 10 [r: r + 1 if 4 < r [break]] r",
        "u: make function! [[] [loop 3 [return 6] 7]] u",
        "either",
        "1 + none",
        "(1 + 2) * 3",
        "rr: make function! [[n] [either n < 1 [n + none] [try [rr n - 1] n]]] rr 3",
    };
    for (const char* text : programs) EXPECT_EQ(outcome(text, true), outcome(text, false)) << text;
}

} // namespace
} // namespace kiv::testing
