#include "datatype_fixture.h"

#include <vector>

using namespace kiv;
using namespace kiv::testing;

namespace {

using CharTest = DatatypeTest;

Cell bytes(std::vector<uint8_t> data, uint32_t type = TYPE_BINARY) {
    Cell c = test::hold(Cell{type, 0, memory::alloc_bytes(16), 0});
    Buffer* b = memory::buffer_of(c.w2);
    for (uint8_t byte : data) *buffer::reserve_tail(b, 1) = byte;
    return c;
}

} // namespace

TEST_F(CharTest, Arithmetic) {
    struct Case {
        uint32_t c;
        Cell right;
        Slot slot;
        int64_t want; // -1: overflow
    } cases[] = {
        {'a', int_cell(1), Slot::add, 'b'},
        {'a', int_cell(98), Slot::subtract, -1},
        {0x10FFFF, int_cell(1), Slot::add, -1},
        {'a', float_cell(2.9), Slot::multiply, 194},
        {'a', char_cell(2), Slot::divide, 48},
        {'a', int_cell(10), Slot::remainder, 7},
        {'a', int_cell(0x20), Slot::xor_, 'A'},
        {'A', int_cell(0x20), Slot::or_, 'a'},
        {'a', int_cell(0x5F), Slot::and_, 'A'},
        {'a', int_cell(INT_MAX), Slot::add, -1},
        {'a', int_cell(INT_MIN), Slot::multiply, -1},
        {'a', float_cell(1e300), Slot::add, -1},
        {'a', float_cell(std::nan("")), Slot::add, -1},
    };
    for (const Case& c : cases) {
        Cell args[2] = {char_cell(c.c), c.right};
        auto fn = reinterpret_cast<action::FrameFn>(datatype::entry(TYPE_CHAR, c.slot));
        auto raised = error_of([&] { call(fn, args); });
        SCOPED_TRACE(std::to_string(c.c) + " slot " + std::to_string(uint32_t(c.slot)));
        if (c.want < 0) {
            EXPECT_EQ(raised, overflow);
        } else {
            EXPECT_EQ(raised, no_error);
            EXPECT_EQ(cell::type_of(args[0]), TYPE_CHAR);
            EXPECT_EQ(args[0].w2, uint32_t(c.want));
        }
    }
    Cell zero[2] = {char_cell('a'), int_cell(0)};
    EXPECT_EQ(error_of([&] { call(datatype::get<Slot::divide>(TYPE_CHAR), zero); }), zero_divide);
    Cell bad[2] = {char_cell('a'), none::value};
    EXPECT_EQ(error_of([&] { call(datatype::get<Slot::add>(TYPE_CHAR), bad); }),
              script(err::script::invalid_type));
}

TEST_F(CharTest, MakeChecksRangeAndData) {
    const auto out_of_range = script(err::script::out_of_range);
    const auto bad_to_arg = script(err::script::bad_to_arg);
    Cell string_at_tail = bytes({'a'}, TYPE_STRING);
    string_at_tail.w1 = 1;
    struct Case {
        Cell spec;
        int64_t want; // -1: error
        runtime::ErrorSite error;
    } cases[] = {
        {int_cell(0x10FFFF), 0x10FFFF, no_error},
        {int_cell(0x110000), -1, out_of_range},
        {int_cell(-1), -1, out_of_range},
        {float_cell(97.9), 97, no_error},
        {float_cell(-0.5), 0, no_error},
        {float_cell(-1.0), -1, out_of_range},
        {float_cell(1e300), -1, out_of_range},
        {float_cell(std::nan("")), -1, out_of_range},
        {bytes({'a', 'b', 'c'}, TYPE_STRING), 'a', no_error},
        {bytes({}, TYPE_STRING), -1, bad_to_arg},
        {string_at_tail, -1, bad_to_arg},
        {bytes({0xC3, 0xA9}), 0xE9, no_error},
        {bytes({0xF0, 0x9F, 0x98, 0x80}), 0x1F600, no_error},
        {bytes({0xC3, 0x41}), 0xFFFE, no_error},
        {bytes({}), -1, bad_to_arg},
        {bytes({0xE2, 0x82}), -1, bad_to_arg},
        {none::value, -1, bad_to_arg},
    };
    for (const Case& c : cases) {
        Cell out{};
        auto raised = error_of([&] { datatype::get<Slot::make>(TYPE_CHAR)(&out, &c.spec, 10); });
        SCOPED_TRACE("type " + std::to_string(cell::type_of(c.spec)) + " want " +
                     std::to_string(c.want));
        EXPECT_EQ(raised, c.error);
        if (c.want >= 0) {
            EXPECT_EQ(out.w2, uint32_t(c.want));
        }
    }
}

TEST_F(CharTest, MoldEscapes) {
    struct Case {
        uint32_t c;
        bool all;
        const char* mold;
    } cases[] = {
        {0x0A, false, "#\"^/\""},    {0x09, false, "#\"^-\""},    {0x22, false, "#\"^\"\""},
        {0x5E, false, "#\"^^\""},    {0x1E, false, "#\"^(1E)\""}, {0x85, false, "#\"^(85)\""},
        {0x7F, false, "#\"^~\""},    {0x00, false, "#\"^@\""},    {0x0D, false, "#\"^M\""},
        {0x1B, false, "#\"^[\""},    {0x1F, false, "#\"^_\""},    {'a', false, "#\"a\""},
        {0xE9, false, "#\"<233>\""}, {0xE9, true, "#\"^(E9)\""},  {0x1F600, true, "#\"^(1F600)\""},
    };
    for (const Case& c : cases) EXPECT_EQ(molded(char_cell(c.c), c.all), c.mold) << c.c;
    EXPECT_EQ(formed(char_cell('x')), "x");
}

TEST_F(CharTest, FormWidensTheBuffer) {
    Cell buffer = new_buffer();
    string::append_c_string(buffer, "ab");
    Cell c = char_cell(0x263A);
    EXPECT_EQ(datatype::get<Slot::form>(TYPE_CHAR)(&c, &buffer, nullptr, 10), 9);
    EXPECT_EQ(memory::buffer_of(buffer.w2)->unit(), 2u);
    EXPECT_EQ(text_of(buffer), "ab<9786>");
}
