#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "datatypes/datatype.h"
#include "table_fixture.h"

using namespace kiv;
using kiv::testing::TableTest;

namespace {

uint32_t symbol_count() {
    return memory::buffer_of(symbol_table::block)->length();
}

} // namespace

TEST_F(TableTest, CaseVariantsAliasTheFirstSpelling) {
    uint32_t foo = symbol::intern("foo");
    uint32_t Foo = symbol::intern("Foo");
    uint32_t FOO = symbol::intern("FOO");
    EXPECT_EQ(foo, 1u);
    EXPECT_EQ(Foo, 2u);
    EXPECT_EQ(FOO, 3u);
    EXPECT_EQ(symbol::alias(foo), -1);
    EXPECT_EQ(symbol::alias(Foo), 1);
    EXPECT_EQ(symbol::alias(FOO), 1); // never the second spelling
    for (uint32_t id : {foo, Foo, FOO}) EXPECT_EQ(symbol::resolve(id), foo);
    EXPECT_EQ(symbol::intern("Foo"), Foo);
    EXPECT_EQ(symbol::intern_bytes(reinterpret_cast<const uint8_t*>("FOOBAR"), 3), FOO);
    EXPECT_EQ(symbol_count(), 3u);
}

TEST_F(TableTest, InternNocaseReturnsAnyCaseOrMakesCanonical) {
    uint32_t print = symbol::intern("print");
    EXPECT_EQ(symbol::intern_nocase("PRINT"), print);
    EXPECT_EQ(symbol_count(), 1u);
    uint32_t Print = symbol::intern("Print");
    EXPECT_EQ(symbol::resolve(Print), print);
    uint32_t probe = symbol::intern_nocase("Probe");
    EXPECT_EQ(probe, 3u);
    EXPECT_EQ(symbol::alias(probe), -1);
}

TEST_F(TableTest, CaseFoldingIsAsciiOnly) {
    uint32_t lower = symbol::intern("\xC3\xA9t\xC3\xA9"); // été
    uint32_t upper = symbol::intern("\xC3\x89T\xC3\x89"); // ÉTÉ
    uint32_t mixed = symbol::intern("\xC3\xA9T\xC3\xA9"); // éTé
    EXPECT_EQ(symbol::alias(upper), -1);
    EXPECT_EQ(symbol::resolve(mixed), lower);
}

TEST_F(TableTest, SymbolTableGrowsAndKeepsEveryName) {
    const uint32_t count = 13000; // past the 12615 load limit of 16384 buckets
    for (uint32_t i = 1; i <= count; ++i)
        ASSERT_EQ(symbol::intern(("name-" + std::to_string(i)).c_str()), i);
    EXPECT_EQ(hashtable::record_of(symbol_table::table).n_buckets, 16384u * 32);
    for (uint32_t i = 1; i <= count; i += 97) {
        std::string name = "NAME-" + std::to_string(i);
        EXPECT_EQ(symbol::intern_nocase(name.c_str()), i);
        EXPECT_STREQ(symbol::c_name(i), ("name-" + std::to_string(i)).c_str());
    }
    EXPECT_EQ(symbol_count(), count);
}

TEST_F(TableTest, CNameOfAFullBufferIsTerminated) {
    uint32_t id = symbol::intern("abcdefghijklmnop");
    NodeId full = memory::alloc_bytes(16);
    Buffer* b = memory::buffer_of(full);
    std::memcpy(b->head, "abcdefghijklmnop", 16);
    b->tail = b->data_end();
    symbol::get(id)->w3 = full;
    EXPECT_STREQ(symbol::c_name(id), "abcdefghijklmnop");
    EXPECT_EQ(memory::buffer_of(full)->length(), 16u);
}

TEST_F(TableTest, NameStringsAreMadeOnceInTheNarrowestUnit) {
    struct Case {
        const char* utf8;
        uint32_t unit;
        std::vector<uint32_t> code_points;
    };
    const Case cases[] = {
        {"abc", 1, {'a', 'b', 'c'}},
        {"caf\xC3\xA9", 1, {'c', 'a', 'f', 0xE9}},
        {"\xE2\x82\xAC"
         "5",
         2,
         {0x20AC, '5'}},
        {"x\xF0\x9F\x98\x80", 4, {'x', 0x1F600}},
    };
    for (const Case& c : cases) {
        uint32_t id = symbol::intern(c.utf8);
        NodeId node = symbol::get_string(symbol::get(id));
        EXPECT_EQ(symbol::get_string(symbol::get(id)), node);
        Buffer* b = memory::buffer_of(node);
        ASSERT_EQ(b->unit(), c.unit) << c.utf8;
        ASSERT_EQ(b->length(), c.code_points.size()) << c.utf8;
        for (uint32_t i = 0; i < b->length(); ++i)
            EXPECT_EQ(kiv::testing::code_point(b, i), c.code_points[i]);
    }
}

TEST_F(TableTest, InternStringTakesTheTextFromTheHead) {
    Cell s = string(U"Hello\u20AC", 2);
    s.w1 = 1;
    uint32_t ell = symbol::intern_string(s, 3);
    EXPECT_STREQ(symbol::c_name(ell), "ell");
    EXPECT_STREQ(symbol::c_name(symbol::intern_string(s, -1)), "ello\xE2\x82\xAC");
}

TEST_F(TableTest, CompareGoesThroughStringComparison) {
    Cell a = *symbol::get(symbol::intern("alpha"));
    Cell b = *symbol::get(symbol::intern("ALPHA"));
    Cell copy = b;
    copy.w2 = 0; // a copy without its string yet
    EXPECT_EQ(symbol::compare(&a, &copy, 0), 0);
    EXPECT_NE(symbol::compare(&a, &b, 2), 0);
}

TEST_F(TableTest, FindWordInAContext) {
    Cell blk = block_of({});
    NodeId words = blk.w2;
    NodeId table = new_table(4, &blk, hashtable::word, 0);
    const NodeId context = block_of({}).w2; // a node the new words are bound to
    uint32_t print = symbol::intern("print");
    uint32_t Print = symbol::intern("Print");
    int32_t index = -5;
    EXPECT_EQ(hashtable::find_word(table, print, false, 0, &index), -1);
    EXPECT_EQ(hashtable::find_word(table, print, false, context, &index), -1);
    EXPECT_EQ(index, 0);
    Cell w = hashtable::cells_of(words)[0];
    EXPECT_EQ(w.header, uint32_t(TYPE_WORD));
    EXPECT_EQ(w.w1, context);
    EXPECT_EQ(w.w2, print);
    EXPECT_EQ(w.w3, 0u);
    EXPECT_EQ(hashtable::find_word(table, print, false, 0, nullptr), 0);
    EXPECT_EQ(hashtable::find_word(table, Print, true, 0, nullptr), 0);
    EXPECT_EQ(hashtable::find_word(table, Print, false, 0, nullptr), -1);
    // Many words: the table grows and keeps them in order of addition.
    for (uint32_t i = 0; i < 200; ++i) {
        uint32_t id = symbol::intern(("w" + std::to_string(i)).c_str());
        hashtable::find_word(table, id, false, context, &index);
        EXPECT_EQ(index, int32_t(i + 1));
    }
    EXPECT_EQ(hashtable::find_word(table, symbol::intern("W150"), true, 0, nullptr), 151);
    EXPECT_EQ(hashtable::record_of(table).size, 201u);
}

TEST_F(TableTest, SymbolRegistersOnlyCompare) {
    datatype::init();
    symbol::init();
    EXPECT_STREQ(datatype::name_of(TYPE_SYMBOL).name, "symbol!");
    EXPECT_EQ(datatype::get<Slot::compare>(TYPE_SYMBOL), &symbol::compare);
    for (Slot slot : {Slot::make, Slot::form, Slot::mold, Slot::find, Slot::write})
        EXPECT_EQ(datatype::entry(TYPE_SYMBOL, slot), nullptr);
    datatype::release();
}
