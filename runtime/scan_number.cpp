#include "runtime/scan_number.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "runtime/float_text.h"

namespace kiv::lexer {

namespace {

// The character at `index` of a string of 1, 2 or 4-byte units.
uint32_t char_at(const void* text, int32_t index, int32_t unit) {
    const auto* bytes = static_cast<const uint8_t*>(text) + size_t(index) * size_t(unit);
    switch (unit) {
    case 2: {
        uint16_t c;
        std::memcpy(&c, bytes, 2);
        return c;
    }
    case 4: {
        uint32_t c;
        std::memcpy(&c, bytes, 4);
        return c;
    }
    default: return *bytes;
    }
}

bool is_digit(uint32_t c) {
    return c >= '0' && c <= '9';
}
bool is_letter(uint32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Reads an optional leading "+" or "-": returns the index after it.
int32_t read_sign(const void* text, int32_t count, int32_t unit, bool& negative) {
    uint32_t c = count > 0 ? char_at(text, 0, unit) : 0;
    negative = c == '-';
    return c == '+' || c == '-';
}

// Longest text the float reader accepts.
constexpr int32_t float_text_limit = 312;

} // namespace

int32_t scan_integer(const void* text, int32_t count, int32_t unit, int32_t& error) {
    error = scan_ok;
    bool negative;
    int32_t i = read_sign(text, count, unit, negative);
    // The value accumulates negated, so that -2147483648 is reached exactly
    // and anything past it overflows.
    int32_t value = 0;
    bool any_digit = false;
    for (; i < count; ++i) {
        uint32_t c = char_at(text, i, unit);
        if (c == '\'') continue;
        if (!is_digit(c)) {
            error = scan_invalid;
            break;
        }
        any_digit = true;
        if (__builtin_mul_overflow(value, 10, &value) ||
            __builtin_sub_overflow(value, int32_t(c - '0'), &value)) {
            error = scan_overflow;
            return 0;
        }
    }
    if (!any_digit) error = scan_invalid;
    if (negative) return value;
    if (value == std::numeric_limits<int32_t>::min()) {
        error = scan_overflow;
        return 0;
    }
    return -value;
}

double scan_float(const void* text, int32_t count, int32_t unit, int32_t& error) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    error = scan_invalid;
    if (count > float_text_limit) return nan;
    std::string bytes;
    bytes.reserve(size_t(count));
    for (int32_t i = 0; i < count; ++i) {
        uint32_t c = char_at(text, i, unit);
        if (c == '\'') continue;
        if (c > 127) return nan;
        bytes += c == ',' ? '.' : char(c);
    }
    static const struct {
        const char* text;
        double value;
    } specials[] = {{"1.#INF", HUGE_VAL}, {"-1.#INF", -HUGE_VAL}, {"1.#NaN", nan}};
    for (const auto& s : specials)
        if (bytes == s.text) {
            error = scan_ok;
            return s.value;
        }

    // A number form: optional sign, digits with at most one point (at least
    // one digit), then an optional exponent with digits, and nothing else.
    const char* start = bytes.data();
    const char* end = start + bytes.size();
    const char* mantissa_end = std::strpbrk(start, "eE");
    if (!mantissa_end) mantissa_end = end;
    if (std::find_if(start, mantissa_end, [](char c) { return is_digit(uint8_t(c)); }) ==
        mantissa_end)
        return nan;
    int32_t unparsed = 0;
    double value = dtoa::string_to_float(start, end, 0, &unparsed);
    if (unparsed != 0) return nan;
    error = scan_ok;
    return value;
}

void scan_tuple(const void* text, int32_t count, int32_t unit, TupleParts& out, int32_t& error) {
    out = {};
    error = scan_invalid;
    constexpr int32_t max_parts = 12;
    int32_t part = -1; // -1 until the part has a digit
    for (int32_t i = 0; i <= count; ++i) {
        uint32_t c = i < count ? char_at(text, i, unit) : '.';
        if (is_digit(c)) {
            part = (part < 0 ? 0 : part * 10) + int32_t(c - '0');
            if (part > 255) return;
        } else if (c == '.') {
            if (part < 0 || out.count == max_parts) return;
            out.parts[out.count++] = uint8_t(part);
            part = -1;
        } else {
            return;
        }
    }
    error = scan_ok;
}

void scan_money(const void* text, int32_t count, int32_t unit, MoneyParts& out, int32_t& error) {
    out = {};
    error = scan_invalid;
    int32_t i = read_sign(text, count, unit, out.negative);
    int32_t after_sign = count - i;
    int32_t letters = 0;
    while (i + letters < count && is_letter(char_at(text, i + letters, unit))) ++letters;
    if (letters != 0) {
        if (letters != 3 || after_sign < 5) return;
        for (int32_t k = 0; k < 3; ++k) out.currency[k] = char(char_at(text, i + k, unit));
        i += 3;
    }
    if (i >= count || char_at(text, i, unit) != '$') return;
    // `previous` is the last mark read: '$', '\'', '.' or '0' for a digit.
    char previous = '$';
    bool fraction = false;
    for (++i; i < count; ++i) {
        uint32_t c = char_at(text, i, unit);
        if (is_digit(c)) {
            (fraction ? out.fraction_digits : out.integer_digits) += char(c);
            previous = '0';
        } else if (c == '\'' && previous == '0') {
            previous = '\'';
        } else if (c == '.' && !fraction && (previous == '0')) {
            fraction = true;
            previous = '.';
        } else {
            return;
        }
    }
    if (previous != '0') return;
    error = scan_ok;
}

void upper_case_ascii(char* text) {
    for (; *text; ++text)
        if (*text >= 'a' && *text <= 'z') *text = char(*text - 32);
}

} // namespace kiv::lexer
