#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "runtime/errors.h"
#include "runtime/throw.h"
#include "tests/unit/text_fixture.h"

using namespace kiv;
using kiv::test::raises;
using kiv::test::TextTest;

namespace {
class CaseTest : public TextTest {};
} // namespace

// Expected values are the simple case mappings of UnicodeData.txt.
TEST_F(CaseTest, SimpleMappingAcrossThePlanes) {
    struct Case {
        uint32_t cp, upper, lower;
    };
    const Case cases[] = {
        {0x61, 0x41, 0x61},       // a
        {0x41, 0x41, 0x61},       // A
        {0xDF, 0xDF, 0xDF},       // sharp s: no simple upper case
        {0xE9, 0xC9, 0xE9},       // e acute
        {0xFF, 0x178, 0xFF},      // y diaeresis leaves Latin-1
        {0x130, 0x130, 0x69},     // I with dot above
        {0x131, 0x49, 0x131},     // dotless i
        {0x1C5, 0x1C4, 0x1C6},    // title-case digraph
        {0x3C2, 0x3A3, 0x3C2},    // final sigma
        {0x10D0, 0x1C90, 0x10D0}, // Georgian
        {0x2C2F, 0x2C2F, 0x2C5F}, // Glagolitic
        {0xFF5A, 0xFF3A, 0xFF5A}, // full-width z
        {0x10400, 0x10400, 0x10428}, {0x10428, 0x10400, 0x10428}, {0x1E921, 0x1E921, 0x1E943},
        {0x1E943, 0x1E921, 0x1E943}, {0x1F600, 0x1F600, 0x1F600}, {0x10FFFF, 0x10FFFF, 0x10FFFF},
        {0x5E, 0x5E, 0x5E},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(unicode::change_case_char(c.cp, unicode::case_mode::upper), c.upper)
            << std::hex << c.cp;
        EXPECT_EQ(unicode::change_case_char(c.cp, unicode::case_mode::lower), c.lower)
            << std::hex << c.cp;
    }
}

TEST_F(CaseTest, PairTablesAreSortedWithTheirEnds) {
    struct Case {
        const WordTable& table;
        std::array<uint32_t, 4> ends; // first pair, last pair
    };
    const Case cases[] = {{unicode::upper_bmp, {0x61, 0x41, 0xFF5A, 0xFF3A}},
                          {unicode::lower_bmp, {0x41, 0x61, 0xFF3A, 0xFF5A}},
                          {unicode::upper_astral, {0x10428, 0x10400, 0x1E943, 0x1E921}},
                          {unicode::lower_astral, {0x10400, 0x10428, 0x1E921, 0x1E943}}};
    for (const Case& c : cases) {
        const uint32_t* w = c.table.words;
        uint32_t n = c.table.count;
        ASSERT_EQ(n % 2, 0u);
        EXPECT_EQ((std::array<uint32_t, 4>{w[0], w[1], w[n - 2], w[n - 1]}), c.ends);
        for (uint32_t i = 2; i < n; i += 2) ASSERT_LT(w[i - 2], w[i]);
    }
    EXPECT_EQ(unicode::upper_astral.count, unicode::lower_astral.count);
}

TEST_F(CaseTest, GeneratorReproducesTheCommittedTables) {
    const char* root = std::getenv("KIV_SOURCE_DIR");
    if (!root) GTEST_SKIP() << "KIV_SOURCE_DIR not set";
    std::string dir = root;
    // A name of this process's own: runs from several trees may overlap.
    std::string out = testing::TempDir() + "case_tables." + std::to_string(getpid()) + ".cpp";
    std::string cmd = KIV_PYTHON " " + dir + "/tools/gen-case-tables.py > " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    auto slurp = [](const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    };
    EXPECT_EQ(slurp(out), slurp(dir + "/runtime/case_tables.cpp"));
    std::remove(out.c_str());
}

TEST_F(CaseTest, ChangeCaseOfStringsWidensAndHonoursPart) {
    Cell s = text("ab\u00FFc");
    string::change_case(s, nullptr, unicode::case_mode::upper);
    EXPECT_EQ(chars(s), U"AB\u0178C");
    EXPECT_EQ(unit_of(s), 2u);

    Cell t = text("abcd");
    t.w1 = 1;
    for (int32_t n : {0, -3}) {
        Cell count{TYPE_INTEGER, 0, uint32_t(n), 0};
        string::change_case(t, &count, unicode::case_mode::upper);
        EXPECT_EQ(chars(t), U"bcd");
    }
    Cell two{TYPE_INTEGER, 0, 2, 0};
    string::change_case(t, &two, unicode::case_mode::upper);
    EXPECT_EQ(chars(t), U"BCd");
    Cell position = t;
    position.w1 = 4;
    string::change_case(t, &position, unicode::case_mode::lower);
    EXPECT_EQ(chars(t), U"bcd");

    Cell c{TYPE_CHAR, 0, 0x10428, 0};
    string::change_case(c, nullptr, unicode::case_mode::upper);
    EXPECT_EQ(c.w2, 0x10400u);

    Cell other = text("xyz");
    EXPECT_TRUE(raises(runtime::Category::script, err::script::invalid_refine_arg,
                       [&] { string::change_case(t, &other, unicode::case_mode::upper); }));
}

TEST_F(CaseTest, CharacterWidth) {
    struct Case {
        uint32_t cp;
        int width, cjk;
    };
    const Case cases[] = {
        {0, 0, 0},       {0x07, 1, 1},    {0x41, 1, 1},     {0x85, 1, 1},     {0xA1, 1, 2},
        {0xAD, 1, 2},    {0x300, 0, 0},   {0x36F, 0, 0},    {0x1160, 0, 0},   {0x200B, 0, 0},
        {0x1100, 2, 2},  {0x4E00, 2, 2},  {0xFF21, 2, 2},   {0x1F600, 2, 2},  {0x3FFFD, 2, 2},
        {0xE0100, 0, 0}, {0xE01EF, 0, 0}, {0x10FFFD, 1, 2}, {0x10FFFF, 1, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wcwidth::char_width(c.cp), c.width) << std::hex << c.cp;
        EXPECT_EQ(wcwidth::char_width_cjk(c.cp), c.cjk) << std::hex << c.cp;
    }
    const uint32_t table[] = {0x10, 0x12, 0x20, 0x20};
    for (uint32_t cp : {0x10u, 0x11u, 0x12u, 0x20u}) EXPECT_TRUE(wcwidth::in_table(cp, table, 4));
    for (uint32_t cp : {0x0Fu, 0x13u, 0x1Fu, 0x21u}) EXPECT_FALSE(wcwidth::in_table(cp, table, 4));
}
