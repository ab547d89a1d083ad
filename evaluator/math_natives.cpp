#include "evaluator/math_natives.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "datatypes/compound.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/issue.h"
#include "datatypes/logic.h"
#include "datatypes/money.h"
#include "datatypes/natives.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "evaluator/lexer.h"
#include "runtime/errors.h"
#include "runtime/stack.h"
#include "runtime/trig.h"

namespace kiv::math_natives {
int32_t shift_bits(int32_t data, int32_t n, Shift how) {
    n = n < 0 ? 0 : n;
    switch (how) {
    case Shift::left: return n > 31 ? 0 : int32_t(uint32_t(data) << n);
    case Shift::logical: return n > 31 ? 0 : int32_t(uint32_t(data) >> n);
    default: return n > 31 ? (data < 0 ? -1 : 0) : data >> n;
    }
}

namespace {

using Script = runtime::Category;

Cell* arg(uint32_t i) {
    return stack::state.base + i;
}

bool present(const int32_t* refinements, uint32_t i) {
    return refinements[i] >= 0;
}

[[noreturn]] void invalid_arg(const Cell& value) {
    runtime::fire_error(Script::script, err::script::invalid_arg, &value);
}

// Turns an argument into a float! in place: an integer! becomes the float
// of its value, a percent! is retyped (same double), a float! stays.
double to_float_arg(Cell& value) {
    switch (cell::type_of(value)) {
    case TYPE_INTEGER: float_::make_at(value, double(integer::get(value))); break;
    case TYPE_PERCENT: cell::set_type(value, TYPE_FLOAT); break;
    default: break;
    }
    return float_::get(value);
}

void float_result(double value) {
    float_::make_at(*arg(0), value);
}

// The angle in slot 0 in radians: degrees unless /radians, reduced for the
// function kind (0 tangent, 1 cosine, 2 sine).
double angle_arg(bool radians, int kind) {
    double angle = to_float_arg(*arg(0));
    return radians ? angle : trig::normalize_degrees(angle, kind);
}

double degrees(double radians, bool keep_radians) {
    return keep_radians ? radians : radians * 180.0 / std::numbers::pi;
}

// A sine or cosine residue below the double epsilon is zero.
double flush_tiny(double value) {
    return std::fabs(value) < std::numeric_limits<double>::epsilon() ? 0.0 : value;
}

// -1, 0 or 1 for the number types the sign tests accept; money! is not
// built yet, other types are refused naming the function and the type.
int sign_of(const Cell& value) {
    uint32_t type = cell::type_of(value);
    switch (type) {
    case TYPE_INTEGER: return integer::sign(integer::get(value));
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: {
        double d = cell::get_float(value);
        return d > 0 ? 1 : d < 0 ? -1 : 0;
    }
    case TYPE_MONEY: return money::sign(value);
    default: {
        const stack::Frame* call = stack::get_call_frame();
        Cell name = call ? word::load_symbol(call->symbol) : words::word<"<anon>">();
        Cell datatype;
        datatype::make_at(datatype, type);
        Cell argument = word::load("number");
        runtime::fire_error(Script::script, err::script::expect_arg, &name, &datatype, &argument);
    }
    }
}

void negative_q(bool, const int32_t*) {
    logic::make_at(*arg(0), sign_of(*arg(0)) < 0);
}

void positive_q(bool, const int32_t*) {
    logic::make_at(*arg(0), sign_of(*arg(0)) > 0);
}

void sign_q(bool, const int32_t*) {
    integer::make_at(*arg(0), sign_of(*arg(0)));
}

void zero_q(bool, const int32_t*) {
    Cell& value = *arg(0);
    uint32_t type = cell::type_of(value);
    bool zero = false;
    switch (type) {
    case TYPE_INTEGER:
    case TYPE_CHAR: zero = value.w2 == 0; break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: zero = cell::get_float(value) == 0.0; break;
    case TYPE_PAIR: zero = value.w2 == 0 && value.w3 == 0; break;
    case TYPE_POINT2D:
    case TYPE_POINT3D: zero = point::zero(value); break;
    case TYPE_TUPLE: zero = tuple::zero(value); break;
    case TYPE_MONEY: zero = money::sign(value) == 0; break;
    default: lexer::raise_not_done(type);
    }
    logic::make_at(value, zero);
}

bool nan_number(const Cell& value) {
    uint32_t type = cell::type_of(value);
    return (type == TYPE_FLOAT || type == TYPE_PERCENT) && std::isnan(cell::get_float(value));
}

void nan_q(bool, const int32_t*) {
    logic::make_at(*arg(0), nan_number(*arg(0)));
}

bool plain_number(uint32_t type) {
    return type == TYPE_INTEGER || type == TYPE_FLOAT || type == TYPE_PERCENT;
}

// A float as an integer component; NaN or a value beyond the 32-bit range
// has none.
bool integer_component(double d, int64_t& out) {
    if (!(d >= -2147483648.0 && d < 2147483648.0)) return false;
    out = int64_t(std::trunc(d));
    return true;
}

int64_t pick_of(int64_t a, int64_t b, bool greater) {
    return greater ? std::max(a, b) : std::min(a, b);
}

// The greater or lesser of each coordinate of a point and the value b
// gives it; a NaN of b wins. False when b gives a point of this size none.
bool point_max_min(Cell& a, const Cell& b, bool greater) {
    uint32_t n = cell::type_of(a) == TYPE_POINT2D ? 2 : 3;
    double other[3];
    if (!point::component_values(b, n, other)) {
        uint32_t type = cell::type_of(b);
        if (type != TYPE_FLOAT && type != TYPE_PERCENT) return false;
        double f = float(float_::get(b));
        other[0] = other[1] = other[2] = f;
    }
    double r[3];
    for (uint32_t i = 0; i < n; ++i) {
        double v = point::get(a, i), w = other[i];
        r[i] = std::isnan(w) ? w : greater ? (w > v ? w : v) : (w < v ? w : v);
    }
    point::make_at(a, n, r);
    return true;
}

// A pair against an integer, a float of the integer range (truncated) or
// a pair; anything else that a point takes turns the pair into a point2D!.
bool pair_max_min(Cell& a, const Cell& b, bool greater) {
    int64_t bx, by;
    switch (cell::type_of(b)) {
    case TYPE_INTEGER: bx = by = integer::get(b); break;
    case TYPE_PAIR:
        bx = pair::x_of(b);
        by = pair::y_of(b);
        break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
        if (integer_component(float_::get(b), bx)) {
            by = bx;
            break;
        }
        [[fallthrough]];
    default: {
        Cell point = a;
        const double xy[] = {double(pair::x_of(a)), double(pair::y_of(a))};
        point::make_at(point, 2, xy);
        if (!point_max_min(point, b, greater)) return false;
        a = point;
        return true;
    }
    }
    pair::make_at(a, int32_t(pick_of(pair::x_of(a), bx, greater)),
                  int32_t(pick_of(pair::y_of(a), by, greater)));
    return true;
}

// A tuple against a number (brought to 0..255) or a tuple of its size.
bool tuple_max_min(Cell& a, const Cell& b, bool greater) {
    uint32_t size = tuple::size_of(a);
    int64_t n = 0;
    switch (cell::type_of(b)) {
    case TYPE_INTEGER: n = integer::get(b); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
        if (!integer_component(float_::get(b), n)) {
            Cell type;
            datatype::make_at(type, TYPE_INTEGER);
            runtime::fire_error(Script::script, err::script::type_limit, &type);
        }
        break;
    case TYPE_TUPLE:
        if (tuple::size_of(b) != size) return false;
        break;
    default: return false;
    }
    bool bytewise = cell::type_of(b) == TYPE_TUPLE;
    uint8_t bytes[tuple::max_size];
    for (uint32_t i = 0; i < size; ++i) {
        int64_t other = bytewise ? tuple::byte_at(b, i) : std::clamp<int64_t>(n, 0, 255);
        bytes[i] = uint8_t(pick_of(tuple::byte_at(a, i), other, greater));
    }
    tuple::make_at(a, bytes, size);
    return true;
}

// Component by component for a pair, point or tuple and what it combines
// with; false when the two are to be compared as wholes.
bool compound_max_min(Cell& a, const Cell& b, bool greater) {
    switch (cell::type_of(a)) {
    case TYPE_PAIR: return pair_max_min(a, b, greater);
    case TYPE_POINT2D:
    case TYPE_POINT3D: return point_max_min(a, b, greater);
    case TYPE_TUPLE: return tuple_max_min(a, b, greater);
    default: return false;
    }
}

// The greater (max) or lesser (min) of slots 0 and 1. A not-a-number wins
// against any number; compound values (pairs, tuples, points) go
// component by component, a number on either side; everything else is
// decided by the comparison of the two values.
void max_min(bool greater) {
    Cell& a = *arg(0);
    Cell& b = *arg(1);
    uint32_t ta = cell::type_of(a);
    uint32_t tb = cell::type_of(b);
    if (nan_number(a) && plain_number(tb)) return;
    if (nan_number(b) && plain_number(ta)) {
        stack::set_last(b);
        return;
    }
    if (compound::is_compound(tb) && (ta == TYPE_INTEGER || ta == TYPE_FLOAT)) std::swap(a, b);
    if (compound_max_min(a, b, greater)) return;
    // Operator codes: 6 greater or equal, 4 lesser or equal.
    if (!dispatch::compare(a, b, greater ? 6 : 4)) stack::set_last(b);
}

void max(bool, const int32_t*) {
    max_min(true);
}

void min(bool, const int32_t*) {
    max_min(false);
}

// shift data bits /left /logical.
void shift(bool, const int32_t* refinements) {
    Shift how = present(refinements, 0)   ? Shift::left
                : present(refinements, 1) ? Shift::logical
                                          : Shift::right;
    integer::make_at(*arg(0), shift_bits(integer::get(*arg(0)), integer::get(*arg(1)), how));
}

// to-hex value /size length: an issue! of the last `length` of the eight
// hex digits of the 32-bit value (all eight without /size).
void to_hex(bool, const int32_t* refinements) {
    const char* digits = string::int_to_hex(integer::get(*arg(0)), false);
    if (present(refinements, 0)) {
        const Cell& length = *arg(uint32_t(refinements[0]));
        int32_t n = integer::get(length);
        if (n < 1) invalid_arg(length);
        if (n < 8) digits += 8 - n;
    }
    Cell result;
    issue::make_at(result, digits);
    stack::set_last(result);
}

template <int Kind>
void trig_native(bool, const int32_t* refinements) {
    double angle = angle_arg(present(refinements, 0), Kind);
    double result;
    if constexpr (Kind == 2)
        result = flush_tiny(std::sin(angle));
    else if constexpr (Kind == 1)
        result = flush_tiny(std::cos(angle));
    else if (angle == std::numbers::pi / 2)
        result = std::numeric_limits<double>::infinity();
    else if (angle == -std::numbers::pi / 2)
        result = -std::numeric_limits<double>::infinity();
    else
        result = std::tan(angle);
    float_result(result);
}

// The inverse functions: the result in degrees unless /radians.
template <double (*F)(double)>
void arc_native(bool, const int32_t* refinements) {
    float_result(degrees(F(to_float_arg(*arg(0))), present(refinements, 0)));
}

void arctangent2(bool, const int32_t* refinements) {
    Cell y = *arg(0);
    double x = to_float_arg(*arg(1));
    double angle = degrees(std::atan2(to_float_arg(y), x), present(refinements, 0));
    float_::make_at(*arg(1), angle);
    stack::set_last(*arg(1));
}

template <double (*F)(double)>
void float_native(bool, const int32_t*) {
    float_result(F(to_float_arg(*arg(0))));
}

double log_2(double x) {
    return std::log(x) / 0.6931471805599453;
}
double log_10(double x) {
    return std::log10(x);
}
double log_e(double x) {
    return std::log(x);
}
double exp_(double x) {
    return std::pow(2.718281828459045, x);
}
double square_root(double x) {
    return std::sqrt(x);
}
double asin_(double x) {
    return std::asin(x);
}
double acos_(double x) {
    return std::acos(x);
}
double atan_(double x) {
    return std::atan(x);
}

// A float coordinate is truncated; NaN and infinities raise `invalid-arg`,
// a value beyond the 32-bit range `type-limit`.
void as_pair(bool, const int32_t*) {
    int32_t x = pair::coordinate_of(*arg(0), *arg(0));
    int32_t y = pair::coordinate_of(*arg(1), *arg(1));
    *arg(0) = Cell{};
    pair::make_at(*arg(0), x, y);
}

template <uint32_t N>
void as_point(bool, const int32_t*) {
    double c[3];
    for (uint32_t i = 0; i < N; ++i) c[i] = point2D::coordinate_of(*arg(i));
    point::make_at(*arg(0), N, c);
}

void as_money(bool, const int32_t*) {
    money::as_money(*arg(0), *arg(0), *arg(1));
}

struct Registration {
    uint32_t index;
    natives::Entry entry;
    natives::Arity arity;
};

constexpr Registration table[] = {
    {49, negative_q, {1, 0}},
    {50, positive_q, {1, 0}},
    {51, max, {2, 0}},
    {52, min, {2, 0}},
    {53, shift, {2, 2}},
    {54, to_hex, {1, 1}},
    {55, trig_native<2>, {1, 1}},
    {56, trig_native<1>, {1, 1}},
    {57, trig_native<0>, {1, 1}},
    {58, arc_native<asin_>, {1, 1}},
    {59, arc_native<acos_>, {1, 1}},
    {60, arc_native<atan_>, {1, 1}},
    {61, arctangent2, {2, 1}},
    {62, nan_q, {1, 0}},
    {63, float_native<log_2>, {1, 0}},
    {64, float_native<log_10>, {1, 0}},
    {65, float_native<log_e>, {1, 0}},
    {66, float_native<exp_>, {1, 0}},
    {67, float_native<square_root>, {1, 0}},
    {73, as_pair, {2, 0}},
    {74, as_point<2>, {2, 0}},
    {75, as_point<3>, {3, 0}},
    {76, as_money, {2, 0}},
    {97, sign_q, {1, 0}},
    {100, zero_q, {1, 0}},
};

} // namespace

void register_natives() {
    for (const Registration& r : table) natives::register_native(r.index, r.entry, r.arity);
}

} // namespace kiv::math_natives
