// Number readers over the characters of a string value (units of 1, 2 or 4
// bytes), for the conversions of integer!, float!, tuple! and money!. Each
// reports failure through an error code so that the caller raises its own
// conversion error.
#pragma once

#include <cstdint>
#include <string>

namespace kiv::lexer {

// Error codes written by the scanners.
constexpr int32_t scan_ok = 0;
constexpr int32_t scan_invalid = -1;
constexpr int32_t scan_overflow = -2;

// Optional "+" or "-", then decimal digits with "'" separators. Empty text,
// a sign alone or any other character: scan_invalid. A value outside the
// 32-bit range: scan_overflow and 0.
int32_t scan_integer(const void* text, int32_t count, int32_t unit, int32_t& error);

// Decimal float text ("," reads as the point, "'" separators are dropped),
// or one of the specials 1.#INF, -1.#INF, 1.#NaN. Invalid or longer than
// 312 characters: scan_invalid and NaN.
double scan_float(const void* text, int32_t count, int32_t unit, int32_t& error);

// The parts of a tuple text, for the tuple! builder (which pads to three).
struct TupleParts {
    int32_t count = 0;
    uint8_t parts[12] = {};
};

// Dot-separated decimal parts, each 0 to 255, at most 12 of them.
void scan_tuple(const void* text, int32_t count, int32_t unit, TupleParts& out, int32_t& error);

// The parts of a money text, for the money! builder: digits only, without
// separators, and the currency code as written ("" when absent).
struct MoneyParts {
    bool negative = false;
    char currency[4] = {};
    std::string integer_digits;
    std::string fraction_digits;
};

// [sign][code]$digits[.digits], "'" separating digits.
void scan_money(const void* text, int32_t count, int32_t unit, MoneyParts& out, int32_t& error);

// Upper-cases the letters a-z of a NUL-terminated byte string in place.
void upper_case_ascii(char* text);

} // namespace kiv::lexer
