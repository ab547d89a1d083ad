// Tracked heap, protected regions, the command line and the OS wrappers.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>

#include "platform/os.h"
#include "runtime/case.h"
#include "runtime/entry.h"
#include "runtime/heap.h"
#include "runtime/throw.h"
#include "runtime/trig.h"

using namespace kiv;

namespace {

// These tests free the whole tracked heap. The case tables are the heap
// blocks that outlive a test (every other owner rebuilds its blocks in its
// own fixture), so they are released first rather than left dangling.
class TrackedHeap : public ::testing::Test {
  protected:
    void SetUp() override { unicode::release_case_tables(); }
};

} // namespace

TEST_F(TrackedHeap, ResizeEdgesAndForeignPointers) {
    heap::free_all();
    void* p = heap::resize(nullptr, 24);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(heap::block_count(), 1u);
    EXPECT_EQ(heap::resize(p, 0), nullptr);
    EXPECT_EQ(heap::block_count(), 0u);

    // Growing keeps the content and the list's links around the moved block.
    auto* a = static_cast<char*>(heap::allocate(8));
    auto* b = static_cast<char*>(heap::allocate_zeroed(8));
    auto* c = static_cast<char*>(heap::allocate(8));
    std::strcpy(b, "kept");
    b = static_cast<char*>(heap::resize(b, 1 << 20));
    EXPECT_STREQ(b, "kept");
    heap::free(a);
    heap::free(c);
    EXPECT_EQ(heap::block_count(), 1u);

    int local = 0;
    heap::free(&local);
    heap::free(b + 16);
    EXPECT_EQ(heap::block_count(), 1u);
    heap::free(b);
    EXPECT_EQ(heap::block_count(), 0u);
}

TEST_F(TrackedHeap, FreeAllEmptiesTheList) {
    for (int i = 0; i < 5; ++i) heap::allocate(100);
    heap::free_all();
    EXPECT_EQ(heap::block_count(), 0u);
    void* p = heap::allocate(1);
    EXPECT_EQ(heap::block_count(), 1u);
    heap::free(p);
}

TEST(ProtectedRegion, LoopRegionHandlesBreakAndContinueOnly) {
    namespace code = runtime::code;
    // A loop's region (filter break) sees every code at or below break; its
    // handler keeps break and continue and throws the others on, so return,
    // exit, throw and the quit request leave the loop. Error is above the
    // filter and never reaches the handler.
    struct Case {
        uint32_t thrown;
        bool seen, handled;
    };
    const Case cases[] = {
        {code::brk, true, true},     {code::cont, true, true},  {code::ret, true, false},
        {code::exit, true, false},   {code::thrw, true, false}, {code::quit, true, false},
        {code::error, false, false},
    };
    for (const Case& c : cases) {
        bool seen = false, escaped = false;
        try {
            runtime::protected_region(
                code::brk, [&] { runtime::throw_code(c.thrown); },
                [&](uint32_t got) {
                    seen = true;
                    EXPECT_EQ(runtime::record.code, got);
                    if (got != code::brk && got != code::cont) runtime::throw_code(got);
                });
        } catch (const runtime::Throw& t) {
            escaped = true;
            EXPECT_EQ(t.code, c.thrown);
        }
        EXPECT_EQ(seen, c.seen) << std::hex << c.thrown;
        EXPECT_EQ(escaped, !c.handled) << std::hex << c.thrown;
        if (c.handled) {
            EXPECT_EQ(runtime::record.code, 0u);
        }
    }
    for (uint32_t language :
         {code::error, code::brk, code::cont, code::ret, code::exit, code::thrw})
        EXPECT_LT(code::quit, language);
}

TEST(ProtectedRegion, ContinueFilterLetsBreakPassToTheOuterRegion) {
    namespace code = runtime::code;
    uint32_t inner = 0, outer = 0;
    runtime::protected_region(
        code::error,
        [&] {
            runtime::protected_region(
                code::cont, [] { runtime::throw_code(code::brk); }, [&](uint32_t c) { inner = c; });
        },
        [&](uint32_t c) { outer = c; });
    EXPECT_EQ(inner, 0u);
    EXPECT_EQ(outer, code::brk);
}

TEST(CommandLine, CopiesArgumentsIntoTheTrackedHeap) {
    char first[] = "kiv", second[] = "script.kiv", third[] = "é";
    char* argv[] = {first, second, third, nullptr};
    size_t before = heap::block_count();
    runtime::init_command_line(3, argv);
    ASSERT_EQ(runtime::record.argc, 3);
    EXPECT_STREQ(runtime::record.argv[1], "script.kiv");
    EXPECT_STREQ(runtime::record.argv[2], "é");
    EXPECT_EQ(runtime::record.argv[3], nullptr);
    EXPECT_NE(runtime::record.argv[1], second);
    EXPECT_EQ(heap::block_count(), before + 4);

    runtime::init_command_line(0, nullptr);
    EXPECT_EQ(runtime::record.argc, 0);
    EXPECT_EQ(runtime::record.argv[0], nullptr);
}

TEST(Clock, SleepNeverHangsAndTheClockReadsNow) {
    for (double seconds : {-5.0, 0.0, 1e-9, std::nan("")}) {
        auto start = std::chrono::steady_clock::now();
        os::sleep(seconds);
        // Well below the five seconds a sleep of -5 would take, with room
        // for a loaded machine.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
    os::Clock clock = os::read_clock();
    EXPECT_GT(clock.seconds, 1700000000); // after November 2023
    EXPECT_GE(clock.nanoseconds, 0);
    EXPECT_LT(clock.nanoseconds, 1000000000);
    EXPECT_LE(std::abs(clock.offset), 14 * 3600);
}

TEST(Environment, SetGetAndRemove) {
    EXPECT_TRUE(os::set_env("KIV_TEST_VARIABLE", "é=1"));
    EXPECT_EQ(os::get_env("KIV_TEST_VARIABLE"), "é=1");
    EXPECT_TRUE(os::set_env("KIV_TEST_VARIABLE", nullptr));
    EXPECT_EQ(os::get_env("KIV_TEST_VARIABLE"), std::nullopt);
    EXPECT_FALSE(os::set_env("BAD=NAME", "x"));
}

TEST(CurrentDir, RoundTrip) {
    std::string start = os::get_current_dir();
    ASSERT_FALSE(start.empty());
    EXPECT_TRUE(os::set_current_dir("/tmp"));
    EXPECT_EQ(os::get_current_dir(), "/tmp");
    EXPECT_FALSE(os::set_current_dir("/no/such/dir"));
    EXPECT_TRUE(os::set_current_dir(start.c_str()));
}

TEST(Trig, NormalizeDegrees) {
    constexpr double r = std::numbers::pi / 180;
    struct Case {
        double angle;
        int mode;
        double degrees;
    };
    const Case cases[] = {
        {270, 2, -90}, {270, 0, -90}, {270, 1, -90}, {120, 2, 60}, {-120, 2, -60},
        {120, 0, -60}, {-120, 0, 60}, {720, 0, 0},   {45, 0, 45},  {-190, 1, 170},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(trig::normalize_degrees(c.angle, c.mode), c.degrees * r)
            << c.angle << " mode " << c.mode;
}
