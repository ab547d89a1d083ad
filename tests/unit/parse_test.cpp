#include "datatype_fixture.h"

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/dispatch.h"
#include "datatypes/symbol.h"
#include "evaluator/lexer.h"
#include "evaluator/parse.h"
#include "runtime/case.h"
#include "runtime/collector.h"
#include "runtime/roots.h"
#include "runtime/symbol.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

std::vector<uint32_t> chars_of(const Cell& value) {
    if (cell::type_of(value) == TYPE_CHAR) return {value.w2};
    std::vector<uint32_t> out;
    Buffer* b = memory::buffer_of(value.w2);
    for (uint32_t i = value.w1; i < b->length(); ++i)
        out.push_back(string::get_char(b->head + i * b->unit(), b->unit()));
    return out;
}

std::vector<Cell> cells_of(const Cell& block, int32_t n = -1) {
    std::vector<Cell> out;
    for (Cell* c = block::rs_head(block); c < block::rs_tail(block); ++c) out.push_back(*c);
    if (n >= 0 && size_t(n) < out.size()) out.resize(size_t(n));
    return out;
}

uint32_t lower(uint32_t c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

// Stand-ins for the series actions that parse calls: enough of copy,
// insert, remove, change and compare on blocks, strings and words.
int32_t compare_stub(const Cell* a, const Cell* b, int32_t op) {
    uint32_t ta = cell::type_of(*a), tb = cell::type_of(*b);
    bool strict = op == 10 || op == 2;
    if (ta >= TYPE_WORD && ta <= TYPE_REFINEMENT) {
        if (tb < TYPE_WORD || tb > TYPE_REFINEMENT) return -2;
        return strict ? a->w2 != b->w2 : symbol::resolve(a->w2) != symbol::resolve(b->w2);
    }
    if (ta != tb) return -2;
    if (ta == TYPE_STRING) {
        std::vector<uint32_t> x = chars_of(*a), y = chars_of(*b);
        if (x.size() != y.size()) return 1;
        for (size_t i = 0; i < x.size(); ++i)
            if (strict ? x[i] != y[i] : lower(x[i]) != lower(y[i])) return 1;
        return 0;
    }
    std::vector<Cell> x = cells_of(*a), y = cells_of(*b);
    if (x.size() != y.size()) return 1;
    for (size_t i = 0; i < x.size(); ++i)
        if (!dispatch::compare(x[i], y[i], op)) return 1;
    return 0;
}

int32_t count_of(const Cell* part, int32_t rest) {
    return part ? std::min(integer::get(*part), rest) : rest;
}

Cell* block_copy(Cell* value, Cell* out, const Cell* part, bool, const Cell*) {
    std::vector<Cell> cells = cells_of(*value, part ? integer::get(*part) : -1);
    block::make_at(*out, int32_t(cells.size()));
    for (const Cell& c : cells) block::append_value(*out, c);
    return out;
}

Cell* block_insert(Cell* series, const Cell* value, int32_t, bool only, int32_t, bool) {
    std::vector<Cell> cells =
        cell::type_of(*value) == TYPE_BLOCK && !only ? cells_of(*value) : std::vector{*value};
    block::insert_repeated(*series, series->w1, cells.data(), uint32_t(cells.size()), 1);
    series->w1 += uint32_t(cells.size());
    return series;
}

Cell* block_remove(Cell* series, const Cell* part, const Cell*) {
    int32_t n = count_of(part, block::rs_length(*series));
    Buffer* b = memory::buffer_of(series->w2);
    Cell* at = block::rs_head(*series);
    std::memmove(at, at + n, size_t(b->tail_cell() - at - n) * sizeof(Cell));
    b->tail -= size_t(n) * sizeof(Cell);
    return series;
}

Cell* block_change(Cell* series, const Cell* value, int32_t part, bool only, int32_t) {
    Cell n = Cell{TYPE_INTEGER, 0, uint32_t(part), 0};
    block_remove(series, &n, nullptr);
    return block_insert(series, value, -1, only, -1, false);
}

Cell* string_copy(Cell* value, Cell* out, const Cell* part, bool, const Cell*) {
    std::vector<uint32_t> cps = chars_of(*value);
    if (part) cps.resize(std::min(cps.size(), size_t(integer::get(*part))));
    string::make_at(*out, uint32_t(cps.size()));
    Buffer* b = memory::buffer_of(out->w2);
    for (uint32_t cp : cps) b = string::append_char(b, cp);
    return out;
}

Cell* string_insert(Cell* series, const Cell* value, int32_t, bool, int32_t, bool) {
    Buffer* b = memory::buffer_of(series->w2);
    for (uint32_t cp : chars_of(*value)) b = string::insert_char(b, series->w1++, cp);
    return series;
}

Cell* string_remove(Cell* series, const Cell* part, const Cell*) {
    return &string::remove_part(*series, series->w1,
                                uint32_t(count_of(part, int32_t(string::length(*series)))));
}

Cell* string_change(Cell* series, const Cell* value, int32_t part, bool only, int32_t) {
    string::remove_part(*series, series->w1, uint32_t(part));
    return string_insert(series, value, -1, only, -1, false);
}

void register_row(uint32_t type, const char* name, action::CompareFn compare, action::CopyFn copy,
                  action::InsertFn insert, action::RemoveFn remove, action::ChangeFn change) {
    datatype::register_type(type, 0, name,
                            {{Slot::compare, compare},
                             {Slot::change, change},
                             {Slot::copy, copy},
                             {Slot::insert, insert},
                             {Slot::remove, remove}});
}

// What the hooks see: variables by canonical symbol, paren actions by
// number, trace events in order.
std::map<uint32_t, Cell> variables;
std::vector<std::function<void(Cell&)>> paren_actions;
std::vector<std::string> events;
int32_t trace_stop_at = -1; // index of the event whose answer is false
std::string trace_break_on; // the event where the callback breaks
std::vector<int32_t> rule_stack_heads;

void get_word(const Cell& word, Cell& out) {
    auto it = variables.find(symbol::resolve(word.w2));
    if (it == variables.end())
        runtime::fire_error(runtime::Category::script, err::script::no_value, &word);
    out = it->second;
}

void set_word(const Cell& word, const Cell& value) {
    variables[symbol::resolve(word.w2)] = test::hold(value);
}

void eval_paren(const Cell& paren, Cell& out) {
    none::make_at(out);
    paren_actions.at(size_t(integer::get(*block::rs_head(paren))))(out);
}

// A bitset stand-in: the code points from word 1 to word 3 (word 2, the
// node of a real bitset, stays 0 so that the collector skips it).
bool bitset_has(const Cell& bitset, uint32_t cp) {
    return cp >= bitset.w1 && cp <= bitset.w3;
}

// A typeset stand-in: a mask of type ids in word 1.
bool typeset_has(const Cell& typeset, uint32_t type) {
    return type < 32 && (typeset.w1 >> type & 1);
}

bool call_trace(const Cell&, const Cell* args) {
    events.push_back(symbol::c_name(args[0].w2));
    rule_stack_heads.push_back(int32_t(args[4].w1));
    if (events.back() == trace_break_on) runtime::record.pending = runtime::code::brk;
    return int32_t(events.size()) - 1 != trace_stop_at;
}

// Test values from a little text: [ ] blocks, "text", #"c", integers,
// (n) the paren running action n, word: :word 'word, a/b paths, name!
// datatypes, anything else a word.
class Reader {
  public:
    explicit Reader(std::string_view text) : text_(text) {}

    // Cells are rooted while the reader allocates, for the stress test.
    Cell block() {
        Rooted<Cell> b;
        block::make_at(b.get(), 4);
        for (;;) {
            while (i_ < text_.size() && text_[i_] == ' ') ++i_;
            if (i_ >= text_.size() || text_[i_] == ']') {
                ++i_;
                return b.get();
            }
            Rooted<Cell> v(value());
            block::append_value(b.get(), v.get());
        }
    }

  private:
    std::string_view text_;
    size_t i_ = 0;

    Cell value() {
        char c = text_[i_];
        if (c == '[') {
            ++i_;
            return block();
        }
        if (c == '"') {
            size_t end = text_.find('"', i_ + 1);
            Cell s = string_cell(text_.substr(i_ + 1, end - i_ - 1));
            i_ = end + 1;
            return s;
        }
        if (c == '#') {
            Cell ch{TYPE_CHAR, 0, uint8_t(text_[i_ + 2]), 0};
            i_ += 4;
            return ch;
        }
        size_t end = text_.find_first_of(" ]", i_);
        std::string token(text_.substr(i_, end - i_));
        i_ = end == std::string_view::npos ? text_.size() : end;
        if (token[0] == '(') {
            Rooted<Cell> p;
            block::make_at(p.get(), 1);
            integer::make_in(p.get(), std::stoi(token.substr(1)));
            cell::set_type(p.get(), TYPE_PAREN);
            return p.get();
        }
        if (token[0] == '<' && token.size() > 2) {
            Cell tag = string_cell(std::string_view(token).substr(1, token.size() - 2));
            cell::set_type(tag, TYPE_TAG);
            return tag;
        }
        if (isdigit(uint8_t(token[0])) || (token[0] == '-' && token.size() > 1))
            return Cell{TYPE_INTEGER, 0, uint32_t(std::stoi(token)), 0};
        static const std::map<std::string, uint32_t> types = {{"integer!", TYPE_INTEGER},
                                                              {"word!", TYPE_WORD},
                                                              {"string!", TYPE_STRING},
                                                              {"char!", TYPE_CHAR},
                                                              {"block!", TYPE_BLOCK}};
        if (auto t = types.find(token); t != types.end())
            return Cell{TYPE_DATATYPE, t->second, 0, 0};
        if (token.find('/') != std::string::npos) {
            Cell p;
            block::make_at(p, 1);
            cell::set_type(p, TYPE_PATH);
            return p;
        }
        uint32_t type = TYPE_WORD;
        if (token.back() == ':' && token.size() > 1)
            type = TYPE_SET_WORD, token.pop_back();
        else if (token[0] == ':')
            type = TYPE_GET_WORD, token.erase(0, 1);
        else if (token[0] == '\'')
            type = TYPE_LIT_WORD, token.erase(0, 1);
        return Cell{type, 0, symbol::intern(token.c_str()), uint32_t(-1)};
    }

  public:
    static Cell string_cell(std::string_view text) {
        Cell s;
        string::load_at(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), s,
                        string::Encoding::utf8);
        return test::hold(s);
    }
};

Cell read_block(std::string_view text) {
    return test::hold(Reader(text).block());
}

Cell word(const char* name) {
    return Cell{TYPE_WORD, 0, symbol::intern(name), uint32_t(-1)};
}

// Values shown as text, the way the tables expect them.
std::string show(const Cell& v) {
    switch (cell::type_of(v)) {
    case TYPE_LOGIC: return v.w1 ? "true" : "false";
    case TYPE_NONE: return "none";
    case TYPE_INTEGER: return std::to_string(integer::get(v));
    case TYPE_CHAR: return std::string("#") + char(v.w2);
    case TYPE_WORD:
    case TYPE_LIT_WORD: return symbol::c_name(v.w2);
    case TYPE_STRING:
    case TYPE_BINARY: {
        std::string s = "\"";
        for (uint32_t cp : chars_of(v)) s += char(cp);
        return s + "\"";
    }
    case TYPE_BLOCK: {
        std::string s = "[";
        for (const Cell& c : cells_of(v)) s += (s.size() > 1 ? " " : "") + show(c);
        return s + "]";
    }
    default: return "?";
    }
}

class ParseTest : public DatatypeTest {
  protected:
    void SetUp() override {
        DatatypeTest::SetUp();
        symbol::init();
        register_row(TYPE_BLOCK, "block!", compare_stub, block_copy, block_insert, block_remove,
                     block_change);
        register_row(TYPE_STRING, "string!", compare_stub, string_copy, string_insert,
                     string_remove, string_change);
        register_row(TYPE_BINARY, "binary!", compare_stub, string_copy, string_insert,
                     string_remove, string_change);
        for (uint32_t t = TYPE_WORD; t <= TYPE_REFINEMENT; ++t)
            register_row(t, "word!", compare_stub, nullptr, nullptr, nullptr, nullptr);
        lexer::init();
        parse::init();
        parse::hooks = {eval_paren, get_word, set_word, typeset_has, bitset_has, call_trace};
        variables.clear();
        paren_actions.clear();
        events.clear();
        rule_stack_heads.clear();
        trace_stop_at = -1;
        trace_break_on.clear();
        runtime::record.pending = 0;
    }
    void TearDown() override {
        parse::release();
        DatatypeTest::TearDown();
    }

    Cell* stack_top_before = nullptr;

    Cell run(const Cell& input, std::string_view rules, int32_t case_code = 0, int32_t part = -1,
             bool trace = false) {
        Cell callback = trace ? Cell{TYPE_LOGIC, 1, 0, 0} : none::value;
        stack_top_before = stack::state.top;
        Cell* result = parse::process(input, read_block(rules), case_code, part, callback);
        if (!result) return Cell{TYPE_UNSET, 0, 0, 0};
        EXPECT_EQ(result, stack_top_before) << "the result takes the first free slot";
        Cell r = *result;
        stack::state.top = stack_top_before;
        return r;
    }

    std::string parse_string(std::string_view input, std::string_view rules, int32_t case_code = 0,
                             int32_t part = -1) {
        return show(run(Reader::string_cell(input), rules, case_code, part));
    }
    std::string parse_values(std::string_view input, std::string_view rules,
                             int32_t case_code = 0) {
        return show(run(read_block(input), rules, case_code));
    }
    std::string var(const char* name) {
        auto it = variables.find(symbol::resolve(symbol::intern(name)));
        return it == variables.end() ? "unset" : show(it->second);
    }
    int add_action(std::function<void(Cell&)> f) {
        paren_actions.push_back(std::move(f));
        return int(paren_actions.size()) - 1;
    }
};

struct Case {
    const char* input;
    const char* rules;
    const char* expected;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.input << " / " << c.rules;
}

} // namespace

TEST_F(ParseTest, StringKeywords) {
    const Case cases[] = {
        {"", "", "true"},
        {"abc", "\"abc\"", "true"},
        {"abc", "\"ab\"", "false"},
        {"abc", "\"ABC\"", "true"},
        {"abc", "skip skip skip", "true"},
        {"ab", "skip skip skip", "false"},
        {"aaa", "any #\"a\"", "true"},
        {"", "any #\"a\"", "true"},
        {"", "some #\"a\"", "false"},
        {"", "opt #\"a\"", "true"},
        {"a", "opt #\"a\"", "true"},
        {"a", "2 3 #\"a\"", "false"},
        {"aa", "2 3 #\"a\"", "true"},
        {"aaa", "2 3 #\"a\"", "true"},
        {"aaaa", "2 3 #\"a\"", "false"},
        {"aaa", "3 #\"a\"", "true"},
        {"a", "0 skip", "false"},
        {"a", "0 skip skip", "true"},
        {"a", "0 0 [copy x skip] skip", "true"},
        {"ab", "1 0 skip \"ab\"", "false"},
        {"a", "0 change only skip \"x\" \"a\"", "true"},
        {"a", "0 collect set y [keep skip] skip", "true"},
        {"abab", "2 [\"a\" \"b\"]", "true"},
        {"ababa", "some [\"a\" \"b\"] \"a\"", "true"},
        {"aAa", "some #\"a\"", "true"},
        {"AA", "some #\"A\"", "true"},
        {"aa", "some #\"A\"", "true"},
        {"ab", "\"ax\" | \"ab\"", "true"},
        {"ab", "[\"a\" \"x\"] | \"ab\"", "true"},
        {"ab", "[\"a\" \"x\" | \"a\" \"b\"]", "true"},
        {"abc", "to \"c\" \"c\"", "true"},
        {"abc", "thru \"b\" \"c\"", "true"},
        {"abc", "to end", "true"},
        {"abc", "thru end", "true"},
        {"abc", "thru \"x\"", "false"},
        {"abc", "to #\"C\" skip", "true"},
        {"abc", "to [\"c\"] skip", "true"},
        {"abc", "thru [\"x\" | \"b\"] \"c\"", "true"},
        {"abc", "to [end] end", "true"},
        {"ab", "not \"b\" skip skip", "true"},
        {"ab", "not \"a\" skip skip", "false"},
        {"ab", "ahead \"a\" \"ab\"", "true"},
        {"ab", "ahead \"b\" \"ab\"", "false"},
        {"ab", "\"a\" end", "false"},
        {"a", "\"a\" end", "true"},
        {"ab", "\"a\" fail | \"ab\"", "true"},
        {"ab", "none \"ab\"", "true"},
        {"aaa", "any [\"a\" break] \"aa\"", "true"},
        {"aaa", "any [\"a\" reject] \"aaa\"", "false"},
        {"aaa", "[any [\"a\" reject]] | \"aaa\"", "true"},
        {"ab", "[\"a\" break \"x\"] \"b\"", "true"},
        {"ab", "case \"AB\"", "false"},
        {"ab", "case \"ab\"", "true"},
        {"ab", "case [\"a\"] \"B\"", "true"},
        {"<b>x", "<b> \"x\"", "true"},
        {"<b>x", "<i> \"x\"", "false"},
        {"ab", "quote \"ab\"", "true"},
        {"abc", "\"a\" p: \"b\" :p \"bc\"", "true"},
        {"xyz", "some bits", "true"},
        {"xyz!", "some bits", "false"},
        {"xyz", "to bits thru #\"z\"", "true"},
    };
    variables[symbol::resolve(symbol::intern("bits"))] = Cell{TYPE_BITSET, 'x', 0, 'z'};
    for (const Case& c : cases)
        EXPECT_EQ(parse_string(c.input, c.rules), c.expected) << c.input << " / " << c.rules;
    EXPECT_EQ(var("x"), "unset") << "a rule repeated zero times does not run";
    EXPECT_EQ(var("y"), "unset");
}

TEST_F(ParseTest, BlockKeywords) {
    const Case cases[] = {
        {"", "", "true"},
        {"1 2 3", "some integer!", "true"},
        {"1 a", "integer! word!", "true"},
        {"1 a", "integer! integer!", "false"},
        {"1 2", "quote 1 quote 2", "true"},
        {"a b", "'a 'b", "true"},
        {"a", "'A", "true"},
        {"\"ab\" 1", "\"AB\" skip", "true"},
        {"[1 2] 3", "into [some integer!] integer!", "true"},
        {"[1 x] 3", "into [some integer!] integer!", "false"},
        {"1", "into [skip]", "false"},
        {"", "into [skip]", "false"},
        {"\"ab\"", "into [\"ab\"]", "true"},
        {"[a] b", "into rule 'b", "true"},
        {"a b a", "some ['a | 'b]", "true"},
        {"1 2 3", "to 3 end", "false"},
        {"1 2 3", "to [quote 3] skip", "true"},
        {"1 2 3", "thru [quote 2] quote 3", "true"},
        {"1 1 1", "any [quote 1]", "true"},
        {"1 1 2", "0 2 [quote 1] quote 2", "true"},
        {"1 2 3", "skip n skip skip", "false"},
        {"1 2 3", "2 n skip", "true"},
        {"1 2 3", "number-rule", "true"},
        {"a", "int-or-word", "true"},
    };
    variables[symbol::resolve(symbol::intern("rule"))] = read_block("'a");
    variables[symbol::resolve(symbol::intern("n"))] = int_cell(3);
    variables[symbol::resolve(symbol::intern("number-rule"))] = read_block("some integer!");
    variables[symbol::resolve(symbol::intern("int-or-word"))] =
        Cell{TYPE_TYPESET, 1u << TYPE_INTEGER | 1u << TYPE_WORD, 0, 0};
    for (const Case& c : cases)
        EXPECT_EQ(parse_values(c.input, c.rules), c.expected) << c.input << " / " << c.rules;
}

TEST_F(ParseTest, CaseModeCoversBothSidesOfEveryLiteral) {
    const Case cases[] = {
        {"aA", "some #\"a\"", "false"}, {"AA", "some #\"A\"", "true"},
        {"ab", "\"AB\"", "false"},      {"ab", "\"ab\"", "true"},
        {"aa", "2 #\"a\"", "true"},     {"aB", "thru #\"b\"", "false"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parse_string(c.input, c.rules, parse::case_sensitive), c.expected)
            << c.input << " / " << c.rules;
    EXPECT_EQ(parse_values("a", "'A", parse::case_sensitive), "false");
    EXPECT_EQ(parse_values("\"ab\"", "\"AB\"", parse::case_sensitive), "false");
}

TEST_F(ParseTest, BinaryInputMatchesBytesAndTokens) {
    Cell bin = Reader::string_cell("12 [a b] xyz");
    cell::set_type(bin, TYPE_BINARY);
    EXPECT_EQ(show(run(bin, "integer! block! #\" \" quote 120 \"yz\"")), "true");
    EXPECT_EQ(show(run(bin, "integer! integer! to end")), "false");
    EXPECT_EQ(show(run(bin, "2 skip block! word!")), "true");
    EXPECT_EQ(show(run(bin, "set x skip to end")), "true");
    EXPECT_EQ(var("x"), "49");
}

TEST_F(ParseTest, NoProgressEndsTheLoop) {
    const Case cases[] = {
        {"ab", "any [opt \"a\"]", "false"},
        {"a", "any [opt \"a\"]", "true"},
        {"", "while []", "true"},
        {"b", "some [opt \"a\"] \"b\"", "true"},
        {"aaa", "any [remove \"a\"]", "true"},
        {"aab", "while [remove \"a\"] \"b\"", "true"},
        {"", "any [p: :p]", "true"},
        {"", "some \"\"", "true"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parse_string(c.input, c.rules), c.expected) << c.input << " / " << c.rules;
}

TEST_F(ParseTest, WhileRepeatsWhileParensRun) {
    int count = 0;
    int tick = add_action([&](Cell& out) { logic::make_at(out, ++count < 4); });
    std::string rules = "while [if (" + std::to_string(tick) + ")]";
    EXPECT_EQ(parse_string("", rules), "true");
    EXPECT_EQ(count, 4);
}

TEST_F(ParseTest, CopyAndSetCaptureTheMatchedPart) {
    EXPECT_EQ(parse_string("abc", "copy x to end"), "true");
    EXPECT_EQ(var("x"), "\"abc\"");
    EXPECT_EQ(parse_string("abc", "skip copy x 2 skip"), "true");
    EXPECT_EQ(var("x"), "\"bc\"");
    EXPECT_EQ(parse_string("abc", "copy x \"x\" | copy y skip to end"), "true");
    EXPECT_EQ(var("y"), "\"a\"");
    EXPECT_EQ(parse_values("1 2 a", "set x integer! copy y [integer! word!]"), "true");
    EXPECT_EQ(var("x"), "1");
    EXPECT_EQ(var("y"), "[2 a]");
    EXPECT_EQ(parse_string("ab", "set x skip skip"), "true");
    EXPECT_EQ(var("x"), "#a");
    EXPECT_EQ(parse_string("b", "set z opt \"a\" skip"), "true");
    EXPECT_EQ(var("z"), "none");
    EXPECT_EQ(parse_string("abc", "skip p: to end"), "true");
    EXPECT_EQ(var("p"), "\"bc\"");
}

TEST_F(ParseTest, CollectAndKeep) {
    int five = add_action([](Cell& out) { integer::make_at(out, 5); });
    int pair = add_action([](Cell& out) { out = read_block("7 8"); });
    const Case cases[] = {
        {"1 a 2", "collect [any [keep integer! | skip]]", "[1 2]"},
        {"1 2 3", "collect [keep 2 skip keep skip]", "[[1 2] 3]"},
        {"1 2 3", "collect [keep pick 2 skip keep skip]", "[1 2 3]"},
        {"1 2", "collect [keep skip collect [keep skip]]", "[1 [2]]"},
        {"1", "collect [keep (0) skip]", "[5]"},
        {"1", "collect [keep pick (1) skip]", "[7 8]"},
        {"1", "collect [keep (1) skip]", "[[7 8]]"},
        {"1 2", "collect [keep integer!]", "[1]"},
        {"", "collect []", "[]"},
    };
    ASSERT_EQ(five, 0);
    ASSERT_EQ(pair, 1);
    for (const Case& c : cases)
        EXPECT_EQ(parse_values(c.input, c.rules), c.expected) << c.input << " / " << c.rules;
    EXPECT_EQ(parse_string("abc", "collect [keep 2 skip keep skip]"), "[\"ab\" #c]");
    EXPECT_EQ(parse_string("abc", "collect [keep pick 2 skip]"), "[#a #b]");
}

TEST_F(ParseTest, CollectTargets) {
    EXPECT_EQ(parse_values("1 2", "collect set out [keep pick 2 skip]"), "true");
    EXPECT_EQ(var("out"), "[1 2]");
    variables[symbol::resolve(symbol::intern("into-here"))] = read_block("9");
    EXPECT_EQ(parse_values("1 2", "collect into into-here [keep pick 2 skip]"), "true");
    EXPECT_EQ(var("into-here"), "[1 2 9]");
    variables[symbol::resolve(symbol::intern("after-here"))] = read_block("9");
    EXPECT_EQ(parse_values("1 2", "collect after after-here [keep pick 2 skip]"), "true");
    EXPECT_EQ(var("after-here"), "[9]"); // moved past the inserted values
    add_action([](Cell& out) { integer::make_at(out, 5); });
    EXPECT_EQ(parse_values("1", "skip collect set inner [keep (0)]"), "true");
    EXPECT_EQ(var("inner"), "[5]");
}

TEST_F(ParseTest, InputChanges) {
    struct Change {
        const char* input;
        const char* rules;
        const char* result;
        const char* after;
    };
    const Change cases[] = {
        {"abc", "remove \"a\" \"bc\"", "true", "\"bc\""},
        {"abc", "skip remove to end", "true", "\"a\""},
        {"abc", "insert \"x\" \"abc\"", "true", "\"xabc\""},
        {"abc", "skip insert #\"-\" \"bc\"", "true", "\"a-bc\""},
        {"abc", "change \"a\" \"zz\" \"bc\"", "true", "\"zzbc\""},
        {"abc", "change \"x\" \"zz\" | skip change skip \"-\" skip", "true", "\"a-c\""},
        {"abc", "change 2 skip (0) \"c\"", "true", "\"5c\""},
        {"aXbX", "any [change #\"X\" \"-\" | skip]", "true", "\"a-b-\""},
        {"aaa", "any [remove \"a\"]", "true", "\"\""},
    };
    add_action([](Cell& out) { out = Reader::string_cell("5"); });
    for (const Change& c : cases) {
        Cell input = Reader::string_cell(c.input);
        EXPECT_EQ(show(run(input, c.rules)), c.result) << c.rules;
        EXPECT_EQ(show(input), c.after) << c.rules;
    }
    Cell blk = read_block("1 2");
    EXPECT_EQ(show(run(blk, "change integer! [a b] insert only [c] integer!")), "true");
    EXPECT_EQ(show(blk), "[a b [c] 2]");
    blk = read_block("1");
    EXPECT_EQ(show(run(blk, "change only integer! [a b]")), "true");
    EXPECT_EQ(show(blk), "[[a b]]");
}

TEST_F(ParseTest, PartLimitsTheInput) {
    EXPECT_EQ(parse_string("abc", "", 0, 0), "false");
    EXPECT_EQ(parse_string("", "skip", 0, 0), "true");
    EXPECT_EQ(parse_string("abc", "2 skip", 0, 2), "true");
    EXPECT_EQ(parse_string("abc", "3 skip", 0, 2), "false");
    EXPECT_EQ(parse_string("abc", "\"ab\" end", 0, 2), "true");
    EXPECT_EQ(parse_string("abc", "\"abc\"", 0, 2), "false");
    EXPECT_EQ(parse_string("abc", "to end", 0, 1), "true");
    EXPECT_EQ(parse_string("aaa", "any #\"a\"", 0, 2), "true");
    EXPECT_EQ(parse_string("abc", "remove skip skip", 0, 2), "true");
    EXPECT_EQ(parse_string("abc", "insert \"xy\" 2 skip", 0, 2), "true");
}

TEST_F(ParseTest, Errors) {
    variables[symbol::resolve(symbol::intern("w"))] = word("x");
    variables[symbol::resolve(symbol::intern("i"))] = int_cell(1);
    variables[symbol::resolve(symbol::intern("other"))] = Reader::string_cell("x");
    add_action([](Cell& out) { out = Cell{TYPE_UNSET, 0, 0, 0}; });
    struct ErrorCase {
        bool text;
        const char* input;
        const char* rules;
        uint32_t id;
    };
    using namespace err::script;
    const ErrorCase cases[] = {
        {true, "a", "copy 1 skip", parse_rule},
        {true, "a", "set \"x\" skip", parse_rule},
        {true, "a", "a/b", parse_rule},
        {true, "a", "w", parse_rule},
        {true, "a", "insert a/b", parse_rule},
        {true, "a", "change skip a/b", parse_rule},
        {true, "a", "only", parse_rule},
        {true, "a", "to", parse_end},
        {true, "a", "skip thru", parse_end},
        {true, "a", "some", parse_end},
        {true, "a", "skip |", parse_end},
        {true, "a", "if skip", parse_end},
        {true, "a", "change skip", parse_end},
        {true, "a", "insert", parse_end},
        {true, "a", "copy x", parse_end},
        {true, "a", "collect [keep]", parse_end},
        {true, "a", "any |", parse_end},
        {true, "a", ":other", parse_invalid_ref},
        {true, "a", "into [skip]", parse_block},
        {true, "a", "integer!", parse_unsupported},
        {true, "a", "keep skip", parse_keep},
        {true, "a", "collect into i [keep skip]", parse_into_bad},
        {true, "a", "collect after other [keep skip]", parse_into_type},
        {true, "a", "-1 skip", out_of_range},
        {true, "a", "1 -2 skip", out_of_range},
        {true, "a", "insert (0)", no_value},
        {false, "1", "into 1", parse_end},
        {true, "a", "undefined-word", no_value},
    };
    for (const ErrorCase& c : cases) {
        Cell input = c.text ? Reader::string_cell(c.input) : read_block(c.input);
        EXPECT_EQ(error_of([&] { run(input, c.rules); }), script(c.id)) << c.rules;
    }
}

TEST_F(ParseTest, DeepNestingReachesTheStackLimit) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's larger frames overflow the test's own recursive reader first";
#endif
    std::string deep(4000, '[');
    deep += std::string(4000, ']');
    EXPECT_EQ(error_of([&] { parse_string("", deep); }), script(err::script::parse_stack));
    std::string fits(3000, '[');
    fits += std::string(3000, ']');
    EXPECT_EQ(parse_string("", fits), "true");
}

TEST_F(ParseTest, TraceSeesEveryStepAndCanStop) {
    EXPECT_EQ(show(run(Reader::string_cell("a"), "[\"a\"]", 0, -1, true)), "true");
    const std::vector<std::string> expected = {"push",  "fetch", "push", "fetch",
                                               "match", "pop",   "pop",  "end"};
    EXPECT_EQ(events, expected);
    events.clear();
    trace_stop_at = 2; // the answer to the first match is false
    EXPECT_EQ(show(run(Reader::string_cell("ab"), "\"a\" \"x\"", 0, -1, true)), "true");
    EXPECT_EQ(events.size(), 3u);
}

TEST_F(ParseTest, PendingExitFromAParenUnwinds) {
    int leave = add_action([](Cell&) { runtime::record.pending = runtime::code::brk; });
    std::string rules = "collect [some [keep skip (" + std::to_string(leave) + ")]]";
    Cell* top = stack::state.top;
    EXPECT_EQ(parse::process(Reader::string_cell("abc"), read_block(rules), 0, -1, none::value),
              nullptr);
    EXPECT_EQ(runtime::record.pending, runtime::code::brk);
    EXPECT_GE(stack::state.top, top) << "the stack is left to the exit's target";
    runtime::record.pending = 0;
    stack::state.top = top;
    // The working stacks were cleared: the next run starts from their heads.
    EXPECT_EQ(show(run(Reader::string_cell("a"), "\"a\"", 0, -1, true)), "true");
    EXPECT_EQ(rule_stack_heads.front(), 0);
}

TEST_F(ParseTest, PendingExitFromTheCallbackStopsEveryLaterAction) {
    int runs = 0;
    int count = add_action([&](Cell& out) {
        ++runs;
        out = Reader::string_cell("x");
    });
    trace_break_on = "paren";
    Cell text = Reader::string_cell("a");
    Cell* top = stack::state.top;
    std::string n = std::to_string(count);
    Cell* r = parse::process(text, read_block("change skip (" + n + ") (" + n + ")"), 0, -1,
                             Cell{TYPE_LOGIC, 1, 0, 0});
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(show(text), "\"a\"") << "the change is not made";
    runtime::record.pending = 0;
    stack::state.top = top;
}

TEST_F(ParseTest, ErrorsClearTheWorkingStacks) {
    EXPECT_NE(error_of([&] { parse_string("a", "[[[to]]]"); }), no_error);
    EXPECT_EQ(show(run(Reader::string_cell("a"), "\"a\"", 0, -1, true)), "true");
    EXPECT_EQ(rule_stack_heads.front(), 0);
}

TEST_F(ParseTest, ParenMayParseAgain) {
    Cell inner_result{};
    int nested = add_action([&](Cell& out) {
        Cell* r = parse::process(Reader::string_cell("xy"), read_block("some [#\"x\" | #\"y\"]"), 0,
                                 -1, none::value);
        inner_result = *r;
        stack::pop(1);
        none::make_at(out);
    });
    std::string rules = "[\"a\" (" + std::to_string(nested) + ") \"b\"]";
    EXPECT_EQ(parse_string("ab", rules), "true");
    EXPECT_EQ(show(inner_result), "true");
}

// Every allocation collects and compacts: the engine must keep everything
// it holds across an allocation reachable.
TEST_F(ParseTest, SurvivesACollectionAtEveryAllocation) {
    collector::active = true;
    memory::collect_always = true;
    struct Off {
        ~Off() {
            memory::collect_always = false;
            collector::active = false;
        }
    } off;
    add_action([](Cell& out) { out = Reader::string_cell("<>"); });
    Rooted<Cell> text(Reader::string_cell("abcabc"));
    Rooted<Cell> rules(read_block("collect [any [keep copy x 2 skip change skip (0)]]"));
    Cell* r = parse::process(text.get(), rules.get(), 0, -1, none::value);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(show(*r), "[\"ab\" \"ab\"]");
    EXPECT_EQ(show(text.get()), "\"ab<>ab<>\"");
    stack::pop(1);
    Rooted<Cell> values(read_block("1 [2 3] 4"));
    rules = read_block("collect [keep skip into [collect [keep pick 2 skip]] keep pick skip]");
    r = parse::process(values.get(), rules.get(), 0, -1, none::value);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(show(*r), "[1 [2 3] 4]");
    stack::pop(1);
}

TEST_F(ParseTest, StartingUpKeepsTheRuleStackWhileMakingTheInputStack) {
    parse::release();
    collector::active = true;
    memory::collect_always = true;
    parse::init();
    memory::collect_always = false;
    collector::active = false;
    EXPECT_EQ(parse_string("abc", "\"a\" [\"x\" | \"b\"] \"c\""), "true");
    EXPECT_EQ(parse_values("1 [2]", "integer! into [integer!]"), "true");
}
