// function! and routine!: spec rules, construction, local collection,
// reflection, mold and the routine body registry.

#include "callable_fixture.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

using FunctionTest = CallableTest;

struct SpecCase {
    const char* spec;
    runtime::ErrorSite error;
};

} // namespace

TEST_F(FunctionTest, SpecRules) {
    using namespace err::script;
    const SpecCase cases[] = {
        {"[trace] a [integer!] \"first\" /b c return: [logic!] /local d", no_error},
        {"a b return: [integer!]", no_error},
        {"a return: [integer!] /local b", no_error},
        {"a [integer! block!] 'b :c /r d \"doc\"", no_error},
        {"", no_error},
        {"a \"doc\" [integer!]", script(bad_func_def)},
        {"return: [integer!] a", script(bad_func_def)},
        {"/local 'a", script(bad_func_def)},
        {"/local :a", script(bad_func_def)},
        {"/ref [integer!]", script(bad_func_def)},
        {"a 10", script(bad_func_def)},
        {"[trace 1] a", script(bad_func_def)},
        {"a b: [integer!]", script(bad_func_def)},
        {"return: [integer!] return: [integer!]", script(bad_func_def)},
        {"return: [integer!] b", script(bad_func_def)},
        {"return: a", script(bad_func_def)},
        {"return: [integer!] 5", script(bad_func_def)},
        {"/local a return: [integer!]", script(bad_func_def)},
        {"a /local b /c", script(bad_func_def)},
        {"return: [integer!] /c", script(bad_func_def)},
        {"a a", script(dup_vars)},
        {"a /A", script(dup_vars)},
        {"a /local b 'x b", script(bad_func_def)},
        {"a /local b c b", script(dup_vars)},
        {"a [nothing-here]", script(no_value)},
        {"a [10]", script(invalid_type_spec)},
    };
    for (const SpecCase& c : cases) {
        Cell spec = read(c.spec);
        EXPECT_EQ(error_of([&] { function::validate_spec(spec); }), c.error) << c.spec;
    }
}

TEST_F(FunctionTest, AttributeFlags) {
    EXPECT_EQ(function::validate_spec(read("[trace] a")), function::flag::trace);
    EXPECT_EQ(function::validate_spec(read("[no-trace other] a")), function::flag::no_trace);
    EXPECT_EQ(function::attribute_flags(read("trace no-trace")),
              int32_t(function::flag::trace | function::flag::no_trace));
    EXPECT_EQ(function::attribute_flags(read("trace \"x\"")), -1);
}

TEST_F(FunctionTest, MakeBuildsAContextOfTheSpecAndABoundBodyCopy) {
    Rooted<Cell> spec(read("[a b] [a + b [a]]"));
    Cell proto;
    datatype::make_at(proto, TYPE_FUNCTION);
    Rooted<Cell> fn(*function::make(&proto, &*spec, TYPE_FUNCTION));
    EXPECT_EQ(cell::type_of(*fn), TYPE_FUNCTION);
    EXPECT_EQ(context::size_of(fn->w1), 2u);
    EXPECT_EQ(context::self_of(fn->w1).w3, fn->w3) << "the context's self is the function";

    Rooted<Cell> words(*fn);
    function::reflect(&*words, words::sym<"words">());
    EXPECT_EQ(contents(*words), "a b");
    EXPECT_EQ(block::rs_head(*words)[1].w1, fn->w1);

    // The body is a deep copy bound to the context: changing the source
    // leaves it alone.
    Cell* body = extras::at(*fn, extras::body);
    EXPECT_EQ(block::rs_head(*body)[0].w1, fn->w1);
    EXPECT_EQ(block::rs_head(block::rs_head(*body)[3])[0].w1, fn->w1);
    Cell source = block::rs_head(*spec)[1];
    block::rs_head(block::rs_head(source)[3])[0] = int_cell(9);
    EXPECT_EQ(molded(*fn), "func [a b][a + b [a]]");

    EXPECT_EQ(cell::type_of(*extras::at(*fn, extras::arguments)), TYPE_UNSET);
    EXPECT_EQ(cell::type_of(*extras::at(*fn, extras::code)), TYPE_UNSET);
    EXPECT_EQ(cell::type_of(*extras::at(*fn, extras::op)), TYPE_UNSET);
    EXPECT_EQ(cell::type_of(*extras::at(*fn, extras::code2)), TYPE_UNSET);
}

TEST_F(FunctionTest, MakeNeedsTwoBlocks) {
    Cell proto;
    datatype::make_at(proto, TYPE_FUNCTION);
    for (const char* text : {"[a b]", "[a] b", "a [b]", ""}) {
        Cell spec = read(text);
        EXPECT_EQ(error_of([&] { function::make(&proto, &spec, TYPE_FUNCTION); }),
                  script(err::script::bad_func_def))
            << text;
    }
    Cell spec = read("[a a] []");
    EXPECT_EQ(error_of([&] { function::make(&proto, &spec, TYPE_FUNCTION); }),
              script(err::script::dup_vars));
}

TEST_F(FunctionTest, PushRebasesTheSpecAndStoresCodeWords) {
    Rooted<Cell> spec(read("x y a b"));
    spec->w1 = 2;
    function::push(*spec, nullptr, 0, 7, 0, function::flag::no_trace);
    Rooted<Cell> fn(*stack::get_top());
    EXPECT_EQ(fn->header, TYPE_FUNCTION | function::flag::no_trace);
    EXPECT_EQ(contents(Cell{TYPE_BLOCK, 0, fn->w2, 0}), "a b");
    EXPECT_EQ(extras::at(*fn, extras::code)->w2, 7u);
    EXPECT_EQ(cell::type_of(*extras::at(*fn, extras::code2)), TYPE_UNSET);
    EXPECT_EQ(molded(*fn), "func [a b] none");
    EXPECT_EQ(formed(*fn), "?function?");
}

TEST_F(FunctionTest, ReflectSpecBodyAndUnknownFields) {
    Rooted<Cell> spec(read("[a] [a]"));
    Cell proto;
    datatype::make_at(proto, TYPE_FUNCTION);
    Rooted<Cell> fn(*function::make(&proto, &*spec, TYPE_FUNCTION));
    Cell r = *fn;
    function::reflect(&r, words::sym<"spec">());
    EXPECT_EQ(molded(r), "[a]");
    r = *fn;
    function::reflect(&r, words::sym<"body">());
    EXPECT_EQ(molded(r), "[a]");
    r = *fn;
    EXPECT_EQ(error_of([&] { function::reflect(&r, words::sym<"values">()); }),
              (runtime::ErrorSite{runtime::Category::internal, err::internal::not_done}));
}

struct LocalsCase {
    const char* spec;
    const char* body;
    const char* result; // the spec afterwards
    const char* collected;
};

TEST_F(FunctionTest, CollectLocals) {
    const LocalsCase cases[] = {
        {"a", "b: 1 foreach [c d] x [e: 2] repeat f 3 [] g", "a /local b c d e f", "b c d e f"},
        {"a /extern b", "a: 1 b: 2 c: 3", "a /local c", "c"},
        {"a /extern b /local x", "c: 1", "a /local x c", "x c"},
        {"a /local z", "z: 1 (y: 2) remove-each w s [] foreach v: t [] foreach :u t []",
         "a /local z y w v", "y w v"},
        {"a", "A: 1 b: 2 B: 3 local: 4", "a /local b", "b local"},
        {"a", "print a", "a", ""},
        {"'a /r b", "foreach [a b c] x [] repeat d: 1 []", "'a /r b /local c d", "c d"},
    };
    for (const LocalsCase& c : cases) {
        Rooted<Cell> spec(read(c.spec));
        Rooted<Cell> body(read(c.body));
        Cell* list = function::collect_locals(*spec, *body);
        EXPECT_EQ(contents(*spec), c.result) << c.spec << " | " << c.body;
        EXPECT_EQ(contents(*list), c.collected) << c.spec << " | " << c.body;
    }
}

TEST_F(FunctionTest, ExternTakesWordsOnly) {
    Rooted<Cell> spec(read("a /extern b 10"));
    Rooted<Cell> body(read("c: 1"));
    EXPECT_EQ(error_of([&] { function::collect_locals(*spec, *body); }),
              script(err::script::bad_func_extern));
}

TEST_F(FunctionTest, CollectingASelfContainingBodyEnds) {
    Rooted<Cell> spec(read("a"));
    Rooted<Cell> body(read("x: [y: 1]"));
    Cell inner = block::rs_head(*body)[1];
    block::append_value(inner, *body);
    function::collect_locals(*spec, *body);
    EXPECT_EQ(contents(*spec), "a /local x y");
}

TEST_F(FunctionTest, CountLocalsAndUnusedRefinements) {
    Cell spec = read("a /r b /local c d e");
    EXPECT_EQ(function::count_locals(spec.w2, 0, false), 4);
    EXPECT_EQ(function::count_locals(read("a /r b").w2, 0, false), 0);
    EXPECT_EQ(function::count_locals(read("a /r b").w2, 0, true), -1);

    Cell* before = stack::state.top;
    function::push_unused_refinement(3);
    ASSERT_EQ(stack::state.top - before, 3);
    EXPECT_EQ(cell::type_of(before[0]), TYPE_LOGIC);
    EXPECT_EQ(before[0].w1, 0u);
    EXPECT_EQ(cell::type_of(before[1]), TYPE_NONE);
    EXPECT_EQ(cell::type_of(before[2]), TYPE_NONE);
}

TEST_F(FunctionTest, CompareByContext) {
    Rooted<Cell> a(*stack::get_top());
    function::push(read("x"), nullptr, 0, 0, 0, 0);
    *a = *stack::get_top();
    Rooted<Cell> b(*a);
    function::push(read("y"), nullptr, 0, 0, 0, 0);
    *b = *stack::get_top();
    EXPECT_EQ(compare(*a, *a, 0), 0);
    EXPECT_EQ(compare(*a, *b, 0) * compare(*b, *a, 0), -1);
    EXPECT_EQ(compare(*a, *b, 3), -2);
    EXPECT_EQ(compare(*a, int_cell(1), 0), -2);
}

namespace {

void add_two(Cell* args) {
    args[0] = Cell{TYPE_INTEGER, 0, args[0].w2 + args[1].w2, 0};
}

} // namespace

TEST_F(FunctionTest, RoutinesRunRegisteredBodiesAndRefuseMissingOnes) {
    uint32_t index = routine::register_body(add_two);
    EXPECT_EQ(routine::body_at(index), &add_two);
    Rooted<Cell> spec(read("a [integer!] b [integer!] c \"sum\""));
    Rooted<Cell> r(*routine::push(*spec, nullptr, index, 0, true));
    EXPECT_EQ(routine::arity(*r), 3u);
    EXPECT_TRUE(r->header & routine::routine_flag);
    Cell args[2] = {int_cell(2), int_cell(3)};
    routine::call(*r, args);
    EXPECT_EQ(args[0].w2, 5u);

    Rooted<Cell> bare(*routine::push(*spec, nullptr, 0, 0, false));
    EXPECT_EQ(error_of([&] { routine::call(*bare, args); }),
              (runtime::ErrorSite{runtime::Category::internal, err::internal::not_done}));
    Rooted<Cell> stale(*routine::push(*spec, nullptr, index + 100, 0, false));
    EXPECT_EQ(error_of([&] { routine::call(*stale, args); }),
              (runtime::ErrorSite{runtime::Category::internal, err::internal::not_done}));

    EXPECT_EQ(formed(*r), "?routine?");
    EXPECT_EQ(molded(*r), "routine [a [integer!] b [integer!] c \"sum\"] none");
    Rooted<Cell> body(read("x"));
    Rooted<Cell> with_body(*routine::push(*spec, &*body, index, 0, false));
    EXPECT_EQ(molded(*with_body), "routine [a [integer!] b [integer!] c \"sum\"][x]");
}

TEST_F(FunctionTest, RoutineArityStaysInItsBits) {
    std::string words;
    for (int i = 0; i < 40; ++i) words += "w" + std::to_string(i) + " ";
    Rooted<Cell> r(*routine::push(read(words), nullptr, 0, 0, false));
    EXPECT_EQ(routine::arity(*r), 31u);
    EXPECT_EQ(cell::type_of(*r), TYPE_ROUTINE);
    EXPECT_FALSE(r->header & cell::new_line_flag);
}
