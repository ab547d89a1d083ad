#include <gtest/gtest.h>

#include <cmath>

#include "flow_fixture.h"

namespace kiv::testing {
namespace {

class LoopsTest : public FlowTest {};

struct Case {
    const char* source;
    const char* expected;
};

TEST_F(LoopsTest, ResultsAndCounts) {
    const Case cases[] = {
        {"n: 0 while [n < 3] [n: n + 1] n", "3"},
        {"n: 0 while [n < 3] [n: n + 1]", "unset"},
        {"while [true] [break/return 5]", "unset"},
        {"n: 0 until [n: n + 1 3 < n] n", "4"},
        {"n: 0 until [n: n + 1 3 < n]", "true"},
        {"until [break]", "unset"},
        {"n: 0 until [n: n + 1 if n < 3 [continue] true] n", "3"},
        {"loop 0 [x: 1]", "none"},
        {"loop -3 [1]", "none"},
        {"repeat i 0 [1]", "none"},
        {"n: 0 loop 2.9 [n: n + 1] n", "2"},
        {"n: 0 loop 3 [n: n + 1]", "3"},
        {"loop 3 [break/return 5]", "5"},
        {"loop 3 [break]", "unset"},
        {"t: 0 repeat i 3 [t: t + i i: 10] t", "6"},
        {"repeat i 2.5 [i]", "2"},
        {"n: 0 forever [n: n + 1 if 4 < n [break]] n", "5"},
        {"forever [break/return 7]", "7"},
        {"t: 0 foreach x [1 2 3] [t: t + x] t", "6"},
        {"foreach x [1 2] [x * 10]", "20"},
        {"foreach x [] [1]", "unset"},
        {"n: 0 foreach [a b] [1 2 3] [n: n + 1] n", "2"},
        {"foreach [a b] [1 2 3] [b]", "none"},
        {"foreach [a b] [1 2 3 4] [a * b]", "12"},
        {"foreach c \"abc\" [c]", "#\"c\""},
        {"foreach [a b] \"abc\" [b]", "none"},
        {"foreach x [1 2 3] [if 1 < x [break/return x * 100]]", "200"},
        {"s: [1 2 3] forall s [s]", "[3]"},
        {"s: [1 2 3] forall s [s] s", "[1 2 3]"},
        {"s: [1 2 3] n: 0 forall s [n: n + 1 if 1 < n [break]] s", "[2 3]"},
        {"s: [] forall s [1]", "unset"},
        {"s: \"ab\" forall s [s]", "\"b\""},
        {"remove-each x [1 2 3 4] [even? x]", "[1 3]"},
        {"b: [1 2 3 4] remove-each x b [x < 3] b", "[3 4]"},
        {"remove-each x [1 2] [()]", "[]"},
        {"remove-each [a b] [1 2 3 4 5] [a < 3]", "[3 4 5]"},
        {"remove-each [] [1 2] [true]", "[1 2]"},
        {"remove-each x [1 2 3] [if 1 < x [break] true]", "[2 3]"},
        {"remove-each x [1 2 3] [if x < 2 [continue] true]", "[1]"},
        {"remove-each c \"abcd\" [c < #\"c\"]", "\"cd\""},
        // The tail is read anew at every step.
        {"n: 0 b: [1 2 3 4] foreach x b [n: n + 1 remove-each y b [true]] n", "1"},
        {"n: 0 b: [1 2 3 4] foreach x b [n: n + 1 remove-each y b [y < 3]] n", "2"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.expected) << c.source;
}

TEST_F(LoopsTest, ContinueAndBreakInNestedLoops) {
    const Case cases[] = {
        {"t: 0 repeat i 5 [if i < 3 [continue] t: t + i] t", "12"},
        {"t: 0 foreach x [1 2 3 4] [if x < 3 [continue] t: t + x] t", "7"},
        {"t: 0 loop 3 [loop 5 [t: t + 1 break] t: t + 10] t", "33"},
        {"t: 0 loop 2 [repeat i 4 [if i < 4 [continue] t: t + i] t: t + 100] t", "208"},
        {"t: 0 foreach x [1 2] [forever [t: t + x break/return 9]]", "9"},
        {"loop 2 [while [true] [break/return 1] 3]", "3"},
        {"loop 3 [do [break/return 4]]", "4"},
        {"n: 0 while [n < 5] [n: n + 1 do [if n < 5 [continue]] n: 50] n", "50"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.expected) << c.source;
}

TEST_F(LoopsTest, ExitsFromFunctionsThroughLoops) {
    run("f: make function! [[] [break/return 9]] "
        "g: make function! [[x] [if 2 < x [break]]] "
        "h: make function! [[] [loop 3 [repeat i 3 [foreach x [1 2] [return 42]]] 0]] "
        "k: make function! [[] [n: 0 forever [n: n + 1 if 2 < n [exit]] 99]] "
        "m: make function! [[] [do [loop 2 [while [true] [return 5]]] 0]]");
    const Case cases[] = {
        {"loop 5 [f]", "9"}, {"n: 0 repeat i 10 [n: i g i] n", "3"},
        {"h", "42"},         {"1 + h", "43"},
        {"k", "unset"},      {"k n", "3"},
        {"m", "5"},          {"loop 2 [m]", "5"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.expected) << c.source;
}

TEST_F(LoopsTest, Errors) {
    struct ErrorCase {
        const char* source;
        uint32_t id;
    };
    const ErrorCase cases[] = {
        {"foreach [] [1 2] [1]", err::script::invalid_arg},
        {"foreach [a 1] [1 2] [1]", err::script::invalid_arg},
        {"foreach [a 1] \"ab\" [1]", err::script::invalid_arg},
        {"remove-each [a 1] [1 2] [1]", err::script::invalid_arg},
        {"while [break] [1]", err::throw_::while_cond},
        {"while [continue] [1]", err::throw_::while_cond},
        {"while [()] [1]", err::script::no_return},
        {"s: 5 forall s [1]", err::script::expect_arg},
        {"s: [1 2] forall s [s: [3 4]]", err::script::bad_loop_series},
        {"loop 1e300 [1]", err::script::out_of_range},
        {"loop -1e300 [1]", err::script::out_of_range},
        {"repeat i 3e9 [break]", err::script::out_of_range},
        {"break", err::throw_::break_},
        {"continue", err::throw_::continue_},
        {"return 1", err::throw_::return_},
        {"exit", err::throw_::return_},
        {"f: make function! [[] [break]] f", err::throw_::break_},
    };
    for (const ErrorCase& c : cases) EXPECT_EQ(error_of(c.source), int32_t(c.id)) << c.source;
    // The stack is whole after each of them.
    EXPECT_EQ(run("t: 0 loop 3 [t: t + 1] t"), "3");
}

TEST_F(LoopsTest, FloatCountsAreRangeChecked) {
    for (double d : {std::nan(""), HUGE_VAL, -HUGE_VAL, 2147483648.0, -2147483649.0}) {
        Cell count{TYPE_FLOAT, 0, 0, 0};
        cell::put_float(count, d);
        runtime::last_error = {runtime::Category::user, 0};
        EXPECT_THROW(natives::loop_count(count), runtime::Throw) << d;
        EXPECT_EQ(runtime::last_error.id, err::script::out_of_range) << d;
        stack::reset();
    }
    for (auto [d, n] : {std::pair{2147483647.9, 2147483647},
                        {-2147483648.9, int32_t(-2147483648)},
                        {-0.5, 0},
                        {3.99, 3}}) {
        Cell count{TYPE_FLOAT, 0, 0, 0};
        cell::put_float(count, d);
        natives::loop_count(count);
        EXPECT_EQ(cell::type_of(count), uint32_t(TYPE_INTEGER));
        EXPECT_EQ(int32_t(count.w2), n) << d;
    }
}

TEST_F(LoopsTest, RepeatNextCountsTheWord) {
    run("i: 4");
    natives::repeat_next(word::load("i"));
    EXPECT_EQ(run("i"), "5");
}

} // namespace
} // namespace kiv::testing
