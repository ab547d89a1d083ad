#include <gtest/gtest.h>

#include "interpreter_fixture.h"

using namespace kiv;
using kiv::testing::InterpreterTest;

TEST_F(InterpreterTest, Expressions) {
    struct Case {
        const char* source;
        const char* result;
    } cases[] = {
        {"1 + 2 * 3", "9"},
        {"1 + (2 * 3)", "7"},
        {"a: 5 a * a", "25"},
        {"a: b: 7 a + b", "14"},
        {"'word", "word"},
        {"[1 2]", "[1 2]"},
        {"add 1 2 * 10", "21"},
        {"add 1 + 1 2", "4"},
        {"", "unset"},
        {"f: make function! [[a b] [a - b]] f 10 3", "7"},
        {"f: make function! [[n] [either n < 2 [n] [n]]] 1", "1"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.result) << c.source;
}

TEST_F(InterpreterTest, Conditionals) {
    struct Case {
        const char* source;
        const char* result;
    } cases[] = {
        {"if true [1]", "1"},
        {"if false [1]", "none"},
        {"unless none [1]", "1"},
        {"unless 0 [1]", "none"},
        {"either 1 [2] [3]", "2"},
        {"either false [2] [3]", "3"},
        {"any [none false 5]", "5"},
        {"any []", "none"},
        {"all [1 2 3]", "3"},
        {"all []", "none"},
        {"all [1 none 3]", "none"},
        {"switch 2 [1 [10] 2 3 [30]]", "30"},
        {"switch 5 [1 [10]]", "none"},
        {"switch/default 5 [1 [10]] [20]", "20"},
        {"switch [1] [[1] [10]]", "none"},
        {"case [false [1] true [2]]", "2"},
        {"case/all [true [1] false [2]]", "none"},
        {"case/all [true [1] true [2]]", "2"},
        {"case [true 10]", "10"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.result) << c.source;
}

TEST_F(InterpreterTest, Refinements) {
    run("f: make function! [[a /twice /plus b] [either twice [either plus [a * 2 + b] [a * 2]] "
        "[either plus [a + b] [a]]]]");
    EXPECT_EQ(run("f 5"), "5");
    EXPECT_EQ(run("f/twice 5"), "10");
    EXPECT_EQ(run("f/plus 5 1"), "6");
    EXPECT_EQ(run("f/twice/plus 5 1"), "11");
    EXPECT_EQ(run("f/plus/twice 5 1"), "11");
    EXPECT_EQ(error_of("f/minus 5"), int32_t(err::script::no_refine));
    EXPECT_EQ(error_of("f/twice/twice 5"), int32_t(err::script::dup_refine));
}

TEST_F(InterpreterTest, Errors) {
    struct Case {
        const char* source;
        uint32_t id;
    } cases[] = {
        {"unknown-word", err::script::no_value}, {"a:", err::script::need_value},
        {"+ 1", err::script::no_op_arg},         {"add 1", err::script::no_arg},
        {"if 1 2", err::script::expect_arg},     {"either () [1] [2]", err::script::no_return},
    };
    for (const Case& c : cases) EXPECT_EQ(error_of(c.source), int32_t(c.id)) << c.source;
}

TEST_F(InterpreterTest, RecursionAndLocals) {
    run("fib: make function! [[n] [either n < 2 [n] [(fib n - 1) + (fib n - 2)]]]");
    EXPECT_EQ(run("fib 15"), "610");
}
