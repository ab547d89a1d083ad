#include "datatype_fixture.h"

#include <bit>
#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/dispatch.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();
constexpr double tiny = std::numeric_limits<double>::denorm_min();

constexpr runtime::ErrorSite not_done{runtime::Category::internal, err::internal::not_done};

// An expected outcome: a number of a type (NaN matches NaN, zeros match
// by sign), or an error.
struct Want {
    uint32_t type;
    double value;
    runtime::ErrorSite error = no_error;
};
Want W(uint32_t type, double value) {
    return {type, value};
}
Want E(runtime::ErrorSite site) {
    return {0, 0, site};
}

void expect(const Cell& c, runtime::ErrorSite raised, const Want& want) {
    if (want.error != no_error) {
        EXPECT_EQ(raised, want.error);
        return;
    }
    ASSERT_EQ(raised, no_error);
    EXPECT_EQ(c.header, want.type);
    double got = want.type == TYPE_INTEGER ? double(integer::get(c)) : cell::get_float(c);
    if (std::isnan(want.value))
        EXPECT_TRUE(std::isnan(got)) << got;
    else
        EXPECT_EQ(std::bit_cast<uint64_t>(got), std::bit_cast<uint64_t>(want.value))
            << got << " wanted " << want.value;
}

class FloatTest : public DatatypeTest {
  protected:
    void TearDown() override {
        float_::pretty_print = true;
        DatatypeTest::TearDown();
    }

    static Cell F(double d) { return float_cell(d); }
    static Cell P(double d) { return float_cell(d, TYPE_PERCENT); }
    static Cell I(int32_t v) { return int_cell(v); }
    static Cell text(const std::string& s) {
        Cell c;
        string::load_at(reinterpret_cast<const uint8_t*>(s.data()), uint32_t(s.size()), c,
                        string::Encoding::utf8);
        return test::hold(c);
    }
    static Cell binary(std::vector<uint8_t> bytes) {
        Cell c = test::hold(Cell{TYPE_BINARY, 0, memory::alloc_bytes(16), 0});
        Buffer* b = memory::buffer_of(c.w2);
        uint8_t* p = buffer::reserve_tail(b, uint32_t(bytes.size()));
        std::copy(bytes.begin(), bytes.end(), p);
        return c;
    }
    // Runs the frame action of a's type on [a b] and checks the result.
    static void check_math(Slot slot, const Cell& a, const Cell& b, const Want& want) {
        Cell args[2] = {a, b};
        auto fn = reinterpret_cast<action::FrameFn>(datatype::entry(cell::type_of(a), slot));
        ASSERT_NE(fn, nullptr);
        auto raised = error_of([&] { call(fn, args); });
        expect(args[0], raised, want);
    }
    static Cell block_of(std::vector<Cell> cells) {
        Cell b;
        test::hold(*block::make_at(b, int32_t(cells.size())));
        for (const Cell& c : cells) block::append_value(b, c);
        return b;
    }
};

} // namespace

TEST_F(FloatTest, ArithmeticAcrossNumberTypes) {
    struct Case {
        Cell a, b;
        Slot slot;
        Want want;
    } cases[] = {
        {F(1.5), I(2), Slot::add, W(TYPE_FLOAT, 3.5)},
        {I(2), F(1.5), Slot::add, W(TYPE_FLOAT, 3.5)},
        {I(2), F(0.5), Slot::subtract, W(TYPE_FLOAT, 1.5)},
        {I(3), P(0.5), Slot::multiply, W(TYPE_FLOAT, 1.5)},
        {P(0.5), F(0.25), Slot::add, W(TYPE_PERCENT, 0.75)},
        {F(0.25), P(0.5), Slot::add, W(TYPE_FLOAT, 0.75)},
        {P(0.5), I(2), Slot::multiply, W(TYPE_PERCENT, 1.0)},
        {P(0.5), P(0.5), Slot::divide, W(TYPE_PERCENT, 1.0)},
        {F(1.5), char_cell('A'), Slot::add, W(TYPE_FLOAT, 66.5)},
        {P(0.5), char_cell('A'), Slot::add, E(script(err::script::invalid_type))},
        {F(1.5), text("1"), Slot::add, E(script(err::script::invalid_type))},
        {F(-7.0), F(2.0), Slot::remainder, W(TYPE_FLOAT, -1.0)},
        {F(7.0), F(-2.0), Slot::remainder, W(TYPE_FLOAT, 1.0)},
        {F(5.0), F(inf), Slot::remainder, W(TYPE_FLOAT, 5.0)},
        {F(5.0), F(nan_value), Slot::remainder, W(TYPE_FLOAT, nan_value)},
        {F(inf), F(2.0), Slot::remainder, W(TYPE_FLOAT, nan_value)},
        {F(inf), F(inf), Slot::remainder, W(TYPE_FLOAT, nan_value)},
        {I(7), F(2.5), Slot::remainder, W(TYPE_FLOAT, 2.0)},
        // Integer overflow and inexact division leave real float! values.
        {I(INT_MAX), I(1), Slot::add, W(TYPE_FLOAT, 2147483648.0)},
        {I(7), I(2), Slot::divide, W(TYPE_FLOAT, 3.5)},
        // A pair or point on the right: only what keeps the float the
        // left operand.
        {F(2.5), Cell{TYPE_PAIR, 0, 1, 2}, Slot::subtract, E(script(err::script::not_related))},
        {F(2.5), Cell{TYPE_PAIR, 0, 1, 2}, Slot::divide, E(script(err::script::not_related))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        check_math(c.slot, c.a, c.b, c.want);
    }
}

TEST_F(FloatTest, DivisionByZero) {
    struct Case {
        Cell a, b;
        Want want;
    } cases[] = {
        {F(1.0), F(0.0), W(TYPE_FLOAT, inf)},   {F(-1.0), F(0.0), W(TYPE_FLOAT, -inf)},
        {F(1.0), F(-0.0), W(TYPE_FLOAT, -inf)}, {F(0.0), F(0.0), W(TYPE_FLOAT, nan_value)},
        {F(1.0), I(0), W(TYPE_FLOAT, inf)},     {I(1), F(0.0), W(TYPE_FLOAT, inf)},
        {P(0.5), F(0.0), W(TYPE_PERCENT, inf)}, {I(1), I(0), E(zero_divide)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        check_math(Slot::divide, c.a, c.b, c.want);
    }
    // The float remainder by zero is NaN, never an error.
    check_math(Slot::remainder, F(5.0), F(0.0), W(TYPE_FLOAT, nan_value));
}

TEST_F(FloatTest, PowerKeepsTheBaseType) {
    struct Case {
        Cell a, b;
        Want want;
    } cases[] = {
        {F(2.0), F(0.5), W(TYPE_FLOAT, std::sqrt(2.0))},
        {P(0.5), I(2), W(TYPE_PERCENT, 0.25)},
        {I(2), I(31), W(TYPE_FLOAT, 2147483648.0)},
        {I(2), I(-1), W(TYPE_FLOAT, 0.5)},
        {I(4), F(0.5), W(TYPE_FLOAT, 2.0)},
        {F(2.0), P(0.5), E(script(err::script::expect_arg))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        check_math(Slot::power, c.a, c.b, c.want);
    }
}

TEST_F(FloatTest, CompareIsTolerantForEqualityOnly) {
    enum Test { eq, strict, same, lt, le, gt, ge };
    const int32_t ops[] = {0, 2, 9, 3, 4, 5, 6};
    double one = 1.0;
    double ten_ulps = one, eleven_ulps;
    for (int i = 0; i < 10; ++i) ten_ulps = std::nextafter(ten_ulps, 2.0);
    eleven_ulps = std::nextafter(ten_ulps, 2.0);
    struct Case {
        Cell a, b;
        Test test;
        bool want;
    } cases[] = {
        {F(0.1 + 0.2), F(0.3), eq, true},
        {F(0.1 + 0.2), F(0.3), strict, false},
        {F(0.1 + 0.2), F(0.3), lt, false},
        {F(0.1 + 0.2), F(0.3), gt, true},
        {F(one), F(ten_ulps), eq, true},
        {F(one), F(eleven_ulps), eq, false},
        {F(-one), F(-ten_ulps), eq, true},
        {F(1e-17), F(-1e-17), eq, true},
        {F(nan_value), F(nan_value), eq, false},
        {F(nan_value), F(nan_value), strict, false},
        {F(nan_value), F(1.0), lt, false},
        {F(nan_value), F(1.0), le, false},
        {F(nan_value), F(1.0), gt, false},
        {F(nan_value), F(1.0), ge, false},
        {F(0.0), F(-0.0), eq, true},
        {F(0.0), F(-0.0), strict, true},
        {F(0.0), F(-0.0), same, false},
        {F(1.0), I(1), eq, true},
        {F(1.0), I(1), strict, false},
        {I(1), F(1.0), eq, true},
        {I(3), F(3.5), lt, true},
        {I(3), F(2.5), ge, true},
        {F(0.5), P(0.5), eq, true},
        {F(0.5), P(0.5), strict, false},
        {P(0.5), P(0.5), same, true},
        {F(-2.0), F(1.0), lt, true},
        {F(inf), F(1e308), gt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(formed(c.a) + " " + std::to_string(int(c.test)) + " " + formed(c.b));
        EXPECT_EQ(dispatch::compare(c.a, c.b, ops[c.test]), c.want);
    }
    EXPECT_EQ(compare(F(1.0), text("1"), 0), -2);
    // Against money, from the float's side: 1.0 is above $0.
    EXPECT_EQ(compare(F(1.0), Cell{TYPE_MONEY, 0, 0, 0}, 5), 1);
}

TEST_F(FloatTest, AlmostEqual32) {
    float one = 1.0f, near = one, far;
    for (int i = 0; i < 10; ++i) near = std::nextafter(near, 2.0f);
    far = std::nextafter(near, 2.0f);
    EXPECT_TRUE(float_::almost_equal32(one, near));
    EXPECT_FALSE(float_::almost_equal32(one, far));
    EXPECT_TRUE(float_::almost_equal32(0.0f, -0.0f));
    EXPECT_FALSE(float_::almost_equal32(std::nanf(""), std::nanf("")));
    EXPECT_TRUE(float_::almost_equal32(1e-45f, -1e-45f));
    EXPECT_TRUE(float_::almost_equal32(INFINITY, INFINITY));
    EXPECT_FALSE(float_::almost_equal32(INFINITY, -INFINITY));
}

TEST_F(FloatTest, RoundEveryRefinementOnBothSignsOfHalves) {
    enum Mode { plain, even, down, half_down, floor, ceiling, half_ceiling };
    struct Case {
        Cell value;
        Mode mode;
        Want want;
    } cases[] = {
        {F(2.5), plain, W(TYPE_FLOAT, 3.0)},
        {F(-2.5), plain, W(TYPE_FLOAT, -3.0)},
        {F(2.4), plain, W(TYPE_FLOAT, 2.0)},
        {F(-2.6), plain, W(TYPE_FLOAT, -3.0)},
        {F(2.5), even, W(TYPE_FLOAT, 2.0)},
        {F(3.5), even, W(TYPE_FLOAT, 4.0)},
        {F(-2.5), even, W(TYPE_FLOAT, -2.0)},
        {F(-3.5), even, W(TYPE_FLOAT, -4.0)},
        {F(2.7), down, W(TYPE_FLOAT, 2.0)},
        {F(-2.7), down, W(TYPE_FLOAT, -2.0)},
        {F(2.5), half_down, W(TYPE_FLOAT, 2.0)},
        {F(-2.5), half_down, W(TYPE_FLOAT, -2.0)},
        {F(-2.6), half_down, W(TYPE_FLOAT, -3.0)},
        {F(2.5), floor, W(TYPE_FLOAT, 2.0)},
        {F(-2.5), floor, W(TYPE_FLOAT, -3.0)},
        {F(-2.1), floor, W(TYPE_FLOAT, -3.0)},
        {F(2.5), ceiling, W(TYPE_FLOAT, 3.0)},
        {F(-2.5), ceiling, W(TYPE_FLOAT, -2.0)},
        {F(2.1), ceiling, W(TYPE_FLOAT, 3.0)},
        {F(2.5), half_ceiling, W(TYPE_FLOAT, 3.0)},
        {F(-2.5), half_ceiling, W(TYPE_FLOAT, -2.0)},
        {F(-2.6), half_ceiling, W(TYPE_FLOAT, -3.0)},
        {P(0.12345), plain, W(TYPE_PERCENT, 0.12)},
        {P(-0.125), plain, W(TYPE_PERCENT, -0.13)},
        {P(-0.125), half_ceiling, W(TYPE_PERCENT, -0.12)},
        {F(1e300), plain, W(TYPE_FLOAT, 1e300)},
        {F(inf), plain, W(TYPE_FLOAT, inf)},
        {F(nan_value), plain, W(TYPE_FLOAT, nan_value)},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(formed(c.value) + " mode " + std::to_string(int(c.mode)));
        Mode m = c.mode;
        auto fn = datatype::get<Slot::round>(cell::type_of(c.value));
        auto raised = error_of([&] {
            fn(&c.value, nullptr, m == even, m == down, m == half_down, m == floor, m == ceiling,
               m == half_ceiling);
        });
        expect(c.value, raised, c.want);
    }
}

TEST_F(FloatTest, RoundTo) {
    const Cell money{TYPE_MONEY, 0, 0, 0};
    struct Case {
        Cell value, scale;
        bool floor;
        Want want;
    } cases[] = {
        {F(3.14159), F(0.01), false, W(TYPE_FLOAT, 3.14)},
        {F(-3.145), F(0.01), false, W(TYPE_FLOAT, -3.15)},
        {F(1234.5), I(10), false, W(TYPE_INTEGER, 1230)},
        {F(-1235.0), I(10), false, W(TYPE_INTEGER, -1240)},
        {F(-1231.0), I(10), true, W(TYPE_INTEGER, -1240)},
        {F(-1231.0), I(10), false, W(TYPE_INTEGER, -1230)},
        {F(-2.5), I(1), false, W(TYPE_INTEGER, -3)},
        {F(2.5), F(1.0), false, W(TYPE_FLOAT, 3.0)},
        {F(2.5), P(0.5), false, W(TYPE_PERCENT, 2.5)},
        {F(7.3), F(-2.0), false, W(TYPE_FLOAT, 8.0)},
        {P(0.12345), F(0.1), false, W(TYPE_FLOAT, 0.123)},
        {F(5.0), F(0.0), false, W(TYPE_FLOAT, 5.0)},
        {F(5.0), F(inf), false, W(TYPE_FLOAT, 5.0)},
        // A subnormal scale has no finite reciprocal.
        {F(15 * tiny), F(2 * tiny), false, W(TYPE_FLOAT, 16 * tiny)},
        // The integer side hands non-integer scales over.
        {I(7), F(2.5), false, W(TYPE_FLOAT, 7.5)},
        {I(7), F(0.5), false, W(TYPE_FLOAT, 7.0)},
        // Values too large for the scale stay as they are; rounded results
        // that an integer! cannot hold, and products past the largest
        // double, raise instead of converting.
        {F(1e10), I(1), false, E(overflow)},
        {F(3e9), I(1000), false, E(overflow)},
        {F(nan_value), I(1), false, E(script(err::script::out_of_range))},
        {F(inf), I(1), false, W(TYPE_FLOAT, inf)},
        {F(1e300), I(10), false, W(TYPE_FLOAT, 1e300)},
        {F(2.5), I(0), false, W(TYPE_FLOAT, 2.5)},
        {F(1.7e308), F(1e308), false, E(overflow)},
        {F(2.5), money, false, E(script(err::script::not_related))},
        {F(2.5), text("1"), false, E(script(err::script::invalid_type))},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(formed(c.value) + " to case " + std::to_string(&c - cases));
        auto fn = datatype::get<Slot::round>(cell::type_of(c.value));
        auto raised =
            error_of([&] { fn(&c.value, &c.scale, false, false, false, c.floor, false, false); });
        expect(c.value, raised, c.want);
    }
}

TEST_F(FloatTest, EvenOddTruncateAndRaiseOutsideTheIntegerRange) {
    auto even = datatype::get<Slot::even_q>(TYPE_FLOAT);
    auto odd = datatype::get<Slot::odd_q>(TYPE_PERCENT);
    const Cell values[] = {F(2.9), F(-3.2), F(-3.9), P(0.5)};
    EXPECT_TRUE(even(&values[0]));
    EXPECT_FALSE(even(&values[1]));
    EXPECT_TRUE(odd(&values[2]));
    EXPECT_FALSE(odd(&values[3]));
    struct Case {
        double value;
        runtime::ErrorSite error;
    } cases[] = {
        {nan_value, script(err::script::out_of_range)},
        {1e10, overflow},
        {-inf, overflow},
        {2147483648.0, overflow},
    };
    for (const Case& c : cases) {
        Cell v = F(c.value);
        EXPECT_EQ(error_of([&] { even(&v); }), c.error) << c.value;
        EXPECT_EQ(error_of([&] { odd(&v); }), c.error) << c.value;
    }
}

TEST_F(FloatTest, NegateAbsoluteAndSignedZeros) {
    auto negate = datatype::get<Slot::negate>(TYPE_FLOAT);
    for (double d : {0.0, -0.0}) {
        Cell v = F(d);
        negate(&v);
        EXPECT_FALSE(std::signbit(cell::get_float(v))) << d;
    }
    Cell p = P(0.25);
    negate(&p);
    EXPECT_EQ(cell::type_of(p), uint32_t(TYPE_PERCENT));
    EXPECT_EQ(cell::get_float(p), -0.25);
    Cell args[1] = {F(-2.5)};
    call(reinterpret_cast<action::FrameFn>(datatype::entry(TYPE_FLOAT, Slot::absolute)), args);
    EXPECT_EQ(cell::get_float(args[0]), 2.5);
}

TEST_F(FloatTest, FormAndMold) {
    struct Case {
        Cell value;
        bool pretty;
        const char *form, *mold;
    } cases[] = {
        {F(0.1 + 0.7), true, "0.8", "0.7999999999999999"},
        {F(0.1 + 0.7), false, "0.7999999999999999", "0.7999999999999999"},
        {F(1e20), true, "1.0e20", "1.0e20"},
        {F(3.0), true, "3.0", "3.0"},
        {F(-2.5), true, "-2.5", "-2.5"},
        {F(1e-20), true, "0.0", "1.0e-20"},
        {F(1e-20), false, "9.999999999999999e-21", "1.0e-20"},
        {F(1e17), true, "1.0e17", "1.0e17"},
        {F(1.5e-8), true, "1.5e-8", "1.5e-8"},
        {F(inf), true, "1.#INF", "1.#INF"},
        {F(-inf), true, "-1.#INF", "-1.#INF"},
        {F(nan_value), true, "1.#NaN", "1.#NaN"},
        {P(0.5), true, "50%", "50%"},
        {P(0.001), true, "0.1%", "0.1%"},
        {P(0.125), true, "12.5%", "12.5%"},
        {P(-0.07), true, "-7%", "-7%"},
        {P(0.0), true, "0%", "0%"},
        {P(1e-300), true, "0%", "0%"},
        {P(inf), true, "1.#INF", "1.#INF"},
    };
    for (Case& c : cases) {
        float_::pretty_print = c.pretty;
        EXPECT_EQ(formed(c.value), c.form);
        EXPECT_EQ(molded(c.value), c.mold);
    }
    float_::pretty_print = true;
    Cell buffer = new_buffer();
    Cell v = P(0.5);
    EXPECT_EQ(datatype::get<Slot::form>(TYPE_PERCENT)(&v, &buffer, nullptr, 10), 7);
}

TEST_F(FloatTest, ToAndMake) {
    double one_bits_reversed = std::bit_cast<double>(uint64_t(0x0102));
    struct Case {
        uint32_t target;
        Cell spec;
        Want want;
    } cases[] = {
        {TYPE_FLOAT, I(5), W(TYPE_FLOAT, 5.0)},
        {TYPE_FLOAT, I(INT_MIN), W(TYPE_FLOAT, -2147483648.0)},
        {TYPE_FLOAT, char_cell('A'), W(TYPE_FLOAT, 65.0)},
        {TYPE_FLOAT, P(0.5), W(TYPE_FLOAT, 0.5)},
        {TYPE_PERCENT, F(0.5), W(TYPE_PERCENT, 0.5)},
        {TYPE_PERCENT, I(5), W(TYPE_PERCENT, 5.0)},
        {TYPE_FLOAT, text("1.5"), W(TYPE_FLOAT, 1.5)},
        {TYPE_FLOAT, text("-1,5e2"), W(TYPE_FLOAT, -150.0)},
        {TYPE_FLOAT, text("1.#INF"), W(TYPE_FLOAT, inf)},
        {TYPE_FLOAT, text("abc"), E(script(err::script::bad_to_arg))},
        {TYPE_FLOAT, text(""), E(script(err::script::bad_to_arg))},
        {TYPE_FLOAT, text("50%"), E(script(err::script::bad_to_arg))},
        {TYPE_PERCENT, text("50%"), W(TYPE_PERCENT, 0.5)},
        {TYPE_PERCENT, text("0.5"), W(TYPE_PERCENT, 0.5)},
        {TYPE_PERCENT, text("5"), W(TYPE_PERCENT, 5.0)},
        {TYPE_PERCENT, text("%"), E(script(err::script::bad_to_arg))},
        {TYPE_PERCENT, text("x%"), E(script(err::script::bad_to_arg))},
        {TYPE_FLOAT, block_of({I(15), I(-1)}), W(TYPE_FLOAT, 1.5)},
        {TYPE_FLOAT, block_of({F(2.5), F(2.9)}), W(TYPE_FLOAT, 250.0)},
        {TYPE_PERCENT, block_of({I(5), I(-1)}), W(TYPE_PERCENT, 0.5)},
        {TYPE_FLOAT, block_of({I(1), F(1e300)}), W(TYPE_FLOAT, inf)},
        {TYPE_FLOAT, block_of({I(1)}), E(script(err::script::bad_to_arg))},
        {TYPE_FLOAT, block_of({I(1), I(2), I(3)}), E(script(err::script::bad_to_arg))},
        {TYPE_FLOAT, block_of({I(1), text("2")}), E(script(err::script::bad_to_arg))},
        {TYPE_FLOAT, binary({0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0xFF}), W(TYPE_FLOAT, 1.0)},
        {TYPE_FLOAT, binary({0x01, 0x02}), W(TYPE_FLOAT, one_bits_reversed)},
        {TYPE_FLOAT, binary({}), W(TYPE_FLOAT, 0.0)},
        {TYPE_FLOAT, Cell{TYPE_NONE, 0, 0, 0}, E(script(err::script::bad_to_arg))},
        {TYPE_FLOAT, Cell{TYPE_MONEY, 0, 0, 0}, W(TYPE_FLOAT, 0.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        for (Slot slot : {Slot::to, Slot::make}) {
            Cell out{TYPE_NONE | cell::new_line_flag, 0, 0, 0};
            auto fn = reinterpret_cast<action::MakeFn>(datatype::entry(c.target, slot));
            auto raised = error_of([&] { fn(&out, &c.spec, c.target); });
            expect(out, raised, c.want);
        }
    }
}

TEST_F(FloatTest, Random) {
    auto random = datatype::get<Slot::random>(TYPE_FLOAT);
    Cell seed = F(42.5);
    random(&seed, true, false, false);
    EXPECT_EQ(cell::type_of(seed), uint32_t(TYPE_UNSET));
    std::vector<double> first;
    for (int i = 0; i < 20; ++i) {
        Cell v = F(10.0);
        random(&v, false, false, false);
        double d = cell::get_float(v);
        EXPECT_TRUE(d >= 0.0 && d <= 10.0) << d;
        first.push_back(d);
    }
    seed = F(42.5);
    random(&seed, true, false, false);
    for (double d : first) {
        Cell v = F(10.0);
        random(&v, false, false, false);
        EXPECT_EQ(cell::get_float(v), d);
    }
    Cell p = P(-0.5);
    random(&p, false, true, false);
    EXPECT_EQ(cell::type_of(p), uint32_t(TYPE_PERCENT));
    EXPECT_TRUE(cell::get_float(p) <= 0.0 && cell::get_float(p) >= -0.5);
}

TEST_F(FloatTest, PercentInheritsAllButText) {
    for (Slot s : {Slot::make, Slot::to, Slot::random, Slot::compare, Slot::add, Slot::round,
                   Slot::even_q, Slot::power})
        EXPECT_EQ(datatype::entry(TYPE_PERCENT, s), datatype::entry(TYPE_FLOAT, s));
    EXPECT_NE(datatype::entry(TYPE_PERCENT, Slot::form), datatype::entry(TYPE_FLOAT, Slot::form));
    EXPECT_EQ(datatype::entry(TYPE_FLOAT, Slot::pick), nullptr);
    EXPECT_EQ(datatype::entry(TYPE_PERCENT, Slot::and_), nullptr);
}
