#include <gtest/gtest.h>

#include "flow_fixture.h"

namespace kiv::testing {
namespace {

using Lines = std::vector<std::pair<std::string, int>>;

class PrintTest : public FlowTest {
  protected:
    uint32_t work_length() { return memory::buffer_of(natives::print_work_block().w2)->length(); }
};

TEST_F(PrintTest, WhatTheHooksReceive) {
    struct PrintCase {
        const char* source;
        Lines lines;
    };
    const PrintCase cases[] = {
        {"print [1 + 1 \"a\"]", {{"2 a", 1}}},
        {"prin \"abc\"", {{"abc", 0}}},
        {"print 'word", {{"word", 1}}},
        {"print 12", {{"12", 1}}},
        {"print []", {{"", 1}}},
        {"print [1 (print [4 5] 2) 3]", {{"4 5", 1}, {"1 2 3", 1}}},
        {"print [\"a\" (prin \"x\" \"b\")]", {{"x", 0}, {"a b", 1}}},
        {"print [1 (print [2 (print [3] 9) 4] 5) 6]", {{"3", 1}, {"2 9 4", 1}, {"1 5 6", 1}}},
        {"loop 2 [print [1 2]]", {{"1 2", 1}, {"1 2", 1}}},
    };
    for (const PrintCase& c : cases) {
        printed().clear();
        EXPECT_EQ(run(c.source), "unset") << c.source;
        EXPECT_EQ(printed(), c.lines) << c.source;
        EXPECT_EQ(work_length(), 0u) << c.source;
    }
}

TEST_F(PrintTest, LastNewLineFlag) {
    run("print 1");
    EXPECT_EQ(natives::last_new_line, 1);
    run("prin 1");
    EXPECT_EQ(natives::last_new_line, 0);
}

TEST_F(PrintTest, LeavingAPrintEarlyPrintsNothingAndEmptiesTheWorkBlock) {
    run("f: make function! [[] [print [1 (return 5)] 6]]");
    EXPECT_EQ(error_of("print [1 2 divide 1 0]"), int32_t(err::math::zero_divide));
    EXPECT_EQ(run("loop 1 [print [1 break 2]] 7"), "7");
    EXPECT_EQ(run("f"), "5");
    EXPECT_EQ(run("catch [print [1 2 (print [3 throw 4])]]"), "4");
    EXPECT_TRUE(printed().empty());
    EXPECT_EQ(work_length(), 0u);
    run("print [1]");
    EXPECT_EQ(printed(), (Lines{{"1", 1}}));
}

TEST_F(PrintTest, WorkBlockNeverGrows) {
    Buffer* before = memory::buffer_of(natives::print_work_block().w2);
    uint32_t size = before->size;
    for (int i = 0; i < 200; ++i) run("print [1 2 3 4 5 6 7 8 9 10 (prin [11 12 13]) 14]");
    EXPECT_EQ(printed().size(), 400u);
    EXPECT_EQ(work_length(), 0u);
    EXPECT_EQ(memory::buffer_of(natives::print_work_block().w2)->size, size);
}

TEST_F(PrintTest, WithoutHooksPrintStillAnswersUnset) {
    output_hooks::init();
    EXPECT_EQ(run("print [1 2]"), "unset");
    EXPECT_TRUE(printed().empty());
}

} // namespace
} // namespace kiv::testing
