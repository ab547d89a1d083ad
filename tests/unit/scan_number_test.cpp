#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "runtime/scan_number.h"

using namespace kiv;
using lexer::scan_invalid;
using lexer::scan_ok;
using lexer::scan_overflow;

namespace {

// A text in string units of 1, 2 or 4 bytes, as string values store it.
struct Units {
    std::vector<uint8_t> bytes;
    int32_t count;
    int32_t unit;
    Units(const std::u32string& text, int32_t unit_size)
        : bytes(text.size() * size_t(unit_size)), count(int32_t(text.size())), unit(unit_size) {
        for (size_t i = 0; i < text.size(); ++i) {
            uint32_t c = text[i];
            std::memcpy(bytes.data() + i * size_t(unit), &c, size_t(unit)); // little-endian
        }
    }
};

std::u32string wide(const char* text) {
    std::u32string out;
    for (; *text; ++text) out += char32_t(uint8_t(*text));
    return out;
}

constexpr int32_t all_units[] = {1, 2, 4};

} // namespace

TEST(ScanNumber, Integer) {
    struct Case {
        const char* text;
        int32_t value, error;
    };
    const Case cases[] = {
        {"0", 0, scan_ok},
        {"+12", 12, scan_ok},
        {"-7", -7, scan_ok},
        {"2147483647", 2147483647, scan_ok},
        {"-2147483648", -2147483647 - 1, scan_ok},
        {"2147483648", 0, scan_overflow},
        {"-2147483649", 0, scan_overflow},
        {"-21474836480", 0, scan_overflow}, // starts like the lowest value
        {"-21474836481", 0, scan_overflow},
        {"99999999999", 0, scan_overflow},
        {"1'000", 1000, scan_ok},
        {"-2'147'483'648", -2147483647 - 1, scan_ok},
        {"00000000002147483647", 2147483647, scan_ok}, // leading zeros are free
        {"-000000000000000000012", -12, scan_ok},
        {"", 0, scan_invalid},
        {"-", 0, scan_invalid},
        {"+", 0, scan_invalid},
        {"'", 0, scan_invalid},
        {"--1", 0, scan_invalid},
        {"12x", 12, scan_invalid},
        {"-2147483648x", -2147483647 - 1, scan_invalid},
        {"1 2", 1, scan_invalid},
        {"1.0", 1, scan_invalid},
    };
    for (int32_t unit : all_units)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.text) + " unit " + std::to_string(unit));
            Units text(wide(c.text), unit);
            int32_t error = 99;
            EXPECT_EQ(lexer::scan_integer(text.bytes.data(), text.count, unit, error), c.value);
            EXPECT_EQ(error, c.error);
        }
}

TEST(ScanNumber, IntegerRejectsWideDigitLookalikes) {
    // U+0661 (Arabic-Indic one) and U+FF11 (fullwidth one) are not digits,
    // nor is a unit whose low byte alone is a digit.
    for (char32_t c : {U'\u0661', U'\uFF11', char32_t(0x131)}) {
        Units text(std::u32string(U"1") + c, 2);
        int32_t error = 0;
        lexer::scan_integer(text.bytes.data(), text.count, 2, error);
        EXPECT_EQ(error, scan_invalid);
    }
}

TEST(ScanNumber, Float) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* text;
        double value;
        int32_t error;
    };
    const Case cases[] = {
        {"1,5", 1.5, scan_ok},          {"1.5", 1.5, scan_ok},
        {"15", 15.0, scan_ok},          {"1.5e3", 1500.0, scan_ok},
        {"-2.5E-3", -0.0025, scan_ok},  {"+1e+2", 100.0, scan_ok},
        {"1'000.25", 1000.25, scan_ok}, {".5", 0.5, scan_ok},
        {"5.", 5.0, scan_ok},           {"0.1", 0.1, scan_ok},
        {"1e400", inf, scan_ok},        {"1.#INF", inf, scan_ok},
        {"-1.#INF", -inf, scan_ok},     {"", NAN, scan_invalid},
        {"-", NAN, scan_invalid},       {".", NAN, scan_invalid},
        {"e5", NAN, scan_invalid},      {"1e", NAN, scan_invalid},
        {"1e+", NAN, scan_invalid},     {"1.2.3", NAN, scan_invalid},
        {"1,000.5", NAN, scan_invalid}, {"1.5x", NAN, scan_invalid},
        {"abc", NAN, scan_invalid},     {" 1", NAN, scan_invalid},
    };
    for (int32_t unit : all_units)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.text) + " unit " + std::to_string(unit));
            Units text(wide(c.text), unit);
            int32_t error = 99;
            double value = lexer::scan_float(text.bytes.data(), text.count, unit, error);
            EXPECT_EQ(error, c.error);
            if (std::isnan(c.value))
                EXPECT_TRUE(std::isnan(value));
            else
                EXPECT_EQ(value, c.value);
        }
    int32_t error = 99;
    EXPECT_TRUE(std::isnan(lexer::scan_float("1.#NaN", 6, 1, error)));
    EXPECT_EQ(error, scan_ok);
}

TEST(ScanNumber, FloatLengthLimit) {
    std::string longest = "0." + std::string(309, '0') + "5"; // 312 characters
    int32_t error = 99;
    EXPECT_EQ(lexer::scan_float(longest.data(), int32_t(longest.size()), 1, error), 5e-310);
    EXPECT_EQ(error, scan_ok);
    longest += '0';
    EXPECT_TRUE(std::isnan(lexer::scan_float(longest.data(), int32_t(longest.size()), 1, error)));
    EXPECT_EQ(error, scan_invalid);
    Units wide_text(U"1\u00B75", 2); // a middle dot is no decimal point
    lexer::scan_float(wide_text.bytes.data(), wide_text.count, 2, error);
    EXPECT_EQ(error, scan_invalid);
}

TEST(ScanNumber, Tuple) {
    struct Case {
        const char* text;
        std::vector<uint8_t> parts; // empty: refused
    };
    const Case cases[] = {
        {"1.2.3", {1, 2, 3}},
        {"255.0.0.128", {255, 0, 0, 128}},
        {"0001.2.3", {1, 2, 3}},
        {"1.2.3.4.5.6.7.8.9.10.11.12", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        {"1.2.3.4.5.6.7.8.9.10.11.12.13", {}},
        {"256.1.1", {}},
        {"1..2", {}},
        {"1.2.", {}},
        {".1.2", {}},
        {"1.2.x", {}},
        {"1.-2.3", {}},
        {"", {}},
    };
    for (int32_t unit : all_units)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.text) + " unit " + std::to_string(unit));
            Units text(wide(c.text), unit);
            lexer::TupleParts out;
            int32_t error = 99;
            lexer::scan_tuple(text.bytes.data(), text.count, unit, out, error);
            if (c.parts.empty()) {
                EXPECT_EQ(error, scan_invalid);
                continue;
            }
            EXPECT_EQ(error, scan_ok);
            EXPECT_EQ(std::vector<uint8_t>(out.parts, out.parts + out.count), c.parts);
        }
}

TEST(ScanNumber, Money) {
    struct Case {
        const char* text;
        bool ok;
        bool negative = false;
        const char* currency = "";
        const char* integer = "";
        const char* fraction = "";
    };
    const Case cases[] = {
        {"EUR$1'234.56", true, false, "EUR", "1234", "56"},
        {"-$0.01", true, true, "", "0", "01"},
        {"+usd$5", true, false, "usd", "5", ""},
        {"EUR$1", true, false, "EUR", "1", ""},
        {"$1.000'5", true, false, "", "1", "0005"},
        {"$'1", false},
        {"$1.", false},
        {"$1''2", false},
        {"$1.'5", false},
        {"$1'", false},
        {"$1'.5", false},
        {"$.5", false},
        {"$1.2.3", false},
        {"$", false},
        {"", false},
        {"1", false},
        {"EUR$", false},
        {"US$1", false},
        {"EURO$1", false},
        {"$1x", false},
        {"$-1", false},
    };
    for (int32_t unit : all_units)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.text) + " unit " + std::to_string(unit));
            Units text(wide(c.text), unit);
            lexer::MoneyParts out;
            int32_t error = 99;
            lexer::scan_money(text.bytes.data(), text.count, unit, out, error);
            EXPECT_EQ(error, c.ok ? scan_ok : scan_invalid);
            if (!c.ok) continue;
            EXPECT_EQ(out.negative, c.negative);
            EXPECT_STREQ(out.currency, c.currency);
            EXPECT_EQ(out.integer_digits, c.integer);
            EXPECT_EQ(out.fraction_digits, c.fraction);
        }
}

TEST(ScanNumber, UpperCaseChangesOnlyAsciiLetters) {
    char text[] = "az{|}~\x7f AZ09 \xe0\xe9\xff`@";
    lexer::upper_case_ascii(text);
    EXPECT_STREQ(text, "AZ{|}~\x7f AZ09 \xe0\xe9\xff`@");
}
