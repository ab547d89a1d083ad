#include <gtest/gtest.h>

#include "catalog.h"

#include "evaluation_fixture.h"

using namespace kiv;
using kiv::testing::EvaluationTest;

namespace {

struct Case {
    const char* source;
    const char* result;
};

constexpr auto script = runtime::Category::script;
constexpr auto internal = runtime::Category::internal;

} // namespace

TEST_F(EvaluationTest, Do) {
    Case cases[] = {
        {"do [1 + 2]", "3"},
        {"do \"1 + 2\"", "3"},
        {"do []", "unset"},
        {"x: 5 do 'x", "5"},
        {"do 7", "7"},
        {"f: does [7] do :f", "7"},
        {"o: make object! [a: 3] do 'o/a", "3"},
        {"do/next [1 + 2 10 20] 'p", "3"},
        {"do/next [1 + 2 10 20] 'p p", "[10 20]"},
        {"do/next [] 'p p", "[]"},
        {"do/next \"1 + 2 7\" 'p p", "[7]"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.result) << c.source;
    EXPECT_TRUE(raises("do %script.kiv", internal, err::internal::not_done));
    EXPECT_TRUE(raises("do/expand [1]", internal, err::internal::not_done));
    EXPECT_TRUE(raises("do [1 +]", script, err::script::no_arg));
}

// The tracer is started once and ended however the evaluation ends.
TEST_F(EvaluationTest, DoTraceHooks) {
    static int begun, ended;
    begun = ended = 0;
    natives::evaluation::hooks.trace_begin = [](const Cell&) { return ++begun == 1; };
    natives::evaluation::hooks.trace_end = [] { ++ended; };
    run("t: func [e] []");
    EXPECT_EQ(run("do/trace [1 + 1] :t"), "2");
    EXPECT_TRUE(raises("do/trace [unknown-word] :t", script, err::script::no_value));
    EXPECT_EQ(begun, 2);
    EXPECT_EQ(ended, 1); // the second begin found a tracer running
}

// do/expand runs the preprocessor before evaluating; files and urls go to
// the library's do-file with the /args argument.
TEST_F(EvaluationTest, DoExpandAndFiles) {
    natives::evaluation::hooks.expand = [](Cell& block) {
        block::rs_head(block)[0] = Cell{TYPE_INTEGER, 0, 42, 0};
    };
    natives::evaluation::hooks.do_file = [](const Cell& target, const Cell& args) {
        Cell pair[] = {target, args};
        Rooted<Cell> result;
        block::make_at(*result, 2);
        for (const Cell& c : pair) block::append_value(*result, c);
        stack::set_last(*result);
    };
    EXPECT_EQ(run("do/expand [1]"), "42");
    EXPECT_EQ(run("do %script.kiv"), "[%script.kiv none]");
    EXPECT_EQ(run("do/args %script.kiv 5"), "[%script.kiv 5]");
}

TEST_F(EvaluationTest, Reduce) {
    Case cases[] = {
        {"reduce [1 + 2 \"a\"]", "[3 \"a\"]"},
        {"reduce [\n1\n2]", "[1 2]"},
        {"reduce []", "[]"},
        {"x: 4 reduce 'x", "4"},
        {"f: does [1] type? reduce :f", "function!"},
        {"b: [] reduce/into [1 + 1 3] b b", "[2 3]"},
        {"b: [z] reduce/into [1 + 1 3] b b", "[2 3 z]"},
        {"b: [z] reduce/into [1 + 1] b", "[z]"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.result) << c.source;
    EXPECT_TRUE(raises("reduce [1 unknown-word]", script, err::script::no_value));
}

TEST_F(EvaluationTest, Compose) {
    Case cases[] = {
        {"compose [(1 + 1) ([]) (()) [(2)]]", "[2 [(2)]]"},
        {"compose/deep [(1 + 1) ([]) (()) [(2)]]", "[2 [2]]"},
        {"compose/only [(1 + 1) ([]) [(2)]]", "[2 [] [(2)]]"},
        {"compose [([3 4]) x]", "[3 4 x]"},
        {"compose/only [([3 4])]", "[[3 4]]"},
        {"compose [((1 + 2) * 2) (none)]", "[6 none]"},
        {"compose/deep [a [b [(1 + 1) ([c d])]] (3)]", "[a [b [2 c d]] 3]"},
        {"compose/deep/only [[([c d])]]", "[[[c d]]]"},
        {"compose [a (1) b]", "[a 1 b]"},
        {"b: [] compose/into [(1) (2)] b b", "[1 2]"},
        {"b: [z] compose/into [(1) x] b b", "[1 x z]"},
        {"b: [z] compose/into [(1)] b", "[z]"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.result) << c.source;
}

TEST_F(EvaluationTest, GetAndSet) {
    Case cases[] = {
        {"set 'a 1 a", "1"},
        {"set 'a 2", "2"},
        {"set [a b] [1 2] b", "2"},
        {"set [a b] [1] b", "none"},
        {"b: 7 set/some [a b] reduce [1 none] b", "7"},
        {"set/only [a b] [1 2] b", "[1 2]"},
        {"o: make object! [x: 5 y: 6] set [a b] o b", "6"},
        {"a: 3 get 'a", "3"},
        {"type? get/any 'never-set", "unset!"},
        {"set/any 'a () type? get/any 'a", "unset!"},
        {"o: make object! [a: 1 b: 2] get o", "[1 2]"},
        {"o: make object! [a: 1 b: 2] set o [5 6] get o", "[5 6]"},
        {"o: make object! [a: 1 b: 2] set/some o reduce [none 9] get o", "[1 9]"},
        {"o: make object! [a: 1 b: 2] get 'o/b", "2"},
        {"o: make object! [a: 1 b: 2] set 'o/a 9 o/a", "9"},
        {"o: make object! [a: 1 b: 2] set 'o/a 9", "9"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.result) << c.source;
    EXPECT_TRUE(raises("get 'never-set", script, err::script::no_value));
    EXPECT_TRUE(raises("set 'a ()", script, err::script::need_value));
    EXPECT_TRUE(raises("set [a 1] 2", script, err::script::invalid_arg));
    EXPECT_TRUE(raises("set [a b] reduce [1 ()]", script, err::script::need_value));
}

TEST_F(EvaluationTest, UnsetAndValue) {
    Case cases[] = {
        {"a: 1 value? 'a", "true"},           {"value? 'never-set", "false"},
        {"a: 1 unset 'a value? 'a", "false"}, {"a: 1 b: 2 unset [a 5 b] value? 'b", "false"},
        {"a: 1 type? unset 'a", "unset!"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.result) << c.source;
}

TEST_F(EvaluationTest, BindAndIn) {
    run("o: make object! [x: 10 self-test: does [x]] x: 1");
    Case cases[] = {
        {"get in o 'x", "10"},
        {"in o 'missing", "none"},
        {"do bind [x] o", "10"},
        {"b: [x] bind b o do b", "10"},
        {"b: [x] c: bind/copy b o do b", "1"},
        {"b: [x] c: bind/copy b o do c", "10"},
        {"b: [[x]] bind b o do do b", "10"},
        {"get bind 'x o", "10"},
        {"value? bind 'nothing-there o", "false"},
        {"w: in o 'x do bind [x] w", "10"},
        {"same? o context? in o 'x", "true"},
        {"type? context? 'x", "unset!"},
        {"f: func [a] [context? 'a] same? :f f 1", "true"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.result) << c.source;
}

TEST_F(EvaluationTest, ConstructAndExtend) {
    Case cases[] = {
        {"o: construct [a: 1 b: c: none] o/c", "none"},
        {"o: construct [a: b] o/a", "b"},
        {"o: construct/only [a: true] type? o/a", "word!"},
        {"p: make object! [a: 1] o: construct/with [b: 2] p o/a + o/b", "3"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.result) << c.source;
    EXPECT_TRUE(raises("extend make object! [] [a 1]", internal, err::internal::not_done));
}

TEST_F(EvaluationTest, Apply) {
    run("f: func [a /twice /plus b] [either twice [either plus [a * 2 + b] [a * 2]] "
        "[either plus [a + b] [a]]]");
    Case cases[] = {
        {"apply :add [1 2]", "3"},
        {"apply 'add [1 2 * 3]", "7"},
        {"apply/safer :add [1 2 * 3]", "3"},
        {"apply 'f [5]", "5"},
        {"apply :f [5 /twice]", "10"},
        {"apply :f [5 /plus 1 + 1]", "7"},
        {"apply :f [5 /plus 3 /twice]", "13"},
        {"apply/all :f [5 true true 3]", "13"},
        {"apply/all :f [5 false true 3]", "8"},
        {"apply/all :f [5 none none 3]", "5"},
        {"apply 'f/twice [5]", "5"},
        {"apply :switch [5 [1 [10]] /default [20]]", "20"},
        {"apply make op! :subtract [7 2]", "5"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.result) << c.source;
    EXPECT_TRUE(raises("a: 1 apply 'a []", script, err::script::invalid_arg));
    EXPECT_TRUE(raises("apply :f []", script, err::script::no_arg));
    EXPECT_TRUE(raises("apply :f [1 /nope]", script, err::script::no_refine));
}

TEST_F(EvaluationTest, FunctionMakers) {
    Case cases[] = {
        {"f: func [a b] [a - b] f 5 3", "2"},
        {"b: 1 f: function [a] [b: a * 2 b] f 4", "8"},
        {"b: 1 f: function [a] [b: a * 2 b] f 4 b", "1"},
        {"c: 1 f: function [a] [if a [c: 2] c] f false", "none"},
        {"b: 1 f: function [a /extern b] [b: a] f 9 b", "9"},
        {"s: [a] f: function s [b: a] s", "[a]"},
        {"f: does [1 + 1] f", "2"},
        {"x: 1 f: has [x] [x: 5 x] f", "5"},
        {"x: 1 f: has [x] [x: 5 x] f x", "1"},
        {"v: [x] f: has v [x] v", "[x]"},
        {"f: has [x] [x] f", "none"},
        {"has [x] [x]", "func [/local x][x]"},
        {"does [1]", "func [][1]"},
        {"function [a /extern c] [b: 1 c: 2 foreach d [] [] set [e] 1]",
         "func [a /local b d][b: 1 c: 2 foreach d [] [] set [e] 1]"},
        {"function [a /local b] [b: c: 1]", "func [a /local b c][b: c: 1]"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.result) << c.source;
    EXPECT_TRUE(raises("func [a a] []", script, err::script::dup_vars));
}

TEST_F(EvaluationTest, Comparison) {
    Case cases[] = {
        {"1 = 1.0", "true"},
        {"1.0 = 1", "true"},
        {"equal? 1.0 1", "true"},
        {"strict-equal? 1 1.0", "false"},
        {"1 == 1", "true"},
        {"not-equal? 1 2", "true"},
        {"1 <> 1", "false"},
        {"lesser? 1 2", "true"},
        {"2 < 1.5", "false"},
        {"greater? 2 1", "true"},
        {"lesser-or-equal? 2 2", "true"},
        {"greater-or-equal? 1 2", "false"},
        {"3 >= 3.0", "true"},
        {"'a = 'A", "true"},
        {"'a == 'A", "false"},
        {"1 = none", "false"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.result) << c.source;
}

TEST_F(EvaluationTest, SameNotAndType) {
    Case cases[] = {
        {"same? 1 1", "true"},
        {"same? 1 1.0", "false"},
        {"same? 1.0 1.0", "true"},
        {"same? 0.0 0.0 * -1", "false"},
        {"same? \"a\" \"a\"", "false"},
        {"a: \"a\" same? a a", "true"},
        {"a: [1 2] same? a a", "true"},
        {"same? [1] [1]", "false"},
        {"same? none none", "true"},
        {"same? 'a 'a", "true"},
        {"same? :add :add", "true"},
        {"same? :add :subtract", "false"},
        {"o: make object! [] same? o o", "true"},
        {"same? make object! [] make object! []", "false"},
        {"not none", "true"},
        {"not false", "true"},
        {"not 0", "false"},
        {"not ()", "false"},
        {"type? 1", "integer!"},
        {"type? type? 1", "datatype!"},
        {"type?/word 1", "integer!"},
        {"type? type?/word 1", "word!"},
        {"type? ()", "unset!"},
        {"integer! = type? 2", "true"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.result) << c.source;
}

TEST_F(EvaluationTest, StringEquality) {
    Case cases[] = {
        {"\"abc\" = \"ABC\"", "true"},     {"\"abc\" == \"ABC\"", "false"},
        {"\"abc\" == \"abc\"", "true"},    {"\"abc\" < \"abd\"", "true"},
        {"[1 \"a\"] = [1 \"A\"]", "true"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.result) << c.source;
}

TEST_F(EvaluationTest, SetOperations) {
    Case cases[] = {
        {"union [1 2 2] [2 3]", "[1 2 3]"},
        {"intersect [1 2 3] [3 2 4]", "[2 3]"},
        {"unique [1 2 1 3 2]", "[1 2 3]"},
        {"difference [1 2 3] [2 4]", "[1 3 4]"},
        {"exclude [1 2 3] [2]", "[1 3]"},
        {"union [a b] make hash! [b c]", "[a b c]"},
        {"unique \"abAB\"", "\"ab\""},
        {"unique/case \"abAB\"", "\"abAB\""},
        {"union \"ab\" \"BC\"", "\"abC\""},
        {"union/case \"ab\" \"BC\"", "\"abBC\""},
        {"intersect [a A b] [a]", "[a]"},
        {"exclude \"Hello\" \"l\"", "\"Heo\""},
        {"unique/skip [1 2 1 2 3 4] 2", "[1 2 3 4]"},
        {"union/skip [a 1 b 2] [a 3 c 4] 2", "[a 1 b 2 c 4]"},
        {"exclude/skip [a 1 b 2] [a 9] 2", "[b 2]"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.result) << c.source;
    EXPECT_TRUE(raises("union [1] \"a\"", script, err::script::expect_val));
    EXPECT_TRUE(raises("union \"a\" [1]", script, err::script::expect_val));
}

// do of an error! raises it to the nearest try frame.
TEST_F(EvaluationTest, DoRaisesAnError) {
    ASSERT_TRUE(kiv::testing::load_library_catalog());
    Cell culprit = word::load("culprit");
    Cell* made =
        error::create_at(uint32_t(script), err::script::invalid_arg, &culprit, nullptr, nullptr);
    ASSERT_NE(made, nullptr);
    Cell name = word::load("e");
    word::set(name, *made);
    stack::reset();

    Cell* base = stack::state.base;
    stack::Frame* ctop = stack::state.ctop;
    stack::mark_try(words::word<"try">());
    uint32_t code = 0;
    bool same = false;
    try {
        run("do :e");
    } catch (const runtime::Throw& t) {
        code = t.code;
        same = natives::same_value_q(*stack::get_top(), *word::value_cell(name));
    }
    stack::state.base = stack::state.top = base;
    stack::state.ctop = ctop;
    EXPECT_EQ(code, runtime::code::error);
    EXPECT_TRUE(same); // the error itself, not a new one
}
