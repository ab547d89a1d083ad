#include <gtest/gtest.h>

#include <vector>

#include "runtime/array.h"
#include "runtime/types.h"
#include "tests/unit/fresh_globals.h"

using namespace kiv;

namespace {

class ArrayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::reset_globals();
        test::collect_under_stress();
    }
    void TearDown() override { test::release_globals(); }

    // Arrays are owned by the modules that make them; a test keeps its own
    // as the bytes of a binary! value.
    static NodeId kept(NodeId node) {
        test::hold(Cell{TYPE_BINARY, 0, node, 0});
        return node;
    }
    static NodeId ints(const std::vector<int32_t>& values) {
        NodeId node = kept(array::make(0, 4));
        for (int32_t v : values) array::append_int(node, v);
        return node;
    }
    static std::vector<int32_t> items(NodeId node) {
        std::vector<int32_t> out;
        for (uint32_t i = 1; i <= array::length(node); ++i) out.push_back(array::pick_int(node, i));
        return out;
    }
};

} // namespace

TEST_F(ArrayTest, FindGivesTheByteOffsetOfTheFirstMatch) {
    EXPECT_EQ(array::find_int(ints({}), 7), -1);
    NodeId a = ints({5, 7, 7});
    EXPECT_EQ(array::find_int(a, 7), 4);
    EXPECT_EQ(array::find_ptr(a, 5), 0);
    EXPECT_EQ(array::find_int(a, 9), -1);
}

TEST_F(ArrayTest, RemoveInsertAndPoke) {
    NodeId a = ints({5, 7, 9});
    array::remove_range(a, 0, 4);
    EXPECT_EQ(items(a), (std::vector<int32_t>{7, 9}));
    array::insert_int(a, 8, 1);
    array::insert_int(a, 10, 3);
    EXPECT_EQ(items(a), (std::vector<int32_t>{7, 8, 9, 10}));
    array::poke_int(a, 2, -8);
    array::remove_ptr(a, 9);
    array::remove_ptr(a, 99);
    EXPECT_EQ(items(a), (std::vector<int32_t>{7, -8, 10}));
    array::set_length(a, 2);
    EXPECT_EQ(items(a), (std::vector<int32_t>{7}));
    array::clear(a);
    EXPECT_EQ(array::length(a), 0u);
}

TEST_F(ArrayTest, AppendGrowsAndKeepsEveryItem) {
    NodeId a = kept(array::make(0, 4));
    NodeId b = kept(array::make(0, 1));
    for (int32_t i = 0; i < 5000; ++i) {
        array::append_int32(a, i * 3);
        array::append_byte(b, uint8_t(i));
    }
    EXPECT_EQ(array::length(a), 5000u);
    EXPECT_EQ(array::length(b), 5000u);
    for (uint32_t i = 1; i <= 5000; i += 499) {
        EXPECT_EQ(array::pick_int(a, i), int32_t(i - 1) * 3);
        EXPECT_EQ(array::pick_byte(b, i), uint8_t(i - 1));
    }
    NodeId c = kept(array::copy(a));
    array::poke_int(a, 1, -1);
    EXPECT_EQ(array::pick_int(c, 1), 0);
    EXPECT_EQ(array::length(c), 5000u);
    const char text[] = "xyz";
    uint8_t* at = array::append_bytes(b, text, 3);
    EXPECT_EQ(at, array::data(b) + 5000);
    EXPECT_EQ(array::pick_byte(b, 5003), 'z');
}
