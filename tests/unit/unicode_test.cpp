#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/errors.h"
#include "runtime/throw.h"
#include "runtime/unicode.h"
#include "tests/unit/text_fixture.h"

using namespace kiv;
using kiv::test::raises;
using kiv::test::TextTest;

namespace {

using Bytes = std::vector<uint8_t>;

class UnicodeTest : public TextTest {};

// Whether body raised access invalid-utf8.
template <class Body>
bool raises_invalid_utf8(Body body) {
    return kiv::test::raises(runtime::Category::access, err::access::invalid_utf8, body);
}

struct DecodeCase {
    const char* name;
    Bytes bytes;
    int32_t cp;    // -1: truncated, -2: malformed
    uint32_t used; // bytes consumed on success
};

} // namespace

TEST_F(UnicodeTest, DecodeCharAcceptsWellFormedAndRejectsAsTheDecoderTable) {
    const DecodeCase cases[] = {
        {"ascii", {0x41}, 0x41, 1},
        {"nul", {0x00}, 0, 1},
        {"two bytes", {0xC3, 0xA9}, 0xE9, 2},
        {"three bytes", {0xE2, 0x82, 0xAC}, 0x20AC, 3},
        {"last BMP", {0xEF, 0xBF, 0xBF}, 0xFFFF, 3},
        {"four bytes", {0xF0, 0x9F, 0x98, 0x80}, 0x1F600, 4},
        {"last code point", {0xF4, 0x8F, 0xBF, 0xBF}, 0x10FFFF, 4},
        {"BOM", {0xEF, 0xBB, 0xBF}, 0xFEFF, 3},
        {"truncated two", {0xC3}, -1, 0},
        {"truncated three", {0xE2, 0x82}, -1, 0},
        {"truncated four", {0xF0, 0x9F, 0x98}, -1, 0},
        {"overlong NUL", {0xC0, 0x80}, -2, 0},
        {"overlong C1", {0xC1, 0xBF}, -2, 0},
        {"overlong three", {0xE0, 0x80, 0x80}, -2, 0},
        {"overlong three, cut", {0xE0, 0x9F}, -2, 0},
        {"overlong four", {0xF0, 0x80, 0x80, 0x80}, -2, 0},
        {"lone continuation 80", {0x80}, -2, 0},
        {"lone continuation BF", {0xBF, 0x41}, -2, 0},
        {"high surrogate", {0xED, 0xA0, 0x80}, -2, 0},
        {"low surrogate", {0xED, 0xB0, 0x80}, -2, 0},
        {"last surrogate", {0xED, 0xBF, 0xBF}, -2, 0},
        {"above 10FFFF", {0xF4, 0x90, 0x80, 0x80}, -2, 0},
        {"F5 lead", {0xF5, 0x80, 0x80, 0x80}, -2, 0},
        {"lead then ascii", {0xC3, 0x41}, -2, 0},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t remaining = uint32_t(c.bytes.size());
        if (c.cp == -2) {
            EXPECT_TRUE(raises_invalid_utf8([&] { utf8::decode_char(c.bytes.data(), remaining); }));
        } else if (c.cp == -1) {
            EXPECT_EQ(utf8::decode_char(c.bytes.data(), remaining), -1);
            EXPECT_EQ(remaining, c.bytes.size());
        } else {
            EXPECT_EQ(utf8::decode_char(c.bytes.data(), remaining), c.cp);
            EXPECT_EQ(remaining, c.used);
        }
    }
}

TEST_F(UnicodeTest, DecodingStopsAtTheEndOfTheInput) {
    // The byte after the given range would complete the sequence: it must
    // not be read.
    const Bytes euro = {0xE2, 0x82, 0xAC};
    uint32_t remaining = 2;
    EXPECT_EQ(utf8::decode_char(euro.data(), remaining), -1);
    int32_t cp = 0;
    EXPECT_EQ(utf8::decode_step(euro.data(), euro.data() + 2, cp), euro.data() + 2);
    EXPECT_EQ(cp, -1);
    EXPECT_EQ(utf8::count_chars(euro.data(), euro.data() + 2), 1);
}

TEST_F(UnicodeTest, StepCountAndSkip) {
    const Bytes s = {'a', 0xC3, 0xA9, 0x80, 0xE2, 0x82, 0xAC, 'z'};
    const uint8_t* end = s.data() + s.size();
    int32_t cp;
    EXPECT_EQ(utf8::decode_step(s.data() + 1, end, cp), s.data() + 3);
    EXPECT_EQ(cp, 0xE9);
    // A stray continuation byte is one bad character.
    EXPECT_EQ(utf8::decode_step(s.data() + 3, end, cp), s.data() + 4);
    EXPECT_EQ(cp, -1);
    EXPECT_EQ(utf8::count_chars(s.data(), end), 5);
    EXPECT_EQ(utf8::count_chars(s.data(), s.data()), 0);
    EXPECT_EQ(utf8::skip_chars(s.data(), end, 1), s.data());
    EXPECT_EQ(utf8::skip_chars(s.data(), end, 3), s.data() + 3);
    EXPECT_EQ(utf8::skip_chars(s.data(), end, 99), end);
    EXPECT_EQ(utf8::seq_length('a'), 0);
    EXPECT_EQ(utf8::seq_length(0xC3), 2);
    EXPECT_EQ(utf8::seq_length(0xE2), 3);
    EXPECT_EQ(utf8::seq_length(0xF0), 4);
}

TEST_F(UnicodeTest, EncodeCharForms) {
    struct Case {
        uint32_t cp;
        Bytes bytes;
    };
    const Case cases[] = {{0x41, {0x41}},
                          {0x7F, {0x7F}},
                          {0x80, {0xC2, 0x80}},
                          {0x7FF, {0xDF, 0xBF}},
                          {0x800, {0xE0, 0xA0, 0x80}},
                          // Lone surrogates have no UTF-8 form: U+FFFD.
                          {0xD800, {0xEF, 0xBF, 0xBD}},
                          {0xDFFF, {0xEF, 0xBF, 0xBD}},
                          {0xFFFF, {0xEF, 0xBF, 0xBF}},
                          {0x10000, {0xF0, 0x90, 0x80, 0x80}},
                          {0x10FFFF, {0xF4, 0x8F, 0xBF, 0xBF}}};
    for (const Case& c : cases) {
        uint8_t out[4] = {};
        ASSERT_EQ(utf8::encode_char(c.cp, out), c.bytes.size()) << std::hex << c.cp;
        EXPECT_EQ(Bytes(out, out + c.bytes.size()), c.bytes);
        EXPECT_EQ(utf8::char_length(c.cp), c.bytes.size());
    }
    uint8_t out[4] = {};
    EXPECT_EQ(utf8::encode_char_bounded(0x20AC, out, 2), 2u);
    EXPECT_EQ(out[0], 0xE2);
    EXPECT_EQ(out[1], 0x82);
    EXPECT_TRUE(raises(runtime::Category::script, err::script::invalid_char,
                       [&] { utf8::encode_char(0x110000, out); }));
}

TEST_F(UnicodeTest, LoadUtf8PicksTheSmallestUnit) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::u32string chars;
        uint32_t unit;
        uint32_t remaining;
    };
    const Case cases[] = {
        {"BOM alone", {0xEF, 0xBB, 0xBF}, U"", 1, 0},
        {"BOM then A", {0xEF, 0xBB, 0xBF, 0x41}, U"A", 1, 0},
        {"Latin-1 stays in bytes", {0xC3, 0xA9}, U"\u00E9", 1, 0},
        {"BMP widens to 2", {'a', 0xC3, 0xA9, 0xE2, 0x82, 0xAC}, U"a\u00E9\u20AC", 2, 0},
        {"astral widens to 4",
         {'a', 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80, 'b'},
         U"a\u20AC\U0001F600b",
         4,
         0},
        {"1 to 4 at once", {0xF0, 0x9F, 0x98, 0x80}, U"\U0001F600", 4, 0},
        {"ASCII runs on both sides of a widening",
         {'a', 'b', 'c', 0xE2, 0x82, 0xAC, 'd', 'e', 'f', 0xC3, 0xA9, 'g'},
         U"abc\u20ACdef\u00E9g",
         2,
         0},
        {"cut three-byte tail", {'a', 'b', 0xE2, 0x82}, U"ab", 1, 2},
        {"empty", {}, U"", 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t remaining = 99;
        Cell s{TYPE_STRING, 0, 0, 0};
        s.w2 = unicode::load_utf8(c.bytes.data(), uint32_t(c.bytes.size()), 0, &remaining, false);
        EXPECT_EQ(chars(s), c.chars);
        EXPECT_EQ(unit_of(s), c.unit);
        EXPECT_EQ(remaining, c.remaining);
    }
}

TEST_F(UnicodeTest, LoadUtf8LineEndsAndErrors) {
    const std::string crlf = "a\r\nb\rc\r";
    Cell s{TYPE_STRING, 0, 0, 0};
    s.w2 = unicode::load_utf8(reinterpret_cast<const uint8_t*>(crlf.data()), uint32_t(crlf.size()),
                              0, nullptr, true);
    EXPECT_EQ(chars(s), U"a\nb\nc\n");
    const Bytes lone = {0x80};
    EXPECT_TRUE(raises_invalid_utf8([&] { unicode::load_utf8_plain(lone.data(), 1); }));
    const Bytes surrogate = {'x', 0xED, 0xA0, 0x80};
    EXPECT_TRUE(raises_invalid_utf8([&] { unicode::load_utf8_plain(surrogate.data(), 4); }));
}

TEST_F(UnicodeTest, LoadUtf8IntoAStringReplacesItsText) {
    Cell s = text("old text \u20AC");
    string::reset(s);
    const std::string fresh = "caf\u00E9";
    uint32_t remaining = 7;
    unicode::load_utf8_from(reinterpret_cast<const uint8_t*>(fresh.data()), uint32_t(fresh.size()),
                            s, &remaining);
    EXPECT_EQ(chars(s), U"caf\u00E9");
    EXPECT_EQ(unit_of(s), 1u);
    EXPECT_EQ(remaining, 0u);
}

namespace {
Bytes utf16(const std::vector<uint16_t>& units) {
    Bytes out;
    for (uint16_t u : units) {
        out.push_back(uint8_t(u));
        out.push_back(uint8_t(u >> 8));
    }
    return out;
}
} // namespace

TEST_F(UnicodeTest, LoadUtf16ReplacesUnpairedSurrogates) {
    struct Case {
        const char* name;
        std::vector<uint16_t> units;
        std::u32string chars;
        uint32_t unit;
        bool cr;
    };
    const Case cases[] = {
        {"Latin-1", {'a', 0xE9}, U"a\u00E9", 1, false},
        {"BMP", {'a', 0x20AC}, U"a\u20AC", 2, false},
        {"pair", {0xD83D, 0xDE00, 'z'}, U"\U0001F600z", 4, false},
        {"high at end", {'a', 0xD83D}, U"a\uFFFD", 4, false},
        {"high then letter", {0xD83D, 'A'}, U"\uFFFDA", 4, false},
        {"lone low", {0xDE00, 'b'}, U"\uFFFDb", 4, false},
        {"two highs then low", {0xD83D, 0xD83D, 0xDE00}, U"\uFFFD\U0001F600", 4, false},
        {"line ends 1", {'a', '\r', '\n', 'b', '\r', 'c'}, U"a\nb\nc", 1, true},
        {"line ends 2", {0x20AC, '\r', '\n', '\r'}, U"\u20AC\n\n", 2, true},
        {"line ends 4", {0xD83D, 0xDE00, '\r', 'x', '\r', '\n'}, U"\U0001F600\nx\n", 4, true},
        {"CR kept without the flag", {'a', '\r'}, U"a\r", 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = utf16(c.units);
        uint32_t count = uint32_t(c.units.size());
        EXPECT_EQ(unicode::check_utf16(bytes.data(), count), c.unit);
        Cell s{TYPE_STRING, 0, 0, 0};
        s.w2 = unicode::load_utf16(bytes.data(), count, nullptr, c.cr);
        EXPECT_EQ(chars(s), c.chars);
        EXPECT_EQ(unit_of(s), c.unit);
    }
}

TEST_F(UnicodeTest, ToUtf16WritesPairsAndLineEnds) {
    Cell s = text("a\n\U0001F600");
    const uint16_t* out = unicode::to_utf16(s);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(out)), u"a\r\n\U0001F600");
    int32_t length = 2;
    out = unicode::to_utf16_part(s, length, false);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(out)), u"a\n");
    Cell bad = units(std::u32string{U'a', char32_t(0x110000)}, 4);
    length = -1;
    EXPECT_EQ(unicode::to_utf16_part(bad, length, false), nullptr);
    uint16_t ascii[4];
    unicode::ascii_to_utf16("ok", ascii);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(ascii)), u"ok");
}

TEST_F(UnicodeTest, ToUtf8UsesTheCacheBuffer) {
    Cell s = text("x\u00E9\n\u20AC");
    s.w1 = 1; // from the head
    int32_t length = -1;
    uint8_t* out = utf8::from_string_data(s, length, true);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), size_t(length)), "\u00E9\r\n\u20AC");
    EXPECT_EQ(out[length], 0);
    NodeId cache = s.w3;
    ASSERT_NE(cache, 0u);
    length = 1;
    out = utf8::from_string(s, length);
    EXPECT_EQ(s.w3, cache);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), size_t(length)), "\u00E9");
    EXPECT_EQ(utf8::encoded_length(string::head_ptr(s), string::tail_ptr(s), unit_of(s)), 6u);
    uint8_t room[8] = {};
    EXPECT_EQ(utf8::encode_string_into(s, room, 4, 0, false), 4u); // the euro sign is cut
    EXPECT_EQ(utf8::encode_string_part(s, room, 1, true), 2u);
    EXPECT_EQ(room[2], 0);
    EXPECT_EQ(utf8::encode_string_part(s, room, 0, false), 0u);
    EXPECT_EQ(utf8::encode_string_part(s, room, -1, false), 6u);
}

TEST_F(UnicodeTest, WideningKeepsTheCharacters) {
    Cell s = text("ab\u00E9");
    s.w1 = 1;
    Buffer* b = unicode::widen_1_2(memory::buffer_of(s.w2));
    EXPECT_EQ(b, memory::buffer_of(s.w2));
    EXPECT_EQ(b->unit(), 2u);
    EXPECT_EQ(chars(s), U"b\u00E9");
    unicode::widen_2_4(b);
    EXPECT_EQ(unit_of(s), 4u);
    EXPECT_EQ(chars(s), U"b\u00E9");
    Cell t = text("xyz");
    unicode::widen_1_4(memory::buffer_of(t.w2));
    EXPECT_EQ(unit_of(t), 4u);
    EXPECT_EQ(chars(t), U"xyz");
}
