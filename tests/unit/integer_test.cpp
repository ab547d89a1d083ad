#include "datatype_fixture.h"

#include <climits>

#include "datatypes/symbol.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

using IntegerTest = DatatypeTest;

// An expected result: an integer, a float, or an error.
struct Result {
    enum Kind { integer, real, error } kind;
    double value;
    runtime::ErrorSite site;
};
Result I(int64_t v) {
    return {Result::integer, double(v), no_error};
}
Result F(double v) {
    return {Result::real, v, no_error};
}
Result E(runtime::ErrorSite s) {
    return {Result::error, 0, s};
}

void expect_result(const Cell& c, runtime::ErrorSite raised, const Result& want,
                   const std::string& what) {
    SCOPED_TRACE(what);
    if (want.kind == Result::error) {
        EXPECT_EQ(raised, want.site);
        return;
    }
    ASSERT_EQ(raised, no_error);
    if (want.kind == Result::integer) {
        EXPECT_EQ(cell::type_of(c), TYPE_INTEGER);
        EXPECT_EQ(integer::get(c), int32_t(want.value));
    } else {
        EXPECT_EQ(c.header, uint32_t(TYPE_FLOAT));
        EXPECT_EQ(cell::get_float(c), want.value);
    }
}

} // namespace

TEST_F(IntegerTest, ArithmeticAtTheEdges) {
    struct Case {
        int32_t a, b;
        Slot slot;
        Result want;
    } cases[] = {
        {INT_MAX, 1, Slot::add, F(2147483648.0)},
        {INT_MIN, -1, Slot::add, F(-2147483649.0)},
        {INT_MIN, 1, Slot::subtract, F(-2147483649.0)},
        {INT_MAX, -1, Slot::subtract, F(2147483648.0)},
        {65536, 65536, Slot::multiply, F(4294967296.0)},
        {INT_MIN, -1, Slot::multiply, F(2147483648.0)},
        {INT_MAX - 1, 1, Slot::add, I(INT_MAX)},
        {-46341, 46340, Slot::multiply, I(-2147441940)},
        {7, 2, Slot::divide, F(3.5)},
        {-7, 2, Slot::divide, F(-3.5)},
        {6, 2, Slot::divide, I(3)},
        {INT_MIN, 2, Slot::divide, I(-1073741824)},
        {INT_MIN, -1, Slot::divide, E(overflow)},
        {5, 0, Slot::divide, E(zero_divide)},
        {-7, 2, Slot::remainder, I(-1)},
        {7, -2, Slot::remainder, I(1)},
        {INT_MIN, 3, Slot::remainder, I(-2)},
        {INT_MIN, -1, Slot::remainder, E(overflow)},
        {1, 0, Slot::remainder, E(zero_divide)},
        {12, 10, Slot::and_, I(8)},
        {12, 10, Slot::or_, I(14)},
        {12, 10, Slot::xor_, I(6)},
        {-1, INT_MIN, Slot::xor_, I(INT_MAX)},
    };
    for (const Case& c : cases) {
        Cell args[2] = {int_cell(c.a), int_cell(c.b)};
        auto fn = reinterpret_cast<action::FrameFn>(datatype::entry(TYPE_INTEGER, c.slot));
        auto raised = error_of([&] { call(fn, args); });
        expect_result(args[0], raised, c.want,
                      std::to_string(c.a) + " slot " + std::to_string(uint32_t(c.slot)) + " " +
                          std::to_string(c.b));
    }
}

TEST_F(IntegerTest, ArithmeticTakesCharsAndRefusesOtherTypes) {
    Cell args[2] = {int_cell(1), char_cell('a')};
    call(datatype::get<Slot::add>(TYPE_INTEGER), args);
    EXPECT_EQ(integer::get(args[0]), 98);
    Cell bad[2] = {int_cell(1), none::value};
    EXPECT_EQ(error_of([&] { call(datatype::get<Slot::add>(TYPE_INTEGER), bad); }),
              script(err::script::invalid_type));
}

TEST_F(IntegerTest, DoMathWithoutAResultCellRaisesOnOverflow) {
    EXPECT_EQ(error_of([] { integer::do_math(INT_MAX, 1, integer::add, nullptr); }), overflow);
    EXPECT_EQ(integer::do_math(7, 2, integer::divide, nullptr), 3);
}

TEST_F(IntegerTest, Power) {
    struct Case {
        int32_t base;
        Cell exponent;
        Result want;
    } cases[] = {
        {2, int_cell(30), I(1073741824)}, {2, int_cell(31), F(2147483648.0)},
        {-2, int_cell(31), I(INT_MIN)},   {2, int_cell(-1), F(0.5)},
        {3, int_cell(0), I(1)},           {0, int_cell(0), I(1)},
        {-1, int_cell(INT_MAX), I(-1)},   {46341, int_cell(2), F(2147488281.0)},
        {4, float_cell(0.5), F(2.0)},     {2, none::value, E(script(err::script::expect_arg))},
    };
    for (const Case& c : cases) {
        Cell args[2] = {int_cell(c.base), c.exponent};
        auto raised = error_of([&] { call(datatype::get<Slot::power>(TYPE_INTEGER), args); });
        expect_result(args[0], raised, c.want, std::to_string(c.base));
    }
}

TEST_F(IntegerTest, RoundingModes) {
    enum Mode { plain, even, down, half_down, floor, ceiling, half_ceiling };
    struct Case {
        int32_t value, scale;
        Mode mode;
        Result want;
    } cases[] = {
        {7, 2, plain, I(8)},
        {-7, 2, plain, I(-8)},
        {5, 2, even, I(4)},
        {7, 2, even, I(8)},
        {-5, 2, even, I(-4)},
        {5, 2, half_down, I(4)},
        {-5, 2, floor, I(-6)},
        {5, 2, floor, I(4)},
        {-5, 2, ceiling, I(-4)},
        {5, 2, ceiling, I(6)},
        {-5, 2, half_ceiling, I(-4)},
        {5, 2, half_ceiling, I(6)},
        {17, 0, plain, I(17)},
        {17, 5, plain, I(15)},
        {18, 5, plain, I(20)},
        {18, 5, down, I(15)},
        {-18, -5, down, I(-15)},
        {INT_MAX, 1, plain, I(INT_MAX)},
        // The lowest value rounds like any other.
        {INT_MIN, 2, plain, I(INT_MIN)},
        {INT_MIN, 3, down, I(-2147483646)},
        {INT_MIN, 3, plain, E(overflow)},
        {INT_MIN, 3, floor, E(overflow)},
        {INT_MIN, 10, ceiling, I(-2147483640)},
        // The side away from zero overflows only when it is chosen.
        {INT_MAX, 10, floor, I(2147483640)},
        {INT_MAX, 10, ceiling, E(overflow)},
        {INT_MAX, 10, plain, E(overflow)},
        {5, INT_MIN, plain, E(overflow)},
    };
    for (const Case& c : cases) {
        Cell value = int_cell(c.value);
        Cell scale = int_cell(c.scale);
        auto raised = error_of([&] {
            datatype::get<Slot::round>(TYPE_INTEGER)(&value, &scale, c.mode == even, c.mode == down,
                                                     c.mode == half_down, c.mode == floor,
                                                     c.mode == ceiling, c.mode == half_ceiling);
        });
        expect_result(value, raised, c.want,
                      std::to_string(c.value) + " to " + std::to_string(c.scale) + " mode " +
                          std::to_string(c.mode));
    }
    Cell value = int_cell(-3);
    datatype::get<Slot::round>(TYPE_INTEGER)(&value, nullptr, false, false, false, false, false,
                                             false);
    EXPECT_EQ(integer::get(value), -3);
}

namespace {
Cell string_cell(const char* s, uint32_t type = TYPE_STRING) {
    Cell c = test::hold(Cell{type, 0, memory::alloc_bytes(16), 0});
    string::append_c_string(c, s);
    return c;
}
Cell issue(const char* name) {
    return Cell{TYPE_ISSUE, 0, symbol::intern(name), 0};
}
} // namespace

TEST_F(IntegerTest, ToInteger) {
    Cell binary = test::hold(Cell{TYPE_BINARY, 0, memory::alloc_bytes(16), 0});
    Buffer* b = memory::buffer_of(binary.w2);
    for (uint8_t byte : {1, 2, 3, 4, 5}) *buffer::reserve_tail(b, 1) = byte;
    Cell binary_tail = binary;
    binary_tail.w1 = 4;
    Cell binary_past = binary;
    binary_past.w1 = 9;

    struct Case {
        Cell spec;
        Result want;
    } cases[] = {
        {int_cell(-4), I(-4)},
        {char_cell(0x10FFFF), I(0x10FFFF)},
        {float_cell(2147483647.0), I(INT_MAX)},
        {float_cell(-2147483648.0), I(INT_MIN)},
        {float_cell(-1.9), I(-1)},
        {float_cell(2147483647.5), E(script(err::script::type_limit))},
        {float_cell(-2147483648.5), E(script(err::script::type_limit))},
        {float_cell(std::nan("")), E(script(err::script::type_limit))},
        {float_cell(0.5, TYPE_PERCENT), I(0)},
        {float_cell(1.5, TYPE_TIME), I(2)},
        {float_cell(-1.5, TYPE_TIME), I(-1)},
        {float_cell(1e300, TYPE_TIME), E(script(err::script::type_limit))},
        {binary, I(16909060)},
        {binary_tail, I(5)},
        {binary_past, I(0)},
        {none::value, E(script(err::script::bad_to_arg))},
        {issue("FF"), I(255)},
        {issue("7fffFFFF"), I(INT_MAX)},
        {issue("FFFFFFFF"), I(-1)},
        {issue("123456789"), E(script(err::script::invalid_data))},
        {issue("FG"), E(script(err::script::invalid_data))},
        {string_cell("-2147483648"), I(INT_MIN)},
        {string_cell("1'000", TYPE_FILE), I(1000)},
        {string_cell("2147483648"), E(script(err::script::bad_to_arg))},
        {string_cell("12a"), E(script(err::script::bad_to_arg))},
        {string_cell(""), E(script(err::script::bad_to_arg))},
    };
    for (const Case& c : cases) {
        Cell out{};
        auto raised =
            error_of([&] { datatype::get<Slot::to>(TYPE_INTEGER)(&out, &c.spec, TYPE_INTEGER); });
        expect_result(out, raised, c.want, "type " + std::to_string(cell::type_of(c.spec)));
    }
    Cell out{};
    EXPECT_EQ(integer::get(
                  *datatype::get<Slot::make>(TYPE_INTEGER)(&out, &logic::true_value, TYPE_INTEGER)),
              1);
}

TEST_F(IntegerTest, UnaryActionsAndText) {
    Cell v = int_cell(INT_MIN);
    EXPECT_EQ(error_of([&] { datatype::get<Slot::negate>(TYPE_INTEGER)(&v); }), overflow);
    Cell args[1] = {int_cell(INT_MIN)};
    EXPECT_EQ(error_of([&] { call(datatype::get<Slot::absolute>(TYPE_INTEGER), args); }), overflow);
    v = int_cell(-3);
    EXPECT_FALSE(datatype::get<Slot::even_q>(TYPE_INTEGER)(&v));
    EXPECT_TRUE(datatype::get<Slot::odd_q>(TYPE_INTEGER)(&v));
    datatype::get<Slot::complement>(TYPE_INTEGER)(&v);
    EXPECT_EQ(integer::get(v), 2);

    EXPECT_EQ(formed(int_cell(INT_MIN)), "-2147483648");
    EXPECT_EQ(formed(int_cell(0)), "0");
    EXPECT_EQ(molded(int_cell(INT_MAX)), "2147483647");
}

TEST_F(IntegerTest, RandomStaysInRange) {
    for (int32_t n : {1, 6, -6, INT_MIN, INT_MAX}) {
        for (int i = 0; i < 50; ++i) {
            Cell v = int_cell(n);
            datatype::get<Slot::random>(TYPE_INTEGER)(&v, false, false, false);
            int64_t r = integer::get(v);
            if (n > 0)
                EXPECT_TRUE(r >= 1 && r <= n) << r;
            else
                EXPECT_TRUE(r <= -1 && r >= n) << r;
        }
    }
    Cell zero = int_cell(0);
    datatype::get<Slot::random>(TYPE_INTEGER)(&zero, false, false, false);
    EXPECT_EQ(integer::get(zero), 0);
}
