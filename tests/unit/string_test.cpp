#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/collector.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"
#include "tests/unit/text_fixture.h"

using namespace kiv;
using kiv::test::TextTest;

namespace {

class StringTest : public TextTest {
  protected:
    // The text of a string from its head, as UTF-8.
    static std::string utf8_of(Cell s) {
        int32_t length = -1;
        uint8_t* p = utf8::from_string(s, length);
        return std::string(reinterpret_cast<char*>(p), size_t(length));
    }
    static Cell empty() {
        Cell c{};
        return test::hold(string::make_at(c, 0));
    }
};

} // namespace

TEST_F(StringTest, AppendAndPokeWidenByTheirOwnRules) {
    struct Case {
        const char* name;
        uint32_t start_unit;
        bool append; // else poke at the tail
        uint32_t cp;
        uint32_t unit;
    };
    const Case cases[] = {
        {"append ASCII", 1, true, 0x7F, 1},         {"append 0x80", 1, true, 0x80, 2},
        {"append 0xFF", 1, true, 0xFF, 2},          {"append astral to 1", 1, true, 0x10000, 4},
        {"append BMP to 2", 2, true, 0xFFFF, 2},    {"append astral to 2", 2, true, 0x1F600, 4},
        {"poke 0x80", 1, false, 0x80, 1},           {"poke 0xFF", 1, false, 0xFF, 1},
        {"poke 0x100", 1, false, 0x100, 2},         {"poke astral to 1", 1, false, 0x10000, 4},
        {"poke astral to 2", 2, false, 0x10000, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cell s = units(U"ab", c.start_unit);
        Buffer* b = memory::buffer_of(s.w2);
        b = c.append ? string::append_char(b, c.cp) : string::poke_char_at(b, 2, c.cp);
        EXPECT_EQ(b, memory::buffer_of(s.w2));
        EXPECT_EQ(unit_of(s), c.unit);
        EXPECT_EQ(chars(s), std::u32string(U"ab") + char32_t(c.cp));
    }
}

TEST_F(StringTest, AppendingGrowsAndWidensStepByStep) {
    Cell s = empty();
    std::u32string expect;
    for (uint32_t cp : {0x61u, 0x62u, 0xE9u, 0x20ACu, 0x1F600u, 0x63u}) {
        string::append_char(memory::buffer_of(s.w2), cp);
        expect += char32_t(cp);
    }
    for (int i = 0; i < 100; ++i) {
        string::append_char(memory::buffer_of(s.w2), 'x');
        expect += U'x';
    }
    EXPECT_EQ(unit_of(s), 4u);
    EXPECT_EQ(chars(s), expect);
}

TEST_F(StringTest, PokeAtAnAddressAndInsert) {
    Cell s = text("abc");
    Buffer* b = string::poke_char(memory::buffer_of(s.w2), string::head_ptr(s) + 1, 0x20AC);
    EXPECT_EQ(b->unit(), 2u);
    EXPECT_EQ(chars(s), U"a\u20ACc");
    string::insert_char(memory::buffer_of(s.w2), 0, 0x1F600);
    string::insert_char(memory::buffer_of(s.w2), 4, 'z');
    EXPECT_EQ(chars(s), U"\U0001F600a\u20ACcz");
    Cell t = text("0123456789abcdef"); // a full 16-byte buffer
    string::insert_char(memory::buffer_of(t.w2), 3, '-');
    EXPECT_EQ(chars(t), U"012-3456789abcdef");
}

TEST_F(StringTest, MakeLengthsAndPositions) {
    Cell s = empty();
    EXPECT_EQ(cell::type_of(s), TYPE_STRING);
    EXPECT_GE(memory::buffer_of(s.w2)->size, 1u);
    EXPECT_EQ(string::length(s), 0u);
    EXPECT_TRUE(string::at_tail(s));

    Cell t = text("hello");
    t.w1 = 9; // another value shortened the buffer
    EXPECT_EQ(string::length(t), 0u);
    EXPECT_EQ(string::head_ptr(t), string::tail_ptr(t));
    EXPECT_EQ(t.w1, 5u);
    t.w1 = 1;
    EXPECT_EQ(string::length(t), 4u);
    EXPECT_EQ(string::length_whole(t), 5u);
    EXPECT_EQ(string::char_at(t, 0), uint32_t('h'));
    EXPECT_EQ(string::find_char(t, 'l'), 1);
    EXPECT_EQ(string::find_char(t, 'h'), -1);
    EXPECT_TRUE(string::has_char(t, 'L', 1, false));
    EXPECT_FALSE(string::has_char(t, 'L', 1, true));
    EXPECT_FALSE(string::has_char(t, 'o', 2, true)); // steps on e and the second l
    EXPECT_TRUE(string::has_char(t, 'o', 3, true));
    EXPECT_TRUE(string::match_c_string(t, "ell"));
    EXPECT_FALSE(string::match_c_string(t, "ellox"));
    EXPECT_FALSE(string::match_c_string(t, "elk"));

    Cell wide{};
    string::make_at_unit(wide, 0, 4);
    EXPECT_EQ(unit_of(wide), 4u);
    EXPECT_EQ(memory::buffer_of(wide.w2)->size, 16u);
}

TEST_F(StringTest, RemoveTruncateReset) {
    Cell s = text("abcdef\u20AC");
    string::remove_part(s, 1, 2);
    EXPECT_EQ(chars(s), U"adef\u20AC");
    string::remove_part(s, 3, 99);
    EXPECT_EQ(chars(s), U"ade");
    string::remove_part(s, 7, 1);
    EXPECT_EQ(chars(s), U"ade");
    string::truncate_buffer(memory::buffer_of(s.w2), 9);
    EXPECT_EQ(chars(s), U"ade");
    string::truncate_buffer(memory::buffer_of(s.w2), 2);
    EXPECT_EQ(chars(s), U"ad");
    s.w1 = 1;
    string::reset(s);
    EXPECT_EQ(s.w1, 0u);
    EXPECT_EQ(unit_of(s), 1u);
    EXPECT_EQ(string::length(s), 0u);
}

TEST_F(StringTest, ConcatenateWidensTheRightSide) {
    Cell s = text("ab");
    string::concatenate(s, s, -1, false);
    EXPECT_EQ(chars(s), U"abab");

    Cell wide_source = text("\u20AC!");
    Cell target = text("x");
    string::concatenate(target, wide_source, -1, true);
    EXPECT_EQ(unit_of(target), 2u);
    EXPECT_EQ(chars(target), U"x\u20AC!");

    Cell narrow = text("y\u00E9z");
    string::concatenate(target, narrow, 2, true);
    EXPECT_EQ(unit_of(narrow), 1u);
    EXPECT_EQ(chars(target), U"x\u20AC!y\u00E9");
    string::concatenate(target, narrow, -1, false);
    EXPECT_EQ(unit_of(narrow), 2u);
    EXPECT_EQ(chars(narrow), U"y\u00E9z");
    EXPECT_EQ(chars(target), U"x\u20AC!y\u00E9y\u00E9z");
}

TEST_F(StringTest, AppendCStringAndBytes) {
    Cell s = text("a");
    string::append_c_string(s, "b\xE9");
    EXPECT_EQ(unit_of(s), 2u);
    EXPECT_EQ(chars(s), U"ab\u00E9");
    string::append_c_string(s, "");
    EXPECT_EQ(chars(s), U"ab\u00E9");
    const uint8_t bytes[] = {0, 'q'};
    string::append_bytes(s, bytes, 2);
    EXPECT_EQ(chars(s), std::u32string(U"ab\u00E9") + U'\0' + U'q');
}

TEST_F(StringTest, HexForms) {
    struct Case {
        int32_t value;
        bool short_form;
        const char* text;
    };
    const Case cases[] = {
        {0x1E, true, "1E"},       {0, true, "00"},         {5, true, "5"},
        {0x1F600, true, "1F600"}, {-1, false, "FFFFFFFF"}, {255, false, "000000FF"},
        {0, false, "00000000"},   {-2, false, "FFFFFFFE"}, {0x7FFFFFFF, false, "7FFFFFFF"}};
    for (const Case& c : cases) EXPECT_STREQ(string::int_to_hex(c.value, c.short_form), c.text);
    EXPECT_EQ(std::string(string::byte_to_hex(0xA7), 2), "A7");
}

TEST_F(StringTest, ExchangeRegionsKeepsTheGap) {
    struct Case {
        std::string before;
        uint32_t la, gap, lb;
        std::string after;
    };
    const Case cases[] = {{"aaaB", 3, 0, 1, "Baaa"},
                          {"aBBB", 1, 0, 3, "BBBa"},
                          {"aa--BBB", 2, 2, 3, "BBB--aa"},
                          {"aaaa-B", 4, 1, 1, "B-aaaa"}};
    for (const Case& c : cases) {
        std::string s = c.before;
        auto* a = reinterpret_cast<uint8_t*>(s.data());
        string::exchange_regions(a, c.la, a + c.la + c.gap, c.lb, c.gap);
        EXPECT_EQ(s, c.after);
    }
}

TEST_F(StringTest, CopyWidenedAndMovePart) {
    Cell s = text("ab\u00E9");
    Buffer* b = string::copy_widened(memory::buffer_of(s.w2), nullptr, 64, 4, 0, 0, 3, false);
    EXPECT_EQ(b, memory::buffer_of(s.w2));
    EXPECT_EQ(b->size, 64u);
    EXPECT_EQ(unit_of(s), 4u);
    EXPECT_EQ(chars(s), U"ab\u00E9");

    // A size too small for the widened text is raised to fit it.
    Cell longer = text("0123456789abcdefghij");
    string::copy_widened(memory::buffer_of(longer.w2), nullptr, 16, 2, 0, 0, 20, false);
    EXPECT_EQ(chars(longer), U"0123456789abcdefghij");

    Cell source = text("xyz");
    Cell target = text("\u20AC12");
    Buffer* t = memory::buffer_of(target.w2);
    string::copy_widened(memory::buffer_of(source.w2), t, 0, 2, 1, 3, 3, false);
    EXPECT_EQ(chars(target), U"\u20AC12yz");

    Cell from = text("hello");
    Cell to = text("[]");
    to.w1 = 1;
    string::move_part(from, to, 3);
    EXPECT_EQ(chars(from), U"lo");
    to.w1 = 0;
    EXPECT_EQ(chars(to), U"[hel]");

    Cell shared = text("abcd");
    Cell later = shared;
    later.w1 = 2;
    string::move_part(later, shared, 2); // cd goes before ab
    EXPECT_EQ(chars(shared), U"cdab");
}

TEST_F(StringTest, LoadInAndTagBrackets) {
    Cell tag = text("b");
    Cell longer = text("bb");
    Cell block = test::hold(Cell{TYPE_BLOCK, 0, memory::alloc_cells(1), 0});
    const char16_t units16[] = u"<b>";
    // The loaded cell lies in the block's buffer: read before anything allocates.
    Cell& loaded = string::load_in(reinterpret_cast<const uint8_t*>(units16), 3, block,
                                   string::Encoding::utf16le);
    EXPECT_EQ(cell::type_of(loaded), TYPE_STRING);
    EXPECT_EQ(chars(loaded), U"<b>");
    EXPECT_TRUE(string::tag_brackets(loaded, tag));
    EXPECT_FALSE(string::tag_brackets(loaded, longer));
}

TEST_F(StringTest, MoldChoosesQuotesOrBraces) {
    struct Case {
        const char* name;
        std::string in;
        std::string out;
    };
    const std::string plain49(49, 'x');
    const Case cases[] = {
        {"empty", "", "\"\""},
        {"49 plain", plain49, "\"" + plain49 + "\""},
        {"50 plain", plain49 + "x", "{" + plain49 + "x}"},
        {"one quote", "say \"hi", "{say \"hi}"},
        {"two lines", "a\nb\nc", "\"a^/b^/c\""},
        {"three lines", "a\nb\nc\nd", "{a^/b^/c^/d}"},
        {"braces in quotes", "a{b", "\"a{b\""},
        {"balanced braces", "\"a{b}c", "{\"a{b}c}"},
        {"nested braces", "\"{a{b}}", "{\"{a{b}}}"},
        {"unmatched open", "\"a{b{c}", "{\"a^{b^{c^}}"},
        {"stray close", "\"}a{b}", "{\"^}a{b}}"},
        {"caret in braces", "\"^", "{\"^^}"},
        {"tab in braces", "\"\t", "{\"^-}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cell out = empty();
        int32_t left = string::mold(text(c.in), out, false, nullptr, 1000);
        EXPECT_EQ(utf8_of(out), c.out);
        EXPECT_EQ(left, 1000 - int32_t(chars(text(c.in)).size()) - 2);
    }
}

TEST_F(StringTest, EscapesInMoldedText) {
    struct Case {
        char32_t cp;
        const char* plain;
        const char* all;
    };
    const Case cases[] = {
        {0x00, "^@", "^@"},
        {0x01, "^A", "^A"},
        {0x08, "^H", "^H"},
        {0x09, "^-", "^-"},
        {0x0A, "^/", "^/"},
        {0x0B, "^K", "^K"},
        {0x0D, "^M", "^M"},
        {0x1A, "^Z", "^Z"},
        {0x1B, "^[", "^["},
        {0x1C, "^\\", "^\\"},
        {0x1D, "^]", "^]"},
        {0x1E, "^(1E)", "^(1E)"},
        {0x1F, "^_", "^_"},
        {0x22, "^\"", "^\""},
        {0x5E, "^^", "^^"},
        {0x7F, "^~", "^~"},
        {0x80, "^(80)", "^(80)"},
        {0x85, "^(85)", "^(85)"},
        {0x9F, "^(9F)", "^(9F)"},
        {0xA0, "\u00A0", "^(A0)"},
        {0xE9, "\u00E9", "^(E9)"},
        {0x20AC, "\u20AC", "^(20AC)"},
        {0x1F600, "\U0001F600", "^(1F600)"},
        {0x41, "A", "A"},
        {0x7B, "{", "{"},
        {0x5D, "]", "]"},
    };
    for (const Case& c : cases) {
        for (bool all : {false, true}) {
            Cell out = empty();
            string::append_escaped_char(out, c.cp, all);
            EXPECT_EQ(utf8_of(out), all ? c.all : c.plain) << std::hex << uint32_t(c.cp);
        }
    }
    // Whole strings across the planes, in both modes.
    Cell out = empty();
    string::mold(units(U"\u00E9\u20AC\U0001F600", 4), out, false, nullptr, 100);
    EXPECT_EQ(utf8_of(out), "\"\u00E9\u20AC\U0001F600\"");
    out = empty();
    string::mold(units(U"\u00E9\u20AC\U0001F600", 4), out, true, nullptr, 100);
    EXPECT_EQ(utf8_of(out), "\"^(E9)^(20AC)^(1F600)\"");
}

TEST_F(StringTest, PartLimitsOfFormAndMold) {
    struct Case {
        const char* name;
        bool mold;
        int32_t part; // -1: no /part
        int32_t limit;
        std::string out;
        int32_t left;
    };
    const Case cases[] = {
        {"form all", false, -1, 100, "abcdefgh", 92},
        {"form part 3", false, 3, 3, "abc", -5},
        {"form part 0", false, 0, 0, "", -8},
        {"mold all", true, -1, 100, "\"abcdefgh\"", 90},
        {"mold part 5", true, 5, 5, "\"abcde\"", -2},
        {"mold part past end", true, 20, 20, "\"abcdefgh\"", 10},
        {"mold part, no budget left", true, 5, -3, "\"\"", -5},
        {"mold part 0 ignores the limit", true, 0, 4, "\"abcdefgh\"", -6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cell out = empty();
        Cell part{TYPE_INTEGER, 0, uint32_t(c.part), 0};
        const Cell* p = c.part < 0 ? nullptr : &part;
        Cell value = text("abcdefgh");
        int32_t left = c.mold ? string::mold(value, out, false, p, c.limit)
                              : string::form(value, out, p, c.limit);
        EXPECT_EQ(utf8_of(out), c.out);
        EXPECT_EQ(left, c.left);
    }
}

TEST_F(StringTest, FormWidensTheOutputNeverTheSource) {
    Cell source = text("\u20ACuro");
    source.w1 = 1;
    Cell out = text("e");
    EXPECT_EQ(string::form(source, out, nullptr, 10), 7);
    EXPECT_EQ(chars(out), U"euro");
    EXPECT_EQ(unit_of(out), 2u);
    Cell narrow = text("\u00E9t\u00E9");
    Cell wide_out = text("\u20AC");
    string::form(narrow, wide_out, nullptr, 10);
    EXPECT_EQ(unit_of(narrow), 1u);
    EXPECT_EQ(chars(wide_out), U"\u20AC\u00E9t\u00E9");
}

namespace {

// Every allocation collects and compacts, so a raw buffer address kept
// across one would read moved or poisoned memory.
class StringStressTest : public StringTest {
  protected:
    void SetUp() override {
        StringTest::SetUp();
        collector::active = true;
        memory::collect_always = true;
    }
};

} // namespace

TEST_F(StringStressTest, TextSurvivesCollectionsWhileItGrowsAndWidens) {
    text("garbage before the values, so that compaction moves them");
    Rooted<Cell> s(text("ab"));
    Rooted<Cell> out(empty());
    text("more garbage");
    for (uint32_t cp : {0xE9u, 0x20ACu, 0x1F600u}) {
        string::append_char(memory::buffer_of(s->w2), cp);
        text("garbage between appends");
    }
    Rooted<Cell> other(text("{\"x\u00FF"));
    string::concatenate(*s, *other, -1, false);
    string::change_case(*s, nullptr, unicode::case_mode::upper);
    string::insert_char(memory::buffer_of(s->w2), 1, 0x10428);
    EXPECT_EQ(chars(*s), U"A\U00010428B\u00C9\u20AC\U0001F600{\"X\u0178");
    string::mold(*s, *out, false, nullptr, 100);
    string::form(*other, *out, nullptr, 100);
    EXPECT_EQ(utf8_of(*out), "{A\U00010428B\u00C9\u20AC\U0001F600^{\"X\u0178}{\"x\u00FF");
    const uint16_t* units16 = unicode::to_utf16(*other);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(units16)), u"{\"x\u00FF");
    EXPECT_NE(other->w3, 0u);
    EXPECT_GT(collector::stats.collections, 10u);
}

TEST_F(StringStressTest, LoadingKeepsItsNewBufferWhileItWidens) {
    // Each widening expands the buffer, and the expansion collects first:
    // the buffer being built is referred to by no value yet.
    struct Case {
        const char* utf8;
        std::u32string chars;
    };
    const Case cases[] = {
        {"ab\u00E9\u20AC", U"ab\u00E9\u20AC"},
        {"x\U0001F600y", U"x\U0001F600y"},
        {"\u20AC\U0001F600\u00FF", U"\u20AC\U0001F600\u00FF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        text("garbage, so that compaction moves what follows");
        Rooted<Cell> s(text(c.utf8));
        EXPECT_EQ(chars(*s), c.chars);
    }
}

TEST_F(StringTest, PushLoadOntoTheArgumentStackAndToFloat) {
    stack::init(1, 2);
    Cell* top = stack::state.top;
    const std::string bytes = "\xEF\xBB\xBFz\u00E9";
    Cell& loaded = string::load(reinterpret_cast<const uint8_t*>(bytes.data()),
                                uint32_t(bytes.size()), string::Encoding::utf8);
    EXPECT_EQ(&loaded, top);
    EXPECT_EQ(cell::type_of(loaded), TYPE_STRING);
    EXPECT_EQ(chars(loaded), U"z\u00E9");
    Cell& copy = string::push(loaded);
    EXPECT_EQ(&copy, top + 1);
    EXPECT_EQ(copy.w2, loaded.w2);
    EXPECT_EQ(stack::state.top, top + 2);
    EXPECT_EQ(string::to_float("12.5e1xyz", 6), 125.0);
}
