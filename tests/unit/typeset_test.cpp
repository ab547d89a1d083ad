#include "object_fixture.h"

#include <vector>

#include "datatypes/block.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "runtime/symbol.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

// The operation code for a frame action without arguments of its own.
int32_t current_op;

class TypesetTest : public ObjectTest {
  protected:
    static Cell of(std::vector<uint32_t> types) {
        Cell t;
        typeset::clear(t);
        for (uint32_t type : types) typeset::set_bit(t, type);
        return t;
    }
    static Cell type(uint32_t id) {
        Cell c;
        datatype::make_at(c, id);
        return c;
    }
    static Cell block_of(std::initializer_list<Cell> cells) { return blk(cells); }
    static std::string molded_only(const Cell& value) {
        Rooted<Cell> buffer(new_buffer());
        datatype::get<Slot::mold>(TYPE_TYPESET)(&value, &*buffer, true, false, false, nullptr, 1000,
                                                0);
        return text_of(*buffer);
    }
};

TEST_F(TypesetTest, BitOfEachTypeIdIsTheByteAndMaskTest) {
    Cell t = of({TYPE_INTEGER});
    EXPECT_EQ(t.w1, 0x10u << 8) << "integer! (11) is byte 1, mask 0x10";
    t = of({TYPE_DATATYPE});
    EXPECT_EQ(t.w1, 0x40u) << "datatype! (1) is byte 0, mask 0x40";
    t = of({TYPE_EVENT});
    EXPECT_EQ(t.w2, 0x02u << 16) << "event! (54) is byte 6, mask 0x02";
    Cell zero{TYPE_TYPESET, 0x80, 0, 0};
    EXPECT_TRUE(typeset::has(zero, 0));
    for (uint32_t id = 1; id < typeset::bit_count; ++id) EXPECT_FALSE(typeset::has(zero, id));
    EXPECT_FALSE(typeset::has(Cell{TYPE_TYPESET, ~0u, ~0u, ~0u}, 96));
    // Each id alone is found only by its own test; ids past the map are
    // never members, whatever the header's bits.
    for (uint32_t id = 0; id < typeset::bit_count; ++id) {
        Cell one{TYPE_TYPESET, 0, 0, 0};
        typeset::set_bit(one, id);
        for (uint32_t other = 0; other < typeset::bit_count; ++other)
            EXPECT_EQ(typeset::has(one, other), other == id) << id << " " << other;
    }
    for (uint32_t id = typeset::bit_count; id < 300; ++id)
        EXPECT_FALSE(typeset::has(Cell{~0u, ~0u, ~0u, ~0u}, id)) << id;
}

TEST_F(TypesetTest, SetOperations) {
    struct Case {
        int32_t op;
        Cell right;
        std::vector<uint32_t> want;
    } cases[] = {
        {9, of({TYPE_CHAR, TYPE_LOGIC}), {TYPE_LOGIC, TYPE_CHAR, TYPE_INTEGER}},
        {5, of({TYPE_NONE}), {TYPE_NONE, TYPE_CHAR, TYPE_INTEGER}},
        {10, of({TYPE_CHAR, TYPE_LOGIC}), {TYPE_CHAR}},
        {6, of({TYPE_INTEGER}), {TYPE_INTEGER}},
        {12, of({TYPE_CHAR, TYPE_LOGIC}), {TYPE_LOGIC, TYPE_INTEGER}},
        {7, of({TYPE_CHAR}), {TYPE_INTEGER}},
        {11, of({TYPE_CHAR, TYPE_LOGIC}), {TYPE_INTEGER}},
        {9, type(TYPE_NONE), {TYPE_NONE, TYPE_CHAR, TYPE_INTEGER}},
        {11, type(TYPE_CHAR), {TYPE_INTEGER}},
        {8, of({TYPE_NONE}), {TYPE_CHAR, TYPE_INTEGER}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        current_op = c.op;
        Cell args[2] = {of({TYPE_CHAR, TYPE_INTEGER}), c.right};
        call([] { typeset::do_bitwise(current_op); }, args);
        Cell result = args[0];
        EXPECT_EQ(cell::type_of(result), TYPE_TYPESET);
        Cell want = of(c.want);
        EXPECT_EQ(compare(result, want, 2), 0) << molded_text(result);
    }
}

TEST_F(TypesetTest, SetOperationRefusesOtherOperands) {
    Cell args[2] = {of({TYPE_CHAR}), int_cell(3)};
    auto fn = reinterpret_cast<action::FrameFn>(datatype::entry(TYPE_TYPESET, Slot::or_));
    EXPECT_EQ(error_of([&] { call(fn, args); }), script(err::script::invalid_arg));
    Cell ok[2] = {of({TYPE_CHAR}), of({TYPE_NONE})};
    call(fn, ok);
    EXPECT_EQ(molded_text(ok[0]), "make typeset! [none! char!]");
}

TEST_F(TypesetTest, FormAndMold) {
    Cell empty = of({});
    Cell two = of({TYPE_CHAR, TYPE_INTEGER});
    EXPECT_EQ(formed_text(two), "make typeset! [char! integer!]");
    EXPECT_EQ(molded_text(two), "make typeset! [char! integer!]");
    EXPECT_EQ(molded_text(empty), "make typeset! []");
    EXPECT_EQ(molded_only(two), "char! integer!");
    EXPECT_EQ(molded_only(empty), "");
    // Bits of unregistered ids and of id 0 are not listed.
    EXPECT_EQ(molded_text(Cell{TYPE_TYPESET, 0x80, 0, 0x01}), "make typeset! []");
}

TEST_F(TypesetTest, MoldStopsAtThePartLimit) {
    Cell all = of({TYPE_DATATYPE, TYPE_UNSET, TYPE_NONE, TYPE_INTEGER});
    Rooted<Cell> buffer(new_buffer());
    Cell part = int_cell(20);
    int32_t left =
        datatype::get<Slot::mold>(TYPE_TYPESET)(&all, &*buffer, false, false, false, &part, 20, 0);
    // 15 for the opening, 10 for "datatype! ": below 0, so the next is not written.
    EXPECT_EQ(text_of(*buffer), "make typeset! [datatype! ");
    EXPECT_EQ(left, -5);
}

TEST_F(TypesetTest, ComplementAndDefault) {
    Cell empty = of({});
    stack::state.top = stack::state.base = stack::state.bottom;
    Cell full = *datatype::get<Slot::complement>(TYPE_TYPESET)(&empty);
    EXPECT_EQ(full.w1 & full.w2 & full.w3, ~0u);
    // Every registered type is listed, and nothing else.
    std::string names;
    int32_t registered = 0;
    for (uint32_t id = 1; id <= datatype::highest_type(); ++id) {
        if (!datatype::name_of(id).name) continue;
        names += std::string(names.empty() ? "" : " ") + datatype::name_of(id).name;
        ++registered;
    }
    EXPECT_EQ(formed_text(full), "make typeset! [" + names + "]");
    EXPECT_EQ(typeset::count(full), registered);
    EXPECT_LT(registered, 54);

    Cell b;
    block::make_at(b, 1);
    Cell def = *typeset::make_in_default(b);
    EXPECT_FALSE(typeset::has(def, TYPE_UNSET));
    for (uint32_t id : {0u, 1u, 3u, 54u, 55u, 95u}) EXPECT_TRUE(typeset::has(def, id)) << id;
    EXPECT_EQ(block::rs_length(b), 1);
}

TEST_F(TypesetTest, CompareOnlyByEqualityOrCount) {
    Cell a = of({TYPE_CHAR}), b = of({TYPE_CHAR}), c = of({TYPE_CHAR, TYPE_NONE});
    Cell hidden = a;
    hidden.w3 = 1; // differs in a bit no type names
    for (int32_t op : {0, 1, 2, 9, 12}) {
        EXPECT_EQ(compare(a, b, op), 0);
        EXPECT_EQ(compare(a, c, op), 1);
        EXPECT_EQ(compare(a, hidden, op), 1);
    }
    EXPECT_EQ(compare(a, c, 7), -1);
    EXPECT_EQ(compare(c, a, 8), 1);
    for (int32_t op : {3, 4, 5, 6}) EXPECT_EQ(compare(a, c, op), -2);
    EXPECT_EQ(compare(a, int_cell(1), 0), -2);
}

TEST_F(TypesetTest, MakeFromBlocksAndTypesets) {
    auto make = datatype::get<Slot::make>(TYPE_TYPESET);
    Cell proto = type(TYPE_TYPESET);
    Cell spec = block_of({type(TYPE_CHAR), of({TYPE_NONE, TYPE_LOGIC})});
    EXPECT_EQ(molded_text(*make(&proto, &spec, TYPE_TYPESET)),
              "make typeset! [none! logic! char!]");
    Cell same = of({TYPE_INTEGER});
    EXPECT_EQ(compare(*make(&proto, &same, TYPE_TYPESET), same, 2), 0);
    Cell bad = block_of({type(TYPE_CHAR), int_cell(1)});
    EXPECT_EQ(error_of([&] { make(&proto, &bad, TYPE_TYPESET); }),
              script(err::script::invalid_arg));
    Cell number = int_cell(1);
    EXPECT_EQ(error_of([&] { make(&proto, &number, TYPE_TYPESET); }),
              script(err::script::bad_to_arg));
}

TEST_F(TypesetTest, TypeBlocksOfFunctionSpecs) {
    Cell target;
    block::make_at(target, 1);
    Cell spec = block_of({type(TYPE_CHAR), block_of({}), of({TYPE_INTEGER})});
    Cell made = *typeset::make_in_from_block(target, spec);
    EXPECT_EQ(molded_text(made), "make typeset! [char! integer!]");
    Cell bad = block_of({int_cell(5)});
    EXPECT_EQ(error_of([&] { typeset::make_in_from_block(target, bad); }),
              script(err::script::invalid_type_spec));
}

TEST_F(TypesetTest, WordsStandForTheirValues) {
    Cell numbers = w("numbers");
    word::set(numbers, of({TYPE_INTEGER}));
    Cell kind = w("kind");
    word::set(kind, type(TYPE_CHAR));
    Cell named = w("named");
    word::set(named, w("anything"));

    Cell target = blk({});
    Cell spec = block_of({numbers, kind, named});
    EXPECT_EQ(molded_text(*typeset::make_in_from_block(target, spec)),
              "make typeset! [char! integer! object!]");
    auto make = datatype::get<Slot::make>(TYPE_TYPESET);
    Cell proto = type(TYPE_TYPESET);
    Cell from_words = block_of({numbers, kind});
    EXPECT_EQ(molded_text(*make(&proto, &from_words, TYPE_TYPESET)),
              "make typeset! [char! integer!]");

    Cell unset_word = block_of({w("never-set")});
    EXPECT_EQ(error_of([&] { make(&proto, &unset_word, TYPE_TYPESET); }),
              script(err::script::no_value));
    EXPECT_EQ(error_of([&] { typeset::make_in_from_block(target, unset_word); }),
              script(err::script::no_value));
}

TEST_F(TypesetTest, ToBlockListsTypeNameWords) {
    Rooted<Cell> result;
    typeset::to_block(of({TYPE_INTEGER, TYPE_NONE}), *result);
    ASSERT_EQ(block::rs_length(*result), 2);
    Cell words[2] = {block::rs_head(*result)[0], block::rs_head(*result)[1]};
    EXPECT_EQ(cell::type_of(words[0]), TYPE_WORD);
    EXPECT_EQ(words[0].w1, context::global) << "the global words of the names";
    EXPECT_EQ(std::string(symbol::c_name(words[0].w2)), "none!");
    EXPECT_EQ(std::string(symbol::c_name(words[1].w2)), "integer!");
}

TEST_F(TypesetTest, FindTakesDatatypesOnly) {
    auto find = datatype::get<Slot::find>(TYPE_TYPESET);
    auto run = [&](Cell set, Cell value) {
        Cell result = set;
        find(&result, &value, nullptr, false, false, false, false, nullptr, nullptr, false, false,
             false, false);
        return result;
    };
    EXPECT_EQ(run(of({TYPE_CHAR}), type(TYPE_CHAR)).w1, 1u);
    EXPECT_EQ(run(of({TYPE_CHAR}), type(TYPE_NONE)).w1, 0u);
    EXPECT_EQ(error_of([&] { run(of({}), int_cell(1)); }), script(err::script::invalid_arg));
}

} // namespace

TEST_F(TypesetTest, DatatypeOfUnbuiltTypeShowsItsName) {
    ASSERT_EQ(datatype::name_of(TYPE_EVENT).name, nullptr) << "event! is not built";
    Cell t = type(TYPE_EVENT);
    Rooted<Cell> molded(new_buffer());
    datatype::get<Slot::mold>(TYPE_DATATYPE)(&t, &*molded, false, false, false, nullptr, 1000, 0);
    EXPECT_EQ(text_of(*molded), "event!");
    Rooted<Cell> formed(new_buffer());
    datatype::get<Slot::form>(TYPE_DATATYPE)(&t, &*formed, nullptr, 1000);
    EXPECT_EQ(text_of(*formed), "event");
}
