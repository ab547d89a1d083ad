#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "datatype_fixture.h"
#include "datatypes/string.h"
#include "evaluator/lexer.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/throw.h"
#include "runtime/types.h"

using namespace kiv;

namespace {

// A loader that records (kind, text) of every loaded token, and a series
// maker that keeps the cells of every series it is asked to make.
constexpr uint32_t leaf_mark = 0xABCD;
constexpr uint32_t series_mark = 0xBEEF;
std::vector<std::string> leaves;
std::vector<std::vector<Cell>> groups;

const char* kind_name(uint32_t final) {
    static const char* names[] = {"string",        "word",       "issue",  "integer", "refinement",
                                  "char",          "file",       "binary", "percent", "float",
                                  "float-special", "tuple",      "date",   "pair",    "point",
                                  "time",          "money",      "tag",    "url",     "email",
                                  "hex",           "raw-string", "ref"};
    return names[final - lexer::string];
}

template <uint32_t Final>
void record(lexer::State& st, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    if (!load) return;
    leaves.push_back(std::string(kind_name(Final)) + ":" + std::string(start, end));
    lexer::grow_buffer(st) =
        Cell{lexer::type_of_final(Final), uint32_t(leaves.size() - 1), 0, leaf_mark};
}

template <size_t... I>
void install_recorders(std::index_sequence<I...>) {
    (lexer::set_load_entry(lexer::string + I, &record<lexer::string + I>), ...);
}

void make_series(Cell& out, const Cell* first, uint32_t count, uint32_t type, Cell* into) {
    if (into) {
        groups[into->w1].insert(groups[into->w1].end(), first, first + count);
        out = *into;
        return;
    }
    groups.emplace_back(first, first + count);
    out = Cell{type, uint32_t(groups.size() - 1), 0, series_mark};
}

std::string render(const Cell& c);

std::string render_all(const std::vector<Cell>& cells) {
    std::string s;
    for (const Cell& c : cells) s += (s.empty() ? "" : " ") + render(c);
    return s;
}

std::string render(const Cell& c) {
    uint32_t type = cell::type_of(c);
    if (c.w3 == leaf_mark) return leaves[c.w1];
    if (c.w3 == series_mark) {
        std::string inner = render_all(groups[c.w1]);
        switch (type) {
        case TYPE_BLOCK: return "[" + inner + "]";
        case TYPE_PAREN: return "(" + inner + ")";
        case TYPE_MAP: return "#[" + inner + "]";
        case TYPE_PATH: return "path(" + inner + ")";
        case TYPE_GET_PATH: return "get-path(" + inner + ")";
        case TYPE_LIT_PATH: return "lit-path(" + inner + ")";
        case TYPE_SET_PATH: return "set-path(" + inner + ")";
        default: return "?series";
        }
    }
    switch (type) {
    case TYPE_LOGIC: return c.w1 ? "true" : "false";
    case TYPE_NONE: return "none";
    case TYPE_UNSET: return "unset";
    case TYPE_DATATYPE: return "datatype:" + std::to_string(c.w1);
    default: return "?value";
    }
}

class LexerTest : public kiv::testing::DatatypeTest {
  protected:
    void SetUp() override {
        DatatypeTest::SetUp();
        lexer::init();
        install_recorders(
            std::make_index_sequence<lexer::final_count - (lexer::string - lexer::first_final)>{});
        lexer::set_series_maker(&make_series);
        leaves.clear();
        groups.clear();
        // The recorders stand in cells that are not values (indexes where
        // nodes would be): no collection may read them.
        collector::active = false;
    }
    void TearDown() override {
        lexer::reset_load_entries();
        DatatypeTest::TearDown();
    }

    static int32_t run(const std::string& src, Cell& out, lexer::Options options = {},
                       uint32_t* consumed = nullptr) {
        return lexer::scan(out, reinterpret_cast<const uint8_t*>(src.data()), uint32_t(src.size()),
                           options, consumed);
    }

    // The loaded values of a text, rendered; a raised error renders as "error".
    static std::string load(const std::string& src) {
        Cell out{};
        try {
            run(src, out);
        } catch (const runtime::Throw&) {
            return "error";
        }
        return render_all(groups[out.w1]);
    }

    // The syntax error a text raises.
    static lexer::ErrorReport error_of(const std::string& src) {
        Cell out{};
        lexer::last_report = {};
        try {
            run(src, out);
        } catch (const runtime::Throw& t) {
            EXPECT_EQ(t.code, runtime::code::error);
            EXPECT_EQ(runtime::last_error.category, runtime::Category::syntax);
            EXPECT_EQ(runtime::last_error.id, lexer::last_report.id);
            return lexer::last_report;
        }
        ADD_FAILURE() << "no error for " << src;
        return {};
    }
};

struct Case {
    const char* source;
    const char* tokens;
};

TEST_F(LexerTest, EveryTokenKind) {
    const Case cases[] = {
        {"", ""},
        {"a hello-world! a? b* _x |y ~z `q & a.b a=b a'b",
         "word:a word:hello-world! word:a? "
         "word:b* word:_x word:|y word:~z "
         "word:`q word:& word:a.b word:a=b word:a'b"},
        {"a: :a 'a", "word:a: word::a word:'a"},
        {"+ - ++ -- < <= <> << > >= >> = == =? / // % ...",
         "word:+ word:- word:++ word:-- word:< word:<= word:<> word:<< word:> word:>= word:>> "
         "word:= word:== word:=? word:/ word:// word:% word:..."},
        {"/ref /a1 /1", "refinement:/ref refinement:/a1 refinement:/1"},
        {"#issue #a1 #1.2", "issue:#issue issue:#a1 issue:#1.2"},
        {"123 -45 +6 1'000 0", "integer:123 integer:-45 integer:+6 integer:1'000 integer:0"},
        {"1.5 .5 -1.5e10 1E3 1. +.5", "float:1.5 float:.5 float:-1.5e10 float:1E3 float:1. "
                                      "float:+.5"},
        {"1.#INF -1.#INF 1.#NaN",
         "float-special:1.#INF float-special:-1.#INF float-special:1.#NaN"},
        {"1.2.3 255.255.255.0 1.2.3.4.5.6.7.8.9.10.11.12",
         "tuple:1.2.3 tuple:255.255.255.0 tuple:1.2.3.4.5.6.7.8.9.10.11.12"},
        {"1-Jan-2020 2020-01-31 1/2/2020 2020-01-01T10:00:00Z 1-January-2020/10:30+2:00 "
         "2020-W10-3 2020-123 5-sep-99",
         "date:1-Jan-2020 date:2020-01-31 date:1/2/2020 date:2020-01-01T10:00:00Z "
         "date:1-January-2020/10:30+2:00 date:2020-W10-3 date:2020-123 date:5-sep-99"},
        {"1x2 -1x-2 1.5X2", "pair:1x2 pair:-1x-2 pair:1.5X2"},
        {"12:30 1:02:03.5 -0:30", "time:12:30 time:1:02:03.5 time:-0:30"},
        {"$1.25 -$1'000.00 USD$12.5 +$0 -eur$1",
         "money:$1.25 money:-$1'000.00 money:USD$12.5 money:+$0 money:-eur$1"},
        {"12% 1.5% -3%", "percent:12% percent:1.5% percent:-3%"},
        {"0FFh 7h 1E2h", "hex:0FFh hex:7h hex:1E2h"},
        {R"x("abc" "a^"b" "^(41)^(tab)" "")x",
         R"x(string:"abc" string:"a^"b" string:"^(41)^(tab)" string:"")x"},
        {"{a{b}c} {a^}b} {x\ny}", "string:{a{b}c} string:{a^}b} string:{x\ny}"},
        {"%{raw}% %%{a}%b}%% %{}%", "raw-string:%{raw}% raw-string:%%{a}%b}%% raw-string:%{}%"},
        {R"x(%file.txt %"with space.txt" %a/b%20c)x",
         R"x(file:%file.txt file:%"with space.txt" file:%a/b%20c)x"},
        {"http://x.com/a?b=c mailto:a@b a:b", "url:http://x.com/a?b=c url:mailto:a@b url:a:b"},
        {"a@b.com 123@x.org", "email:a@b.com email:123@x.org"},
        {R"x(<tag> <a href="x>y"> <b 'q>'>)x", R"x(tag:<tag> tag:<a href="x>y"> tag:<b 'q>'>)x"},
        {"a<b>", "word:a tag:<b>"},
        {R"x(#"a" #"^/" #"^(41)" #"é")x", R"x(char:#"a" char:#"^/" char:#"^(41)" char:#"é")x"},
        {"#{00FF} 2#{00001111} 16#{0f} 64#{AAEC} #{0F ;x\n 1e}",
         "binary:#{00FF} binary:2#{00001111} binary:16#{0f} binary:64#{AAEC} binary:#{0F ;x\n 1e}"},
        {"@ref @a.b", "ref:@ref ref:@a.b"},
        {"(1, 2) (1.5, -2, 3) (1.#INF, 0)", "point:(1, 2) point:(1.5, -2, 3) point:(1.#INF, 0)"},
        {"[a [b] (c)] ()", "[word:a [word:b] (word:c)] ()"},
        {"#[a 1 b 2]", "#[word:a integer:1 word:b integer:2]"},
        {"#(true) #(FALSE) #(none) #(unset) #(integer!) #(Logic!)",
         "true false none unset datatype:11 datatype:4"},
        {"a/b :a/b 'a/b a/b: a/1/(c)/d x/:y",
         "path(word:a word:b) get-path(word:a word:b) lit-path(word:a word:b) "
         "set-path(word:a word:b) path(word:a integer:1 (word:c) word:d) path(word:x word::y)"},
        {"a/(b) c", "path(word:a (word:b)) word:c"},
        {"; comment\na ;more", "word:a"},
        {"\xC2\xA0word \xE3\x80\x80x \xE2\x80\x8B", "word:word word:x"},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "word:caf\xC3\xA9 word:\xF0\x9F\x98\x80"},
        {"a\x01"
         "b",
         "word:a word:b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        EXPECT_EQ(load(c.source), c.tokens);
    }
}

TEST_F(LexerTest, NulEndsTheInput) {
    std::string src("a\0b", 3);
    EXPECT_EQ(load(src), "word:a");
}

struct ErrorCase {
    const char* source;
    uint32_t id;
    int32_t type; // invalid: the datatype
    uint32_t line;
    const char* near;
    const char* expected; // missing: the character named
};

TEST_F(LexerTest, SyntaxErrors) {
    using namespace err::syntax;
    const ErrorCase cases[] = {
        {"[1 2", missing, 0, 1, "[1 2", "]"},
        {"x\n[1\n2", missing, 0, 3, "[1", "]"},
        {"1 2]", missing, 0, 1, "]", "["},
        {"1 2)", missing, 0, 1, ")", "("},
        {"(b 2", missing, 0, 1, "(b 2", ")"},
        {"(1 2", invalid, TYPE_POINT2D, 1, "(1 2", ""},
        {"(1 ]", missing, 0, 1, "(1 ]", ")"},
        {"#[a [b)", missing, 0, 1, "[b)", "]"},
        {"\"abc\ndef\"", invalid, TYPE_STRING, 1, "\"abc", ""},
        {"{abc", invalid, TYPE_STRING, 1, "{abc", ""},
        {"{a{b}\n", invalid, TYPE_STRING, 2, "{a{b}", ""},
        {"\"a^(1234567)\"", invalid, TYPE_STRING, 1, "\"a^(1234567)\"", ""},
        {"\"a^(12g)\"", invalid, TYPE_STRING, 1, "\"a^(12g)\"", ""},
        {"\"a^\nb\"", invalid, TYPE_STRING, 1, "\"a^", ""},
        {"USD$1'", invalid, TYPE_MONEY, 1, "USD$1'", ""},
        {"1,2", invalid, TYPE_POINT2D, 1, ",2", ""},
        {"(1, [2])", invalid, TYPE_POINT2D, 1, "(1, [2])", ""},
        {"#(foo)", malconstruct, 0, 1, "#(foo)", ""},
        {"#(true", malconstruct, 0, 1, "#(true", ""},
        {"\\", bad_char, 0, 1, "\\", ""},
        {"a }", bad_char, 0, 1, "}", ""},
        {"\x80x", bad_char, 0, 1, "\x80x", ""},
        {"a\n\n12a", invalid, TYPE_INTEGER, 3, "12a", ""},
        {"{a\nb}\n\"x", invalid, TYPE_STRING, 3, "\"x", ""},
        {"'a:", invalid, TYPE_LIT_WORD, 1, "'a:", ""},
        {"'1", invalid, TYPE_LIT_WORD, 1, "'1", ""},
        {"a\\b", invalid, TYPE_WORD, 1, "a\\b", ""},
        {"ab\xC3(", invalid, TYPE_WORD, 1, "ab\xC3(", ""},
        {"1.2.3.4.5.6.7.8.9.10.11.12.13", invalid, TYPE_TUPLE, 1, "1.2.3.4.5.6.7.8.9.10.11.12.13",
         ""},
        {"1.2.256", invalid, TYPE_TUPLE, 1, "1.2.256", ""},
        {"#[a]", invalid, TYPE_MAP, 1, "#[a]", ""},
        {"3#{01}", invalid, TYPE_BINARY, 1, "3#{01}", ""},
        {"2#{012}", invalid, TYPE_BINARY, 1, "2#{012}", ""},
        {"#{00", invalid, TYPE_BINARY, 1, "#{00", ""},
        {"%{abc}%%", invalid, TYPE_STRING, 1, "%{abc}%%", ""},
        {"%%{abc}%", invalid, TYPE_STRING, 1, "%%{abc}%", ""},
        {"<a", invalid, TYPE_TAG, 1, "<a", ""},
        {"http://a^b", invalid, TYPE_URL, 1, "http://a^b", ""},
        {"a@b:c", invalid, TYPE_EMAIL, 1, "a@b:c", ""},
        {"@a$", invalid, TYPE_REF, 1, "@a$", ""},
        {"#a^", invalid, TYPE_ISSUE, 1, "#a^", ""},
        {"#\"ab\"", invalid, TYPE_CHAR, 1, "#\"ab\"", ""},
        {"1-Foo-2020", invalid, TYPE_DATE, 1, "1-Foo-2020", ""},
        {"1:", invalid, TYPE_TIME, 1, "1:", ""},
        {"$1.", invalid, TYPE_MONEY, 1, "$1.", ""},
        {"1x", invalid, TYPE_PAIR, 1, "1x", ""},
        {"1e", invalid, TYPE_FLOAT, 1, "1e", ""},
        {"a/", bad_char, 0, 1, "a/", ""},
        {"[a/ b]", bad_char, 0, 1, "a/ b]", ""},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.source);
        lexer::ErrorReport r = error_of(c.source);
        EXPECT_EQ(r.id, c.id);
        EXPECT_EQ(r.type, c.type);
        EXPECT_EQ(r.line, "(line " + std::to_string(c.line) + ")");
        EXPECT_EQ(r.near, c.near);
        EXPECT_EQ(r.expected, c.expected);
    }
}

TEST_F(LexerTest, NearTextIsThirtyBytesCutAtACodePoint) {
    std::string src = "\\" + std::string(28, 'x') + "\xC3\xA9yz";
    EXPECT_EQ(error_of(src).near, "\\" + std::string(28, 'x'));
    EXPECT_EQ(error_of("\\" + std::string(40, 'x')).near, "\\" + std::string(29, 'x'));
    EXPECT_EQ(error_of("\\ab\ncd").near, "\\ab");
}

TEST_F(LexerTest, UnbuiltDatatypeRaisesNotDone) {
    lexer::reset_load_entries();
    Cell out{};
    try {
        run("12", out);
        FAIL() << "no error";
    } catch (const runtime::Throw&) {
        EXPECT_EQ(runtime::last_error.category, runtime::Category::internal);
        EXPECT_EQ(runtime::last_error.id, err::internal::not_done);
        EXPECT_EQ(lexer::last_report.type, TYPE_INTEGER);
    }
    // Scanning does not load, so it works without the datatypes.
    lexer::Options scan_only;
    scan_only.one_value = true;
    scan_only.not_scan = false;
    EXPECT_EQ(run("12", out, scan_only), TYPE_INTEGER);
}

TEST_F(LexerTest, ScanAndPrescanModes) {
    lexer::Options scan_only;
    scan_only.one_value = true;
    scan_only.not_scan = false;
    struct ModeCase {
        const char* source;
        int32_t type;
        uint32_t consumed;
    };
    const ModeCase cases[] = {
        {"12 abc", TYPE_INTEGER, 2}, {"  [1 [2]] x", TYPE_BLOCK, 9}, {"a/b c", TYPE_PATH, 3},
        {"{a}b", TYPE_STRING, 3},    {"12a b", TYPE_ERROR, 3},       {"[1 2", TYPE_ERROR, 4},
        {"; only a comment", 0, 16}, {"1,2", TYPE_INTEGER, 1},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.source);
        Cell out{};
        uint32_t consumed = 0;
        EXPECT_EQ(run(c.source, out, scan_only, &consumed), c.type);
        EXPECT_EQ(consumed, c.consumed);
        if (c.type == TYPE_ERROR) {
            EXPECT_EQ(cell::type_of(out), TYPE_NONE);
        }
    }
    EXPECT_TRUE(leaves.empty()) << "scan mode loads nothing";
    lexer::Options prescan;
    prescan.load = false;
    Cell out{};
    EXPECT_EQ(run("[1 2] 3", out, prescan), TYPE_BLOCK);
    EXPECT_EQ(run("\"abc", out, prescan), TYPE_ERROR);
}

TEST_F(LexerTest, OneValueAndInto) {
    lexer::Options next;
    next.one_value = true;
    Cell out{};
    uint32_t consumed = 0;
    run("[a b] c", out, next, &consumed);
    EXPECT_EQ(render(out), "[word:a word:b]");
    EXPECT_EQ(consumed, 5u);
    next.wrap = true;
    run("c d", out, next);
    EXPECT_EQ(render(out), "[word:c]");

    groups.push_back({});
    Cell into{TYPE_BLOCK, uint32_t(groups.size() - 1), 0, series_mark};
    lexer::Options append;
    append.into = &into;
    run("x 1", out, append);
    run("y", out, append);
    EXPECT_EQ(render(into), "[word:x integer:1 word:y]");
}

TEST_F(LexerTest, LoadStringCountsCharacters) {
    const std::string text = "xa \xE2\x82\xAC"
                             "b c";
    Cell str{};
    string::load_at(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), str,
                    string::Encoding::utf8);
    ASSERT_EQ(memory::buffer_of(str.w2)->unit(), 2u);
    str.w1 = 1; // from "a"
    Cell out{};
    uint32_t consumed = 0;
    lexer::load_string(out, str, 4, {}, &consumed);
    EXPECT_EQ(render(out), "[word:a word:\xE2\x82\xAC"
                           "b]");
    EXPECT_EQ(consumed, 4u);
    lexer::Options next;
    next.one_value = true;
    str.w1 = 3; // from the euro sign
    lexer::load_string(out, str, -1, next, &consumed);
    EXPECT_EQ(render(out), "word:\xE2\x82\xAC"
                           "b");
    EXPECT_EQ(consumed, 2u);
}

// A trace callback that records its events and answers from a script.
struct Recorder : lexer::Tracer {
    std::vector<std::string> events;
    bool (*answer)(const lexer::TraceInfo&) = nullptr;
    int32_t move_to = -1;
    bool on_event(lexer::TraceInfo& info) override {
        static const char* names[] = {"prescan", "scan", "load", "open", "close", "error"};
        events.push_back(std::string(names[uint32_t(info.event)]) + " " +
                         std::to_string(info.type) + " " + std::to_string(info.start) + "-" +
                         std::to_string(info.end) + " @" + std::to_string(info.index) + " L" +
                         std::to_string(info.line));
        if (move_to >= 0 && info.event == lexer::Event::load) {
            info.index = uint32_t(move_to);
            move_to = -1;
        }
        return answer ? answer(info) : true;
    }
};

TEST_F(LexerTest, TraceEventsOfANestedInput) {
    Recorder rec;
    lexer::Options options;
    options.tracer = &rec;
    Cell out{};
    run("[a (b)]\n1", out, options);
    const std::vector<std::string> expected = {
        "prescan -3 1-2 @0 L1", "open -3 1-2 @0 L1",    "prescan 15 2-3 @2 L1",
        "scan 15 2-3 @2 L1",    "load 15 2-3 @2 L1",    "prescan -5 4-5 @3 L1",
        "open -5 4-5 @3 L1",    "prescan 15 5-6 @5 L1", "scan 15 5-6 @5 L1",
        "load 15 5-6 @5 L1",    "prescan -6 6-7 @5 L1", "close -6 6-7 @6 L1",
        "prescan -4 7-8 @6 L1", "close -4 7-8 @7 L1",   "prescan 11 9-10 @9 L2",
        "scan 11 9-10 @9 L2",   "load 11 9-10 @9 L2",
    };
    EXPECT_EQ(rec.events, expected);
    EXPECT_EQ(render(out), "[[word:a (word:b)] integer:1]");
}

TEST_F(LexerTest, TraceEventsOfBracedStringsAndPaths) {
    Recorder rec;
    lexer::Options options;
    options.tracer = &rec;
    Cell out{};
    run("{a{b}} x/y", out, options);
    const std::vector<std::string> expected = {
        "prescan -7 1-2 @0 L1",   "scan 7 1-7 @6 L1",     "load 7 1-7 @6 L1",
        "prescan -10 8-10 @7 L1", "open -10 8-9 @7 L1",   "prescan 15 10-11 @10 L1",
        "scan 15 10-11 @10 L1",   "load 15 10-11 @10 L1", "close 25 11-11 @10 L1",
    };
    EXPECT_EQ(rec.events, expected);
    EXPECT_EQ(render(out), "[string:{a{b}} path(word:x word:y)]");
}

TEST_F(LexerTest, TracePositionsOfStringsAreCharacters) {
    const std::string text = "\xE2\x82\xAC [\xC3\xA9] skip x";
    Cell str{};
    string::load_at(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), str,
                    string::Encoding::utf8);
    Recorder rec;
    rec.mask = 1u << uint32_t(lexer::Event::prescan) | 1u << uint32_t(lexer::Event::load);
    rec.move_to = 11; // after the first load, go on at "x"
    lexer::Options options;
    options.tracer = &rec;
    Cell out{};
    lexer::load_string(out, str, -1, options);
    const std::vector<std::string> expected = {
        "prescan 15 1-2 @1 L1",
        "load 15 1-2 @1 L1",
        "prescan 15 12-13 @12 L1",
        "load 15 12-13 @12 L1",
    };
    EXPECT_EQ(rec.events, expected);
    EXPECT_EQ(render(out), "[word:\xE2\x82\xAC word:x]");
}

TEST_F(LexerTest, TraceAnswersDropSkipAndMove) {
    Recorder rec;
    lexer::Options options;
    options.tracer = &rec;
    Cell out{};
    // A false answer to `load` drops that value only.
    rec.answer = [](const lexer::TraceInfo& i) {
        return !(i.event == lexer::Event::load && i.type == TYPE_INTEGER);
    };
    run("a 1 b", out, options);
    EXPECT_EQ(render(out), "[word:a word:b]");
    // A false answer to `prescan` skips the token.
    rec.answer = [](const lexer::TraceInfo& i) {
        return !(i.event == lexer::Event::prescan && i.type == TYPE_WORD);
    };
    run("a 1 b", out, options);
    EXPECT_EQ(render(out), "[integer:1]");
    // A false answer to `open` opens nothing: the closer then has no opener.
    rec.answer = [](const lexer::TraceInfo& i) { return i.event != lexer::Event::open; };
    EXPECT_THROW(run("[a]", out, options), runtime::Throw);
    // A false answer to `error` ends the scan quietly.
    rec.answer = [](const lexer::TraceInfo& i) { return i.event != lexer::Event::error; };
    EXPECT_EQ(run("a 12a", out, options), TYPE_ERROR);
    EXPECT_EQ(cell::type_of(out), TYPE_NONE);
    // Moving the input index resumes the scan there.
    rec.answer = nullptr;
    rec.move_to = 6;
    run("a skip b", out, options);
    EXPECT_EQ(render(out), "[word:a word:b]");
    // Only the events of the mask are delivered.
    rec.events.clear();
    rec.mask = 1u << uint32_t(lexer::Event::load);
    run("x [y]", out, options);
    EXPECT_EQ(rec.events.size(), 2u);
}

TEST_F(LexerTest, LoadersGetTheFlagsOfTheTextTheyLoad) {
    lexer::set_load_entry(lexer::word, [](lexer::State& st, const uint8_t* start,
                                          const uint8_t* end, uint32_t flags, bool load) {
        if (!load) return;
        leaves.push_back(std::string(start, end) + ((flags & lexer::flag::colon) ? "|colon" : ""));
        lexer::grow_buffer(st) = Cell{TYPE_WORD, uint32_t(leaves.size() - 1), 0, leaf_mark};
    });
    EXPECT_EQ(load("a/b: :c/d e: 'f/g"), "set-path(a b) get-path(c d) e:|colon lit-path(f g)");
}

TEST_F(LexerTest, NestedScansChainAndKeepTheirValuesApart) {
    // A loader that scans again while the outer scan has values pending.
    lexer::set_load_entry(lexer::issue, [](lexer::State&, const uint8_t* start, const uint8_t* end,
                                           uint32_t, bool load) {
        if (!load) return;
        Cell inner{};
        lexer::Options options;
        std::string text(start + 1, end);
        lexer::scan(inner, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()),
                    options);
        leaves.push_back("inner:" + render(inner));
    });
    EXPECT_EQ(load("a [b #c.d e]"), "word:a [word:b word:e]");
    EXPECT_NE(std::find(leaves.begin(), leaves.end(), "inner:[word:c.d]"), leaves.end());
}

TEST_F(LexerTest, ValueBufferGrowsByDoubling) {
    std::string src;
    for (int i = 0; i < 2500; ++i) src += "[x] ";
    std::string out = load("[" + src + "]");
    EXPECT_EQ(out.size(), 2500 * std::string("[word:x] ").size() + 1);
}

TEST_F(LexerTest, CaretEscapes) {
    struct EscapeCase {
        const char* text;
        uint32_t code_point;
        uint32_t used;
    };
    const EscapeCase cases[] = {
        {"/", 10, 1},      {"-", 9, 1},      {"@", 0, 1},       {"\"", 34, 1},
        {"{", 123, 1},     {"}", 125, 1},    {"^", 94, 1},      {"~", 127, 1},
        {"A", 1, 1},       {"z", 26, 1},     {"[", 27, 1},      {"\\", 28, 1},
        {"]", 29, 1},      {"_", 31, 1},     {"(41)", 0x41, 4}, {"(1F600)", 0x1F600, 7},
        {"(TAB)", 9, 5},   {"(null)", 0, 6}, {"(back)", 8, 6},  {"(line)", 10, 6},
        {"(page)", 12, 6}, {"(Esc)", 27, 5}, {"(del)", 127, 5}, {"(1234567)", 0, 0},
        {"(12g)", 0, 0},   {"()", 0, 0},     {"(41", 0, 0},
    };
    for (const EscapeCase& c : cases) {
        SCOPED_TRACE(c.text);
        uint32_t cp = 0xFFFFFFFF;
        auto p = reinterpret_cast<const uint8_t*>(c.text);
        EXPECT_EQ(lexer::decode_escape(p, p + std::strlen(c.text), cp), c.used);
        if (c.used) {
            EXPECT_EQ(cp, c.code_point);
        }
    }
}

TEST_F(LexerTest, ClassTableFlags) {
    using namespace lexer;
    EXPECT_EQ(class_of('\n'), 1u);
    EXPECT_EQ(class_of('0'), 3u);
    EXPECT_EQ(class_of('G'), 37u);
    EXPECT_EQ(class_of(0xC0), 38u);
    EXPECT_EQ(class_of(0xBF), 36u);
    EXPECT_EQ(class_table[0xE2], 37u | flag::utf8_short);
    EXPECT_EQ(class_table[0xF0], 37u | flag::utf8_long);
    EXPECT_EQ(class_table[0], 39u | flag::nul);
    EXPECT_EQ(class_table['^'], 34u | flag::caret);
    for (uint32_t cp : {0x85u, 0xA0u, 0x1680u, 0x2000u, 0x200Au, 0x200Bu, 0x3000u, 0x180Eu})
        EXPECT_TRUE(is_unicode_space(cp)) << cp;
    for (uint32_t cp : {0x20u, 0x84u, 0x200Cu, 0x10FFFFu}) EXPECT_FALSE(is_unicode_space(cp)) << cp;
}

} // namespace
