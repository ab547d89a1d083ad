// Conversion between doubles and decimal text: the correctly rounded digit
// generator and reader (dtoa::), and the float text formatter shared by
// float!, percent!, time!, point and vector elements (float_::).
//
// Digits are produced and read with std::to_chars / std::from_chars only:
// they round correctly and, unlike printf and strtod, never follow the C
// locale (which may use a decimal comma).
#pragma once

#include <cstdint>

namespace kiv::dtoa {

// Decimal-point positions that mark the special values.
constexpr int32_t position_special = 9999; // infinity or NaN
constexpr int32_t position_zero = 9998;

// Most significant digits a conversion can be asked for.
constexpr int32_t max_digits = 30;

// Digits of `value` without point or sign, trailing zeros removed.
// `precision` 0 asks for the shortest digits that read back as the same
// double, n > 0 for n correctly rounded significant digits. `position` is
// the number of digits before the decimal point (the value is
// 0.d1d2... x 10^position). Specials give "1.#INF", "-1.#INF" or "1.#NaN";
// zero gives "0"/"-0", or "0.0"/"-0.0" with `zero_form`. A negative result
// starts with "-" (the sign is also returned apart); `length` counts the
// digits. The text lives in a static buffer that the next call overwrites.
const char* float_to_digits(double value, int32_t precision, int32_t& position, bool& negative,
                            int32_t& length, bool zero_form);

// The value as decimal text: positional for positions -6 to 17, exponent
// form (1.5e-8, 1.0e17) outside. `keep_point_zero` completes a text ending
// in a point with "0", otherwise drops the point. Static buffer.
const char* form_float(double value, int32_t precision, bool keep_point_zero);

// Reads an optional sign, digits, an optional "." with digits and an
// optional exponent from [start, end) and returns the nearest double (ties
// to even), +-infinity on overflow and a signed zero on underflow.
// `extra_exponent` is added to the decimal exponent. When `unparsed` is
// given it receives the count of characters left after the number. Text of
// only a sign and zeros reads as +0.0.
double string_to_float(const char* start, const char* end, int32_t extra_exponent,
                       int32_t* unparsed);

} // namespace kiv::dtoa

namespace kiv::float_ {

// Runtime switches set from system/options/float: `pretty?` (on by
// default) steers the formatter; `full?` (off by default) is kept for the
// language but read by nothing here.
extern bool pretty_print;
extern bool full_support;

// Formatter modes, by the value being written.
enum class Mode : int32_t {
    vector_float32 = 0,   // a 32-bit float element of a vector!
    float_ = 1,           // float! form
    vector_percent32 = 2, // a 32-bit percent element of a vector!
    percent = 3,          // percent! (the caller passes the value times 100)
    time_seconds = 4,     // the seconds of time!
    point = 5,            // a coordinate of point2D! / point3D!
};

// Text of `value` for `mode`. Static buffer, valid until the next call.
const char* form_float(double value, Mode mode);

// The value plus 0.49999999999999994, truncated toward zero (pixel
// coordinates).
int32_t to_integer(double value);

// The value truncated toward zero.
int32_t truncate(double value);

// Both conversions raise script/out-of-range for NaN and math/overflow for
// values outside the 32-bit range instead of converting them.

} // namespace kiv::float_
