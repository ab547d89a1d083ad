#include "series_fixture.h"

#include "runtime/heap.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

class StringActions : public SeriesTest {
  protected:
    static Cell find_in(Cell s, const Cell& value, const Cell* part = nullptr, bool case_ = false,
                        const Cell* skip = nullptr, bool last = false, bool reverse = false,
                        bool tail = false, bool match = false, bool any = false) {
        act<Slot::find>(s)(&s, &value, part, false, case_, false, any, nullptr, skip, last, reverse,
                           tail, match);
        return s;
    }
    // A text whose characters are widened to the unit: for units 2 and 4
    // the letters are moved above 0xFF (or 0xFFFF) so that the wide units
    // really hold wide code points.
    static std::u32string widened(const std::u32string& t, uint32_t unit) {
        std::u32string out = t;
        if (unit == 1) return out;
        for (char32_t& c : out)
            if (c >= 'a' && c <= 'z') c += unit == 2 ? 0x4E00 : 0x20000; // no case there
        return out;
    }
};

constexpr uint32_t units[] = {1, 2, 4};

TEST_F(StringActions, Compare) {
    struct Case {
        std::u32string a, b;
        int32_t op, want;
    };
    const Case cases[] = {
        {U"abc", U"ABC", 0, 0}, {U"abc", U"ABC", 2, 1}, {U"abc", U"abd", 3, -1},
        {U"ab", U"abc", 3, -1}, {U"abc", U"ab", 5, 1},  {U"", U"", 0, 0},
        {U"abc", U"", 3, 1},    {U"", U"a", 3, -1},     {U"b", U"A", 3, 1},
        {U"B", U"a", 8, -1},    {U"ab", U"abc", 0, 1},  {U"\u00E9", U"\u00C9", 0, 0},
    };
    for (uint32_t unit : units)
        for (const Case& c : cases) {
            SCOPED_TRACE("unit " + std::to_string(unit) + " op " + std::to_string(c.op));
            Cell a = str(c.a, unit), b = str(c.b);
            EXPECT_EQ(compare(a, b, c.op), c.want);
        }
    Cell s = str(U"abc"), f = str(U"ABC", 1, 0, TYPE_FILE);
    EXPECT_EQ(compare(s, f, 0), 0);
    EXPECT_EQ(compare(s, f, 3), -2);
    EXPECT_EQ(compare(s, int_cell(1), 0), -2);
    Cell same = s;
    EXPECT_EQ(compare(s, same, 9), 0);
    EXPECT_EQ(compare(s, str(U"abc"), 9), -1);
}

TEST_F(StringActions, Find) {
    struct Case {
        std::u32string value; // a one-letter value is searched as a char! when `as_char`
        bool as_char;
        uint32_t head;
        int32_t part, skip;
        bool case_, last, reverse, tail, match;
        int32_t want;
    };
    const Case cases[] = {
        {U"c", false, 0, 0, 0, false, false, false, false, false, 2},
        {U"c", true, 0, 0, 0, false, false, false, false, false, 2},
        {U"c", false, 0, 0, 0, false, true, false, false, false, 5},
        {U"b", false, 0, 0, 0, false, false, false, true, false, 2},
        {U"ab", false, 0, 0, 0, false, false, false, false, true, 0},
        {U"ab", false, 0, 0, 0, false, false, false, true, true, 2},
        {U"b", false, 0, 0, 0, false, false, false, false, true, -1},
        {U"BC", false, 0, 0, 0, false, false, false, false, false, 1},
        {U"BC", false, 0, 0, 0, true, false, false, false, false, -1},
        {U"b", false, 4, 0, 0, false, false, true, false, false, 1},
        {U"b", false, 0, 0, 0, false, false, true, false, false, -1},
        {U"a", false, 1, 0, 3, false, false, false, false, false, -1},
        {U"b", false, 1, 0, 3, false, false, false, false, false, 1},
        {U"c", false, 0, 2, 0, false, false, false, false, false, -1},
        {U"c", false, 0, 3, 0, false, false, false, false, false, 2},
        {U"ca", false, 0, 0, 0, false, false, false, false, false, 2},
        {U"", false, 0, 0, 0, false, false, false, false, false, -1},
        {U"a", false, 6, 0, 0, false, false, false, false, false, -1},
    };
    for (uint32_t unit : units)
        for (const Case& c : cases) {
            SCOPED_TRACE("unit " + std::to_string(unit) + " value " +
                         std::to_string(c.value.size()) + " want " + std::to_string(c.want));
            Cell s = str(widened(U"abcabc", unit), unit, c.head);
            if (unit > 1 && c.value == U"BC") continue; // case needs letters
            std::u32string v = c.value == U"BC" ? c.value : widened(c.value, unit);
            Cell value = c.as_char ? char_cell(v[0]) : str(v, unit);
            Cell part = int_cell(c.part), skip = int_cell(c.skip);
            Cell r = find_in(s, value, c.part ? &part : nullptr, c.case_, c.skip ? &skip : nullptr,
                             c.last, c.reverse, c.tail, c.match);
            if (c.want < 0) {
                EXPECT_TRUE(is_none(r));
                continue;
            }
            ASSERT_EQ(cell::type_of(r), TYPE_STRING);
            EXPECT_EQ(r.w1, uint32_t(c.want));
        }
}

TEST_F(StringActions, FindFormsOtherValuesAndRefusesAny) {
    Cell s = str(U"a12b");
    EXPECT_EQ(find_in(s, int_cell(12)).w1, 1u);
    EXPECT_EQ(find_in(s, word("b")).w1, 3u);
    EXPECT_EQ(error_of([&] {
                  find_in(s, str(U"a"), nullptr, false, nullptr, false, false, false, false, true);
              }),
              internal_not_done);
    Cell zero = int_cell(0);
    EXPECT_EQ(error_of([&] { find_in(s, str(U"a"), nullptr, false, &zero); }),
              script(err::script::out_of_range));
}

TEST_F(StringActions, Select) {
    for (uint32_t unit : units) {
        Cell s = str(U"abc", unit), a = str(U"a"), c = str(U"c");
        act<Slot::select>(s)(&s, &a, nullptr, false, false, false, false, nullptr, nullptr, false,
                             false);
        EXPECT_EQ(cell::type_of(s), TYPE_CHAR);
        EXPECT_EQ(s.w2, uint32_t('b'));
        Cell t = str(U"abc", unit);
        act<Slot::select>(t)(&t, &c, nullptr, false, false, false, false, nullptr, nullptr, false,
                             false);
        EXPECT_TRUE(is_none(t));
    }
}

TEST_F(StringActions, AppendInsertChange) {
    enum Op { append, insert, change };
    struct Case {
        std::u32string start;
        uint32_t unit, head;
        Cell value;
        int32_t part, dup;
        Op op;
        std::u32string want;
        uint32_t want_unit, want_head;
    };
    const Case cases[] = {
        {U"abc", 1, 0, char_cell(0xE9), -1, 1, append, U"abc\u00E9", 2, 0},
        {U"abc", 1, 0, char_cell('d'), -1, 1, append, U"abcd", 1, 0},
        {U"a", 1, 0, str(U"b"), -1, 3, append, U"abbb", 1, 0},
        {U"abc", 1, 0, str(U"X"), -1, 1, insert, U"Xabc", 1, 1},
        {U"ab", 1, 1, int_cell(12), -1, 1, append, U"ab12", 1, 0},
        {U"a", 1, 0, ints({1, 2}), -1, 1, append, U"a12", 1, 0},
        {U"a", 1, 0, str(U"bcd"), 2, 1, append, U"abc", 1, 0},
        {U"ac", 1, 1, str(U"\u0101", 2), -1, 1, insert, U"a\u0101c", 2, 2},
        {U"\u0101", 2, 0, char_cell(0x1F600), -1, 1, append, U"\u0101\U0001F600", 4, 0},
        {U"ab", 1, 1, str(U"X"), -1, 2, insert, U"aXXb", 1, 3},
        {U"ab", 4, 2, str(U"X"), -1, 1, insert, U"abX", 4, 3},
        {U"abc", 1, 0, str(U"X"), -1, 1, change, U"Xbc", 1, 1},
        {U"abc", 1, 0, str(U"XY"), 1, 1, change, U"XYbc", 1, 2},
        {U"abc", 2, 2, str(U"XYZ"), -1, 1, change, U"abXYZ", 2, 5},
        {U"abc", 1, 3, str(U"d"), -1, 1, change, U"abcd", 1, 4},
        {U"abc", 1, 0, str(U"\U0001F600", 4), -1, 2, change, U"\U0001F600\U0001F600c", 4, 2},
        {U"a", 1, 0, str(U"b", 1, 0, TYPE_TAG), -1, 1, append, U"a<b>", 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("start " + std::to_string(c.start.size()) + " want " +
                     std::to_string(c.want.size()) + " op " + std::to_string(c.op));
        Cell s = str(c.start, c.unit, c.head);
        if (c.op == change)
            act<Slot::change>(s)(&s, &c.value, c.part, false, c.dup);
        else
            act<Slot::insert>(s)(&s, &c.value, c.part, false, c.dup, c.op == append);
        EXPECT_EQ(s.w1, c.want_head);
        Cell whole = s;
        whole.w1 = 0;
        EXPECT_EQ(text(whole), c.want);
        EXPECT_EQ(unit_of(s), c.want_unit);
    }
}

TEST_F(StringActions, SortAndFaults) {
    struct Case {
        std::u32string input;
        bool case_, reverse;
        int32_t skip;
        std::u32string want;
    };
    const Case cases[] = {
        {U"cBa", false, false, 0, U"aBc"}, {U"cBa", true, false, 0, U"Bac"},
        {U"cBa", false, true, 0, U"cBa"},  {U"dcba", false, false, 2, U"badc"},
        {U"", false, false, 0, U""},
    };
    for (uint32_t unit : units)
        for (const Case& c : cases) {
            SCOPED_TRACE("unit " + std::to_string(unit) + " input size " +
                         std::to_string(c.input.size()));
            Cell s = str(c.input, unit);
            Cell skip = int_cell(c.skip);
            act<Slot::sort>(s)(&s, c.case_, c.skip ? &skip : nullptr, nullptr, nullptr, false,
                               c.reverse, false);
            EXPECT_EQ(text(s), c.want);
        }
    Cell s = str(U"ab");
    Cell three = int_cell(3);
    EXPECT_EQ(error_of([&] {
                  act<Slot::sort>(s)(&s, false, &three, nullptr, nullptr, false, false, false);
              }),
              script(err::script::invalid_refine_arg));
    EXPECT_EQ(error_of([&] {
                  act<Slot::sort>(s)(&s, false, nullptr, nullptr, nullptr, true, false, false);
              }),
              script(err::script::bad_refines));
}

int32_t calls = 0;
int32_t less_than(const Cell& f, const Cell& a, const Cell& b) {
    if (f.w1 == 1 && ++calls > 3) runtime::fire_error(runtime::Category::user, 0);
    Cell result;
    logic::make_at(result, a.w2 < b.w2);
    return series::comparison_result(result);
}

TEST_F(StringActions, FunctionComparator) {
    series::call_comparator = less_than;
    Cell f{TYPE_FUNCTION, 0, 0, 0};
    for (uint32_t unit : units) {
        Cell s = str(U"dbeca", unit);
        act<Slot::sort>(s)(&s, false, nullptr, &f, nullptr, false, false, false);
        EXPECT_EQ(text(s), U"abcde");
        act<Slot::sort>(s)(&s, false, nullptr, &f, nullptr, false, true, true);
        EXPECT_EQ(text(s), U"edcba");
    }
    Cell raising{TYPE_FUNCTION, 1, 0, 0};
    Cell s = str(U"qwertyuiopasdfghjkl");
    size_t blocks = heap::block_count();
    calls = 0;
    EXPECT_EQ(error_of([&] {
                  act<Slot::sort>(s)(&s, false, nullptr, &raising, nullptr, false, false, false);
              }),
              (runtime::ErrorSite{runtime::Category::user, 0}));
    EXPECT_EQ(text(s), U"qwertyuiopasdfghjkl");
    EXPECT_EQ(heap::block_count(), blocks);
}

TEST_F(StringActions, SwapAndTake) {
    Cell a = str(U"ab"), b = str(U"\u0101d", 2);
    act<Slot::swap>(a)(&a, &b);
    EXPECT_EQ(text(a), U"\u0101b");
    EXPECT_EQ(unit_of(a), 2u);
    EXPECT_EQ(text(b), U"ad");
    Cell block = ints({1});
    EXPECT_EQ(error_of([&] { act<Slot::swap>(a)(&a, &block); }), script(err::script::invalid_arg));

    for (uint32_t unit : units) {
        Cell s = str(U"abc", unit), kept = s;
        act<Slot::take>(s)(&s, nullptr, false, false);
        EXPECT_EQ(cell::type_of(s), TYPE_CHAR);
        EXPECT_EQ(s.w2, uint32_t('a'));
        EXPECT_EQ(text(kept), U"bc");
        Cell two = int_cell(2);
        act<Slot::take>(kept)(&kept, &two, false, false);
        EXPECT_EQ(cell::type_of(kept), TYPE_STRING);
        EXPECT_EQ(text(kept), U"bc");
    }
}

TEST_F(StringActions, Trim) {
    enum Mode { plain, head, tail, lines, all, with };
    struct Case {
        std::u32string input;
        Mode mode;
        Cell set;
        std::u32string want;
    };
    const Cell no_set{};
    const Case cases[] = {
        {U"  a  b  ", plain, no_set, U"a  b"},   {U" a b ", all, no_set, U"ab"},
        {U" a ", head, no_set, U"a "},           {U" a ", tail, no_set, U" a"},
        {U"  a \n  b  ", lines, no_set, U"a b"}, {U"  a  \n   b  \n  ", plain, no_set, U"a\nb\n"},
        {U"a \t\n b", plain, no_set, U"a\nb"},   {U"\u3000a\u3000", plain, no_set, U"a"},
        {U"axbxc", with, str(U"x"), U"abc"},     {U"abcb", with, char_cell('b'), U"ac"},
        {U"abcb", with, int_cell('c'), U"abb"},
    };
    for (uint32_t unit : units)
        for (const Case& c : cases) {
            SCOPED_TRACE("unit " + std::to_string(unit) + " mode " + std::to_string(c.mode) +
                         " size " + std::to_string(c.input.size()));
            if (unit == 1 && c.input.find(U'\u3000') != std::u32string::npos) continue;
            Cell s = str(c.input, unit);
            act<Slot::trim>(s)(&s, c.mode == head, c.mode == tail, false, c.mode == lines,
                               c.mode == all, c.mode == with ? &c.set : nullptr);
            EXPECT_EQ(text(s), c.want);
        }
    Cell s = str(U" a ");
    Cell block = ints({1});
    EXPECT_EQ(error_of([&] { act<Slot::trim>(s)(&s, false, false, false, false, false, &block); }),
              script(err::script::invalid_arg));
    EXPECT_EQ(error_of([&] { act<Slot::trim>(s)(&s, false, false, true, false, false, nullptr); }),
              internal_not_done);
    EXPECT_EQ(text(s), U" a ");
}

TEST_F(StringActions, SetOperations) {
    struct Case {
        int32_t op;
        std::u32string a, b;
        bool case_;
        int32_t skip;
        std::u32string want;
    };
    const Case cases[] = {
        {block::unique, U"aabbcc", U"", false, 0, U"abc"},
        {block::union_, U"ab", U"bc", false, 0, U"abc"},
        {block::intersect, U"abc", U"bcd", false, 0, U"bc"},
        {block::exclude, U"abc", U"b", false, 0, U"ac"},
        {block::difference, U"abc", U"bcd", false, 0, U"ad"},
        {block::unique, U"aA", U"", false, 0, U"a"},
        {block::unique, U"aA", U"", true, 0, U"aA"},
        {block::unique, U"abacdb", U"", false, 2, U"abdb"},
    };
    for (uint32_t unit : units)
        for (const Case& c : cases) {
            SCOPED_TRACE("op " + std::to_string(c.op) + " unit " + std::to_string(unit));
            Cell args[2] = {str(c.a, unit), str(c.b, unit)};
            Cell skip = int_cell(c.skip);
            Cell r = frame_result(
                args, [&] { string::do_set_op(c.case_, c.skip ? &skip : nullptr, c.op); });
            EXPECT_EQ(text(r), c.want);
            EXPECT_EQ(cell::type_of(r), TYPE_STRING);
        }
}

TEST_F(StringActions, MakeToAndPaths) {
    Cell proto{}, ten = int_cell(10);
    string::make(&proto, &ten, TYPE_STRING);
    EXPECT_EQ(text(proto), U"");
    Cell minus = int_cell(-1);
    EXPECT_EQ(error_of([&] { string::make(&proto, &minus, TYPE_STRING); }),
              script(err::script::out_of_range));
    EXPECT_EQ(error_of([&] { string::to(&proto, &none::value, TYPE_STRING); }),
              script(err::script::bad_to_arg));
    Cell mixed = cells({int_cell(1), str(U"a"), char_cell('b')});
    string::to(&proto, &mixed, TYPE_STRING);
    EXPECT_EQ(text(proto), U"1ab");
    Cell source = str(U"abc", 2);
    string::to(&proto, &source, TYPE_FILE);
    EXPECT_EQ(cell::type_of(proto), TYPE_FILE);
    EXPECT_NE(proto.w2, source.w2);
    EXPECT_EQ(text(proto), U"abc");
    auto binary = [](std::string bytes) {
        Cell b{TYPE_BINARY, 0, memory::alloc_bytes(uint32_t(bytes.size())), 0};
        Buffer* buf = memory::buffer_of(b.w2);
        std::memcpy(buf->head, bytes.data(), bytes.size());
        buf->tail = buf->head + bytes.size();
        return b;
    };
    Cell utf8 = binary("a\xC3\xA9");
    string::to(&proto, &utf8, TYPE_STRING);
    EXPECT_EQ(text(proto), U"a\u00E9");
    Cell invalid = binary("ab\xC3(");
    EXPECT_EQ(error_of([&] { string::to(&proto, &invalid, TYPE_STRING); }),
              (runtime::ErrorSite{runtime::Category::access, err::access::invalid_utf8}));
    Cell n = int_cell(42);
    string::to(&proto, &n, TYPE_STRING);
    EXPECT_EQ(text(proto), U"42");

    Cell s = str(U"abc");
    Cell two = int_cell(2), x = char_cell('x'), a = str(U"a"), w = word("a");
    EXPECT_EQ(act<Slot::eval_path>(s)(&s, &two, nullptr, nullptr, nullptr, nullptr, -1, false,
                                      false, false, false)
                  ->w2,
              uint32_t('b'));
    EXPECT_EQ(act<Slot::eval_path>(s)(&s, &a, nullptr, nullptr, nullptr, nullptr, -1, false, false,
                                      false, false)
                  ->w2,
              uint32_t('b'));
    act<Slot::eval_path>(s)(&s, &two, &x, nullptr, nullptr, nullptr, -1, false, false, false,
                            false);
    EXPECT_EQ(text(s), U"axc");
    EXPECT_EQ(error_of([&] {
                  act<Slot::eval_path>(s)(&s, &w, nullptr, nullptr, nullptr, nullptr, -1, false,
                                          false, false, false);
              }),
              script(err::script::invalid_path));
}

} // namespace
