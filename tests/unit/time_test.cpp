#include "datatypes/time.h"

#include <cmath>
#include <string>
#include <vector>

#include "datatype_fixture.h"
#include "datatypes/block.h"
#include "datatypes/float.h"
#include "datatypes/symbol.h"
#include "runtime/case.h"
#include "runtime/collector.h"
#include "runtime/symbol.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

class TimeTest : public DatatypeTest {
  protected:
    void SetUp() override {
        DatatypeTest::SetUp();
        time_::init();
        float_::pretty_print = true;
    }

    static Cell T(double seconds) { return float_cell(seconds, TYPE_TIME); }
    static Cell word(const char* name) { return Cell{TYPE_WORD, 0, symbol::intern(name), 0}; }
    static Cell block_of(const std::vector<Cell>& cells) {
        NodeId node = memory::alloc_cells(uint32_t(cells.size()) + 1);
        Buffer* b = memory::buffer_of(node);
        for (const Cell& c : cells) *cell::append_unset(b) = c;
        return test::hold(Cell{TYPE_BLOCK, 0, node, 0});
    }
};

// An expected value: its type and number, or the error it raises.
struct Want {
    uint32_t type;
    double value;
    runtime::ErrorSite site = no_error;
};
Want time_of(double s) {
    return {TYPE_TIME, s};
}
Want float_of(double d) {
    return {TYPE_FLOAT, d};
}
Want int_of(int32_t i) {
    return {TYPE_INTEGER, double(i)};
}
Want fails(runtime::ErrorSite site) {
    return {0, 0, site};
}

void expect(const Cell& got, runtime::ErrorSite raised, const Want& want) {
    if (want.type == 0) {
        EXPECT_EQ(raised, want.site);
        return;
    }
    ASSERT_EQ(raised, no_error);
    ASSERT_EQ(cell::type_of(got), want.type);
    double number = want.type == TYPE_INTEGER ? double(integer::get(got)) : cell::get_float(got);
    EXPECT_EQ(number, want.value);
}

} // namespace

TEST_F(TimeTest, FormsHoursMinutesAndSeconds) {
    struct Case {
        double seconds;
        const char* text;
    } cases[] = {
        {3725.5, "1:02:05.5"},
        {0, "0:00:00"},
        {-90, "-0:01:30"},
        {45296, "12:34:56"},
        {1e-07, "0:00:00"},
        {0.5, "0:00:00.5"},
        {1.5e-06, "0:00:00.0000015"},
        {36000, "10:00:00"},
        {360000, "100:00:00"},
        {-5400, "-1:30:00"},
        {59.9999, "0:00:59.9999"},
        // Seconds that round to 60 in the text carry into the minute and
        // on into the hour.
        {59.99999, "0:01:00"},
        {59.9999999, "0:01:00"},
        {3599.9999999, "1:00:00"},
        {-119.9999999, "-0:02:00"},
        // Hours beyond the 32-bit range keep all their digits.
        {3600.0 * 2147483648.0, "2147483648:00:00"},
        {-3600.0 * 3e9 - 61, "-3000000000:01:01"},
        {3600.0 * 1e15, "1000000000000000:00:00"},
        {INFINITY, "1.#INF"},
        {-INFINITY, "-1.#INF"},
        {NAN, "1.#NaN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Cell t = T(c.seconds);
        EXPECT_EQ(formed(t), c.text);
        EXPECT_EQ(molded(t), c.text);
    }
}

TEST_F(TimeTest, HugeTimeFormsAllDigitsOfTheHours) {
    Cell buffer = new_buffer();
    int32_t left = time_::form_into(1e300, buffer, 1000);
    std::string text = text_of(buffer);
    EXPECT_EQ(left, 1000 - int32_t(text.size()));
    ASSERT_GT(text.size(), 290u);
    EXPECT_EQ(text.find_first_not_of("0123456789"), text.size() - 6);
    EXPECT_EQ(text.substr(text.size() - 6, 1), ":");
}

TEST_F(TimeTest, MakeAndTo) {
    const auto bad = fails(script(err::script::bad_to_arg));
    struct Case {
        const char* what;
        Cell spec;
        Want want;
    } cases[] = {
        {"[1 2 3]", block_of({int_cell(1), int_cell(2), int_cell(3)}), time_of(3723)},
        {"[-1 30 0]", block_of({int_cell(-1), int_cell(30), int_cell(0)}), time_of(-5400)},
        {"[1 2 3.5]", block_of({int_cell(1), int_cell(2), float_cell(3.5)}), time_of(3723.5)},
        {"[2]", block_of({int_cell(2)}), time_of(7200)},
        {"[0 90]", block_of({int_cell(0), int_cell(90)}), time_of(5400)},
        {"[]", block_of({}), time_of(0)},
        {"[1 -30 0]", block_of({int_cell(1), int_cell(-30), int_cell(0)}), bad},
        {"[1 2 -3]", block_of({int_cell(1), int_cell(2), int_cell(-3)}), bad},
        {"[1 2 3 4]", block_of({int_cell(1), int_cell(2), int_cell(3), int_cell(4)}), bad},
        {"[1.5]", block_of({float_cell(1.5)}), bad},
        {"[1 2.5]", block_of({int_cell(1), float_cell(2.5)}), bad},
        {"90", int_cell(90), time_of(90)},
        {"1.5", float_cell(1.5), time_of(1.5)},
        {"time", T(-7), time_of(-7)},
        {"char", char_cell('a'), bad},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (Slot slot : {Slot::make, Slot::to}) {
            Cell out{TYPE_NONE, 0, 0, 0};
            auto fn = reinterpret_cast<action::MakeFn>(datatype::entry(TYPE_TIME, slot));
            auto raised = error_of([&] { fn(&out, &c.spec, TYPE_TIME); });
            expect(out, raised, c.want);
        }
    }
}

TEST_F(TimeTest, Arithmetic) {
    const auto not_related = fails(script(err::script::not_related));
    const auto invalid_type = fails(script(err::script::invalid_type));
    struct Case {
        const char* what;
        Cell left, right;
        Slot slot;
        Want want;
    } cases[] = {
        {"1:00:00 + 30", T(3600), int_cell(30), Slot::add, time_of(3630)},
        {"30 + 1:00:00", int_cell(30), T(3600), Slot::add, time_of(3630)},
        {"1:00:00 + 0.5", T(3600), float_cell(0.5), Slot::add, time_of(3600.5)},
        {"1:00:00 + 0:00:10", T(3600), T(10), Slot::add, time_of(3610)},
        {"0:00:10 - 1:00:00", T(10), T(3600), Slot::subtract, time_of(-3590)},
        {"1:00:00 * 2", T(3600), int_cell(2), Slot::multiply, time_of(7200)},
        {"1:00:00 * 1:00:00", T(3600), T(3600), Slot::multiply, not_related},
        {"1:00:00 / 0:30:00", T(3600), T(1800), Slot::divide, float_of(2.0)},
        {"1:00:00 / 2", T(3600), int_cell(2), Slot::divide, time_of(1800)},
        {"1:00:00 / 0.5", T(3600), float_cell(0.5), Slot::divide, time_of(7200)},
        {"0:01:30 // 60", T(90), int_cell(60), Slot::remainder, time_of(30)},
        {"1:00:00 - date", T(3600), Cell{TYPE_DATE, 0, 0, 0}, Slot::subtract, not_related},
        {"1:00:00 + #\"a\"", T(3600), char_cell('a'), Slot::add, invalid_type},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Cell args[2] = {c.left, c.right};
        auto fn = reinterpret_cast<action::FrameFn>(datatype::entry(cell::type_of(c.left), c.slot));
        auto raised = error_of([&] { call(fn, args); });
        expect(args[0], raised, c.want);
    }
}

TEST_F(TimeTest, NegateAndAbsoluteAreInherited) {
    Cell t = T(-90);
    datatype::get<Slot::negate>(TYPE_TIME)(&t);
    expect(t, no_error, time_of(90));
    Cell args[1] = {T(-90)};
    call(datatype::get<Slot::absolute>(TYPE_TIME), args);
    expect(args[0], no_error, time_of(90));
}

TEST_F(TimeTest, Compare) {
    struct Case {
        Cell a, b;
        int32_t op, want;
    } cases[] = {
        {T(3600), T(3600), 0, 0},          {T(3600), int_cell(3600), 0, 0},
        {T(3600), float_cell(3600), 0, 0}, {T(3600), float_cell(3600), 2, 1},
        {T(3599), T(3600), 3, -1},         {T(-5400), T(-3600), 3, -1},
        {T(3600), T(3599.5), 5, 1},        {T(0.1 + 0.2), T(0.3), 0, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(compare(c.a, c.b, c.op), c.want);
}

TEST_F(TimeTest, Round) {
    struct Case {
        const char* what;
        double seconds;
        const Cell* scale;
        bool even, down, floor;
        Want want;
    };
    Cell minute = int_cell(60);
    Cell quarter = T(900);
    Cell half = float_cell(0.5);
    Cell one = int_cell(1);
    Cell money{TYPE_MONEY, 0, 0, 0};
    Case cases[] = {
        {"1:02:03.6", 3723.6, nullptr, false, false, false, time_of(3724)},
        {"1:02:03.5", 3723.5, nullptr, false, false, false, time_of(3724)},
        {"even 0:00:02.5", 2.5, nullptr, true, false, false, time_of(2)},
        {"down 1:02:03.9", 3723.9, nullptr, false, true, false, time_of(3723)},
        {"floor -0:00:00.5", -0.5, nullptr, false, false, true, time_of(-1)},
        {"to 60", 3723, &minute, false, false, false, time_of(3720)},
        {"to 0:15:00", 3600 + 480, &quarter, false, false, false, time_of(4500)},
        {"to 0.5", 3600.25, &half, false, false, false, time_of(3600.5)},
        // Seconds beyond the integer range round without passing through it.
        {"to 1, huge", 1e12 + 0.25, &one, false, false, false, time_of(1e12)},
        {"money", 3600, &money, false, false, false, fails(script(err::script::not_related))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Cell t = T(c.seconds);
        auto raised = error_of([&] {
            datatype::get<Slot::round>(TYPE_TIME)(&t, c.scale, c.even, c.down, false, c.floor,
                                                  false, false);
        });
        expect(t, raised, c.want);
    }
}

TEST_F(TimeTest, PathsReadComponents) {
    struct Case {
        double seconds;
        Cell element;
        Want want;
    } cases[] = {
        {-5400, word("hour"), int_of(-1)},
        {-5400, word("minute"), int_of(30)},
        {-5.5, word("second"), float_of(-5.5)},
        {3723.5, word("HOUR"), int_of(1)},
        {3723.5, int_cell(2), int_of(2)},
        {3723.5, int_cell(3), float_of(3.5)},
        {360000, word("hour"), int_of(100)},
        {3600.0 * 3e9, word("hour"), fails(overflow)},
        {INFINITY, word("minute"), int_of(0)},
        {3600, int_cell(4), fails(script(err::script::invalid_path))},
        {3600, int_cell(0), fails(script(err::script::invalid_path))},
        {3600, word("day"), fails(script(err::script::cannot_use))},
        {3600, float_cell(1), fails(script(err::script::invalid_path))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        Cell t = T(c.seconds);
        Cell element = c.element;
        Cell* got = nullptr;
        auto raised = error_of([&] {
            got = datatype::get<Slot::eval_path>(TYPE_TIME)(&t, &element, nullptr, nullptr, nullptr,
                                                            nullptr, -1, false, true, true, false);
        });
        expect(got ? *got : t, raised, c.want);
        expect(t, no_error, time_of(c.seconds));
    }
}

TEST_F(TimeTest, PathsWriteComponents) {
    struct Case {
        const char* what;
        double seconds;
        const char* component;
        Cell value;
        Want want; // the time afterwards
    } cases[] = {
        {"1:30:00 hour 5", 5400, "hour", int_cell(5), time_of(19800)},
        {"1:30:00 minute 10", 5400, "minute", int_cell(10), time_of(4200)},
        {"1:30:00 second 2.5", 5400, "second", float_cell(2.5), time_of(5402.5)},
        {"1:30:00 minute 90", 5400, "minute", int_cell(90), time_of(9000)},
        // A negative time keeps its sign; its hours carry their own.
        {"-1:30:00 minute 10", -5400, "minute", int_cell(10), time_of(-4200)},
        {"-1:30:00 second 5", -5400, "second", int_cell(5), time_of(-5405)},
        {"-0:00:05.5 second -5.5", -5.5, "second", float_cell(-5.5), time_of(-5.5)},
        {"-1:30:00 hour -2", -5400, "hour", int_cell(-2), time_of(-9000)},
        {"-1:30:00 hour 0", -5400, "hour", int_cell(0), time_of(-1800)},
        {"-1:30:00 hour 2", -5400, "hour", int_cell(2), time_of(9000)},
        {"1:30:00 hour -1", 5400, "hour", int_cell(-1), time_of(-5400)},
        {"hour 1.5", 5400, "hour", float_cell(1.5), fails(script(err::script::invalid_arg))},
        {"minute 1.5", 5400, "minute", float_cell(1.5), fails(script(err::script::invalid_arg))},
        {"second none", 5400, "second", Cell{TYPE_NONE, 0, 0, 0},
         fails(script(err::script::invalid_arg))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Cell t = T(c.seconds);
        Cell element = word(c.component);
        Cell value = c.value;
        Cell* got = nullptr;
        auto raised = error_of([&] {
            got = datatype::get<Slot::eval_path>(TYPE_TIME)(&t, &element, &value, nullptr, nullptr,
                                                            nullptr, -1, false, false, true, false);
        });
        expect(t, raised, c.want);
        if (!got) continue;
        // The result is the component read back.
        Cell read_back = t;
        Cell* again = datatype::get<Slot::eval_path>(TYPE_TIME)(
            &read_back, &element, nullptr, nullptr, nullptr, nullptr, -1, false, true, true, false);
        EXPECT_EQ(std::memcmp(got, again, sizeof(Cell)), 0);
    }
}

TEST_F(TimeTest, Pick) {
    auto pick = datatype::get<Slot::pick>(TYPE_TIME);
    Cell t = T(-5400);
    Cell minute = word("minute");
    expect(*pick(&t, 0, &minute), no_error, int_of(30));
    Cell one = int_cell(1);
    expect(*pick(&t, 1, &one), no_error, int_of(-1));
    for (int32_t index : {0, 4, -1}) {
        Cell i = int_cell(index);
        EXPECT_EQ(error_of([&] { pick(&t, index, &i); }), script(err::script::out_of_range));
    }
    Cell day = word("day");
    EXPECT_EQ(error_of([&] { pick(&t, 0, &day); }), script(err::script::cannot_use));
}

TEST_F(TimeTest, EvenAndOddLookAtWholeSeconds) {
    struct Case {
        double seconds;
        bool even;
    } cases[] = {
        {2, true}, {1.9999999, true}, {1.5, false}, {-3, false}, {62, true}, {-0.0000001, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        Cell t = T(c.seconds);
        EXPECT_EQ(datatype::get<Slot::even_q>(TYPE_TIME)(&t), c.even);
        EXPECT_EQ(datatype::get<Slot::odd_q>(TYPE_TIME)(&t), !c.even);
    }
    // A time that is not finite is neither.
    for (double x : {NAN, INFINITY}) {
        Cell t = T(x);
        EXPECT_FALSE(datatype::get<Slot::even_q>(TYPE_TIME)(&t));
        EXPECT_FALSE(datatype::get<Slot::odd_q>(TYPE_TIME)(&t));
    }
}

TEST_F(TimeTest, RandomStaysATimeWithinTheValue) {
    for (int i = 0; i < 20; ++i) {
        Cell t = T(3600);
        datatype::get<Slot::random>(TYPE_TIME)(&t, false, false, false);
        ASSERT_EQ(cell::type_of(t), uint32_t(TYPE_TIME));
        EXPECT_LE(std::fabs(cell::get_float(t)), 3600.0);
    }
}

TEST_F(TimeTest, ConstructorsWriteWholeHeaders) {
    Cell* pushed = time_::push(1.5);
    EXPECT_EQ(pushed->header, uint32_t(TYPE_TIME));
    EXPECT_EQ(cell::get_float(*pushed), 1.5);
    Cell block = block_of({});
    Cell* appended = time_::make_in(block, -2);
    EXPECT_EQ(appended->header, uint32_t(TYPE_TIME));
    EXPECT_EQ(block::rs_length(block), 1);
    Cell flagged{TYPE_NONE | cell::new_line_flag, 0, 0, 0};
    time_::make_at(7, flagged);
    EXPECT_EQ(flagged.header, uint32_t(TYPE_TIME) | cell::new_line_flag);
}
