// native!, action! and op!: construction from registered slots, specs
// checked against the known arity, op! wrapping, reflect, form, mold and
// compare.

#include "callable_fixture.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

void a_native(bool, const int32_t*) {}
void another_native(bool, const int32_t*) {}

class NativeTest : public CallableTest {
  protected:
    void SetUp() override {
        CallableTest::SetUp();
        natives::register_native(1, a_native, {2, 0});
        natives::register_native(5, another_native);
    }

    static Cell type(uint32_t id) {
        Cell c;
        datatype::make_at(c, id);
        return c;
    }
    // make native! (or action!) [spec index].
    static Cell make(uint32_t id, const std::string& text) {
        Rooted<Cell> spec(read(text));
        Cell proto = type(id);
        return *native::make(&proto, &*spec, id);
    }
    static Cell function_of(const std::string& spec, const std::string& body) {
        Rooted<Cell> s(read(spec));
        Rooted<Cell> b(read(body));
        function::push(*s, &*b, 0, 0, 0, 0);
        return *stack::get_top();
    }
    static Cell make_op(const Cell& wrapped) {
        Cell proto = type(TYPE_OP);
        Rooted<Cell> spec(wrapped);
        return *op::make(&proto, &*spec, TYPE_OP);
    }
};

struct MakeCase {
    uint32_t type;
    const char* spec;
    bool ok;
};

} // namespace

TEST_F(NativeTest, MakeAcceptsOnlyRegisteredSlotsWithMatchingSpecs) {
    const MakeCase cases[] = {
        {TYPE_NATIVE, "[a b] 1", true},
        {TYPE_NATIVE, "[a \"doc\" b [integer!] /local c] 1", true},
        {TYPE_NATIVE, "[a] 1", false},         // one argument short
        {TYPE_NATIVE, "[a b /only] 1", false}, // a refinement too many
        {TYPE_NATIVE, "[x /y z] 5", true},     // no arity registered
        {TYPE_NATIVE, "[] 0", false},
        {TYPE_NATIVE, "[] 2", false}, // empty slot
        {TYPE_NATIVE, "[] 121", false},
        {TYPE_NATIVE, "[] -1", false},
        {TYPE_ACTION, "[value] 29", true},                                     // clear
        {TYPE_ACTION, "[series value /part range /only /dup count] 25", true}, // append
        {TYPE_ACTION, "[series value /part range] 25", false},
        {TYPE_ACTION,
         "[destination data /binary /lines /info /append /part p /seek s /allow a /as t] 62", true},
        {TYPE_ACTION, "[] 63", false},
        {TYPE_ACTION, "[] 0", false},
        {TYPE_ACTION, "[] 8", false},      // no action in slot 8
        {TYPE_ACTION, "[a b c] 9", false}, // compare has no stack entry
        {TYPE_ACTION, "[a b] 1 2", false}, // three values
        {TYPE_ACTION, "[a b]", false},
        {TYPE_ACTION, "a 1", false},
        {TYPE_ACTION, "[a b] x", false},
    };
    for (const MakeCase& c : cases) {
        auto run = [&] { make(c.type, c.spec); };
        EXPECT_EQ(error_of(run), c.ok ? no_error : script(err::script::bad_make_arg))
            << datatype::name_of(c.type).name << " " << c.spec;
    }
    Cell spec = int_cell(1);
    Cell proto = type(TYPE_NATIVE);
    EXPECT_EQ(error_of([&] { native::make(&proto, &spec, TYPE_NATIVE); }),
              script(err::script::bad_make_arg));
}

TEST_F(NativeTest, CellsHoldTheIndexTheSpecAndTheArgumentContext) {
    Rooted<Cell> n(make(TYPE_NATIVE, "[a b] 1"));
    EXPECT_EQ(cell::type_of(*n), TYPE_NATIVE);
    EXPECT_EQ(n->w1, 1u);
    EXPECT_EQ(natives::entry(n->w1), &a_native);
    EXPECT_EQ(molded(*n), "make native! [[a b]]");
    EXPECT_EQ(formed(*n), "?native?");
    const Cell& ctx = *extras::at(*n, 1);
    EXPECT_EQ(cell::type_of(ctx), TYPE_CONTEXT);
    EXPECT_TRUE(ctx.header & context::flag::on_stack);
    EXPECT_EQ(cell::type_of(*extras::at(*n, 2)), TYPE_NONE);

    Rooted<Cell> a(make(TYPE_ACTION, "[value] 29"));
    EXPECT_EQ(a->w1, 29u);
    EXPECT_EQ(molded(*a), "make action! [[value]]");
    EXPECT_EQ(formed(*a), "?action?");

    Cell r = *n;
    native::reflect(&r, words::sym<"body">());
    EXPECT_EQ(r.header, TYPE_INTEGER);
    EXPECT_EQ(r.w2, 1u);
    r = *a;
    native::reflect(&r, words::sym<"spec">());
    EXPECT_EQ(molded(r), "[value]");
    r = *a;
    EXPECT_EQ(error_of([&] { native::reflect(&r, words::sym<"words">()); }),
              (runtime::ErrorSite{runtime::Category::internal, err::internal::not_done}));
}

TEST_F(NativeTest, NativesTableCountsFromTheHighestSlot) {
    EXPECT_EQ(natives::count(), 6u);
    EXPECT_EQ(natives::entry(2), nullptr);
    EXPECT_EQ(natives::entry(0), nullptr);
    EXPECT_EQ(natives::entry(121), nullptr);
    natives::register_native(120, a_native);
    EXPECT_EQ(natives::count(), 121u);
    EXPECT_EQ(natives::arity(1).arguments, 2);
}

using NativeDeathTest = NativeTest;

TEST_F(NativeDeathTest, RegisteringOutsideTheTableEndsTheProcess) {
    EXPECT_EXIT(natives::register_native(121, a_native), ::testing::ExitedWithCode(98),
                "invalid native slot: 121");
    EXPECT_EXIT(natives::register_native(3, nullptr), ::testing::ExitedWithCode(98),
                "invalid native slot: 3");
}

struct OpCase {
    const char* spec;
    runtime::ErrorSite error;
};

TEST_F(NativeTest, MakeOpNeedsTwoEvaluatedLeftArguments) {
    using namespace err::script;
    const OpCase cases[] = {
        {"a b /local c", no_error},          {"a 'b", no_error},
        {"a :b \"doc\"", no_error},          {"a b return: [integer!]", no_error},
        {"a b /extern c", no_error},         {"'a b", script(bad_op_spec)},
        {":a b", script(bad_op_spec)},       {"a b c", script(bad_op_spec)},
        {"a", script(bad_op_spec)},          {"a b /r", script(bad_op_spec)},
        {"a /local b", script(bad_op_spec)},
    };
    for (const OpCase& c : cases) {
        Rooted<Cell> fn(function_of(c.spec, "a"));
        EXPECT_EQ(error_of([&] { make_op(*fn); }), c.error) << c.spec;
    }
    EXPECT_EQ(error_of([&] { make_op(int_cell(1)); }), script(invalid_type));
}

TEST_F(NativeTest, OpsWrapTheirFunction) {
    Rooted<Cell> fn(function_of("a b", "a + b"));
    Rooted<Cell> o(make_op(*fn));
    EXPECT_EQ(cell::type_of(*o), TYPE_OP);
    EXPECT_EQ(op::wrapped_type(*o), TYPE_FUNCTION);
    EXPECT_EQ(o->w1, fn->w1);
    EXPECT_EQ(o->w3, fn->w3);
    EXPECT_EQ(extras::at(*fn, extras::op)->w1, fn->w1) << "the function is reachable from the op";
    EXPECT_EQ(molded(*o), "make op! func [a b][a + b]");
    EXPECT_EQ(formed(*o), "?op?");
    Cell r = *o;
    native::reflect(&r, words::sym<"body">());
    EXPECT_EQ(molded(r), "[a + b]");

    Rooted<Cell> n(make(TYPE_NATIVE, "[a b] 1"));
    Rooted<Cell> native_op(make_op(*n));
    EXPECT_EQ(molded(*native_op), "make op! [[a b]]");
    r = *native_op;
    native::reflect(&r, words::sym<"body">());
    EXPECT_EQ(r.w2, 1u);
}

TEST_F(NativeTest, CompareByIndexAndWrappedType) {
    Rooted<Cell> n1(make(TYPE_NATIVE, "[a b] 1"));
    Rooted<Cell> n5(make(TYPE_NATIVE, "[a b] 5"));
    Rooted<Cell> a1(make(TYPE_ACTION, "[a b] 11")); // add
    EXPECT_EQ(compare(*n1, *n1, 0), 0);
    EXPECT_EQ(compare(*n1, *n5, 7), -1);
    EXPECT_EQ(compare(*n5, *n1, 7), 1);
    EXPECT_EQ(compare(*n1, *a1, 0), -2);
    EXPECT_EQ(compare(*n1, *n5, 3), -2);

    // An op of native 11 and an op of action 11 hold the same number.
    Rooted<Cell> a11(make(TYPE_ACTION, "[a b] 11"));
    natives::register_native(11, a_native);
    Rooted<Cell> n11(make(TYPE_NATIVE, "[a b] 11"));
    Rooted<Cell> op_a(make_op(*a11));
    Rooted<Cell> op_n(make_op(*n11));
    EXPECT_EQ(op_a->w1, op_n->w1);
    EXPECT_NE(compare(*op_a, *op_n, 0), 0);
    EXPECT_EQ(compare(*op_a, *op_a, 0), 0);
}
