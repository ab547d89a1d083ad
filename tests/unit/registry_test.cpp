#include "datatype_fixture.h"

#include "runtime/random.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

using RegistryTest = DatatypeTest;

int32_t form_a(const Cell*, Cell*, const Cell*, int32_t part) {
    return part - 1;
}
int32_t form_b(const Cell*, Cell*, const Cell*, int32_t part) {
    return part - 2;
}
bool even_a(const Cell*) {
    return true;
}

} // namespace

TEST_F(RegistryTest, ChildrenTakeTheParentsEntriesAtRegistration) {
    using action::no;
    datatype::register_type(50, 0, "test!", {{Slot::form, form_a}});
    datatype::register_type(51, 50, "test!", {}); // even? is 0 in the parent
    datatype::register_type(52, 51, "test!", {{Slot::form, form_b}, {Slot::even_q, even_a}});
    datatype::register_type(53, 52, "test!", {{Slot::form, no}});
    datatype::register_type(54, 0, "test!", {}); // nothing to inherit without a parent
    // A parent registered again later leaves its children as they were.
    datatype::register_type(50, 0, "test!", {{Slot::form, form_b}});

    struct Case {
        uint32_t type;
        action::FormFn form;
        action::PredicateFn even;
    } cases[] = {
        {51, form_a, nullptr},  {52, form_b, even_a},  {53, nullptr, even_a},
        {54, nullptr, nullptr}, {50, form_b, nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(datatype::get<Slot::form>(c.type), c.form) << c.type;
        EXPECT_EQ(datatype::get<Slot::even_q>(c.type), c.even) << c.type;
        for (Slot s : {Slot::make, Slot::mold, Slot::write})
            EXPECT_EQ(datatype::entry(c.type, s), nullptr) << c.type;
    }
    EXPECT_EQ(datatype::highest_type(), 54u);
    EXPECT_EQ(datatype::name_of(52).length, 4u);
}

TEST_F(RegistryTest, CharInheritsTheIntegerSlotsItDoesNotFill) {
    for (Slot s : {Slot::random, Slot::absolute, Slot::even_q, Slot::odd_q})
        EXPECT_EQ(datatype::entry(TYPE_CHAR, s), datatype::entry(TYPE_INTEGER, s));
    EXPECT_NE(datatype::entry(TYPE_CHAR, Slot::add), datatype::entry(TYPE_INTEGER, Slot::add));
    EXPECT_EQ(datatype::entry(TYPE_CHAR, Slot::power), nullptr);
}

using RegistryDeathTest = DatatypeTest;

TEST_F(RegistryDeathTest, FaultyRegistrationsEndTheProcessWithARuntimeError) {
    using action::no;
    struct Case {
        uint32_t type, parent;
        std::initializer_list<std::pair<Slot, action::Entry>> slots;
        const char* message;
    } cases[] = {
        {57, 0, {}, "invalid type id"},
        {50, 49, {}, "parent not registered"},
        {50, 0, {{Slot::form, even_a}}, "wrong kind in slot: 50\n\\*\\*\\* Found: 5"},
        {50, 0, {{Slot::unused_8, form_a}}, "wrong kind in slot: 50\n\\*\\*\\* Found: 8"},
        {50,
         0,
         {{Slot::form, form_a}, {Slot::even_q, even_a}, {Slot::form, no}},
         "slot named twice for type: 50\n\\*\\*\\* Found: 5"},
    };
    for (const Case& c : cases)
        EXPECT_EXIT(datatype::register_type(c.type, c.parent, "test!", c.slots),
                    ::testing::ExitedWithCode(98), c.message)
            << c.message;
}

TEST_F(RegistryTest, DatatypeValuesFormMoldAndCompare) {
    Cell integer, string;
    datatype::make_at(integer, TYPE_INTEGER);
    datatype::make_at(string, TYPE_STRING); // not registered: only its id is compared
    EXPECT_EQ(formed(integer), "integer");
    EXPECT_EQ(molded(integer), "integer!");
    EXPECT_EQ(molded(integer, true), "#(integer!)");
    for (int32_t op : {0, 1, 2, 9, 12}) {
        EXPECT_EQ(compare(integer, integer, op), 0);
        EXPECT_EQ(compare(integer, string, op), 1);
    }
    for (int32_t op : {3, 4, 5, 6, 7, 8, 10, 11}) EXPECT_EQ(compare(integer, integer, op), -2);
}

TEST_F(RegistryTest, UnitValuesFormAndMold) {
    struct Case {
        Cell value;
        const char *form, *mold, *mold_all;
    } cases[] = {
        {unset::value, "", "unset", "#(unset)"},
        {none::value, "none", "none", "#(none)"},
        {logic::true_value, "true", "true", "#(true)"},
        {logic::false_value, "false", "false", "#(false)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formed(c.value), c.form);
        EXPECT_EQ(molded(c.value), c.mold);
        EXPECT_EQ(molded(c.value, true), c.mold_all);
    }
}

TEST_F(RegistryTest, MakeAndToLogic) {
    struct Case {
        Cell spec;
        bool make, to;
    } cases[] = {
        {int_cell(0), false, true},     {int_cell(2), true, true},
        {float_cell(0.0), false, true}, {float_cell(std::nan("")), true, true},
        {none::value, false, false},    {logic::false_value, false, false},
    };
    for (const Case& c : cases) {
        Cell out{};
        EXPECT_EQ(logic::get(*datatype::get<Slot::make>(TYPE_LOGIC)(&out, &c.spec, TYPE_LOGIC)),
                  c.make);
        EXPECT_EQ(logic::get(*datatype::get<Slot::to>(TYPE_LOGIC)(&out, &c.spec, TYPE_LOGIC)),
                  c.to);
    }
}

TEST_F(RegistryTest, RandomLogicIsTrueHalfTheTime) {
    for (bool secure : {false, true}) {
        random::seed(1);
        int trues = 0;
        for (int i = 0; i < 20000; ++i) {
            Cell v = logic::false_value;
            datatype::get<Slot::random>(TYPE_LOGIC)(&v, false, secure, false);
            trues += logic::get(v);
        }
        EXPECT_GT(trues, 9500) << secure;
        EXPECT_LT(trues, 10500) << secure;
    }

    Cell seeded = logic::true_value;
    datatype::get<Slot::random>(TYPE_LOGIC)(&seeded, true, false, false);
    EXPECT_EQ(cell::type_of(seeded), TYPE_UNSET);
}

TEST_F(RegistryTest, LogicBitwiseActionsNeedLogicArguments) {
    struct Case {
        Slot slot;
        bool a, b, result;
    } cases[] = {
        {Slot::and_, true, false, false}, {Slot::and_, true, true, true},
        {Slot::or_, false, true, true},   {Slot::or_, false, false, false},
        {Slot::xor_, true, true, false},  {Slot::xor_, true, false, true},
    };
    for (const Case& c : cases) {
        Cell args[2] = {logic::make_at(args[0], c.a)[0], logic::make_at(args[1], c.b)[0]};
        call(reinterpret_cast<action::FrameFn>(datatype::entry(TYPE_LOGIC, c.slot)), args);
        EXPECT_EQ(logic::get(args[0]), c.result);
    }
    Cell args[2] = {logic::true_value, int_cell(1)};
    EXPECT_EQ(error_of([&] { call(datatype::get<Slot::and_>(TYPE_LOGIC), args); }),
              script(err::script::expect_arg));
    Cell v = logic::true_value;
    datatype::get<Slot::complement>(TYPE_LOGIC)(&v);
    EXPECT_FALSE(logic::get(v));
}

TEST_F(RegistryTest, TruthRule) {
    EXPECT_TRUE(logic::counts_false(none::value));
    EXPECT_TRUE(logic::counts_false(logic::false_value));
    EXPECT_FALSE(logic::counts_false(int_cell(0)));
    EXPECT_FALSE(logic::counts_false(unset::value));
    EXPECT_TRUE(logic::true_cell(unset::value, false, nullptr));
    EXPECT_EQ(error_of([] { logic::true_cell(unset::value, true, &none::value); }),
              script(err::script::no_value));
}

TEST_F(RegistryTest, TruthTestsOfTheCurrentFrame) {
    stack::state.base = stack::state.top;
    unset::push();
    EXPECT_EQ(error_of([] { logic::true_q(); }), script(err::script::no_return));
    EXPECT_FALSE(logic::false_q());
    none::set_result();
    EXPECT_FALSE(logic::true_q());
    EXPECT_TRUE(logic::top_false_q()); // the result slot: nothing pushed above it
    logic::push(true);
    EXPECT_FALSE(logic::top_false_q());
    EXPECT_TRUE(logic::top_true_q());
    integer::set_result(0);
    EXPECT_TRUE(logic::true_q());
    EXPECT_EQ(integer::get_result(), 0);
    logic::set_result(false);
    EXPECT_TRUE(logic::false_q());
    EXPECT_EQ(integer::get_result(), 0);
    integer::set_result(-9);
    EXPECT_EQ(integer::result_value(), -9);
    EXPECT_EQ(datatype::push(TYPE_CHAR)->w1, uint32_t(TYPE_CHAR));
    stack::state.top = stack::state.base = stack::state.bottom;
}

TEST_F(RegistryTest, NoneSeriesActionsGiveNone) {
    Cell v = none::value;
    EXPECT_EQ(datatype::get<Slot::length_q>(TYPE_NONE)(&v), -1);
    EXPECT_EQ(datatype::get<Slot::clear>(TYPE_NONE)(&v), &none::value);
    EXPECT_EQ(datatype::get<Slot::take>(TYPE_NONE)(&v, nullptr, false, false), &none::value);
    EXPECT_EQ(datatype::get<Slot::append>(TYPE_NONE), nullptr);
}

// Raw compare answers for every operator code: integer!, char!, logic!,
// none!, unset!. A row lists the answers for operators 0 to 12.
TEST_F(RegistryTest, CompareAcrossOperatorCodes) {
    constexpr int32_t n = -2; // not comparable
    struct Case {
        Cell a, b;
        int32_t answers[13];
    } cases[] = {
        {int_cell(1), int_cell(1), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {int_cell(-5), int_cell(3), {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
        {int_cell(INT32_MIN),
         int_cell(INT32_MAX),
         {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
        {int_cell(97), char_cell('a'), {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {int_cell(1), none::value, {n, n, 1, n, n, n, n, n, n, n, n, n, 1}},
        {char_cell('a'), int_cell(97), {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {char_cell('b'), char_cell('a'), {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
        {char_cell('a'), logic::true_value, {n, n, 1, n, n, n, n, n, n, n, n, n, 1}},
        {logic::false_value, logic::true_value, {-1, -1, -1, n, n, n, n, -1, -1, -1, n, n, -1}},
        {logic::true_value, logic::true_value, {0, 0, 0, n, n, n, n, 0, 0, 0, n, n, 0}},
        {logic::true_value, int_cell(1), {n, n, n, n, n, n, n, n, n, n, n, n, n}},
        {none::value, none::value, {0, 0, 0, n, n, n, n, 0, 0, 0, n, n, 0}},
        {none::value, int_cell(0), {n, n, n, n, n, n, n, n, n, n, n, n, n}},
        {unset::value, unset::value, {0, 0, 0, n, n, n, n, 0, 0, 0, n, n, 0}},
        {unset::value, none::value, {n, n, n, n, n, n, n, n, n, n, n, n, n}},
    };
    for (const Case& c : cases)
        for (int32_t op = 0; op <= 12; ++op)
            EXPECT_EQ(compare(c.a, c.b, op), c.answers[op])
                << "types " << cell::type_of(c.a) << " " << cell::type_of(c.b) << " op " << op;
}
