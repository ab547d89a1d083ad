#include "series_fixture.h"

#include <algorithm>

#include "words_init.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

// The kinds of series every shared action is run over: cells, and text of
// each unit width. Unit i of a series holds base + i.
enum class Kind { block, paren, hash, text1, text2, text4 };
constexpr Kind all_kinds[] = {Kind::block, Kind::paren, Kind::hash,
                              Kind::text1, Kind::text2, Kind::text4};

uint32_t base_of(Kind k) {
    switch (k) {
    case Kind::text1: return 'a';
    case Kind::text2: return 0x100;
    case Kind::text4: return 0x1F600;
    default: return 10;
    }
}

bool is_text(Kind k) {
    return k == Kind::text1 || k == Kind::text2 || k == Kind::text4;
}

class SeriesActions : public SeriesTest {
  protected:
    static Cell make(Kind k, uint32_t n, uint32_t head = 0) {
        uint32_t base = base_of(k);
        if (is_text(k)) {
            std::u32string t;
            for (uint32_t i = 0; i < n; ++i) t += char32_t(base + i);
            return str(t, k == Kind::text1 ? 1 : k == Kind::text2 ? 2 : 4, head);
        }
        V v;
        for (uint32_t i = 0; i < n; ++i) v.push_back(int32_t(base + i));
        uint32_t type = k == Kind::paren ? TYPE_PAREN : k == Kind::hash ? TYPE_HASH : TYPE_BLOCK;
        return ints(v, type, head);
    }
    // The units from the head as offsets from the kind's base.
    static V offsets(Kind k, const Cell& s) {
        V out;
        if (is_text(k)) {
            for (char32_t c : text(s)) out.push_back(int32_t(c - base_of(k)));
        } else {
            for (int32_t v : values(s)) out.push_back(v - int32_t(base_of(k)));
        }
        return out;
    }
    static Cell unit_cell(Kind k, uint32_t offset) {
        uint32_t v = base_of(k) + offset;
        return is_text(k) ? char_cell(v) : int_cell(int32_t(v));
    }
    static Cell found(Cell s, const Cell& value) {
        act<Slot::find>(s)(&s, &value, nullptr, false, false, false, false, nullptr, nullptr, false,
                           false, false, false);
        return s;
    }
    static std::string name(Kind k) { return "kind " + std::to_string(int(k)); }
};

TEST_F(SeriesActions, Navigation) {
    struct Case {
        action::FrameFn fn;
        int32_t arg; // INT32_MIN: none
        uint32_t head;
        uint32_t want;
    };
    constexpr int32_t no_arg = INT32_MIN;
    const Case cases[] = {
        {series::head, no_arg, 3, 0}, {series::tail, no_arg, 1, 5}, {series::next, no_arg, 5, 5},
        {series::next, no_arg, 2, 3}, {series::back, no_arg, 0, 0}, {series::back, no_arg, 3, 2},
        {series::at, 1, 2, 2},        {series::at, 0, 2, 2},        {series::at, -1, 2, 1},
        {series::at, 2, 2, 3},        {series::at, 10, 2, 5},       {series::at, -10, 2, 0},
        {series::skip, 0, 2, 2},      {series::skip, 2, 2, 4},      {series::skip, -1, 2, 1},
        {series::skip, 10, 2, 5},     {series::skip, -10, 2, 0},
    };
    for (Kind k : all_kinds)
        for (const Case& c : cases) {
            SCOPED_TRACE(name(k) + " head " + std::to_string(c.head) + " arg " +
                         std::to_string(c.arg));
            Cell arg = int_cell(c.arg);
            Cell out = frame(c.fn, make(k, 5, c.head), c.arg == no_arg ? nullptr : &arg);
            EXPECT_EQ(out.w1, c.want);
        }
}

TEST_F(SeriesActions, PredicatesAndLength) {
    for (Kind k : all_kinds) {
        SCOPED_TRACE(name(k));
        EXPECT_TRUE(logic::get(frame(series::head_q, make(k, 3, 0))));
        EXPECT_FALSE(logic::get(frame(series::head_q, make(k, 3, 1))));
        EXPECT_TRUE(logic::get(frame(series::tail_q, make(k, 3, 3))));
        EXPECT_FALSE(logic::get(frame(series::tail_q, make(k, 3, 2))));
        EXPECT_EQ(integer::get(frame(series::index_q, make(k, 3, 0))), 1);
        Cell s = make(k, 5, 1);
        EXPECT_EQ(series::length_q(&s), 4);
        // Another value shortens the buffer below this one's head.
        Cell shorter = make(k, 5, 4);
        Cell other = shorter;
        other.w1 = 2;
        act<Slot::clear>(other)(&other);
        EXPECT_EQ(series::length_q(&shorter), 0);
        EXPECT_EQ(shorter.w1, 2u);
        EXPECT_EQ(integer::get(frame(series::index_q, shorter)), 3);
    }
}

// Another value shortened the buffer: every action clamps the head first.
TEST_F(SeriesActions, HeadPastTheTail) {
    for (Kind k : all_kinds) {
        SCOPED_TRACE(name(k));
        auto past = [&] {
            Cell s = make(k, 5, 0);
            Cell cut = s;
            cut.w1 = 2;
            act<Slot::clear>(cut)(&cut);
            s.w1 = 4;
            return s;
        };
        Cell s = past();
        act<Slot::pick>(s)(&s, 1, nullptr);
        EXPECT_TRUE(is_none(s));
        s = past();
        act<Slot::take>(s)(&s, nullptr, false, false);
        EXPECT_TRUE(is_none(s));
        s = past();
        Cell out{};
        act<Slot::copy>(s)(&s, &out, nullptr, false, nullptr);
        EXPECT_EQ(offsets(k, out), V{});
        for (auto change : {+[](Cell* c) { act<Slot::remove> (*c)(c, nullptr, nullptr); },
                            +[](Cell* c) { act<Slot::reverse> (*c)(c, nullptr, nullptr); },
                            +[](Cell* c) { act<Slot::clear> (*c)(c); },
                            +[](Cell* c) { act<Slot::random> (*c)(c, false, false, false); }}) {
            s = past();
            change(&s);
            s.w1 = 0;
            EXPECT_EQ(offsets(k, s), (V{0, 1}));
        }
        s = past();
        Cell value = unit_cell(k, 9);
        act<Slot::insert>(s)(&s, &value, -1, false, 1, false);
        EXPECT_EQ(s.w1, 3u);
        s.w1 = 0;
        EXPECT_EQ(offsets(k, s), (V{0, 1, 9}));
        s = past();
        EXPECT_TRUE(is_none(found(s, value)));
    }
}

TEST_F(SeriesActions, AtRefusesANonInteger) {
    Cell arg = str(U"x");
    EXPECT_EQ(error_of([&] { frame(series::at, make(Kind::block, 3), &arg); }),
              script(err::script::invalid_arg));
}

TEST_F(SeriesActions, PickAndPoke) {
    struct Case {
        uint32_t head;
        int32_t index;
        int32_t want; // offset of the unit, -1 for none
    };
    const Case cases[] = {{1, 1, 1},   {1, 3, 3}, {1, 0, -1}, {1, -1, 0},
                          {1, -2, -1}, {1, 4, 4}, {1, 5, -1}};
    for (Kind k : all_kinds)
        for (const Case& c : cases) {
            SCOPED_TRACE(name(k) + " index " + std::to_string(c.index));
            Cell s = make(k, 5, c.head);
            act<Slot::pick>(s)(&s, c.index, nullptr);
            if (c.want < 0) {
                EXPECT_TRUE(is_none(s));
                continue;
            }
            EXPECT_EQ(s.w2, base_of(k) + uint32_t(c.want));
            Cell target = make(k, 5, c.head);
            Cell value = unit_cell(k, 40);
            act<Slot::poke>(target)(&target, c.index, &value, nullptr);
            V want = {0, 1, 2, 3, 4};
            want[size_t(c.want)] = 40;
            target.w1 = 0;
            EXPECT_EQ(offsets(k, target), want);
        }
}

TEST_F(SeriesActions, PokeFaults) {
    for (Kind k : all_kinds) {
        SCOPED_TRACE(name(k));
        Cell s = make(k, 3, 1);
        Cell value = unit_cell(k, 0);
        for (int32_t index : {0, 3, -2})
            EXPECT_EQ(error_of([&] { act<Slot::poke>(s)(&s, index, &value, nullptr); }),
                      script(err::script::out_of_range));
    }
    Cell s = make(Kind::text1, 3);
    Cell wrong = int_cell(65);
    EXPECT_EQ(error_of([&] { act<Slot::poke>(s)(&s, 1, &wrong, nullptr); }),
              script(err::script::invalid_arg));
}

TEST_F(SeriesActions, PokeWidensText) {
    struct Case {
        uint32_t unit;
        uint32_t cp;
        uint32_t want_unit;
    };
    const Case cases[] = {
        {1, 0xE9, 1}, {1, 0x100, 2}, {1, 0x1F600, 4}, {2, 0x1F600, 4}, {4, 'x', 4}};
    for (const Case& c : cases) {
        Cell s = str(U"abc", c.unit);
        Cell value = char_cell(c.cp);
        act<Slot::poke>(s)(&s, 2, &value, nullptr);
        EXPECT_EQ(unit_of(s), c.want_unit);
        EXPECT_EQ(text(s), std::u32string(U"a") + char32_t(c.cp) + U"c");
    }
}

// The index of the first cell equal to the value, through the hash!
// table, or -1.
int32_t found_at(Cell s, int32_t v) {
    Cell value{TYPE_INTEGER, 0, uint32_t(v), 0};
    s.w1 = 0;
    datatype::get<Slot::find>(cell::type_of(s))(&s, &value, nullptr, false, false, false, false,
                                                nullptr, nullptr, false, false, false, false);
    return cell::type_of(s) == TYPE_NONE ? -1 : int32_t(s.w1);
}

TEST_F(SeriesActions, HashTablesFollowEveryChange) {
    Cell h = ints({1, 2, 3, 4}, TYPE_HASH);
    Cell nine = int_cell(9);
    act<Slot::poke>(h)(&h, 2, &nine, nullptr);
    EXPECT_EQ(found_at(h, 9), 1);
    EXPECT_EQ(found_at(h, 2), -1);

    Cell at = h;
    Cell two = int_cell(2);
    act<Slot::remove>(at)(&at, &two, nullptr);
    EXPECT_EQ(found_at(h, 1), -1);
    EXPECT_EQ(found_at(h, 3), 0);
    EXPECT_EQ(found_at(h, 4), 1);

    Cell r = ints({1, 2, 3, 4}, TYPE_HASH);
    act<Slot::reverse>(r)(&r, nullptr, nullptr);
    EXPECT_EQ(found_at(r, 4), 0);
    EXPECT_EQ(found_at(r, 1), 3);

    Cell c = ints({1, 2, 3}, TYPE_HASH, 1);
    act<Slot::clear>(c)(&c);
    EXPECT_EQ(found_at(c, 2), -1);
    EXPECT_EQ(found_at(c, 1), 0);
}

// Insertions, removals and takes at varied places keep the table in step
// with a plain search of the cells.
TEST_F(SeriesActions, HashTableAgreesWithTheCellsAfterManyChanges) {
    Rooted<Cell> h(ints({}, TYPE_HASH));
    uint32_t seed = 7;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 8) % 1000; };
    for (int step = 0; step < 300; ++step) {
        uint32_t length = series::buffer_length(*h);
        Cell at = *h;
        at.w1 = length ? next() % (length + 1) : 0;
        Cell part = int_cell(int32_t(next() % 3) + 1);
        switch (next() % 5) {
        case 0:
        case 1:
        case 2: {
            Cell value = int_cell(int32_t(next() % 20));
            act<Slot::insert>(at)(&at, &value, -1, false, int32_t(next() % 2) + 1, false);
            break;
        }
        case 3: act<Slot::remove>(at)(&at, &part, nullptr); break;
        default: act<Slot::take>(at)(&at, &part, false, next() % 2); break;
        }
    }
    V cells = values(*h);
    ASSERT_GT(cells.size(), 20u);
    for (int32_t v = 0; v < 20; ++v) {
        auto first = std::find(cells.begin(), cells.end(), v);
        EXPECT_EQ(found_at(*h, v), first == cells.end() ? -1 : int32_t(first - cells.begin()))
            << "value " << v;
    }
}

TEST_F(SeriesActions, Clear) {
    for (Kind k : all_kinds) {
        Cell s = make(k, 4, 1);
        act<Slot::clear>(s)(&s);
        s.w1 = 0;
        EXPECT_EQ(offsets(k, s), V{0}) << name(k);
    }
}

TEST_F(SeriesActions, Remove) {
    struct Case {
        uint32_t head;
        int32_t part; // 0: no /part
        V want;
    };
    const Case cases[] = {{0, 0, {1, 2, 3, 4}}, {1, 0, {0, 2, 3, 4}},     {1, 2, {0, 3, 4}},
                          {1, 9, {0}},          {1, -1, {0, 1, 2, 3, 4}}, {5, 0, {0, 1, 2, 3, 4}}};
    for (Kind k : all_kinds)
        for (const Case& c : cases) {
            SCOPED_TRACE(name(k) + " part " + std::to_string(c.part));
            Cell s = make(k, 5, c.head);
            Cell part = int_cell(c.part);
            act<Slot::remove>(s)(&s, c.part ? &part : nullptr, nullptr);
            s.w1 = 0;
            EXPECT_EQ(offsets(k, s), c.want);
        }
    Cell s = make(Kind::block, 5, 1);
    Cell bad = str(U"x");
    EXPECT_EQ(error_of([&] { act<Slot::remove>(s)(&s, &bad, nullptr); }),
              script(err::script::invalid_refine_arg));
}

TEST_F(SeriesActions, RemoveKeyTakesTheKeyAndItsValue) {
    Cell s = ints({1, 2, 3, 4});
    Cell key = int_cell(2);
    act<Slot::remove>(s)(&s, nullptr, &key);
    EXPECT_EQ(s.w1, 1u);
    s.w1 = 0;
    EXPECT_EQ(values(s), (V{1, 4}));
    Cell absent = int_cell(7);
    act<Slot::remove>(s)(&s, nullptr, &absent);
    EXPECT_TRUE(is_none(s));
}

TEST_F(SeriesActions, TakeRanges) {
    struct Case {
        uint32_t head;
        int32_t part; // INT32_MIN: no /part
        bool last;
        V taken; // offsets; for no /part a single unit
        V left;
    };
    constexpr int32_t none_ = INT32_MIN;
    const Case cases[] = {
        {0, none_, false, {0}, {1, 2, 3, 4}},
        {0, none_, true, {4}, {0, 1, 2, 3}},
        {0, 2, false, {0, 1}, {2, 3, 4}},
        {1, 2, true, {3, 4}, {0, 1, 2}},
        {0, 9, false, {0, 1, 2, 3, 4}, {}},
        {3, -2, false, {1, 2}, {0, 3, 4}},
        {3, -9, false, {0, 1, 2}, {3, 4}},
        {3, -2, true, {}, {0, 1, 2, 3, 4}},
        // A count of 0 takes nothing and gives an empty series.
        {0, 0, false, {}, {0, 1, 2, 3, 4}},
        {2, 0, true, {}, {0, 1, 2, 3, 4}},
    };
    for (Kind k : all_kinds)
        for (const Case& c : cases) {
            SCOPED_TRACE(name(k) + " head " + std::to_string(c.head) + " part " +
                         std::to_string(c.part) + (c.last ? " last" : ""));
            Cell s = make(k, 5, c.head);
            Cell kept = s;
            Cell part = int_cell(c.part);
            act<Slot::take>(s)(&s, c.part == none_ ? nullptr : &part, false, c.last);
            kept.w1 = 0;
            EXPECT_EQ(offsets(k, kept), c.left);
            if (c.part == none_) {
                EXPECT_EQ(cell::type_of(s), is_text(k) ? TYPE_CHAR : TYPE_INTEGER);
                EXPECT_EQ(s.w2, base_of(k) + uint32_t(c.taken[0]));
                continue;
            }
            EXPECT_EQ(cell::type_of(s), cell::type_of(kept));
            EXPECT_EQ(s.w1, 0u);
            EXPECT_EQ(offsets(k, s), c.taken);
        }
}

TEST_F(SeriesActions, TakeOfEmptySeriesIsNone) {
    for (Kind k : all_kinds) {
        Cell s = make(k, 2, 2);
        act<Slot::take>(s)(&s, nullptr, false, false);
        EXPECT_TRUE(is_none(s)) << name(k);
    }
}

TEST_F(SeriesActions, TakeUpToAPosition) {
    Cell s = ints({1, 2, 3, 4});
    Cell to = s;
    to.w1 = 2;
    act<Slot::take>(s)(&s, &to, false, false);
    EXPECT_EQ(values(s), (V{1, 2}));
    Cell other = ints({1});
    EXPECT_EQ(error_of([&] {
                  Cell t = ints({1, 2});
                  act<Slot::take>(t)(&t, &other, false, false);
              }),
              script(err::script::invalid_refine_arg));
}

TEST_F(SeriesActions, TakenHashHasItsOwnTable) {
    Cell h = ints({1, 2, 3, 4}, TYPE_HASH);
    Cell part = int_cell(2);
    Cell taken = h;
    act<Slot::take>(taken)(&taken, &part, false, false);
    ASSERT_EQ(cell::type_of(taken), TYPE_HASH);
    EXPECT_NE(taken.w3, h.w3);
    EXPECT_EQ(found_at(taken, 2), 1);
    EXPECT_EQ(found_at(h, 3), 0);
    EXPECT_EQ(found_at(h, 1), -1);
}

TEST_F(SeriesActions, Copy) {
    struct Case {
        uint32_t head;
        int32_t part; // INT32_MIN: none
        V want;
    };
    constexpr int32_t none_ = INT32_MIN;
    const Case cases[] = {{1, none_, {1, 2, 3, 4}},
                          {1, 2, {1, 2}},
                          {1, 9, {1, 2, 3, 4}},
                          {3, -2, {1, 2}},
                          {2, -9, {0, 1}},
                          {5, none_, {}},
                          {1, 0, {}}};
    for (Kind k : all_kinds)
        for (const Case& c : cases) {
            SCOPED_TRACE(name(k) + " head " + std::to_string(c.head) + " part " +
                         std::to_string(c.part));
            Cell s = make(k, 5, c.head);
            Cell part = int_cell(c.part);
            Cell out{};
            act<Slot::copy>(s)(&s, &out, c.part == none_ ? nullptr : &part, false, nullptr);
            EXPECT_EQ(cell::type_of(out), cell::type_of(s));
            EXPECT_NE(out.w2, s.w2);
            EXPECT_EQ(out.w1, 0u);
            EXPECT_EQ(unit_of(out), unit_of(s));
            EXPECT_EQ(offsets(k, out), c.want);
        }
}

TEST_F(SeriesActions, CopiedHashIsIndependent) {
    Cell h = ints({1, 2, 3}, TYPE_HASH);
    Cell out{};
    act<Slot::copy>(h)(&h, &out, nullptr, false, nullptr);
    Cell nine = int_cell(9);
    act<Slot::poke>(out)(&out, 1, &nine, nullptr);
    EXPECT_EQ(found_at(out, 9), 0);
    EXPECT_EQ(found_at(h, 1), 0);
    EXPECT_EQ(found_at(h, 9), -1);
}

TEST_F(SeriesActions, Reverse) {
    struct Case {
        uint32_t head;
        int32_t part, skip; // 0: absent
        V want;
    };
    const Case cases[] = {{0, 0, 0, {5, 4, 3, 2, 1, 0}}, {1, 0, 0, {0, 5, 4, 3, 2, 1}},
                          {0, 3, 0, {2, 1, 0, 3, 4, 5}}, {0, 0, 2, {4, 5, 2, 3, 0, 1}},
                          {0, 0, 3, {3, 4, 5, 0, 1, 2}}, {0, 0, 6, {0, 1, 2, 3, 4, 5}},
                          {0, -1, 0, {0, 1, 2, 3, 4, 5}}};
    for (Kind k : all_kinds)
        for (const Case& c : cases) {
            SCOPED_TRACE(name(k) + " skip " + std::to_string(c.skip));
            Cell s = make(k, 6, c.head);
            Cell part = int_cell(c.part), skip = int_cell(c.skip);
            act<Slot::reverse>(s)(&s, c.part ? &part : nullptr, c.skip ? &skip : nullptr);
            s.w1 = 0;
            EXPECT_EQ(offsets(k, s), c.want);
        }
    Cell s = make(Kind::block, 6);
    struct Fault {
        int32_t skip;
        runtime::ErrorSite want;
    };
    for (Fault f : {Fault{0, script(err::script::out_of_range)},
                    Fault{4, script(err::script::invalid_refine_arg)},
                    Fault{7, script(err::script::invalid_refine_arg)}}) {
        Cell skip = int_cell(f.skip);
        EXPECT_EQ(error_of([&] { act<Slot::reverse>(s)(&s, nullptr, &skip); }), f.want);
    }
    s.w1 = 0;
    EXPECT_EQ(offsets(Kind::block, s), (V{0, 1, 2, 3, 4, 5}));
}

TEST_F(SeriesActions, RandomShufflesAndPicks) {
    for (Kind k : all_kinds) {
        SCOPED_TRACE(name(k));
        Cell s = make(k, 40, 1);
        act<Slot::random>(s)(&s, false, false, false);
        s.w1 = 0;
        V got = offsets(k, s);
        EXPECT_EQ(got[0], 0); // before the head: untouched
        V sorted = got;
        std::sort(sorted.begin(), sorted.end());
        V want(40);
        for (int i = 0; i < 40; ++i) want[size_t(i)] = i;
        EXPECT_EQ(sorted, want);
        EXPECT_NE(got, want);

        Cell one = make(k, 3, 1);
        act<Slot::random>(one)(&one, false, false, true);
        EXPECT_TRUE(one.w2 == base_of(k) + 1 || one.w2 == base_of(k) + 2);
        Cell empty = make(k, 3, 3);
        act<Slot::random>(empty)(&empty, false, false, true);
        EXPECT_TRUE(is_none(empty));
    }
}

TEST_F(SeriesActions, MoveWithinOneSeries) {
    struct Case {
        uint32_t from, to;
        int32_t part;
        V want;
    };
    const Case cases[] = {{0, 3, 0, {1, 2, 0, 3, 4}},
                          {3, 0, 0, {3, 0, 1, 2, 4}},
                          {0, 5, 2, {2, 3, 4, 0, 1}},
                          {1, 1, 0, {0, 1, 2, 3, 4}},
                          {3, 1, 2, {0, 3, 4, 1, 2}}};
    for (Kind k : all_kinds)
        for (const Case& c : cases) {
            SCOPED_TRACE(name(k) + " from " + std::to_string(c.from) + " to " +
                         std::to_string(c.to));
            Cell origin = make(k, 5, c.from);
            Cell target = origin;
            target.w1 = c.to;
            Cell part = int_cell(c.part);
            act<Slot::move>(origin)(&origin, &target, c.part ? &part : nullptr);
            origin.w1 = 0;
            EXPECT_EQ(offsets(k, origin), c.want);
        }
}

TEST_F(SeriesActions, MoveAcrossSeries) {
    Cell a = ints({1, 2, 3}, TYPE_HASH), b = ints({9}, TYPE_HASH);
    Cell part = int_cell(2);
    Cell result = a;
    act<Slot::move>(result)(&result, &b, &part);
    EXPECT_EQ(result.w2, b.w2); // the result is the target
    EXPECT_EQ(values(a), (V{3}));
    EXPECT_EQ(values(b), (V{1, 2, 9}));
    EXPECT_EQ(found_at(b, 9), 2);
    EXPECT_EQ(found_at(a, 3), 0);

    // Text of different widths moves character by character.
    Cell t1 = str(U"ab", 1), t2 = str(U"\u0101", 2);
    Cell origin = t1;
    act<Slot::move>(origin)(&origin, &t2, nullptr);
    EXPECT_EQ(text(t1), U"b");
    EXPECT_EQ(text(t2), U"a\u0101");
    Cell wide = str(U"\u0101z", 2), narrow = str(U"q", 1);
    origin = wide;
    act<Slot::move>(origin)(&origin, &narrow, nullptr);
    EXPECT_EQ(text(wide), U"z");
    EXPECT_EQ(text(narrow), U"\u0101q");
    EXPECT_EQ(unit_of(narrow), 2u);

    Cell block = ints({1}), text_ = str(U"x");
    EXPECT_EQ(error_of([&] { act<Slot::move>(block)(&block, &text_, nullptr); }),
              script(err::script::move_bad));
    Cell number = int_cell(3);
    EXPECT_EQ(error_of([&] { act<Slot::move>(block)(&block, &number, nullptr); }),
              script(err::script::expect_arg));
}

TEST_F(SeriesActions, ReflectOwned) {
    // reflect names its field through the runtime's word tables.
    kiv::test::init_words();
    Cell s = ints({1});
    act<Slot::reflect>(s)(&s, symbol::intern("owned"));
    EXPECT_TRUE(is_none(s));
    Cell t = ints({1});
    EXPECT_EQ(error_of([&] { act<Slot::reflect>(t)(&t, symbol::intern("spec")); }),
              internal_not_done);
}

} // namespace
