// The path family, paren! and issue!: construction, conversion, form and
// mold, cycles, and issue comparison.

#include <algorithm>

#include "callable_fixture.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

class PathTest : public CallableTest {
  protected:
    static Cell type(uint32_t id) {
        Cell c;
        datatype::make_at(c, id);
        return c;
    }
    static Cell make_path(uint32_t id, const Cell& spec, bool to = false) {
        Cell proto = type(id);
        Rooted<Cell> s(spec);
        return *(to ? path::to : path::make)(&proto, &*s, id);
    }
    // The first value the reader makes of the text.
    static Cell first(const std::string& text) { return block::rs_head(read(text))[0]; }
};

struct MoldCase {
    const char* text;
    const char* mold;
    const char* form;
};

} // namespace

TEST_F(PathTest, FormAndMold) {
    const MoldCase cases[] = {
        {"a/b/c", "a/b/c", "a/b/c"},   {"'a/b", "'a/b", "a/b"},
        {"a/b:", "a/b:", "a/b"},       {":a/b", ":a/b", "a/b"},
        {"a/1/:c", "a/1/:c", "a/1/c"}, {"(a [b] 1)", "(a [b] 1)", "a b 1"},
    };
    for (const MoldCase& c : cases) {
        Cell value = first(c.text);
        EXPECT_EQ(molded(value), c.mold) << c.text;
        EXPECT_EQ(formed(value), c.form) << c.text;
    }
    EXPECT_EQ(molded(first("(a b)"), true), "a b") << "only? leaves the parentheses out";
    Rooted<Cell> p(first("a/d"));
    block::insert_value(*p, first("(b c)"), false, false);
    EXPECT_EQ(molded(*p), "(b c)/a/d");
    EXPECT_EQ(formed(*p), "b c/a/d");
}

TEST_F(PathTest, PartLimitsStopTheWalk) {
    Cell p = first("abc/def/ghi");
    Cell limit = int_cell(5);
    EXPECT_EQ(molded(p, false, 5, &limit), "abc/def");
    Rooted<Cell> buffer(new_buffer());
    EXPECT_EQ(path::form(&p, &buffer.get(), &limit, 5), -2);
    EXPECT_EQ(path::mold(&p, &buffer.get(), false, false, false, nullptr, 20, 0), 9)
        << "no limit in force without an argument cell";
}

TEST_F(PathTest, SelfContainingPathsAndParensEnd) {
    Rooted<Cell> p(first("a/b"));
    Rooted<Cell> inner(read("x"));
    block::append_value(*inner, *p);
    block::append_value(*p, *inner);
    EXPECT_EQ(molded(*p), "a/b/[x ...]");
    EXPECT_EQ(formed(*p), "a/b/x ...");

    Rooted<Cell> paren(first("(a)"));
    block::append_value(*paren, *paren);
    EXPECT_EQ(molded(*paren), "(a (...))");
    EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(PathTest, MakeAndTo) {
    Rooted<Cell> empty(make_path(TYPE_PATH, int_cell(0)));
    EXPECT_EQ(cell::type_of(*empty), TYPE_PATH);
    EXPECT_EQ(block::rs_length(*empty), 0);
    EXPECT_GE(memory::buffer_of(empty->w2)->size, sizeof(Cell));
    EXPECT_EQ(cell::type_of(make_path(TYPE_SET_PATH, float_cell(2.9))), TYPE_SET_PATH);
    EXPECT_EQ(block::rs_length(make_path(TYPE_PATH, int_cell(-4))), 0);

    Rooted<Cell> ab(make_path(TYPE_PATH, read("a b")));
    EXPECT_EQ(molded(*ab), "a/b");
    EXPECT_EQ(molded(make_path(TYPE_GET_PATH, *ab)), ":a/b");
    EXPECT_EQ(molded(make_path(TYPE_LIT_PATH, first("(a 1)"))), "'a/1");

    Cell text = first("\"a/b\"");
    EXPECT_EQ(error_of([&] { make_path(TYPE_PATH, text); }), script(err::script::bad_make_arg));
    EXPECT_EQ(error_of([&] { make_path(TYPE_PATH, first("a")); }),
              script(err::script::bad_make_arg));

    Cell set{};
    typeset::clear(set);
    typeset::set_bit(set, TYPE_INTEGER);
    Rooted<Cell> holding(make_path(TYPE_PATH, set, true));
    ASSERT_EQ(block::rs_length(*holding), 1);
    EXPECT_EQ(cell::type_of(block::rs_head(*holding)[0]), TYPE_TYPESET);
    EXPECT_EQ(molded(make_path(TYPE_SET_PATH, read("x y"), true)), "x/y:");
}

TEST_F(PathTest, TheFamilyInheritsBlockActionsButNotItsRandomOrSort) {
    for (uint32_t t : {TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH, TYPE_PAREN})
        EXPECT_EQ(datatype::entry(t, Slot::compare), datatype::entry(TYPE_BLOCK, Slot::compare));
    EXPECT_EQ(datatype::entry(TYPE_SET_PATH, Slot::make), datatype::entry(TYPE_PATH, Slot::make));
    EXPECT_EQ(datatype::entry(TYPE_PAREN, Slot::to), datatype::entry(TYPE_BLOCK, Slot::to));
    EXPECT_NE(datatype::entry(TYPE_SET_PATH, Slot::mold), datatype::entry(TYPE_PATH, Slot::mold));

    Cell a = first("a/b"), b = first("a/b");
    EXPECT_EQ(compare(a, b, 0), 0);
}

TEST_F(PathTest, PushRetypes) {
    Rooted<Cell> b(read("a b"));
    Cell* pushed = lit_path::push(*b);
    EXPECT_EQ(pushed->header, uint32_t(TYPE_LIT_PATH));
    EXPECT_EQ(b->header, uint32_t(TYPE_LIT_PATH));
    EXPECT_EQ(paren::push(*b)->header, uint32_t(TYPE_PAREN));
}

// The lexer's reading of #name as one value, for names of letters and
// digits.
static bool scan_issue(const Cell& text, Cell& out) {
    Buffer* b = memory::buffer_of(text.w2);
    std::string s(reinterpret_cast<const char*>(b->head), b->tail - b->head);
    if (s.size() < 2 || s[0] != '#' ||
        !std::all_of(s.begin() + 1, s.end(), [](unsigned char c) { return std::isalnum(c); }))
        return false;
    out = Cell{TYPE_ISSUE, context::global, symbol::intern(s.c_str() + 1), uint32_t(-1)};
    return true;
}

// Text names an issue only when #name reads back as that issue.
TEST_F(PathTest, IssuesTakeTextThatReadsBackAsTheirName) {
    struct Scanning {
        Scanning() { word::scan_value = scan_issue; }
        ~Scanning() { word::scan_value = nullptr; }
    } scanning;
    Cell proto = type(TYPE_ISSUE);
    Rooted<Cell> text(first("\"a b\""));
    EXPECT_EQ(error_of([&] { issue::make(&proto, &*text, TYPE_ISSUE); }),
              script(err::script::bad_to_arg));
    Rooted<Cell> digits(first("\"1234\""));
    Rooted<Cell> made(*issue::make(&proto, &*digits, TYPE_ISSUE));
    EXPECT_EQ(cell::type_of(*made), TYPE_ISSUE);
    EXPECT_EQ(made->w1, context::global);
    EXPECT_EQ(made->w3, uint32_t(-1));
    EXPECT_EQ(molded(*made), "#1234");
    EXPECT_EQ(formed(*made), "1234");

    text->w1 = 2; // from the head index on
    EXPECT_EQ(molded(*issue::make(&proto, &*text, TYPE_ISSUE)), "#b");
    Cell c = char_cell('x');
    EXPECT_EQ(molded(*issue::make(&proto, &c, TYPE_ISSUE)), "#x");
    Cell w = first("'abc");
    EXPECT_EQ(molded(*issue::make(&proto, &w, TYPE_ISSUE)), "#abc");
    Cell n = int_cell(1);
    EXPECT_EQ(error_of([&] { issue::make(&proto, &n, TYPE_ISSUE); }),
              script(err::script::bad_to_arg));

    Rooted<Cell> pushed(*issue::push_from(first("define")));
    EXPECT_EQ(molded(*pushed), "#define");
}

// The name is read before the scan allocates: it may lie in a series
// buffer (an issue made from text passes its new symbol's spelling), which
// a collection slides down over the garbage before it, poisoning the bytes
// it leaves.
TEST_F(PathTest, AWholeNameIsReadBeforeTheScanMovesItsBuffer) {
    struct Scanning {
        Scanning() { word::scan_value = scan_issue; }
        ~Scanning() { word::scan_value = nullptr; }
    } scanning;
    const std::string spelling = "spelledInABufferThatMovesWhileItIsScanned";
    RootedNode name;
    {
        RootedNode garbage(memory::alloc_bytes(4096));
        name = memory::alloc_bytes(uint32_t(spelling.size()));
        Buffer* b = memory::buffer_of(name);
        std::memcpy(buffer::reserve_tail(b, uint32_t(spelling.size())), spelling.data(),
                    spelling.size());
    }
    Buffer* b = memory::buffer_of(name);
    std::string_view view(reinterpret_cast<const char*>(b->head), spelling.size());
    bool stress = collector::stress;
    collector::stress = memory::collect_always = true;
    uint32_t symbol = word::symbol_of_whole(view, TYPE_ISSUE);
    collector::stress = memory::collect_always = stress;
    ASSERT_NE(memory::buffer_of(name), b) << "the buffer was meant to move";
    EXPECT_EQ(symbol, symbol::intern(spelling.c_str()));
}

TEST_F(PathTest, IssuesCompareOnlyWithIssues) {
    Cell i = first("#abc"), w = first("abc"), j = first("#ABC");
    EXPECT_EQ(compare(i, w, 0), -2);
    EXPECT_EQ(compare(w, i, 0), -2);
    EXPECT_EQ(compare(i, j, 0), 0);
    EXPECT_NE(compare(i, j, 2), 0);
}

TEST_F(PathTest, BindingLeavesIssuesAlone) {
    Rooted<Cell> spec(read("abc"));
    NodeId ctx = context::make_from_spec(*spec, false, false, context::Kind::object);
    RootedNode held(ctx);
    Rooted<Cell> code(read("#abc abc"));
    context::bind_block(*code, ctx, false);
    EXPECT_EQ(block::rs_head(*code)[0].w1, context::global);
    EXPECT_EQ(block::rs_head(*code)[1].w1, ctx);
}

TEST_F(PathTest, LoadedIssues) {
    Rooted<Cell> b(read(""));
    Cell* i = issue::load_in("ooo", *b);
    EXPECT_EQ(molded(*i), "#ooo");
    EXPECT_EQ(molded(*issue::load("x")), "#x");
    uint32_t before = uint32_t(block::rs_length(context::root));
    word::collecting = true;
    issue::load("y");
    word::collecting = false;
    EXPECT_EQ(uint32_t(block::rs_length(context::root)), before + 1);
}
