#include "series_fixture.h"

#include <algorithm>

#include "datatypes/typeset.h"
#include "runtime/heap.h"
#include "runtime/roots.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

class BlockActions : public SeriesTest {
  protected:
    static Cell find_in(Cell s, const Cell& value, const Cell* part = nullptr, bool only = false,
                        bool case_ = false, bool same = false, const Cell* skip = nullptr,
                        bool last = false, bool reverse = false, bool tail = false,
                        bool match = false) {
        act<Slot::find>(s)(&s, &value, part, only, case_, same, false, nullptr, skip, last, reverse,
                           tail, match);
        return s;
    }
};

TEST_F(BlockActions, FindOverBlockAndHash) {
    struct Case {
        V value; // one value, or with `sequence` a block of them
        bool sequence;
        uint32_t head;
        int32_t part, skip; // 0: absent
        bool only, last, reverse, tail, match;
        int32_t want; // -1: none
    };
    const Case cases[] = {
        {{2}, false, 0, 0, 0, false, false, false, false, false, 1},
        {{2}, false, 2, 0, 0, false, false, false, false, false, 4},
        {{2}, false, 0, 0, 0, false, true, false, false, false, 4},
        {{2}, false, 4, 0, 0, false, false, true, false, false, 1},
        {{2}, false, 0, 0, 0, false, false, true, false, false, -1},
        {{2}, false, 0, 0, 0, false, false, false, true, false, 2},
        {{2}, false, 1, 0, 3, false, false, false, false, false, 1},
        {{2}, false, 0, 0, 3, false, false, false, false, false, -1},
        {{1}, false, 0, 0, 2, false, false, false, true, false, 2},
        {{3}, false, 0, 3, 0, false, false, false, false, false, 2},
        {{3}, false, 0, 2, 0, false, false, false, false, false, -1},
        {{1}, false, 0, 0, 0, false, false, false, false, true, 0},
        {{2}, false, 0, 0, 0, false, false, false, false, true, -1},
        {{9}, false, 0, 0, 0, false, false, false, false, false, -1},
        {{2}, false, 6, 0, 0, false, false, false, false, false, -1},
        {{2, 3}, true, 0, 0, 0, false, false, false, false, false, 1},
        {{3, 1}, true, 0, 0, 0, false, false, false, false, false, 2},
        {{3, 4}, true, 0, 0, 0, false, false, false, false, false, -1},
        {{2, 3}, true, 0, 0, 0, true, false, false, false, false, -1},
        {{2, 3}, true, 0, 0, 0, false, false, false, true, false, 3},
        {{1, 2}, true, 0, 0, 0, false, true, false, false, false, 3},
        {{2, 3}, true, 0, 0, 0, false, false, false, false, true, -1},
        {{1, 2}, true, 0, 0, 0, false, false, false, false, true, 0},
    };
    for (uint32_t type : {TYPE_BLOCK, TYPE_PAREN, TYPE_HASH})
        for (const Case& c : cases) {
            SCOPED_TRACE("type " + std::to_string(type) + " value " + std::to_string(c.value[0]) +
                         " head " + std::to_string(c.head) + " want " + std::to_string(c.want));
            Cell s = ints({1, 2, 3, 1, 2, 3}, type, c.head);
            Cell value = c.sequence ? ints(c.value) : int_cell(c.value[0]);
            Cell part = int_cell(c.part), skip = int_cell(c.skip);
            Cell r = find_in(s, value, c.part ? &part : nullptr, c.only, false, false,
                             c.skip ? &skip : nullptr, c.last, c.reverse, c.tail, c.match);
            if (c.want < 0) {
                EXPECT_TRUE(is_none(r));
            } else {
                ASSERT_EQ(cell::type_of(r), type);
                EXPECT_EQ(r.w1, uint32_t(c.want));
            }
        }
}

TEST_F(BlockActions, FindByTypeCaseAndIdentity) {
    Cell a = str(U"a"), big_a = str(U"A");
    Cell s = cells({int_cell(1), a, int_cell(2)});
    EXPECT_EQ(find_in(s, datatype_cell(TYPE_STRING)).w1, 1u);
    EXPECT_TRUE(is_none(find_in(s, datatype_cell(TYPE_STRING), nullptr, true)));
    EXPECT_EQ(find_in(s, big_a).w1, 1u);
    EXPECT_TRUE(is_none(find_in(s, big_a, nullptr, false, true)));
    EXPECT_EQ(find_in(s, a, nullptr, false, false, true).w1, 1u);
    EXPECT_TRUE(is_none(find_in(s, str(U"a"), nullptr, false, false, true)));
    Cell types;
    typeset::clear(types);
    typeset::set_bit(types, TYPE_STRING);
    typeset::set_bit(types, TYPE_NONE);
    Cell t = cells({int_cell(1), none::value, a}, TYPE_HASH);
    EXPECT_EQ(find_in(t, types).w1, 1u);
    t.w1 = 2;
    EXPECT_EQ(find_in(t, types).w1, 2u);
    EXPECT_TRUE(is_none(find_in(t, types, nullptr, true)));
    // Up to a position of the same series.
    Cell limit = s;
    limit.w1 = 1;
    EXPECT_EQ(find_in(s, a, &limit).w1, 1u);
    EXPECT_TRUE(is_none(find_in(s, int_cell(2), &limit)));
}

TEST_F(BlockActions, FindFaults) {
    Cell s = ints({1, 2});
    Cell zero = int_cell(0), text_ = str(U"x"), other = ints({1});
    EXPECT_EQ(error_of([&] { find_in(s, int_cell(1), nullptr, false, false, false, &zero); }),
              script(err::script::out_of_range));
    EXPECT_EQ(error_of([&] { find_in(s, int_cell(1), nullptr, false, false, false, &text_); }),
              script(err::script::invalid_refine_arg));
    EXPECT_EQ(error_of([&] { find_in(s, int_cell(1), &other); }),
              script(err::script::invalid_refine_arg));
}

TEST_F(BlockActions, Select) {
    struct Case {
        V value;
        bool sequence;
        int32_t want; // -1: none
    };
    const Case cases[] = {
        {{2}, false, 3}, {{3}, false, -1}, {{1, 2}, true, 3}, {{2, 3}, true, -1}, {{7}, false, -1}};
    for (uint32_t type : {TYPE_BLOCK, TYPE_PAREN, TYPE_HASH})
        for (const Case& c : cases) {
            Cell s = ints({1, 2, 3}, type);
            Cell value = c.sequence ? ints(c.value) : int_cell(c.value[0]);
            act<Slot::select>(s)(&s, &value, nullptr, false, false, false, false, nullptr, nullptr,
                                 false, false);
            if (c.want < 0)
                EXPECT_TRUE(is_none(s));
            else
                EXPECT_EQ(integer::get(s), c.want);
        }
}

TEST_F(BlockActions, InsertAndAppend) {
    struct Case {
        uint32_t head;
        V value;
        bool block, only;
        int32_t part, dup;
        bool append;
        V want;
        uint32_t want_head;
    };
    const Case cases[] = {
        {0, {3}, false, false, -1, 1, true, {1, 2, 3}, 0},
        {1, {3}, false, false, -1, 1, true, {1, 2, 3}, 0},
        {1, {9}, false, false, -1, 1, false, {1, 9, 2}, 2},
        {1, {8, 9}, true, false, -1, 1, false, {1, 8, 9, 2}, 3},
        {1, {7, 8, 9}, true, false, 2, 1, false, {1, 7, 8, 2}, 3},
        {0, {9}, false, false, -1, 3, true, {1, 2, 9, 9, 9}, 0},
        {0, {8, 9}, true, false, -1, 2, false, {8, 9, 8, 9, 1, 2}, 4},
        {1, {}, true, false, -1, 1, true, {1, 2}, 1},
        {5, {9}, false, false, -1, 1, false, {1, 2, 9}, 3},
        {2, {9}, false, false, -1, 1, false, {1, 2, 9}, 3},
    };
    for (uint32_t type : {TYPE_BLOCK, TYPE_PAREN, TYPE_HASH})
        for (const Case& c : cases) {
            SCOPED_TRACE("type " + std::to_string(type) + " head " + std::to_string(c.head));
            Cell s = ints({1, 2}, type, c.head);
            Cell value = c.block ? ints(c.value) : int_cell(c.value[0]);
            act<Slot::insert>(s)(&s, &value, c.part, c.only, c.dup, c.append);
            EXPECT_EQ(s.w1, c.want_head);
            Cell whole = s;
            whole.w1 = 0;
            EXPECT_EQ(values(whole), c.want);
            if (type == TYPE_HASH) {
                EXPECT_EQ(find_in(whole, int_cell(c.want.back())).w1,
                          std::find(c.want.begin(), c.want.end(), c.want.back()) - c.want.begin());
            }
        }
    // /only inserts a block as one cell.
    Cell s = ints({1});
    Cell inner = ints({8, 9});
    act<Slot::insert>(s)(&s, &inner, -1, true, 1, true);
    EXPECT_EQ(block::rs_length(s), 2);
    EXPECT_EQ(block::rs_head(s)[1].w2, inner.w2);
    // A block appended to itself.
    Cell self = ints({1, 2});
    act<Slot::insert>(self)(&self, &self, -1, false, 1, true);
    EXPECT_EQ(values(self), (V{1, 2, 1, 2}));
}

TEST_F(BlockActions, InsertKeepsHashTable) {
    Cell h = ints({1, 2}, TYPE_HASH, 1);
    Cell v = ints({7, 8});
    act<Slot::insert>(h)(&h, &v, -1, false, 1, false);
    h.w1 = 0;
    EXPECT_EQ(find_in(h, int_cell(2)).w1, 3u);
    EXPECT_EQ(find_in(h, int_cell(8)).w1, 2u);
    Cell nine = int_cell(9);
    act<Slot::insert>(h)(&h, &nine, -1, false, 1, true);
    EXPECT_EQ(find_in(h, int_cell(9)).w1, 4u);
}

TEST_F(BlockActions, InsertOverflowRaisesNoMemory) {
    for (uint32_t type : {TYPE_BLOCK, TYPE_PAREN, TYPE_HASH}) {
        Cell s = ints({1, 2}, type);
        Cell v = ints({1, 2, 3, 4});
        EXPECT_EQ(error_of([&] { act<Slot::insert>(s)(&s, &v, -1, false, 0x40000000, false); }),
                  (runtime::ErrorSite{runtime::Category::internal, err::internal::no_memory}));
        EXPECT_EQ(values(s), (V{1, 2}));
        EXPECT_EQ(find_in(s, int_cell(2)).w1, 1u);
    }
}

TEST_F(BlockActions, Change) {
    struct Case {
        uint32_t head;
        V value;
        bool block, only;
        int32_t part, dup;
        V want;
        uint32_t want_head;
    };
    const Case cases[] = {
        {0, {9}, false, false, -1, 1, {9, 2, 3}, 1},
        {0, {8, 9}, true, false, -1, 1, {8, 9, 3}, 2},
        {0, {9}, false, false, 2, 1, {9, 3}, 1},
        {0, {7, 8, 9}, true, false, 1, 1, {7, 8, 9, 2, 3}, 3},
        {1, {9}, false, false, -1, 2, {1, 9, 9}, 3},
        {3, {9}, false, false, -1, 1, {1, 2, 3, 9}, 4},
        {7, {9}, false, false, -1, 1, {1, 2, 3, 9}, 4},
        {1, {5, 6}, true, false, 0, 1, {1, 5, 6, 2, 3}, 3},
    };
    for (uint32_t type : {TYPE_BLOCK, TYPE_PAREN, TYPE_HASH})
        for (const Case& c : cases) {
            SCOPED_TRACE("head " + std::to_string(c.head) + " part " + std::to_string(c.part));
            Cell s = ints({1, 2, 3}, type, c.head);
            Cell value = c.block ? ints(c.value) : int_cell(c.value[0]);
            act<Slot::change>(s)(&s, &value, c.part, c.only, c.dup);
            EXPECT_EQ(s.w1, c.want_head);
            s.w1 = 0;
            EXPECT_EQ(values(s), c.want);
            if (type == TYPE_HASH) {
                EXPECT_EQ(find_in(s, int_cell(c.want.back())).w1,
                          std::find(c.want.begin(), c.want.end(), c.want.back()) - c.want.begin());
            }
        }
}

TEST_F(BlockActions, Put) {
    for (uint32_t type : {TYPE_BLOCK, TYPE_PAREN, TYPE_HASH}) {
        Cell s = ints({1, 10, 2, 20}, type);
        Cell key = int_cell(2), value = int_cell(30);
        act<Slot::put>(s)(&s, &key, &value, false);
        EXPECT_EQ(values(s), (V{1, 10, 2, 30}));
        key = int_cell(3);
        value = int_cell(40);
        act<Slot::put>(s)(&s, &key, &value, false);
        EXPECT_EQ(values(s), (V{1, 10, 2, 30, 3, 40}));
        key = int_cell(40);
        value = int_cell(5);
        act<Slot::put>(s)(&s, &key, &value, false);
        EXPECT_EQ(values(s), (V{1, 10, 2, 30, 3, 40, 5}));
        EXPECT_EQ(find_in(s, int_cell(30)).w1, 3u);
        EXPECT_EQ(find_in(s, int_cell(5)).w1, 6u);
    }
}

TEST_F(BlockActions, CopyDeepAndTypes) {
    Cell inner = ints({1});
    Cell text_ = str(U"t");
    Rooted<Cell> s(cells({inner, text_, int_cell(3)}, TYPE_HASH));
    Rooted<Cell> deep;
    act<Slot::copy> (*s)(&*s, &*deep, nullptr, true, nullptr);
    EXPECT_EQ(cell::type_of(*deep), TYPE_BLOCK);
    EXPECT_NE(block::rs_head(*deep)[0].w2, inner.w2);
    EXPECT_NE(block::rs_head(*deep)[1].w2, text_.w2);
    EXPECT_EQ(values(block::rs_head(*deep)[0]), V{1});

    Rooted<Cell> typed;
    Cell only_strings = datatype_cell(TYPE_STRING);
    act<Slot::copy> (*s)(&*s, &*typed, nullptr, false, &only_strings);
    EXPECT_EQ(block::rs_head(*typed)[0].w2, inner.w2);
    EXPECT_NE(block::rs_head(*typed)[1].w2, text_.w2);

    Rooted<Cell> by_typeset;
    Cell set;
    typeset::clear(set);
    typeset::set_bit(set, TYPE_BLOCK);
    act<Slot::copy> (*s)(&*s, &*by_typeset, nullptr, false, &set);
    EXPECT_NE(block::rs_head(*by_typeset)[0].w2, inner.w2);
    EXPECT_EQ(block::rs_head(*by_typeset)[1].w2, text_.w2);

    Rooted<Cell> shallow;
    act<Slot::copy> (*s)(&*s, &*shallow, nullptr, false, nullptr);
    EXPECT_EQ(cell::type_of(*shallow), TYPE_HASH);
    EXPECT_EQ(block::rs_head(*shallow)[0].w2, inner.w2);
}

TEST_F(BlockActions, CopyDeepOfACycleRaisesNoCycle) {
    Rooted<Cell> s(ints({1}));
    block::append_value(*s, *s);
    Rooted<Cell> out;
    EXPECT_EQ(error_of([&] { act<Slot::copy> (*s)(&*s, &*out, nullptr, true, nullptr); }),
              (runtime::ErrorSite{runtime::Category::internal, err::internal::no_cycle}));
    EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(BlockActions, Take) {
    Cell inner = ints({1});
    Rooted<Cell> s(cells({inner, int_cell(2), int_cell(3)}));
    Cell one = *s;
    act<Slot::take>(one)(&one, nullptr, false, false);
    EXPECT_EQ(one.w2, inner.w2); // the element itself
    Cell part = int_cell(1);
    Cell block_of_one = *s;
    act<Slot::take>(block_of_one)(&block_of_one, &part, false, false);
    EXPECT_EQ(values(block_of_one), V{2});

    Rooted<Cell> t(cells({inner, int_cell(2)}));
    Cell deep = *t;
    act<Slot::take>(deep)(&deep, &part, true, false);
    ASSERT_EQ(block::rs_length(deep), 1);
    EXPECT_NE(block::rs_head(deep)[0].w2, inner.w2);
    EXPECT_EQ(values(block::rs_head(deep)[0]), V{1});
}

TEST_F(BlockActions, SwapAndTrim) {
    Cell a = ints({1, 2}, TYPE_HASH), b = ints({3, 4});
    act<Slot::swap>(a)(&a, &b);
    EXPECT_EQ(values(a), (V{3, 2}));
    EXPECT_EQ(values(b), (V{1, 4}));
    EXPECT_EQ(find_in(a, int_cell(3)).w1, 0u);
    Cell t = str(U"x");
    EXPECT_EQ(error_of([&] { act<Slot::swap>(a)(&a, &t); }), script(err::script::invalid_arg));

    Cell s = cells({none::value, int_cell(1), none::value, none::value, int_cell(2), none::value});
    act<Slot::trim>(s)(&s, false, false, false, false, false, nullptr);
    EXPECT_EQ(values(s), (V{1, 2}));
}

TEST_F(BlockActions, CompareAndEvalPath) {
    Cell a = ints({1, 2}), b = ints({1, 2}), p = ints({1, 2}, TYPE_PAREN);
    EXPECT_EQ(compare(a, b, 0), 0);
    EXPECT_EQ(compare(a, p, 0), -2);
    EXPECT_EQ(compare(ints({1}), ints({1, 2}), 3), -1);

    Cell s = cells({word("a"), int_cell(1), word("b"), int_cell(2)});
    Cell k = word("B"), two = int_cell(2);
    EXPECT_EQ(integer::get(*act<Slot::eval_path>(s)(&s, &k, nullptr, nullptr, nullptr, nullptr, -1,
                                                    false, false, false, false)),
              2);
    EXPECT_EQ(integer::get(*act<Slot::eval_path>(s)(&s, &two, nullptr, nullptr, nullptr, nullptr,
                                                    -1, false, false, false, false)),
              1);
    Cell five = int_cell(5), key = word("a");
    act<Slot::eval_path>(s)(&s, &key, &five, nullptr, nullptr, nullptr, -1, false, false, false,
                            false);
    EXPECT_EQ(integer::get(block::rs_head(s)[1]), 5);
    Cell absent = word("zz");
    EXPECT_EQ(error_of([&] {
                  act<Slot::eval_path>(s)(&s, &absent, &five, nullptr, nullptr, nullptr, -1, false,
                                          false, false, false);
              }),
              script(err::script::bad_path_set));
}

TEST_F(BlockActions, MakeAndTo) {
    Cell proto{}, spec = ints({1, 2});
    block::make(&proto, &spec, TYPE_HASH);
    EXPECT_EQ(cell::type_of(proto), TYPE_HASH);
    EXPECT_NE(proto.w2, spec.w2);
    EXPECT_EQ(find_in(proto, int_cell(2)).w1, 1u);
    Cell size = int_cell(10);
    block::make(&proto, &size, TYPE_BLOCK);
    EXPECT_EQ(block::rs_length(proto), 0);
    Cell bad = char_cell('x');
    EXPECT_EQ(error_of([&] { block::make(&proto, &bad, TYPE_BLOCK); }),
              script(err::script::bad_make_arg));
    Cell five = int_cell(5);
    block::to(&proto, &five, TYPE_PAREN);
    EXPECT_EQ(cell::type_of(proto), TYPE_PAREN);
    EXPECT_EQ(values(proto), V{5});
}

// ------------------------------------------------------------------ sort

TEST_F(BlockActions, SortRefinements) {
    struct Case {
        V input;
        uint32_t head;
        int32_t skip, compare, part; // 0: absent
        bool all, reverse, stable;
        V want;
        uint32_t want_head;
    };
    const Case cases[] = {
        {{3, 1, 2}, 0, 0, 0, 0, false, false, false, {1, 2, 3}, 0},
        {{3, 1, 2}, 0, 0, 0, 0, false, true, false, {3, 2, 1}, 0},
        {{9, 3, 1, 2}, 1, 0, 0, 0, false, false, false, {9, 1, 2, 3}, 1},
        {{3, 30, 1, 10, 2, 20}, 0, 2, 0, 0, false, false, false, {1, 10, 2, 20, 3, 30}, 0},
        {{1, 30, 2, 10, 3, 20}, 0, 2, 2, 0, false, false, false, {2, 10, 3, 20, 1, 30}, 0},
        {{3, 1, 2}, 0, 0, 0, 2, false, false, false, {1, 3, 2}, 0},
        {{5, 4, 3, 2, 1}, 3, 0, 0, -2, false, false, false, {5, 3, 4, 2, 1}, 1},
        {{5, 4, 3}, 1, 0, 0, -3, false, false, false, {5, 4, 3}, 0},
        {{1, 3, 1, 2}, 0, 2, 0, 0, true, false, false, {1, 2, 1, 3}, 0},
        {{1, 1, 0, 2, 1, 3, 0, 4}, 0, 2, 0, 0, false, false, true, {0, 2, 0, 4, 1, 1, 1, 3}, 0},
        {{1, 1, 0, 2, 1, 3, 0, 4}, 0, 2, 0, 0, false, true, true, {1, 1, 1, 3, 0, 2, 0, 4}, 0},
    };
    for (uint32_t type : {TYPE_BLOCK, TYPE_PAREN, TYPE_HASH})
        for (const Case& c : cases) {
            SCOPED_TRACE("type " + std::to_string(type) + " first " + std::to_string(c.input[0]) +
                         " skip " + std::to_string(c.skip) + " part " + std::to_string(c.part));
            Cell s = ints(c.input, type, c.head);
            Cell skip = int_cell(c.skip), cmp = int_cell(c.compare), part = int_cell(c.part);
            act<Slot::sort>(s)(&s, false, c.skip ? &skip : nullptr, c.compare ? &cmp : nullptr,
                               c.part ? &part : nullptr, c.all, c.reverse, c.stable);
            EXPECT_EQ(s.w1, c.want_head);
            s.w1 = 0;
            EXPECT_EQ(values(s), c.want);
            if (type == TYPE_HASH) {
                EXPECT_EQ(find_in(s, int_cell(c.want[0])).w1, 0u);
            }
        }
}

TEST_F(BlockActions, SortCaseAndMixedTypes) {
    auto texts = [](const Cell& s) {
        std::vector<std::u32string> out;
        for (Cell* c = block::rs_head(s); c < block::rs_tail(s); ++c)
            out.push_back(cell::type_of(*c) == TYPE_STRING ? text(*c) : U"#");
        return out;
    };
    using T = std::vector<std::u32string>;
    Cell s = cells({str(U"b"), str(U"A"), str(U"a"), str(U"B")});
    act<Slot::sort>(s)(&s, false, nullptr, nullptr, nullptr, false, false, true);
    EXPECT_EQ(texts(s), (T{U"A", U"a", U"b", U"B"}));
    act<Slot::sort>(s)(&s, true, nullptr, nullptr, nullptr, false, false, true);
    EXPECT_EQ(texts(s), (T{U"A", U"B", U"a", U"b"}));
    Cell mixed = cells({int_cell(2), str(U"z"), int_cell(1)});
    act<Slot::sort>(mixed)(&mixed, false, nullptr, nullptr, nullptr, false, false, false);
    EXPECT_EQ(texts(mixed), (T{U"z", U"#", U"#"}));
    EXPECT_EQ(integer::get(block::rs_head(mixed)[1]), 1);
}

TEST_F(BlockActions, SortFaults) {
    struct Case {
        int32_t skip; // 0: absent
        Cell compare; // unset: absent
        bool all;
        runtime::ErrorSite want;
    };
    const Cell absent{cell::unset_header, 0, 0, 0};
    const Case cases[] = {
        {0, absent, true, script(err::script::bad_refines)},
        {-1, absent, false, script(err::script::invalid_refine_arg)},
        {4, absent, false, script(err::script::invalid_refine_arg)},
        {8, absent, false, script(err::script::invalid_refine_arg)},
        {2, int_cell(3), false, script(err::script::out_of_range)},
        {2, int_cell(0), false, script(err::script::out_of_range)},
        {0, int_cell(1), false, script(err::script::bad_refines)},
        {2, int_cell(1), true, script(err::script::bad_refines)},
        {0, str(U"x"), false, script(err::script::invalid_refine_arg)},
    };
    for (const Case& c : cases) {
        Cell s = ints({6, 5, 4, 3, 2, 1});
        Cell skip = int_cell(c.skip);
        bool has_compare = cell::type_of(c.compare) != TYPE_UNSET;
        EXPECT_EQ(error_of([&] {
                      act<Slot::sort>(s)(&s, false, c.skip ? &skip : nullptr,
                                         has_compare ? &c.compare : nullptr, nullptr, c.all, false,
                                         false);
                  }),
                  c.want)
            << "skip " << c.skip;
        EXPECT_EQ(values(s), (V{6, 5, 4, 3, 2, 1}));
    }
}

// A stand-in for the interpreter calling a comparator function: the
// function is [a b][a < b] over integers, or over the first cells of two
// record blocks; other behaviours are chosen by the comparator's word 1.
enum Behaviour : uint32_t { less_than, raise_after_5, collect_each, grow_once, record_less };
int32_t calls = 0;
Cell grown_series;

int32_t first_value(const Cell& c) {
    if (cell::type_of(c) == TYPE_BLOCK) return integer::get(block::rs_head(c)[0]);
    return int32_t(c.w2);
}

int32_t call_stub(const Cell& comparator, const Cell& a, const Cell& b) {
    ++calls;
    switch (comparator.w1) {
    case raise_after_5:
        if (calls > 5) runtime::fire_error(runtime::Category::user, 0);
        break;
    case collect_each: collector::collect(); break;
    case grow_once:
        if (calls == 1) {
            Cell nine{TYPE_INTEGER, 0, 99, 0};
            for (int i = 0; i < 50; ++i) block::append_value(grown_series, nine);
        }
        break;
    default: break;
    }
    Cell result;
    logic::make_at(result, first_value(a) < first_value(b));
    return series::comparison_result(result);
}

Cell comparator(Behaviour b) {
    return Cell{TYPE_FUNCTION, b, 0, 0};
}

TEST_F(BlockActions, FunctionComparatorSortsAscending) {
    Cell f = comparator(less_than);
    Cell unsorted = ints({2, 1});
    EXPECT_EQ(error_of([&] {
                  act<Slot::sort>(unsorted)(&unsorted, false, nullptr, &f, nullptr, false, false,
                                            false);
              }),
              internal_not_done);
    series::call_comparator = call_stub;
    for (bool stable : {false, true}) {
        Cell s = ints({5, 3, 9, 1, 7, 2});
        act<Slot::sort>(s)(&s, false, nullptr, &f, nullptr, false, false, stable);
        EXPECT_EQ(values(s), (V{1, 2, 3, 5, 7, 9}));
        act<Slot::sort>(s)(&s, false, nullptr, &f, nullptr, false, true, stable);
        EXPECT_EQ(values(s), (V{9, 7, 5, 3, 2, 1}));
    }
    Cell records = ints({3, 0, 1, 1, 2, 2});
    Cell skip = int_cell(2), r = comparator(record_less);
    act<Slot::sort>(records)(&records, false, &skip, &r, nullptr, true, false, false);
    EXPECT_EQ(values(records), (V{1, 1, 2, 2, 3, 0}));
}

TEST_F(BlockActions, RaisingComparatorLeavesOriginalValues) {
    series::call_comparator = call_stub;
    Cell f = comparator(raise_after_5);
    V input;
    for (int i = 0; i < 60; ++i) input.push_back((i * 37) % 60);
    for (bool stable : {false, true}) {
        Cell s = ints(input);
        size_t blocks = heap::block_count();
        calls = 0;
        EXPECT_EQ(error_of([&] {
                      act<Slot::sort>(s)(&s, false, nullptr, &f, nullptr, false, false, stable);
                  }),
                  (runtime::ErrorSite{runtime::Category::user, 0}));
        EXPECT_EQ(values(s), input);
        EXPECT_EQ(heap::block_count(), blocks);
        EXPECT_TRUE(memory::pinned.empty());
    }
}

TEST_F(BlockActions, SortedSeriesStaysInPlaceThroughCollections) {
    series::call_comparator = call_stub;
    Cell f = comparator(collect_each);
    for (bool stable : {false, true}) {
        // Garbage before the series, so that a collection would move it.
        memory::alloc_cells(100);
        Rooted<Cell> s(ints({4, 8, 1, 6, 3, 9, 2, 7, 5, 0}));
        Rooted<Cell> nested(str(U"kept"));
        block::append_value(*s, *nested);
        Buffer* before = memory::buffer_of(s->w2);
        calls = 0;
        Cell part = int_cell(10);
        act<Slot::sort> (*s)(&*s, false, nullptr, &f, &part, false, false, stable);
        EXPECT_GT(calls, 0);
        EXPECT_EQ(memory::buffer_of(s->w2), before);
        V got;
        for (int i = 0; i < 10; ++i) got.push_back(integer::get(block::rs_head(*s)[i]));
        EXPECT_EQ(got, (V{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
        EXPECT_EQ(text(block::rs_head(*s)[10]), U"kept");
    }
}

TEST_F(BlockActions, ComparatorThatGrowsTheSeries) {
    series::call_comparator = call_stub;
    Cell f = comparator(grow_once);
    grown_series = ints({3, 1, 2});
    calls = 0;
    Cell s = grown_series;
    act<Slot::sort>(s)(&s, false, nullptr, &f, nullptr, false, false, false);
    V got = values(grown_series);
    ASSERT_EQ(got.size(), 53u);
    EXPECT_EQ((V{got[0], got[1], got[2]}), (V{1, 2, 3}));
}

// ----------------------------------------------------------- set operations

TEST_F(BlockActions, SetOperations) {
    struct Case {
        int32_t op;
        V a, b;
        int32_t skip;
        V want;
    };
    const Case cases[] = {
        {block::unique, {1, 1, 2, 3, 2}, {}, 0, {1, 2, 3}},
        {block::union_, {1, 2, 1}, {2, 3, 3}, 0, {1, 2, 3}},
        {block::intersect, {1, 2, 3, 2}, {2, 3, 4}, 0, {2, 3}},
        {block::exclude, {1, 2, 3, 1}, {2}, 0, {1, 3}},
        {block::difference, {1, 2, 3}, {2, 3, 4}, 0, {1, 4}},
        {block::unique, {1, 10, 1, 20, 2, 30}, {}, 2, {1, 10, 2, 30}},
        {block::intersect, {1, 10, 2, 20}, {2, 5}, 2, {2, 20}},
        {block::exclude, {1, 10, 2, 20}, {5, 1}, 2, {1, 10, 2, 20}},
    };
    for (uint32_t type : {TYPE_BLOCK, TYPE_PAREN, TYPE_HASH})
        for (const Case& c : cases) {
            SCOPED_TRACE("op " + std::to_string(c.op) + " type " + std::to_string(type));
            Cell args[2] = {ints(c.a, type), ints(c.b)};
            Cell skip = int_cell(c.skip);
            Cell r = frame_result(args,
                                  [&] { block::do_set_op(c.op, false, c.skip ? &skip : nullptr); });
            EXPECT_EQ(cell::type_of(r), type == TYPE_HASH ? TYPE_HASH : TYPE_BLOCK);
            EXPECT_EQ(values(r), c.want);
            if (type == TYPE_HASH) {
                EXPECT_EQ(find_in(r, int_cell(c.want.back())).w1, c.want.size() - 1);
            }
        }
    Cell args[2] = {ints({1}), ints({1})};
    Cell zero = int_cell(0);
    EXPECT_EQ(error_of([&] {
                  frame_result(args, [&] { block::do_set_op(block::union_, false, &zero); });
              }),
              script(err::script::invalid_refine_arg));
}

TEST_F(BlockActions, SetOperationsCase) {
    for (bool case_ : {false, true}) {
        Cell args[2] = {cells({str(U"a"), str(U"A"), str(U"b")}), ints({})};
        Cell r = frame_result(args, [&] { block::do_set_op(block::unique, case_, nullptr); });
        EXPECT_EQ(block::rs_length(r), case_ ? 3 : 2);
    }
}

} // namespace
