#include <gtest/gtest.h>

#include "runtime/int_map.h"

using namespace kiv;

TEST(IntMap, SizingAndGrowth) {
    int_map::Map* m = int_map::new_(0);
    EXPECT_EQ(m->n_buckets, 8u);
    EXPECT_EQ(m->n_upper, 6u);
    for (uint32_t k = 1; k <= 6; ++k) EXPECT_EQ(int_map::put(m, k * 8, k), 0);
    EXPECT_EQ(m->n_buckets, 8u);
    int_map::put(m, 100, 7);
    EXPECT_EQ(m->n_buckets, 16u);
    for (uint32_t k = 1; k <= 6; ++k) EXPECT_EQ(*int_map::get(m, k * 8), k);
    EXPECT_EQ(*int_map::get(m, 100), 7u);
    int_map::destroy(m);
    int_map::destroy(nullptr);
}

TEST(IntMap, PutTwiceKeepsOneEntryWithTheLastValue) {
    int_map::Map* m = int_map::new_(4);
    EXPECT_EQ(int_map::put(m, 0xDEADBEEF, 1), 0);
    EXPECT_EQ(int_map::put(m, 0xDEADBEEF, 2), 1);
    EXPECT_EQ(m->size, 1u);
    EXPECT_EQ(*int_map::get(m, 0xDEADBEEF), 2u);
    EXPECT_EQ(int_map::get(m, 0xDEADBEEE), nullptr);
    EXPECT_EQ(int_map::find(m, 0xDEADBEEE), -1);
    int_map::destroy(m);
}

TEST(IntMap, RemoveThenPutAgainAndManyKeys) {
    int_map::Map* m = int_map::new_(0);
    for (uint32_t k = 0; k < 5000; ++k) int_map::put(m, k * 4096, k);
    EXPECT_EQ(m->size, 5000u);
    for (uint32_t k = 0; k < 5000; k += 2) EXPECT_EQ(int_map::remove(m, k * 4096), 1);
    EXPECT_EQ(int_map::remove(m, 0), 0);
    EXPECT_EQ(m->size, 2500u);
    for (uint32_t k = 0; k < 5000; ++k) {
        uint32_t* v = int_map::get(m, k * 4096);
        if (k % 2) {
            ASSERT_NE(v, nullptr);
            EXPECT_EQ(*v, k);
        } else {
            EXPECT_EQ(v, nullptr);
        }
    }
    EXPECT_EQ(int_map::put(m, 0, 9), 0);
    EXPECT_EQ(m->size, 2501u);
    EXPECT_EQ(*int_map::get(m, 0), 9u);
    int_map::destroy(m);
}
