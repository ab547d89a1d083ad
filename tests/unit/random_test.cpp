#include <gtest/gtest.h>

#include "runtime/random.h"

using namespace kiv;

namespace {

// The published tempering of MT19937 uses logical shifts; for a
// non-negative state word the arithmetic shifts agree with it.
uint32_t temper(uint32_t y) {
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}

} // namespace

TEST(Random, FirstDrawTempersTheSeedItself) {
    random::seed(5489);
    EXPECT_EQ(uint32_t(random::rand()), temper(5489));
}

TEST(Random, DrawsAreNeverNegative) {
    random::init();
    for (int i = 0; i < 5000; ++i) ASSERT_GE(random::rand(), 0);
}

TEST(Random, SameSeedSameSequence) {
    random::seed(42);
    std::vector<int32_t> a;
    for (int i = 0; i < 1300; ++i) a.push_back(random::rand());
    random::seed(42);
    for (int i = 0; i < 1300; ++i) ASSERT_EQ(random::rand(), a[size_t(i)]);
}

TEST(Random, BoundedDrawsStayInRange) {
    random::init();
    struct Case {
        int32_t n, low, high;
    };
    for (Case c : {Case{1, 0, 0}, Case{-1, 0, 0}, Case{3, 0, 2}, Case{-6, -5, 0},
                   Case{INT32_MIN, INT32_MIN, -1}, Case{0, 0, 0}}) {
        for (bool secure : {false, true}) {
            for (int i = 0; i < 200; ++i) {
                int32_t r = random::int_(secure, c.n);
                ASSERT_GE(r, c.low) << c.n;
                ASSERT_LE(r, c.high) << c.n;
            }
        }
    }
}

TEST(Random, BoundedDrawsCoverEveryValue) {
    random::init();
    std::array<int, 6> seen{};
    for (int i = 0; i < 600; ++i) seen[size_t(random::int_(false, 6))]++;
    for (int count : seen) EXPECT_GT(count, 50);
}
