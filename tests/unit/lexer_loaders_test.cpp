#include <gtest/gtest.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "datatype_fixture.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/symbol.h"
#include "datatypes/time.h"
#include "datatypes/word.h"
#include "evaluator/lexer.h"
#include "runtime/collector.h"
#include "runtime/roots.h"

using namespace kiv;

namespace {

std::string number(double d) {
    char text[32];
    auto [end, ec] = std::to_chars(text, text + sizeof text, d);
    (void)ec;
    return std::string(text, end);
}

std::string characters(const Cell& series) {
    Buffer* b = memory::buffer_of(series.w2);
    std::string out;
    for (uint8_t* p = b->head + series.w1 * b->unit(); p < b->tail; p += b->unit()) {
        uint32_t c = string::get_char(p, b->unit());
        out += c >= 0x20 && c < 0x7F ? std::string(1, char(c)) : "<" + std::to_string(c) + ">";
    }
    return out;
}

std::string show(const Cell& c);

std::string show_cells(const Cell& series, const char* open, const char* close) {
    std::string out = open;
    Buffer* b = memory::buffer_of(series.w2);
    for (Cell* e = b->head_cell() + series.w1; e < b->tail_cell(); ++e)
        out += (e == b->head_cell() + series.w1 ? "" : " ") + show(*e);
    return out + close;
}

// A value by its type and payload: words with their decoration, strings
// tagged with their type, series with their cells; "¶" marks a value that
// carries the new-line flag.
std::string show(const Cell& c) {
    std::string mark = c.header & cell::new_line_flag ? "¶" : "";
    uint32_t type = cell::type_of(c);
    auto name = [&] { return std::string(symbol::c_name(c.w2)); };
    switch (type) {
    case TYPE_INTEGER: return mark + std::to_string(int32_t(c.w2));
    case TYPE_FLOAT: return mark + "float:" + number(cell::get_float(c));
    case TYPE_PERCENT: return mark + "percent:" + number(cell::get_float(c));
    case TYPE_TIME: return mark + "time:" + number(cell::get_float(c));
    case TYPE_CHAR: return mark + "char:" + std::to_string(c.w2);
    case TYPE_STRING: return mark + "\"" + characters(c) + "\"";
    case TYPE_FILE: return mark + "file:" + characters(c);
    case TYPE_URL: return mark + "url:" + characters(c);
    case TYPE_EMAIL: return mark + "email:" + characters(c);
    case TYPE_TAG: return mark + "tag:" + characters(c);
    case TYPE_REF: return mark + "ref:" + characters(c);
    case TYPE_WORD: return mark + name();
    case TYPE_SET_WORD: return mark + name() + ":";
    case TYPE_LIT_WORD: return mark + "'" + name();
    case TYPE_GET_WORD: return mark + ":" + name();
    case TYPE_REFINEMENT: return mark + "/" + name();
    case TYPE_ISSUE: return mark + "#" + name();
    case TYPE_BLOCK: return mark + show_cells(c, "[", "]");
    case TYPE_PAREN: return mark + show_cells(c, "(", ")");
    case TYPE_PATH: return mark + show_cells(c, "path(", ")");
    case TYPE_LIT_PATH: return mark + show_cells(c, "lit-path(", ")");
    case TYPE_SET_PATH: return mark + show_cells(c, "set-path(", ")");
    case TYPE_GET_PATH: return mark + show_cells(c, "get-path(", ")");
    case TYPE_LOGIC: return mark + (c.w1 ? "true" : "false");
    case TYPE_NONE: return mark + "none";
    case TYPE_DATATYPE: return mark + "datatype:" + std::to_string(c.w1);
    default: return mark + "type" + std::to_string(type);
    }
}

class LoaderTest : public kiv::testing::DatatypeTest {
  protected:
    void SetUp() override {
        DatatypeTest::SetUp();
        time_::init();
        symbol::init();
        context::init();
        word::init();
        context::init_global();
        lexer::init();
        collector::active = true;
    }
    void TearDown() override {
        lexer::reset_load_entries();
        DatatypeTest::TearDown();
    }

    // The loaded block of a text shown without its outer brackets, or
    // "error" when loading raised.
    static std::string load(const std::string& src) {
        Rooted<Cell> out;
        try {
            lexer::load(*out, reinterpret_cast<const uint8_t*>(src.data()), uint32_t(src.size()));
        } catch (const runtime::Throw&) {
            return "error";
        }
        std::string s = show(*out);
        return s.substr(1, s.size() - 2);
    }

    // The error a text raises: catalog position and the lexer's report.
    static lexer::ErrorReport error_of(const std::string& src, runtime::ErrorSite& site) {
        Rooted<Cell> out;
        lexer::last_report = {};
        runtime::last_error = {runtime::Category::user, 0};
        try {
            lexer::load(*out, reinterpret_cast<const uint8_t*>(src.data()), uint32_t(src.size()));
            ADD_FAILURE() << "no error for " << src;
        } catch (const runtime::Throw& t) {
            EXPECT_EQ(t.code, runtime::code::error);
        }
        site = runtime::last_error;
        return lexer::last_report;
    }
};

struct Case {
    const char* source;
    const char* values;
};

TEST_F(LoaderTest, EveryLoadedKind) {
    const Case cases[] = {
        // words of every variant
        {"a Foo: 'bar :baz /ref #iss", "a Foo: 'bar :baz /ref #iss"},
        {"< <= <> >= -> + - ** % // /", "< <= <> >= -> + - ** % // /"},
        {"<: a<b>", "<: a tag:b"},
        {"caf\xC3\xA9 \xE4\xBD\xA0", "caf\xC3\xA9 \xE4\xBD\xA0"},
        // Unicode spaces before a word are skipped, and end it
        {"\xC2\xA0"
         "a \xE3\x80\x80"
         "b\xE2\x80\x83"
         "c",
         "a b c"},
        // integers, and integers too big for 32 bits
        {"0 42 -7 +3 1'000'000", "0 42 -7 3 1000000"},
        {"2147483647 -2147483648", "2147483647 -2147483648"},
        {"2147483648 -2147483649 12345678901",
         "float:2147483648 float:-2147483649 float:12345678901"},
        {"0FFh 7FFFFFFFh 0FFFFFFFFh 00000000012h", "255 2147483647 -1 18"},
        // floats, specials, percents
        {"1.5 -0.25 1e3 2.5E-2 .5", "float:1.5 float:-0.25 float:1000 float:0.025 float:0.5"},
        {"1.#INF -1.#INF", "float:inf float:-inf"},
        {"50% 12.5% -1%", "percent:0.5 percent:0.125 percent:-0.01"},
        // time
        {"12:30 1:02:03.5 -0:30", "time:45000 time:3723.5 time:-1800"},
        // chars and strings with escapes
        {"#\"a\" #\"^/\" #\"^(41)\" #\"^(tab)\" #\"\xC3\xA9\"",
         "char:97 char:10 char:65 char:9 char:233"},
        {"\"a^/b\" \"^(41)^(tab)^^\" \"\"", "\"a<10>b\" \"A<9>^\" \"\""},
        {"{a {b} c} {x^}y} {\n}", "\"a {b} c\" \"x}y\" \"<10>\""},
        {"%{a}b}% %%{x}%y}%%", "\"a}b\" \"x}%y\""},
        {"\"\xE2\x82\xAC\xF0\x9F\x98\x80\"", "\"<8364><128512>\""},
        // files, urls, emails, tags, refs
        {"%a/b.txt %\"a b\" %a%20b %caf%C3%A9", "file:a/b.txt file:a b file:a b file:caf<233>"},
        {"http://x.org/a%20b?q=1 mailto:me@x.org", "url:http://x.org/a b?q=1 url:mailto:me@x.org"},
        {"me@x.org <a href=\"x>y\"> @you", "email:me@x.org tag:a href=\"x>y\" ref:you"},
        // blocks, parens, paths
        {"[] [a [b]] (1 (2))", "[] [a [b]] (1 (2))"},
        {"a/b :a/b 'a/b a/b: a/1/(x)/\"s\"/#\"c\"/d",
         "path(a b) get-path(a b) lit-path(a b) "
         "set-path(a b) path(a 1 (x) \"s\" char:99 d)"},
        {"a/:b a/'c", "path(a :b) path(a 'c)"},
        // constructions and comments
        {"#(true) #(none) ; gone\nx", "true none ¶x"},
    };
    for (const Case& c : cases) EXPECT_EQ(load(c.source), c.values) << c.source;
}

TEST_F(LoaderTest, LoadedScalarsMoldBack) {
    const Case cases[] = {
        {"a Foo: 'bar :baz /ref", "a Foo: 'bar :baz /ref"},
        {"42 -2147483648 0Ah", "42 -2147483648 10"},
        {"1.5 -0.25 1e3 2147483648", "1.5 -0.25 1000.0 2147483648.0"},
        {"50% 12.5%", "50% 12.5%"},
        {"12:30 1:02:03.5 -0:30", "12:30:00 1:02:03.5 -0:30:00"},
        {"#\"a\" #\"^/\" #\"^(41)\"", "#\"a\" #\"^/\" #\"A\""},
    };
    for (const Case& c : cases) {
        Rooted<Cell> out;
        lexer::load(*out, reinterpret_cast<const uint8_t*>(c.source), uint32_t(strlen(c.source)));
        collector::active = false; // the fixture's mold buffer is not rooted
        std::string text;
        for (Cell* v = block::rs_head(*out); v < block::rs_tail(*out); ++v)
            text += (text.empty() ? "" : " ") + molded(*v);
        collector::active = true;
        EXPECT_EQ(text, c.values) << c.source;
    }
}

TEST_F(LoaderTest, WordsAreGlobalAndInterned) {
    Rooted<Cell> out;
    std::string src = "a A a: 'a #a /a";
    lexer::load(*out, reinterpret_cast<const uint8_t*>(src.data()), uint32_t(src.size()));
    Cell* w = block::rs_head(*out);
    EXPECT_EQ(w[0].w2, w[2].w2); // one symbol for one spelling
    EXPECT_NE(w[0].w2, w[1].w2);
    EXPECT_EQ(symbol::resolve(w[1].w2), w[0].w2);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(w[i].w1, context::global) << i;
    EXPECT_EQ(w[0].w3, w[1].w3);     // case variants share the global slot
    EXPECT_EQ(int32_t(w[4].w3), -1); // issues are never resolved
    EXPECT_EQ(context::find_word(context::global, w[0].w2, true), int32_t(w[0].w3));
}

TEST_F(LoaderTest, NewLineFlagsFollowLineBreaks) {
    const Case cases[] = {
        {"a b\nc", "a b ¶c"},
        {"\na", "¶a"},
        {"[a\n b\n] c", "[a ¶b] c"},
        {"x\n[\n a [b\n c]]", "x ¶[¶a [b ¶c]]"},
        {"x\na/b/c\n(1)", "x ¶path(a b c) ¶(1)"},
        {"x\n{a\nb} y\n\"z\"", "x ¶\"a<10>b\" y ¶\"z\""},
        {"a ; note\n; more\nb", "a ¶b"},
    };
    for (const Case& c : cases) EXPECT_EQ(load(c.source), c.values) << c.source;
}

TEST_F(LoaderTest, MoldOfLoadedBlocksKeepsTheirLines) {
    // block! and paren! with their workers, so that nested values mold.
    for (uint32_t type : {TYPE_BLOCK, TYPE_PAREN})
        datatype::register_type(type, 0, type == TYPE_BLOCK ? "block!" : "paren!",
                                {{Slot::form, block::form}, {Slot::mold, block::mold}});
    Rooted<Cell> out;
    std::string src = "a: 1\nb: [\n    c 'd\n    #\"e\"\n]\n/f :g";
    lexer::load(*out, reinterpret_cast<const uint8_t*>(src.data()), uint32_t(src.size()));
    collector::active = false; // the fixture's mold buffer is not rooted
    EXPECT_EQ(molded(*out), "[a: 1\nb: [\n    c 'd\n    #\"e\"\n]\n/f :g]");
}

TEST_F(LoaderTest, StringsTakeTheUnitOfTheirWidestCharacter) {
    Rooted<Cell> out;
    std::string src = "\"abc\" \"\xC3\xA9\" \"\xE2\x82\xAC\" \"^(1F600)\"";
    lexer::load(*out, reinterpret_cast<const uint8_t*>(src.data()), uint32_t(src.size()));
    Cell* s = block::rs_head(*out);
    const uint32_t units[] = {1, 1, 2, 4};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(memory::buffer_of(s[i].w2)->unit(), units[i]) << i;
}

TEST_F(LoaderTest, LoadsAStringAndScansOneValue) {
    // The source strings are made while nothing is collected: decoding UTF-8
    // into a new string does not yet keep its buffer across a collection.
    collector::active = false;
    Rooted<Cell> text;
    string::load_at(reinterpret_cast<const uint8_t*>("x \xE2\x82\xAC: [1]"), 10, *text,
                    string::Encoding::utf8);
    collector::active = true;
    Rooted<Cell> out;
    lexer::load(*out, *text);
    EXPECT_EQ(show(*out), "[x \xE2\x82\xAC: [1]]");
    ASSERT_NE(word::scan_value, nullptr);
    EXPECT_TRUE(word::scan_value(*text, *out));
    EXPECT_EQ(show(*out), "x");
    string::load_at(reinterpret_cast<const uint8_t*>("3000000000"), 10, *text,
                    string::Encoding::utf8);
    Rooted<Cell> one;
    EXPECT_EQ(lexer::load_string(*one, *text, -1, lexer::Options{true}), TYPE_FLOAT);
    EXPECT_EQ(show(*one), "float:3e+09");
    string::load_at(reinterpret_cast<const uint8_t*>(" ; none"), 7, *text, string::Encoding::utf8);
    ASSERT_EQ(characters(*text), " ; none");
    EXPECT_FALSE(word::scan_value(*text, *out));
}

TEST_F(LoaderTest, ByteOrderMarkIsSkipped) {
    EXPECT_EQ(load("\xEF\xBB\xBF"
                   "a 1"),
              "a 1");
}

TEST_F(LoaderTest, LibrarySourcesLoadInFull) {
    const char* root = std::getenv("KIV_SOURCE_DIR");
    if (!root) GTEST_SKIP() << "KIV_SOURCE_DIR not set";
    for (const char* name : {"errors.kiv", "natives.kiv", "actions.kiv"}) {
        std::ifstream file(std::string(root) + "/library/" + name, std::ios::binary);
        ASSERT_TRUE(file) << name;
        std::string src((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::string loaded = load(src);
        ASSERT_NE(loaded, "error")
            << name << ": " << lexer::last_report.near << " " << lexer::last_report.line;
        EXPECT_EQ(loaded.rfind("Kiv [", 0), 0u) << name;
    }
    // Spot checks on the catalog: its shape and a nested template.
    std::ifstream file(std::string(root) + "/library/errors.kiv", std::ios::binary);
    std::string src((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string loaded = load(src);
    EXPECT_NE(loaded.find("¶throw: object [¶code: 0 ¶type: \"Throw Error\""), std::string::npos);
    EXPECT_NE(loaded.find("¶invalid: [:arg1 \"invalid\" :arg2 \"at\" :arg3]"), std::string::npos);
}

TEST_F(LoaderTest, ErrorsOfEachFamily) {
    struct ErrorCase {
        const char* source;
        runtime::Category category;
        uint32_t id;
        int32_t type;         // datatype of `invalid` and `not-done`
        const char* expected; // character named by `missing`
        const char* near;
    };
    using runtime::Category;
    namespace syn = err::syntax;
    const ErrorCase cases[] = {
        {"a \\b", Category::syntax, syn::bad_char, 0, "", "\\b"},
        {"#(nothing)", Category::syntax, syn::malconstruct, 0, "", "#(nothing)"},
        {"[1 2", Category::syntax, syn::missing, 0, "]", "[1 2"},
        {"1 2]", Category::syntax, syn::missing, 0, "[", "]"},
        {"(a", Category::syntax, syn::missing, 0, ")", "(a"},
        {"\"ab\ncd\"", Category::syntax, syn::invalid, TYPE_STRING, "", "\"ab"},
        {"{ab^(zz)}", Category::syntax, syn::invalid, TYPE_STRING, "", "^(zz)}"},
        {"123456789h", Category::syntax, syn::invalid, TYPE_INTEGER, "", "123456789h"},
        {"'a:", Category::syntax, syn::invalid, TYPE_LIT_WORD, "", "'a:"},
        {"1,2", Category::syntax, syn::invalid, TYPE_POINT2D, "", ",2"},
        {"1:2:3:4", Category::syntax, syn::invalid, TYPE_TIME, "", "1:2:3:4"},
        {"31-Apr-2024", Category::syntax, syn::invalid, TYPE_DATE, "", "31-Apr-2024"},
        // Six fraction digits: money keeps five, and drops none silently.
        {"$1.123456", Category::syntax, syn::invalid, TYPE_MONEY, "", "$1.123456"},
        // Pair coordinates are 32-bit integers: nothing is truncated or wrapped.
        {"1.5x2", Category::syntax, syn::invalid, TYPE_PAIR, "", "1.5x2"},
        {"1x2e3", Category::syntax, syn::invalid, TYPE_PAIR, "", "1x2e3"},
        {"2147483648x1", Category::syntax, syn::invalid, TYPE_PAIR, "", "2147483648x1"},
        {"1x-2147483649", Category::syntax, syn::invalid, TYPE_PAIR, "", "1x-2147483649"},
        // Binary literals that do not decode completely.
        {"#{0}", Category::syntax, syn::invalid, TYPE_BINARY, "", "#{0}"},
        {"2#{0101}", Category::syntax, syn::invalid, TYPE_BINARY, "", "2#{0101}"},
        {"64#{QUJDRA}", Category::syntax, syn::invalid, TYPE_BINARY, "", "64#{QUJDRA}"},
        {"64#{QQ=}", Category::syntax, syn::invalid, TYPE_BINARY, "", "64#{QQ=}"},
        {"64#{QQ==x}", Category::syntax, syn::invalid, TYPE_BINARY, "", "64#{QQ==x}"},
    };
    for (const ErrorCase& c : cases) {
        runtime::ErrorSite site{};
        lexer::ErrorReport r = error_of(c.source, site);
        EXPECT_EQ(site, (runtime::ErrorSite{c.category, c.id})) << c.source;
        EXPECT_EQ(r.type, c.type) << c.source;
        if (c.category != Category::syntax) continue;
        EXPECT_EQ(r.expected, c.expected) << c.source;
        EXPECT_EQ(r.near, c.near) << c.source;
        EXPECT_EQ(r.line, "(line 1)") << c.source;
    }
    runtime::ErrorSite site{};
    EXPECT_EQ(error_of("a\nb\n\"c\nd\"", site).line, "(line 3)");
}

TEST_F(LoaderTest, ValuesSurviveCollectionsDuringTheLoad) {
    std::string src;
    for (int i = 0; i < 300; ++i)
        src += "w" + std::to_string(i) + " \"s" + std::to_string(i) + "\" [b (p) x/y] %f ";
    Rooted<Cell> out;
    lexer::load(*out, reinterpret_cast<const uint8_t*>(src.data()), uint32_t(src.size()));
    collector::collect();
    std::string shown = show(*out);
    EXPECT_NE(shown.find("w0 \"s0\" [b (p) path(x y)] file:f w1 "), std::string::npos);
    EXPECT_NE(shown.find("w299 \"s299\" [b (p) path(x y)] file:f]"), std::string::npos);
}

} // namespace
