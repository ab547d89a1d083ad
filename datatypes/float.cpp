#include "datatypes/float.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "datatypes/block.h"
#include "datatypes/compound.h"
#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/money.h"
#include "datatypes/string.h"
#include "datatypes/time.h"
#include "datatypes/vector.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/random.h"
#include "runtime/scan_number.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::float_ {

namespace {

constexpr double largest = std::numeric_limits<double>::max();
constexpr double epsilon = 0x1p-52;

[[noreturn]] void script_error(uint32_t id, uint32_t type, const Cell* value = nullptr) {
    Cell t = datatype::value(type);
    runtime::fire_error(runtime::Category::script, id, &t, value);
}

} // namespace

Cell* make_typed_at(Cell& c, uint32_t type, double value) {
    c = Cell{type, 0, 0, 0};
    cell::put_float(c, value);
    return &c;
}

Cell* make_at(Cell& c, double value) {
    return make_typed_at(c, TYPE_FLOAT, value);
}

Cell* push(double value) {
    return make_at(*stack::push_raw(), value);
}

Cell* push64(uint32_t low, uint32_t high) {
    Cell* c = stack::push_raw();
    *c = Cell{TYPE_FLOAT, 0, low, high};
    return c;
}

Cell* box(double value) {
    return make_at(*stack::state.base, value);
}

Cell* make_in(Cell& block, uint32_t type, uint32_t low, uint32_t high) {
    Cell* c = cell::alloc_tail(block);
    *c = Cell{type, 0, low, high};
    return c;
}

bool almost_equal(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return false;
    if (a == b || std::fabs(a - b) < epsilon) return true;
    // Ordered images: negative values below 2^63, positive ones above, so
    // that neighbouring doubles are neighbouring integers.
    auto ordered = [](double d) {
        uint64_t bits = std::bit_cast<uint64_t>(d);
        return (bits >> 63) ? uint64_t(0) - bits : bits | (uint64_t(1) << 63);
    };
    uint64_t x = ordered(a), y = ordered(b);
    return (x > y ? x - y : y - x) <= 10;
}

bool almost_equal32(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return false;
    if (a == b) return true;
    uint32_t x = std::bit_cast<uint32_t>(a), y = std::bit_cast<uint32_t>(b);
    int64_t mx = x & 0x7FFFFFFFu, my = y & 0x7FFFFFFFu;
    bool sign_x = x >> 31, sign_y = y >> 31;
    if (mx <= 0x7F7FFFFE && my <= 0x7F7FFFFE) {
        int64_t ox = sign_x ? -mx : mx, oy = sign_y ? -my : my;
        return std::llabs(ox - oy) <= 10;
    }
    return sign_x == sign_y && std::llabs(mx - my) < 0x100000;
}

double math_op(double a, double b, int32_t op) {
    switch (op) {
    case integer::add: return a + b;
    case integer::subtract: return a - b;
    case integer::multiply: return a * b;
    case integer::divide: return a / b;
    case integer::remainder:
        if (b * 0.0 == 0.0) return std::fmod(a, b);
        if (std::isnan(b) || !std::isfinite(a)) return std::numeric_limits<double>::quiet_NaN();
        return a; // b is an infinity
    default: {
        Cell type = datatype::value(TYPE_FLOAT);
        runtime::fire_error(runtime::Category::script, err::script::cannot_use, nullptr, &type);
    }
    }
}

Cell* do_math(int32_t op) {
    Cell* args = frame_args();
    Cell& left = args[0];
    const Cell& right = args[1];
    uint32_t left_type = cell::type_of(left);
    uint32_t right_type = cell::type_of(right);
    double b;
    switch (right_type) {
    case TYPE_MONEY: money::do_math(op); return &left;
    case TYPE_VECTOR: vector::scalar_left(op); return &args[0];
    case TYPE_PAIR:
    case TYPE_POINT2D:
    case TYPE_POINT3D:
    case TYPE_TUPLE: compound::number_left(op); return &left;
    case TYPE_CHAR:
        if (left_type == TYPE_PERCENT || left_type == TYPE_TIME)
            script_error(err::script::invalid_type, right_type);
        [[fallthrough]];
    case TYPE_INTEGER: b = double(integer::get(right)); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: b = get(right); break;
    default: script_error(err::script::invalid_type, right_type);
    }
    double a = left_type == TYPE_INTEGER ? double(integer::get(left)) : get(left);

    uint32_t type = left_type;
    if (left_type == TYPE_TIME || right_type == TYPE_TIME)
        type = TYPE_TIME;
    else if (left_type == TYPE_INTEGER)
        type = TYPE_FLOAT;
    double result = math_op(a, b, op);
    // A time stays in its range; time / time is a ratio (time! makes it a
    // float!), which may go beyond.
    bool ratio = left_type == TYPE_TIME && right_type == TYPE_TIME && op == integer::divide;
    if (type == TYPE_TIME && !ratio) time_::in_range(result);
    return make_typed_at(left, type, result);
}

namespace {

void add() {
    do_math(integer::add);
}
void subtract() {
    do_math(integer::subtract);
}
void multiply() {
    do_math(integer::multiply);
}
void divide() {
    do_math(integer::divide);
}
void remainder() {
    do_math(integer::remainder);
}

} // namespace

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    constexpr int32_t equal = 0, not_equal = 1, strict_equal = 2, lesser = 3, lesser_equal = 4,
                      greater = 5, greater_equal = 6, same = 9, find = 12;
    uint32_t type2 = cell::type_of(*value2);
    if ((op == strict_equal || op == same || op == find) && cell::type_of(*value1) != type2)
        return 1;
    double a = get(*value1), b;
    switch (type2) {
    case TYPE_INTEGER: b = double(integer::get(*value2)); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: b = get(*value2); break;
    case TYPE_MONEY: return money::compare_number(*value1, *value2, op);
    default: return -2;
    }
    switch (op) {
    case equal:
    case not_equal: return almost_equal(a, b) ? 0 : 1;
    case strict_equal: return a == b ? 0 : 1;
    case same: return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b) ? 0 : 1;
    default: break;
    }
    if (std::isnan(a) || std::isnan(b)) {
        // Every ordering test with NaN answers false.
        switch (op) {
        case lesser:
        case lesser_equal: return 1;
        case greater:
        case greater_equal: return -1;
        default: return 0;
        }
    }
    return (a > b) - (a < b);
}

void power() {
    Cell* args = frame_args();
    const Cell& exponent = args[1];
    double e;
    switch (cell::type_of(exponent)) {
    case TYPE_INTEGER: e = double(integer::get(exponent)); break;
    case TYPE_FLOAT: e = get(exponent); break;
    default: {
        Cell type = datatype::value(cell::type_of(exponent));
        runtime::fire_error(runtime::Category::script, err::script::expect_arg, nullptr, &type);
    }
    }
    make_typed_at(args[0], cell::type_of(args[0]), std::pow(get(args[0]), e));
}

namespace {

struct RoundMode {
    bool even, down, half_down, floor, ceiling, half_ceiling;
};

// The integral value that v rounds to under the mode; a half follows the
// mode on either side of zero.
double round_integral(double v, const RoundMode& mode) {
    double m = std::fabs(v);
    double f = std::floor(m);
    double h = f + 0.5;
    auto toward_zero = [&] { return std::copysign(f, v); };
    auto away = [&] { return std::copysign(std::ceil(m), v); };
    if (mode.down) return toward_zero();
    if (mode.floor) return std::floor(v);
    if (mode.ceiling) return std::ceil(v);
    if (m > h) return away();
    if (m < h) return toward_zero();
    if (mode.even) return std::fmod(m, 2.0) < 1.0 ? toward_zero() : away();
    if (mode.half_down) return toward_zero();
    if (mode.half_ceiling) return std::ceil(v);
    return away();
}

// v rounded to a multiple of scale, which is positive and finite, and no
// finer than v's own precision.
double round_scaled(double v, double scale, const RoundMode& mode) {
    if (scale >= 1.0) {
        double r = round_integral(v / scale, mode) * scale;
        if (std::fabs(r) >= largest)
            runtime::fire_error(runtime::Category::math, err::math::overflow);
        return r;
    }
    // A small scale works through its reciprocal (0.01 gives exactly 100);
    // a subnormal scale has none, and dividing by it is then exact enough.
    double reciprocal = 1.0 / scale;
    if (!std::isfinite(reciprocal)) return round_integral(v / scale, mode) * scale;
    return round_integral(v * reciprocal, mode) / reciprocal;
}

} // namespace

Cell* round(Cell* value, const Cell* scale_cell, bool even, bool down, bool half_down, bool floor,
            bool ceiling, bool half_ceiling) {
    bool percent = cell::type_of(*value) == TYPE_PERCENT;
    double scale = percent ? 0.01 : 1.0;
    uint32_t result_type = cell::type_of(*value);
    if (scale_cell) {
        result_type = cell::type_of(*scale_cell);
        switch (result_type) {
        case TYPE_MONEY: compound::not_related(compound::caller_word(), TYPE_MONEY);
        case TYPE_INTEGER: scale = std::fabs(double(integer::get(*scale_cell))); break;
        case TYPE_FLOAT:
        case TYPE_PERCENT:
        case TYPE_TIME: scale = std::fabs(get(*scale_cell)); break;
        default: script_error(err::script::invalid_type, result_type);
        }
        if (percent) scale /= 100.0;
    }
    // A value too large to have a fraction at that scale (infinities
    // included) is left as it is, and so is any value when the scale is 0,
    // infinite or NaN: no multiple of those exists. NaN goes on, so that
    // an integer! result refuses it.
    double v = get(*value);
    if (!(scale > 0.0 && scale < HUGE_VAL) || std::fabs(v) * 0x1p-53 > scale) return value;
    double r = round_scaled(v, scale, {even, down, half_down, floor, ceiling, half_ceiling});
    if (result_type == TYPE_INTEGER) {
        // Out of the integer range (or NaN) raises instead of converting.
        *value = Cell{TYPE_INTEGER, 0, uint32_t(truncate(r)), 0};
        return value;
    }
    return make_typed_at(*value, result_type, r);
}

double random_value(double v, bool secure) {
    double r;
    if (secure) {
        double c1 = random::crypto_int(), c2 = random::crypto_int();
        r = (c2 + c1 / 2147483647.0) / 2147483648.0;
    } else {
        r = random::rand() / 2147483647.0;
    }
    return v * r;
}

namespace {

// The units of a text value from its head.
struct Text {
    const uint8_t* units;
    int32_t count;
    int32_t unit;
};
Text text_of(const Cell& string) {
    Buffer* b = memory::buffer_of(string.w2);
    uint32_t unit = b->unit();
    int32_t head = std::clamp(int32_t(string.w1), 0, int32_t(b->length()));
    return {b->head + head * unit, int32_t(b->length()) - head, int32_t(unit)};
}

// A float! target reads the float text; a percent! target reads one
// number, where "50%" and "0.5" both give 0.5.
double from_text(const Cell& string, uint32_t type) {
    Text t = text_of(string);
    double scale = 1.0;
    if (type == TYPE_PERCENT && t.count > 0 &&
        string::get_char(t.units + (t.count - 1) * t.unit, uint32_t(t.unit)) == '%') {
        --t.count;
        scale = 0.01;
    }
    int32_t error = lexer::scan_ok;
    double value = lexer::scan_float(t.units, t.count, t.unit, error);
    if (error != lexer::scan_ok) script_error(err::script::bad_to_arg, type, &string);
    return value * scale;
}

// The first up to 8 bytes from the head, big-endian: the bit pattern.
double from_binary(const Cell& binary) {
    Buffer* b = memory::buffer_of(binary.w2);
    int64_t available = int64_t(b->tail - b->head) - int32_t(binary.w1);
    const uint8_t* p = b->head + int32_t(binary.w1);
    uint64_t bits = 0;
    for (int64_t i = 0; i < available && i < 8; ++i) bits = bits << 8 | p[i];
    return std::bit_cast<double>(bits);
}

// [m e]: m times ten to the power e (truncated toward zero).
double from_block(const Cell& block, uint32_t type) {
    if (block::rs_length(block) != 2) script_error(err::script::bad_to_arg, type, &block);
    const Cell* items = block::rs_head(block);
    double parts[2];
    for (int i = 0; i < 2; ++i) {
        switch (cell::type_of(items[i])) {
        case TYPE_INTEGER: parts[i] = double(integer::get(items[i])); break;
        case TYPE_FLOAT: parts[i] = get(items[i]); break;
        default: script_error(err::script::bad_to_arg, TYPE_FLOAT, &items[i]);
        }
    }
    return parts[0] * std::pow(10.0, std::trunc(parts[1]));
}

// make and to: the target type is float! or percent!.
Cell* make(Cell* proto, const Cell* spec, uint32_t type) {
    double value;
    switch (cell::type_of(*spec)) {
    case TYPE_INTEGER:
    case TYPE_CHAR: value = double(integer::get(*spec)); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: value = get(*spec); break;
    case TYPE_MONEY: value = money::to_float(*spec); break;
    case TYPE_BINARY: value = from_binary(*spec); break;
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: value = from_block(*spec, type); break;
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF: value = from_text(*spec, type); break;
    default: script_error(err::script::bad_to_arg, type, spec);
    }
    return make_typed_at(*proto, type, value);
}

Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(int32_t(value->w2 ^ value->w3));
        *value = Cell{TYPE_UNSET, 0, 0, 0};
        return value;
    }
    cell::put_float(*value, random_value(get(*value), secure));
    return value;
}

int32_t append_text(Cell* buffer, const char* text, int32_t part) {
    string::append_c_string(*buffer, text);
    return part - int32_t(std::strlen(text));
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
    return append_text(buffer, form_float(get(*value), Mode::float_), part);
}

// Shortest digits that read back as the same double.
int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell*, int32_t part,
             int32_t) {
    return append_text(buffer, dtoa::form_float(get(*value), 0, true), part);
}

void absolute() {
    frame_args()->w3 &= 0x7FFFFFFFu;
}

// 0.0 - v: negating either zero gives +0.0.
Cell* negate(Cell* value) {
    cell::put_float(*value, 0.0 - get(*value));
    return value;
}

// NaN and values beyond the integer range raise instead of truncating.
bool even(const Cell* value) {
    return (truncate(get(*value)) & 1) == 0;
}
bool odd(const Cell* value) {
    return (truncate(get(*value)) & 1) != 0;
}

} // namespace

void init() {
    datatype::register_type(TYPE_FLOAT, 0, "float!",
                            {{Slot::make, make},
                             {Slot::random, random},
                             {Slot::to, make},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::compare, compare},
                             {Slot::absolute, absolute},
                             {Slot::add, add},
                             {Slot::divide, divide},
                             {Slot::multiply, multiply},
                             {Slot::negate, negate},
                             {Slot::power, power},
                             {Slot::remainder, remainder},
                             {Slot::round, round},
                             {Slot::subtract, subtract},
                             {Slot::even_q, even},
                             {Slot::odd_q, odd}});
}

} // namespace kiv::float_
