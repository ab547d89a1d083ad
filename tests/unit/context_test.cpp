// Contexts, binding, slot access through words, the word! family and the
// runtime word tables.

#include <cstring>
#include <string>

#include "datatype_fixture.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/binding.h"
#include "runtime/collector.h"
#include "runtime/hash.h"
#include "runtime/roots.h"
#include "runtime/symbol.h"

namespace kiv::testing {
namespace {

using context::Kind;

// Reads a text as one value the way the lexer would for the cases used
// here: letters with an optional trailing colon make a word or set-word,
// anything else an integer.
bool scan_for_test(const Cell& text, Cell& out) {
    Buffer* b = memory::buffer_of(text.w2);
    std::string s(reinterpret_cast<const char*>(b->head), b->tail - b->head);
    bool set = !s.empty() && s.back() == ':';
    if (set) s.pop_back();
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) {
        out = Cell{TYPE_INTEGER, 0, 1, 0};
        return true;
    }
    out = word::load(s.c_str(), set ? TYPE_SET_WORD : TYPE_WORD);
    return true;
}

class ContextTest : public DatatypeTest {
  protected:
    void SetUp() override {
        DatatypeTest::SetUp();
        symbol::init();
        context::init();
        word::init();
        context::init_global();
        words::init_runtime_words();
        words::init_refinements();
        words::init_issue();
        word::scan_value = scan_for_test;
        collector::active = true;
    }
    void TearDown() override {
        context::fire_on_change = nullptr;
        word::scan_value = nullptr;
        DatatypeTest::TearDown();
    }

    static uint32_t sym(const char* name) { return symbol::intern(name); }
    static Cell global_word(const char* name) { return word::load(name); }
    static Cell word_in(NodeId ctx, const char* name, uint32_t type = TYPE_WORD) {
        Cell w{type, ctx, sym(name), uint32_t(context::find_word(ctx, sym(name), true))};
        return w;
    }
    // A block of the given cells.
    static void block_of(Rooted<Cell>& out, std::initializer_list<Cell> cells) {
        block::make_at(*out, int32_t(cells.size()));
        for (const Cell& c : cells) block::append_value(*out, c);
    }
    static std::string spelling(const Cell& w) { return symbol::c_name(w.w2); }

    // Forming makes the name string on first use: the output buffer is
    // held across that allocation.
    static std::string formed(const Cell& value) {
        Rooted<Cell> out(new_buffer());
        word::form(&value, &out.get(), nullptr, 1000);
        return text_of(*out);
    }
    static int32_t mold_into(const Cell& value, Rooted<Cell>& out, int32_t part) {
        *out = new_buffer();
        return datatype::get<Slot::mold>(cell::type_of(value))(&value, &out.get(), false, false,
                                                               false, nullptr, part, 0);
    }
    static std::string molded(const Cell& value) {
        Rooted<Cell> out;
        mold_into(value, out, 1000);
        return text_of(*out);
    }
};

TEST_F(ContextTest, SpellingsOfAWordShareOneGlobalSlot) {
    Rooted<Cell> lower(context::add_global(sym("print"), true, true));
    uint32_t root_before = block::rs_length(context::root);
    Rooted<Cell> asked(context::add_global(sym("Print"), true, true));
    EXPECT_EQ(spelling(*asked), "Print");
    EXPECT_EQ(asked->w3, lower->w3);
    EXPECT_EQ(uint32_t(block::rs_length(context::root)), root_before + 1);

    uint32_t entries = context::size_of(context::global);
    Rooted<Cell> exact(context::add_global(sym("Print"), false, false));
    EXPECT_EQ(context::size_of(context::global), entries + 1);
    EXPECT_EQ(exact->w3, lower->w3);

    word::set(*exact, int_cell(7));
    EXPECT_EQ(word::value_cell(*lower)->w2, 7u);
    EXPECT_EQ(word::value_cell(*asked)->w2, 7u);
}

// Caches of resolved words hold while the binding epoch stays: a store
// that puts or replaces a function or an operator must move it, any other
// store must not (loops store into their words on every step).
TEST_F(ContextTest, StoresOfFunctionsMoveTheBindingEpoch) {
    NodeId ctx = context::new_(0, false, false, 0, Kind::object);
    RootedNode held(ctx);
    context::put_value(ctx, global_word("v"), int_cell(1));
    const Cell native{TYPE_NATIVE, 1, 0, 0};
    const Cell op{TYPE_OP | (TYPE_ACTION << 16), 1, 0, 0};
    struct Case {
        const char* what;
        Cell value;
        bool moves;
    } cases[] = {{"integer over integer", int_cell(2), false},
                 {"native over integer", native, true},
                 {"native over native", native, true},
                 {"integer over native", int_cell(3), true},
                 {"op over integer", op, true},
                 {"integer over op", int_cell(4), true},
                 {"integer again", int_cell(5), false}};
    for (const Case& c : cases) {
        uint64_t before = binding::epoch;
        context::store(ctx, 0, c.value);
        EXPECT_EQ(binding::epoch != before, c.moves) << c.what;
        EXPECT_EQ(cell::type_of(*context::slot_at(ctx, 0)), cell::type_of(c.value)) << c.what;
    }
    uint64_t before = binding::epoch;
    Rooted<Cell> code;
    block_of(code, {global_word("v")});
    context::bind_block(*code, ctx, false);
    EXPECT_NE(binding::epoch, before) << "binding code";
}

TEST_F(ContextTest, LookupsAreExactOrCaseInsensitive) {
    NodeId ctx = context::new_(0, false, false, 0, Kind::object);
    RootedNode held(ctx);
    context::put_value(ctx, global_word("size"), int_cell(3));
    struct Case {
        const char* name;
        bool nocase;
        int32_t index;
    } cases[] = {{"size", false, 0}, {"SIZE", false, -1}, {"SIZE", true, 0}, {"width", true, -1}};
    for (const Case& c : cases)
        EXPECT_EQ(context::find_word(ctx, sym(c.name), c.nocase), c.index) << c.name;
    EXPECT_EQ(context::value_of(sym("Size"), ctx)->w2, 3u);
    EXPECT_EQ(context::value_of(sym("width"), ctx), nullptr);
}

TEST_F(ContextTest, SpecEntriesAreItsWordsAndRefinementsInOrder) {
    Rooted<Cell> type_block;
    block_of(type_block, {global_word("integer!")});
    Rooted<Cell> doc;
    string::make_at(*doc, 4);
    string::append_c_string(*doc, "doc");
    Rooted<Cell> spec;
    block_of(spec, {global_word("a"), global_word("b"), word::load("c", TYPE_REFINEMENT),
                    global_word("d"), *doc, *type_block, word::load("e", TYPE_SET_WORD)});
    for (bool on_stack : {false, true}) {
        RootedNode ctx(context::make_from_spec(*spec, on_stack, false, Kind::function));
        ASSERT_EQ(context::size_of(ctx), 4u);
        const char* names[] = {"a", "b", "c", "d"};
        for (uint32_t i = 0; i < 4; ++i) {
            EXPECT_EQ(spelling(*context::word_at(ctx, i)), names[i]);
            EXPECT_EQ(context::word_at(ctx, i)->w1, NodeId(ctx));
            EXPECT_EQ(context::word_at(ctx, i)->w3, i);
        }
        const Cell& c = context::cell_of(ctx);
        EXPECT_EQ(c.header & context::flag::kind_mask, 1u << context::flag::kind_shift);
        if (on_stack)
            EXPECT_EQ(c.w2, 0u);
        else
            EXPECT_EQ(memory::buffer_of(c.w2)->length(), 4u);
    }
}

TEST_F(ContextTest, SpecWordsBeforeTheHeadStillFitTheValues) {
    Rooted<Cell> spec;
    block_of(spec, {global_word("a"), global_word("b"), global_word("c")});
    spec->w1 = 2;
    RootedNode ctx(context::make_from_spec(*spec, false, false, Kind::function));
    EXPECT_EQ(context::size_of(ctx), 3u);
    EXPECT_EQ(memory::buffer_of(context::cell_of(ctx).w2)->length(), 3u);
    word::set_in(*context::word_at(ctx, 2), int_cell(5), ctx, false);
    EXPECT_EQ(context::slot_at(ctx, 2)->w2, 5u);
}

TEST_F(ContextTest, BindingABlockThatContainsItselfEnds) {
    RootedNode ctx(context::new_(2, false, false, 0, Kind::object));
    context::put_value(ctx, global_word("x"), int_cell(1));
    Rooted<Cell> inner;
    block_of(inner, {global_word("x")});
    Rooted<Cell> outer;
    block_of(outer, {global_word("x"), *inner, global_word("y"),
                     word::unresolved("x", TYPE_ISSUE, context::global)});
    block::append_value(*outer, *outer);
    block::append_value(*inner, *outer);

    context::bind_block(*outer, ctx, false);
    Cell* cells = memory::buffer_of(outer->w2)->head_cell();
    EXPECT_EQ(cells[0].w1, NodeId(ctx));
    EXPECT_EQ(memory::buffer_of(inner->w2)->head_cell()[0].w1, NodeId(ctx));
    EXPECT_EQ(cells[2].w1, context::global) << "a word the context lacks keeps its binding";
    EXPECT_EQ(cells[3].w1, context::global) << "an issue is never bound";
    EXPECT_EQ(int32_t(cells[3].w3), -1);
    EXPECT_EQ(word::value_cell(cells[0])->w2, 1u);
}

TEST_F(ContextTest, SelfIsBoundOnlyWhenAsked) {
    RootedNode ctx(context::new_(2, false, true, 0, Kind::object));
    context::self_of(ctx) = Cell{TYPE_OBJECT, ctx, 0, 0};
    context::put_value(ctx, global_word("x"), int_cell(1));
    for (bool bind_self : {true, false}) {
        Rooted<Cell> body;
        block_of(body, {global_word("self"), global_word("x")});
        context::bind_block(*body, ctx, bind_self);
        Cell self = memory::buffer_of(body->w2)->head_cell()[0];
        if (bind_self) {
            EXPECT_EQ(self.w1, NodeId(ctx));
            EXPECT_EQ(int32_t(self.w3), -1);
            EXPECT_EQ(word::value_cell(self), &context::self_of(ctx));
        } else {
            EXPECT_EQ(self.w1, context::global);
        }
    }
}

TEST_F(ContextTest, UnresolvedWordsAndContextsWithoutValuesRaise) {
    Rooted<Cell> unresolved(word::unresolved("nowhere", TYPE_WORD, context::global));
    EXPECT_EQ(error_of([&] { word::value_cell(*unresolved); }), script(err::script::no_value));

    Rooted<Cell> spec;
    block_of(spec, {global_word("a"), global_word("b")});
    RootedNode ctx(context::make_from_spec(*spec, true, false, Kind::function));
    Rooted<Cell> a(word_in(ctx, "a"));
    EXPECT_EQ(error_of([&] { word::value_cell(*a); }), script(err::script::not_in_context));
    EXPECT_EQ(error_of([&] { word::set(*a, int_cell(1)); }), script(err::script::not_defined));
    EXPECT_EQ(error_of([&] { context::push_value_at(ctx, 1); }), script(err::script::not_defined));
}

TEST_F(ContextTest, FunctionWordsReachTheArgumentsOfTheRunningCall) {
    Rooted<Cell> spec;
    block_of(spec, {global_word("a"), global_word("b")});
    RootedNode ctx(context::make_from_spec(*spec, true, false, Kind::function));
    Rooted<Cell> a(word_in(ctx, "a"));
    Rooted<Cell> b(word_in(ctx, "b"));
    Cell name = global_word("f");

    stack::mark_func_ctx(name, ctx);
    stack::push(int_cell(10));
    stack::push(int_cell(20));
    stack::mark_func(name, ctx);
    EXPECT_EQ(word::value_cell(*a)->w2, 10u);
    word::set(*b, int_cell(21));
    EXPECT_EQ(context::push_value_at(ctx, 1)->w2, 21u);
    stack::unwind();
    stack::unwind_func();

    EXPECT_EQ(context::cell_of(ctx).w2, 0u);
    EXPECT_EQ(error_of([&] { word::value_cell(*a); }), script(err::script::not_in_context));
}

TEST_F(ContextTest, SettingAnObjectFieldMarksItAndNotifiesTheObject) {
    struct Seen {
        int calls = 0;
        uint32_t word = 0, old_value = 0, new_value = 0;
    };
    static Seen seen;
    seen = {};
    context::fire_on_change = [](const Cell& object, const Cell& w, const Cell& old_value,
                                 const Cell& new_value) {
        EXPECT_EQ(cell::type_of(object), uint32_t(TYPE_OBJECT));
        seen.calls++;
        seen.word = w.w2;
        seen.old_value = old_value.w2;
        seen.new_value = new_value.w2;
    };
    RootedNode ctx(context::new_(2, false, true, 0, Kind::object));
    context::put_value(ctx, global_word("x"), int_cell(1));
    Rooted<Cell> x(word_in(ctx, "x"));
    Cell* top = stack::state.top;

    struct Case {
        uint32_t handler;
        bool notify;
        int calls;
    } cases[] = {{0, true, 0}, {5, false, 0}, {5, true, 1}};
    uint32_t value = 1;
    for (const Case& c : cases) {
        context::self_of(ctx) = Cell{TYPE_OBJECT, ctx, 0, c.handler};
        seen = {};
        const Cell* slot = word::set_in(*x, int_cell(int32_t(value + 1)), ctx, c.notify);
        EXPECT_EQ(slot->w2, value + 1);
        EXPECT_EQ(seen.calls, c.calls);
        if (c.calls) {
            EXPECT_EQ(seen.word, sym("x"));
            EXPECT_EQ(seen.old_value, value);
            EXPECT_EQ(seen.new_value, value + 1);
        }
        EXPECT_EQ(stack::state.top, top);
        ++value;
    }
    EXPECT_TRUE(context::word_at(ctx, 0)->header & context::flag::set_mark);
}

TEST_F(ContextTest, SlotsSetFromTheStackMarkObjectFieldsOnly) {
    for (Kind kind : {Kind::object, Kind::function}) {
        RootedNode ctx(context::new_(1, false, false, 0, kind));
        context::add_word(ctx, global_word("v"));
        stack::push(int_cell(4));
        context::set_value_from_top(ctx, 0);
        stack::push(int_cell(9));
        context::swap_value_from_top(ctx, 0);
        EXPECT_EQ(stack::get_top()->w2, 4u) << "the old value is pushed";
        EXPECT_EQ(context::slot_at(ctx, 0)->w2, 9u);
        EXPECT_EQ(bool(context::word_at(ctx, 0)->header & context::flag::set_mark),
                  kind == Kind::object);
        stack::pop(3);
    }
}

TEST_F(ContextTest, ContextsGrowByWordsAndSetWords) {
    RootedNode ctx(context::new_(1, false, false, 0, Kind::object));
    Rooted<Cell> body;
    block_of(body,
             {word::load("a", TYPE_SET_WORD), global_word("b"), word::load("c", TYPE_SET_WORD)});
    body->w1 = 9;
    EXPECT_FALSE(context::collect_set_words(ctx, *body));
    EXPECT_EQ(body->w1, 3u) << "the head is clamped";
    body->w1 = 0;
    EXPECT_TRUE(context::collect_set_words(ctx, *body));
    EXPECT_FALSE(context::collect_set_words(ctx, *body));
    EXPECT_EQ(context::size_of(ctx), 2u);

    EXPECT_EQ(context::add_value_if_new(ctx, global_word("A"), int_cell(1)), nullptr);
    const Cell* added = context::add_value_if_new(ctx, global_word("d"), int_cell(8));
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->w2, 8u);
    EXPECT_EQ(context::slot_at(ctx, 2)->w2, 8u);
}

TEST_F(ContextTest, ObjectClonesGetTheirOwnBoundWordTable) {
    RootedNode ctx(context::new_(2, false, true, 0, Kind::object));
    context::put_value(ctx, global_word("p"), int_cell(1));
    context::put_value(ctx, global_word("q"), int_cell(2));
    Rooted<Cell> copy(Cell{TYPE_OBJECT, ctx, 0, 0});
    RootedNode fresh(context::clone_for_object(*copy, Kind::object));
    EXPECT_EQ(copy->w1, NodeId(fresh));
    EXPECT_EQ(context::size_of(fresh), 2u);
    EXPECT_EQ(context::word_at(fresh, 1)->w1, NodeId(fresh));
    EXPECT_EQ(context::word_at(ctx, 1)->w1, NodeId(ctx));
    EXPECT_TRUE(context::cell_of(fresh).header & context::flag::has_self);
    EXPECT_EQ(memory::buffer_of(context::cell_of(fresh).w2)->length(), 0u);
}

// A word table grown many times over by additions is copied into as few
// buckets as hold its words: every word is still found, case aside, and
// the copy takes new words.
TEST_F(ContextTest, ObjectClonesFileTheirWordsInFewBuckets) {
    RootedNode ctx(context::new_(1, false, true, 0, Kind::object));
    const char* names[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i"};
    for (const char* name : names) context::put_value(ctx, global_word(name), int_cell(1));
    uint32_t grown = hashtable::record_of(context::cell_of(ctx).w1).n_buckets;
    Rooted<Cell> copy(Cell{TYPE_OBJECT, ctx, 0, 0});
    RootedNode fresh(context::clone_for_object(*copy, Kind::object));
    uint32_t buckets = hashtable::record_of(context::cell_of(fresh).w1).n_buckets;
    EXPECT_LT(buckets, grown);
    EXPECT_LE(buckets, hashtable::buckets_for(std::size(names) + 1));
    for (uint32_t i = 0; i < std::size(names); ++i) {
        EXPECT_EQ(context::find_word(fresh, sym(names[i]), false), int32_t(i)) << names[i];
        std::string upper(1, char(std::toupper(names[i][0])));
        EXPECT_EQ(context::find_word(fresh, sym(upper.c_str()), true), int32_t(i)) << upper;
    }
    EXPECT_EQ(context::add_word(fresh, global_word("j")), int32_t(std::size(names)));
    EXPECT_EQ(context::find_word(fresh, sym("j"), false), int32_t(std::size(names)));
    EXPECT_EQ(context::find_word(ctx, sym("j"), false), -1) << "the source keeps its words";
}

// An object made by share_object reads the source's words and a copy of
// its values; whichever of the two changes its words (a new entry, a set
// mark) takes a copy of its own first, so the other sees no change.
TEST_F(ContextTest, SharedWordTablesAreCopiedBeforeEitherChangesThem) {
    enum class Change { add, mark };
    struct Case {
        bool sharer_changes;
        Change change;
    } cases[] = {
        {true, Change::add}, {false, Change::add}, {true, Change::mark}, {false, Change::mark}};
    for (const Case& c : cases) {
        RootedNode source(context::new_(2, false, true, 0, Kind::object));
        context::put_value(source, global_word("p"), int_cell(1));
        context::put_value(source, global_word("q"), int_cell(2));
        RootedNode sharer(context::share_object(source));
        EXPECT_EQ(context::size_of(sharer), 2u);
        EXPECT_EQ(context::slot_at(sharer, 1)->w2, 2u) << "the values are copied";
        EXPECT_EQ(context::word_of(sharer, sym("q")).w1, NodeId(sharer));
        EXPECT_EQ(context::push_word_at(sharer, 0)->w1, NodeId(sharer));
        stack::pop(1);

        NodeId changed = c.sharer_changes ? NodeId(sharer) : NodeId(source);
        NodeId other = c.sharer_changes ? NodeId(source) : NodeId(sharer);
        if (c.change == Change::add) {
            EXPECT_EQ(context::add_word(changed, global_word("r")), 2);
            EXPECT_EQ(context::size_of(changed), 3u);
            EXPECT_EQ(context::size_of(other), 2u);
            EXPECT_EQ(context::find_word(other, sym("r"), false), -1);
        } else {
            Rooted<Cell> word(global_word("p"));
            word->w1 = changed;
            word->w3 = 0;
            word::set_in(*word, int_cell(7), changed, false);
            EXPECT_TRUE(context::word_at(changed, 0)->header & context::flag::set_mark);
            EXPECT_FALSE(context::word_at(other, 0)->header & context::flag::set_mark);
            EXPECT_EQ(context::slot_at(other, 0)->w2, 1u);
        }
        EXPECT_EQ(context::word_at(changed, 1)->w1, changed) << "its own words are bound to it";
        EXPECT_EQ(context::find_word(changed, sym("q"), false), 1);
        EXPECT_EQ(context::find_word(other, sym("q"), false), 1);
    }
}

TEST_F(ContextTest, WordOfFallsBackToTheGlobalWord) {
    RootedNode ctx(context::new_(1, false, false, 0, Kind::object));
    context::add_word(ctx, global_word("k"));
    EXPECT_EQ(context::word_of(ctx, sym("k")).w1, NodeId(ctx));
    Cell other = context::word_of(ctx, sym("elsewhere"));
    EXPECT_EQ(other.w1, context::global);
    EXPECT_GE(int32_t(other.w3), 0);
}

TEST_F(ContextTest, SettingAnUnresolvedWordResolvesOrAddsIt) {
    RootedNode ctx(context::new_(1, false, false, 0, Kind::object));
    context::put_value(ctx, global_word("known"), int_cell(1));
    struct Case {
        const char* name;
        uint32_t index;
    } cases[] = {{"known", 0}, {"KNOWN", 0}, {"added", 1}};
    for (const Case& c : cases) {
        Cell w = word::unresolved(c.name, TYPE_SET_WORD, context::global);
        word::set_in(w, int_cell(9), ctx, false);
        EXPECT_EQ(w.w3, c.index) << c.name;
        EXPECT_EQ(context::slot_at(ctx, c.index)->w2, 9u) << c.name;
    }
    EXPECT_EQ(context::size_of(ctx), 2u);
    EXPECT_EQ(memory::buffer_of(context::cell_of(ctx).w2)->length(), 2u);
}

// The word family.

struct Variant {
    uint32_t type;
    const char* molded;
};
constexpr Variant variants[] = {{TYPE_WORD, "abc"},
                                {TYPE_SET_WORD, "abc:"},
                                {TYPE_LIT_WORD, "'abc"},
                                {TYPE_GET_WORD, ":abc"},
                                {TYPE_REFINEMENT, "/abc"}};

TEST_F(ContextTest, WordsFormToTheirNameAndMoldWithTheirMark) {
    for (const Variant& v : variants) {
        Rooted<Cell> w(word::load("abc", v.type));
        Cell before = *w;
        EXPECT_EQ(formed(*w), "abc") << v.molded;
        EXPECT_EQ(molded(*w), v.molded);
        EXPECT_EQ(std::memcmp(&before, &w.get(), sizeof(Cell)), 0) << v.molded;
    }
}

TEST_F(ContextTest, MoldCountsItsMarkAgainstThePart) {
    for (const Variant& v : variants) {
        Rooted<Cell> w(word::load("abc", v.type));
        Rooted<Cell> out;
        int32_t left = mold_into(*w, out, 10);
        EXPECT_EQ(left, 10 - int32_t(std::strlen(v.molded))) << v.molded;
    }
}

TEST_F(ContextTest, WordsCompareByOperator) {
    Cell lit_a = word::load("a", TYPE_LIT_WORD);
    Cell lit_A = word::load("A", TYPE_LIT_WORD);
    Cell set_a = word::load("a", TYPE_SET_WORD);
    Cell word_a = word::load("a");
    Cell word_A = word::load("A");
    Cell word_b = word::load("b");
    Cell issue_a = word::unresolved("a", TYPE_ISSUE, context::global);
    Cell bound_a = word_a;
    bound_a.w1 = context::new_(1, false, false, 0, Kind::object);
    struct Case {
        Cell a, b;
        int32_t op, result;
    } cases[] = {
        {lit_a, lit_A, 0, 0},    {lit_a, lit_A, 2, 1},     {lit_a, set_a, 0, 0},
        {lit_a, set_a, 2, 1},    {lit_a, lit_a, 2, 0},     {word_a, word_b, 1, 1},
        {word_a, word_A, 12, 0}, {word_a, issue_a, 0, -2}, {word_a, int_cell(1), 0, -2},
        {word_a, word_a, 9, 0},  {word_a, bound_a, 9, 1},  {word_a, lit_a, 9, 1},
        {word_a, lit_a, 10, 0},  {lit_a, word_A, 10, 1},   {lit_a, word_A, 11, 0},
        {word_a, set_a, 10, 1},  {word_a, set_a, 11, 1},   {set_a, set_a, 10, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(compare(c.a, c.b, c.op), c.result)
            << spelling(c.a) << " " << spelling(c.b) << " op " << c.op;
}

TEST_F(ContextTest, WordsOrderByTheirNames) {
    hashing::compare_hook = [](const Cell* a, const Cell* b, int32_t) {
        Buffer* x = memory::buffer_of(a->w2);
        Buffer* y = memory::buffer_of(b->w2);
        std::string s(reinterpret_cast<char*>(x->head), x->tail - x->head);
        std::string t(reinterpret_cast<char*>(y->head), y->tail - y->head);
        return s.compare(t) < 0 ? -1 : s == t ? 0 : 1;
    };
    EXPECT_LT(compare(word::load("apple"), word::load("pear", TYPE_SET_WORD), 3), 0);
    EXPECT_GT(compare(word::load("pear"), word::load("apple"), 7), 0);
    hashing::compare_hook = nullptr;
}

TEST_F(ContextTest, IndexOfAWordIsItsEntryPlusOne) {
    RootedNode ctx(context::new_(1, false, false, 0, Kind::object));
    context::add_word(ctx, global_word("first"));
    Cell args[] = {word_in(ctx, "first")};
    call(word::index_q, args);
    EXPECT_EQ(cell::type_of(args[0]), uint32_t(TYPE_INTEGER));
    EXPECT_EQ(args[0].w2, 1u);
    Cell none_args[] = {word::unresolved("loose", TYPE_WORD, context::global)};
    call(word::index_q, none_args);
    EXPECT_EQ(cell::type_of(none_args[0]), uint32_t(TYPE_NONE));
    EXPECT_EQ(datatype::get<Slot::index_q>(TYPE_REFINEMENT), nullptr);
}

TEST_F(ContextTest, MakeWordsFromOtherValues) {
    struct Case {
        Cell spec;
        uint32_t type;
        const char* name;
    };
    Rooted<Cell> text;
    string::make_at(*text, 4);
    string::append_c_string(*text, "a:");
    Case cases[] = {
        {*text, TYPE_WORD, "a"},
        {*text, TYPE_SET_WORD, "a"},
        {char_cell('x'), TYPE_WORD, "x"},
        {Cell{TYPE_DATATYPE, TYPE_INTEGER, 0, 0}, TYPE_WORD, "integer!"},
        {logic::true_value, TYPE_WORD, "true"},
        {word::load("r", TYPE_REFINEMENT), TYPE_WORD, "r"},
        {word::load("q", TYPE_LIT_WORD), TYPE_GET_WORD, "q"},
    };
    for (const Case& c : cases) {
        Rooted<Cell> spec(c.spec);
        Rooted<Cell> out;
        word::make(&out.get(), &spec.get(), c.type);
        EXPECT_EQ(cell::type_of(*out), c.type) << c.name;
        EXPECT_EQ(spelling(*out), c.name);
        EXPECT_EQ(out->w1, context::global) << c.name;
    }
}

TEST_F(ContextTest, MakeRefusesValuesThatAreNoWords) {
    Rooted<Cell> digits;
    string::make_at(*digits, 4);
    string::append_c_string(*digits, "1");
    Rooted<Cell> out;
    EXPECT_EQ(error_of([&] { word::make(&out.get(), &digits.get(), TYPE_WORD); }),
              script(err::script::invalid_chars));
    Cell number = int_cell(3);
    EXPECT_EQ(error_of([&] { word::make(&out.get(), &number, TYPE_WORD); }),
              script(err::script::bad_to_arg));
}

TEST_F(ContextTest, WordValuesAreReadAndSetThroughTheStack) {
    Rooted<Cell> w(global_word("counter"));
    EXPECT_EQ(error_of([&] { word::get_value(*w); }), script(err::script::no_value));
    Cell unset_args[] = {*w, Cell{cell::unset_header, 0, 0, 0}};
    EXPECT_EQ(error_of([&] { call([] { word::set_from_arg(true); }, unset_args); }),
              script(err::script::need_value));
    Cell args[] = {*w, int_cell(12)};
    call([] { word::set_from_arg(true); }, args);
    EXPECT_EQ(args[0].w2, 12u);
    EXPECT_EQ(word::get_value(*w)->w2, 12u);
    stack::pop(1);
    Cell get_args[] = {*w};
    call([] { word::get_from_arg(false); }, get_args);
    EXPECT_EQ(get_args[0].w2, 12u);
}

TEST_F(ContextTest, ConstructorsMakeGlobalWordsOfEachType) {
    Rooted<Cell> blk;
    block::make_at(*blk, 1);
    Cell in = *word::load_in("inside", *blk, TYPE_GET_WORD);
    EXPECT_EQ(cell::type_of(in), uint32_t(TYPE_GET_WORD));
    Cell made = *word::make_in(sym("made"), *blk);
    Cell pushed = *word::push_new(sym("pushed"));
    Cell retyped = *word::push_from(made, TYPE_LIT_WORD);
    Cell at = *word::push_at(context::global, made.w3, TYPE_SET_WORD);
    for (const Cell& w : {in, made, pushed, retyped, at}) {
        EXPECT_EQ(w.w1, context::global) << spelling(w);
        EXPECT_EQ(std::string(symbol::c_name(context::word_at(context::global, w.w3)->w2)),
                  spelling(w));
    }
    EXPECT_EQ(cell::type_of(retyped), uint32_t(TYPE_LIT_WORD));
    EXPECT_EQ(at.w2, made.w2);
    EXPECT_EQ(cell::type_of(at), uint32_t(TYPE_SET_WORD));
    Cell* name = word::push_name(made);
    EXPECT_EQ(text_of(*name), "made");
    stack::pop(4);
}

// The runtime word tables.

TEST_F(ContextTest, RuntimeWordsAreTheInternedSymbolsAndGlobalWords) {
    EXPECT_EQ(words::sym<"exit">(), sym("exit"));
    EXPECT_EQ(words::sym<"self">(), sym("self"));
    const Cell& body = words::word<"<body>">();
    EXPECT_EQ(spelling(body), "<body>");
    EXPECT_EQ(body.w1, context::global);
    Cell w = global_word("try");
    word::set(w, int_cell(42));
    EXPECT_EQ(word::value_cell(words::word<"try">())->w2, 42u);
    EXPECT_EQ(words::symbol_word<"end">().w2, sym("end"));
    EXPECT_EQ(words::symbol_word<"collect">().w3, words::symbol_words[22].w3);

    const Cell& part = words::refinement<"part">();
    EXPECT_EQ(cell::type_of(part), uint32_t(TYPE_REFINEMENT));
    EXPECT_EQ(part.w1, 0u);
    EXPECT_EQ(molded(part), "/part");
    EXPECT_EQ(cell::type_of(words::issue), uint32_t(TYPE_ISSUE));
    EXPECT_EQ(spelling(words::issue), "ooo");
}

TEST_F(ContextTest, StartUpWordsAreKeptInTheRootBlock) {
    int32_t before = block::rs_length(context::root);
    word::collecting = true;
    Cell w = word::load("gathered", TYPE_SET_WORD);
    word::collecting = false;
    ASSERT_EQ(block::rs_length(context::root), before + 1);
    Cell kept = *block::rs_abs_at(context::root, before);
    EXPECT_EQ(std::memcmp(&kept, &w, sizeof(Cell)), 0);
}

} // namespace
} // namespace kiv::testing
