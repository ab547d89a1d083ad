#include <gtest/gtest.h>

#include <cstring>

#include "callable_fixture.h"
#include "evaluator/actions.h"
#include "evaluator/conditionals.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "evaluator/stack.h"
#include "runtime/errors.h"
#include "runtime/throw.h"

using namespace kiv;

namespace {

// lesser? until the comparison natives exist.
void lesser(bool, const int32_t*) {
    actions::compare_to_logic(3);
}

class InterpreterTest : public kiv::testing::CallableTest {
  protected:
    void SetUp() override {
        CallableTest::SetUp();
        stack::init(words::word<"<body>">().w2, words::word<"<anon>">().w2);
        lexer::init();
        interpreter::init();
        runtime::record.pending = 0;
        struct Native {
            uint32_t index;
            natives::Entry entry;
            natives::Arity arity;
        };
        for (Native n : {Native{1, natives::if_, {2, 0}}, Native{2, natives::unless, {2, 0}},
                         Native{3, natives::either, {3, 0}}, Native{4, natives::any, {1, 0}},
                         Native{5, natives::all, {1, 0}}, Native{18, natives::switch_, {2, 1}},
                         Native{19, natives::case_, {1, 1}}, Native{28, lesser, {2, 0}}})
            natives::register_native(n.index, n.entry, n.arity);
        for (uint32_t type = 1; type <= datatype::highest_type(); ++type) {
            if (!datatype::name_of(type).name) continue;
            Cell name = word::load(datatype::name_of(type).name);
            Cell value;
            datatype::make_at(value, type);
            word::set(name, value);
        }
        // `make` comes first: everything else is made with it.
        std::string every_type;
        for (uint32_t type = 1; type <= datatype::highest_type(); ++type)
            if (datatype::name_of(type).name)
                every_type += std::string(" ") + datatype::name_of(type).name;
        Cell spec = read("type spec");
        native::push(TYPE_ACTION, spec, 1);
        Cell make = word::load("make");
        word::set(make, *stack::get_top());
        stack::reset();
        run("any-type!: make typeset! [" + every_type +
            "] "
            "add: make action! [[value1 value2] 11] "
            "subtract: make action! [[value1 value2] 18] "
            "multiply: make action! [[value1 value2] 13] "
            "lesser?: make native! [[value1 value2] 28] "
            "+: make op! :add -: make op! :subtract *: make op! :multiply <: make op! :lesser? "
            "none: make none! 0 true: make logic! 1 false: make logic! 0 "
            "if: make native! [[cond [any-type!] then-blk [block!]] 1] "
            "unless: make native! [[cond then-blk [block!]] 2] "
            "either: make native! [[cond [any-type!] true-blk [block!] false-blk [block!]] 3] "
            "any: make native! [[conds [block!]] 4] "
            "all: make native! [[conds [block!]] 5] "
            "switch: make native! [[value cases [block!] /default case [block!]] 18] "
            "case: make native! [[cases [block!] /all] 19]");
    }

    // Loads and evaluates the text; the molded result.
    std::string run(const std::string& text) {
        Rooted<Cell> code;
        lexer::load(*code, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
        stack::reset();
        interpreter::eval(*code, false);
        Cell result = *stack::get_top();
        stack::reset();
        return molded(result);
    }

    // The error id that evaluating the text raises, or -1.
    int32_t error_of(const std::string& text) {
        Cell* base = stack::state.base;
        stack::Frame* ctop = stack::state.ctop;
        try {
            run(text);
        } catch (const runtime::Throw& t) {
            stack::state.base = stack::state.top = base;
            stack::state.ctop = ctop;
            return t.code == runtime::code::error ? int32_t(runtime::last_error.id) : -2;
        }
        return -1;
    }
};

} // namespace

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
