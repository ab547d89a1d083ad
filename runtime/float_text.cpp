#include "runtime/float_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "runtime/cell.h"
#include "runtime/errors.h"
#include "runtime/session.h"
#include "runtime/types.h"

namespace kiv::dtoa {

namespace {

// "-" followed by the digits; a positive result starts after the sign.
char digit_buffer[1 + max_digits + 1];
char text_buffer[64];

const char* special_text(double value) {
    if (std::isnan(value)) return "1.#NaN";
    return std::signbit(value) ? "-1.#INF" : "1.#INF";
}

} // namespace

const char* float_to_digits(double value, int32_t precision, int32_t& position, bool& negative,
                            int32_t& length, bool zero_form) {
    negative = std::signbit(value);
    const char* fixed = nullptr;
    if (!std::isfinite(value)) {
        position = position_special;
        fixed = special_text(value);
    } else if (value == 0.0) {
        position = position_zero;
        static const char* const zeros[2][2] = {{"0", "-0"}, {"0.0", "-0.0"}};
        fixed = zeros[zero_form][negative];
    }
    if (fixed) {
        length = int32_t(std::strlen(fixed)) - (fixed[0] == '-');
        return fixed;
    }

    // Scientific text "d.ddde+XX" of the magnitude: shortest round trip, or
    // exactly `precision` significant digits.
    char scientific[64];
    double magnitude = std::fabs(value);
    std::to_chars_result r =
        precision <= 0
            ? std::to_chars(scientific, scientific + sizeof scientific, magnitude,
                            std::chars_format::scientific)
            : std::to_chars(scientific, scientific + sizeof scientific, magnitude,
                            std::chars_format::scientific, std::min(precision, max_digits) - 1);
    char* digits = digit_buffer + 1;
    int32_t n = 0;
    const char* p = scientific;
    for (; *p != 'e'; ++p)
        if (*p != '.') digits[n++] = *p;
    ++p;
    if (*p == '+') ++p;
    int32_t exponent = 0;
    std::from_chars(p, r.ptr, exponent);
    while (n > 1 && digits[n - 1] == '0') --n;
    digits[n] = '\0';
    digit_buffer[0] = '-';
    position = exponent + 1;
    length = n;
    return negative ? digit_buffer : digits;
}

const char* form_float(double value, int32_t precision, bool keep_point_zero) {
    int32_t position, n;
    bool negative;
    const char* text = float_to_digits(value, precision, position, negative, n, keep_point_zero);
    if (position >= position_zero) return text;
    const char* digits = text + negative;

    char* out = text_buffer;
    auto put = [&](char c) { *out++ = c; };
    auto put_digits = [&](int32_t from, int32_t to) {
        for (int32_t i = from; i < to; ++i) put(digits[i]);
    };
    // A mantissa that ends with its point is completed or loses the point.
    auto close_point = [&] {
        if (out[-1] != '.') return;
        if (keep_point_zero)
            put('0');
        else
            --out;
    };

    if (negative) put('-');
    if (position > 17 || position < -6) {
        put(digits[0]);
        put('.');
        put_digits(1, n);
        close_point();
        put('e');
        out = std::to_chars(out, text_buffer + sizeof text_buffer, position - 1).ptr;
    } else if (position > 0) {
        int32_t whole = std::min(position, n);
        put_digits(0, whole);
        for (int32_t i = n; i < position; ++i) put('0');
        put('.');
        put_digits(whole, n);
        close_point();
    } else {
        put('0');
        put('.');
        for (int32_t i = position; i < 0; ++i) put('0');
        put_digits(0, n);
    }
    *out = '\0';
    return text_buffer;
}

double string_to_float(const char* start, const char* end, int32_t extra_exponent,
                       int32_t* unparsed) {
    // The significant digits are collected apart from the exponent so that
    // leading zeros, the point and the extra exponent never reach the
    // converter; very large exponents saturate instead of overflowing.
    constexpr int64_t exponent_limit = 100000;
    const char* p = start;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    std::string digits;
    int64_t exponent = extra_exponent;
    auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
    for (; p < end && is_digit(*p); ++p)
        if (!digits.empty() || *p != '0') digits += *p;
    if (p < end && *p == '.')
        for (++p; p < end && is_digit(*p); ++p) {
            if (!digits.empty() || *p != '0') digits += *p;
            --exponent;
        }
    if (p < end && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        bool exponent_negative = false;
        if (q < end && (*q == '+' || *q == '-')) exponent_negative = *q++ == '-';
        if (q < end && is_digit(*q)) {
            int64_t written = 0;
            for (; q < end && is_digit(*q); ++q)
                written = std::min(written * 10 + (*q - '0'), exponent_limit);
            exponent += exponent_negative ? -written : written;
            p = q;
        }
    }
    if (unparsed) *unparsed = int32_t(end - p);
    if (digits.empty()) return 0.0;

    exponent = std::clamp(exponent, -exponent_limit, exponent_limit);
    int64_t leading_exponent = exponent + int64_t(digits.size()) - 1;
    digits += 'e';
    char exponent_text[24];
    char* exponent_end =
        std::to_chars(exponent_text, exponent_text + sizeof exponent_text, exponent).ptr;
    digits.append(exponent_text, exponent_end);
    double value = 0.0;
    std::from_chars_result r = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (r.ec == std::errc::result_out_of_range) {
        // The leading digit's decimal exponent tells overflow from underflow.
        value = leading_exponent > 0 ? HUGE_VAL : 0.0;
    }
    return negative ? -value : value;
}

} // namespace kiv::dtoa

namespace kiv::float_ {

bool pretty_print = true;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(pretty_print);
bool full_support = false;

namespace {

char form_buffer[32];

// printf's "%.<precision>g" in the C locale.
void print_g(char* out, double value, int32_t precision) {
    *std::to_chars(out, out + sizeof form_buffer - 1, value, std::chars_format::general, precision)
         .ptr = '\0';
}

bool is_percent(Mode mode) {
    return mode == Mode::vector_percent32 || mode == Mode::percent;
}

// Whether the text ends in a representation tail ("01" or "99" at the last
// significant place) that a shorter precision would round away.
bool has_representation_tail(const char* text) {
    size_t length = std::strlen(text);
    const char* e = std::strchr(text, 'e');
    const char* tail = nullptr;
    if (!e) {
        bool leading_zero = text[text[0] == '-'] == '0';
        if (length > 16 && (!leading_zero || length > 17)) tail = text + length - 2;
    } else if (e - text > 16) {
        tail = e - 2;
    }
    return tail && (std::strncmp(tail, "01", 2) == 0 || std::strncmp(tail, "99", 2) == 0);
}

[[noreturn]] void fire_out_of_range(double value) {
    Cell arg{TYPE_FLOAT, 0, 0, 0};
    cell::put_float(arg, value);
    runtime::fire_error(runtime::Category::script, err::script::out_of_range, &arg);
}

int32_t checked_truncate(double value) {
    if (std::isnan(value)) fire_out_of_range(value);
    double whole = std::trunc(value);
    if (!(whole >= -2147483648.0 && whole <= 2147483647.0))
        runtime::fire_error(runtime::Category::math, err::math::overflow);
    return int32_t(whole);
}

} // namespace

const char* form_float(double value, Mode mode) {
    if (!std::isfinite(value)) return dtoa::special_text(value);
    bool percent = is_percent(mode);
    if (pretty_print && std::fabs(value) < 0x1p-52)
        return percent ? "0%" : mode == Mode::point ? "0" : "0.0";

    // First text: "%.<n>g" with n by mode (time seconds use the digit
    // layout instead), and the shorter n of the pretty retry.
    static constexpr int32_t first_precision[] = {7, 16, 7, 13, 0, 7};
    static constexpr int32_t retry_precision[] = {5, 14, 14, 14, 5, 5};
    int32_t m = int32_t(mode);
    char text[sizeof form_buffer];
    if (mode == Mode::time_seconds)
        std::strcpy(text, dtoa::form_float(value, 6, false));
    else
        print_g(text, value, first_precision[m]);
    if (pretty_print && has_representation_tail(text)) print_g(text, value, retry_precision[m]);

    // Exponent rewritten as "e", a "-" only when negative, then the digits
    // from the first significant one: 1e+020 becomes 1e20, 1e-005 1e-5.
    char* e = std::strchr(text, 'e');
    const char* exponent = e ? std::strpbrk(e, "123456789") : nullptr;
    bool has_point = std::strchr(text, '.') != nullptr;
    char* out = form_buffer;
    size_t mantissa = e ? size_t(e - text) : std::strlen(text);
    std::memcpy(out, text, mantissa);
    out += mantissa;
    auto put = [&](const char* s) {
        size_t n = std::strlen(s);
        std::memcpy(out, s, n);
        out += n;
    };
    // Float texts always show a point: 12 becomes 12.0, 1e20 1.0e20.
    if (!percent && !has_point && mode != Mode::time_seconds && mode != Mode::point) put(".0");
    if (e) {
        if (exponent) {
            put(e[1] == '-' ? "e-" : "e");
            put(exponent);
        } else {
            put(e);
        }
    }
    if (percent) put("%");
    *out = '\0';
    return form_buffer;
}

int32_t to_integer(double value) {
    return checked_truncate(value + 0.49999999999999994);
}

int32_t truncate(double value) {
    return checked_truncate(value);
}

} // namespace kiv::float_
