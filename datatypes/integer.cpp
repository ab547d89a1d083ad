#include "datatypes/integer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "datatypes/compound.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/float.h"
#include "datatypes/money.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/vector.h"
#include "runtime/errors.h"
#include "runtime/fatal.h"
#include "runtime/memory.h"
#include "runtime/random.h"
#include "runtime/scan_number.h"
#include "runtime/types.h"

namespace kiv::integer {

namespace {

constexpr int32_t lowest = std::numeric_limits<int32_t>::min();
constexpr double upper_bound = 2147483647.0;
constexpr double lower_bound = -2147483648.0;

// In line, so that the raise is made from the operation's own frame: each
// frame between the throw and its catch costs the unwinder.
[[noreturn, gnu::always_inline]] inline void math_error(uint32_t id) {
    runtime::fire_error(runtime::Category::math, id);
}

// Raises a script error naming the integer! datatype and, when given, a value.
[[noreturn]] void script_error(uint32_t id, const Cell* value) {
    Cell type;
    datatype::make_at(type, TYPE_INTEGER);
    runtime::fire_error(runtime::Category::script, id, &type, value);
}

[[noreturn]] void type_error(const Cell& operand) {
    Cell type;
    datatype::make_at(type, cell::type_of(operand));
    runtime::fire_error(runtime::Category::script, err::script::invalid_type, &type);
}

// The math error a division or remainder of a by b raises (zero-divide,
// or overflow for the one quotient that does not fit), or 0 when it has
// none; 0 for the other operations.
uint32_t division_fault(int32_t a, int32_t b, int32_t op) {
    if (op != divide && op != remainder) return 0;
    if (b == 0) return err::math::zero_divide;
    return a == lowest && b == -1 ? err::math::overflow : 0;
}

// Writes a whole integer! header and the value.
Cell* set_cell(Cell& c, int32_t value) {
    c = Cell{TYPE_INTEGER, 0, uint32_t(value), 0};
    return &c;
}

} // namespace

Cell* make_at(Cell& c, int32_t value) {
    cell::set_type(c, TYPE_INTEGER);
    c.w2 = uint32_t(value);
    return &c;
}

Cell* push(int32_t value) {
    return set_cell(*stack::push_raw(), value);
}

Cell* set_result(int32_t value) {
    return set_cell(*stack::state.base, value);
}

int32_t get_result() {
    const Cell& result = *stack::state.base;
    return cell::type_of(result) == TYPE_INTEGER ? get(result) : 0;
}

Cell* make_in(Cell& block, int32_t value) {
    return set_cell(*cell::alloc_tail(block), value);
}

int32_t sign(int32_t value) {
    return (value > 0) - (value < 0);
}

int32_t abs_checked(int32_t value) {
    if (value == lowest) math_error(err::math::overflow);
    return value < 0 ? -value : value;
}

bool out_of_range(const Cell& float_cell) {
    double d = cell::get_float(float_cell);
    return std::isnan(d) || d > upper_bound || d < lower_bound;
}

const char* form_signed(int32_t value) {
    static char text[16];
    *std::to_chars(text, text + sizeof text - 1, value).ptr = '\0';
    return text;
}

int32_t do_math(int32_t a, int32_t b, int32_t op, Cell* result) {
    int32_t r = 0;
    bool overflow = false;
    double exact = 0;
    switch (op) {
    case add:
        overflow = __builtin_add_overflow(a, b, &r);
        exact = double(a) + double(b);
        break;
    case subtract:
        overflow = __builtin_sub_overflow(a, b, &r);
        exact = double(a) - double(b);
        break;
    case multiply:
        overflow = __builtin_mul_overflow(a, b, &r);
        exact = double(a) * double(b);
        break;
    case divide:
    case remainder:
        if (uint32_t fault = division_fault(a, b, op)) math_error(fault);
        r = op == divide ? a / b : a % b;
        if (op == divide && result && a % b != 0) {
            float_::make_at(*result, double(a) / double(b));
            return 0;
        }
        break;
    case or_: r = a | b; break;
    case and_: r = a & b; break;
    case xor_: r = a ^ b; break;
    default: runtime::quit_with_error(runtime::fatal::no_switch_matched, runtime::caller_address());
    }
    if (overflow) {
        if (!result) math_error(err::math::overflow);
        float_::make_at(*result, exact);
        return 0;
    }
    if (result) result->w2 = uint32_t(r);
    return r;
}

uint32_t from_binary(const Cell& binary) {
    Buffer* b = memory::buffer_of(binary.w2);
    int64_t available = int64_t(b->tail - b->head) - int32_t(binary.w1);
    const uint8_t* p = b->head + int32_t(binary.w1);
    uint32_t value = 0;
    for (int64_t i = 0; i < available && i < 4; ++i) value = value << 8 | p[i];
    return value;
}

uint32_t from_issue(const Cell& issue) {
    const char* name = symbol::c_name(issue.w2);
    size_t length = std::strlen(name);
    uint32_t value = 0;
    bool valid = length > 0 && length <= 8;
    for (size_t i = 0; valid && i < length; ++i) {
        char c = name[i];
        uint32_t digit = c >= '0' && c <= '9'   ? uint32_t(c - '0')
                         : c >= 'A' && c <= 'F' ? uint32_t(c - 'A' + 10)
                         : c >= 'a' && c <= 'f' ? uint32_t(c - 'a' + 10)
                                                : 16;
        valid = digit < 16;
        value = value << 4 | digit;
    }
    if (!valid) runtime::fire_error(runtime::Category::script, err::script::invalid_data, &issue);
    return value;
}

namespace {

// Right operands that combine with an integer here; floats, percents and
// times go to the float arithmetic, which promotes the integer; pairs,
// points and tuples take the integer as their left operand. Money,
// vectors and dates are handed to their own. Only the evaluator calls
// these actions: a failed division is raised as a pending error where
// error exits are on, and the action returns at once.
void math(int32_t op) {
    Cell* args = frame_args();
    switch (cell::type_of(args[1])) {
    case TYPE_INTEGER:
    case TYPE_CHAR: {
        int32_t a = get(args[0]), b = get(args[1]);
        if (uint32_t fault = division_fault(a, b, op)) [[unlikely]]
            return runtime::raise_error(runtime::Category::math, fault);
        do_math(a, b, op, &args[0]);
        return;
    }
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: float_::do_math(op); return;
    case TYPE_DATE: date::number_left(op); return;
    case TYPE_MONEY: money::do_math(op); return;
    case TYPE_PAIR:
    case TYPE_POINT2D:
    case TYPE_POINT3D:
    case TYPE_TUPLE: compound::number_left(op); return;
    case TYPE_VECTOR: vector::scalar_left(op); return;
    default: type_error(args[1]);
    }
}

void add_() {
    math(add);
}
void subtract_() {
    math(subtract);
}
void multiply_() {
    math(multiply);
}
void divide_() {
    math(divide);
}
void remainder_() {
    math(remainder);
}
void or__() {
    math(or_);
}
void and__() {
    math(and_);
}
void xor__() {
    math(xor_);
}

// The float side of power: the base becomes a float! and float! finishes.
void float_power(Cell& base) {
    float_::make_at(base, double(get(base)));
    float_::power();
}

void power() {
    Cell* args = frame_args();
    Cell& exponent = args[1];
    switch (cell::type_of(exponent)) {
    case TYPE_FLOAT: float_power(args[0]); return;
    case TYPE_INTEGER: break;
    default: {
        Cell type;
        datatype::make_at(type, cell::type_of(exponent));
        runtime::fire_error(runtime::Category::script, err::script::expect_arg, nullptr, &type);
    }
    }
    int32_t e = get(exponent);
    if (e < 0) return float_power(args[0]);
    int32_t base = get(args[0]);
    int32_t result = 1;
    for (uint32_t bits = uint32_t(e); bits != 0;) {
        if ((bits & 1) && __builtin_mul_overflow(result, base, &result))
            return float_power(args[0]);
        bits >>= 1;
        if (bits && __builtin_mul_overflow(base, base, &base)) return float_power(args[0]);
    }
    args[0].w2 = uint32_t(result);
}

} // namespace

Cell* round(Cell* value, const Cell* scale_cell, bool even, bool down, bool half_down, bool floor,
            bool ceiling, bool half_ceiling) {
    int64_t scale = 1;
    if (scale_cell) {
        switch (cell::type_of(*scale_cell)) {
        case TYPE_INTEGER: scale = abs_checked(get(*scale_cell)); break;
        case TYPE_FLOAT:
        case TYPE_PERCENT:
        case TYPE_TIME:
            float_::make_at(*value, double(get(*value)));
            return float_::round(value, scale_cell, even, down, half_down, floor, ceiling,
                                 half_ceiling);
        case TYPE_MONEY: compound::not_related(compound::caller_word(), TYPE_MONEY);
        default: type_error(*scale_cell);
        }
    }
    if (scale == 0) return value;
    int64_t v = get(*value);
    int64_t m = v < 0 ? -v : v;
    int64_t r = m % scale;
    if (r == 0) return value;
    int64_t toward = m - r;
    int64_t away = m + (scale - r);
    int64_t s = v < 0 ? -1 : 1;

    bool up; // away from zero
    if (down)
        up = false;
    else if (floor)
        up = v < 0;
    else if (ceiling)
        up = v >= 0;
    else if (r < scale - r)
        up = false;
    else if (r > scale - r)
        up = true;
    else if (even)
        up = (m / scale) & 1;
    else if (half_down)
        up = false;
    else if (half_ceiling)
        up = v >= 0;
    else
        up = true;

    int64_t result = s * (up ? away : toward);
    if (result > std::numeric_limits<int32_t>::max() || result < lowest)
        math_error(err::math::overflow);
    value->w2 = uint32_t(int32_t(result));
    return value;
}

namespace {

// The decimal integer of a string's characters from its head.
int32_t from_text(const Cell& string) {
    Buffer* b = memory::buffer_of(string.w2);
    uint32_t unit = b->unit();
    int32_t head = std::clamp(int32_t(string.w1), 0, int32_t(b->length()));
    int32_t error = lexer::scan_ok;
    int32_t value = lexer::scan_integer(b->head + head * unit, int32_t(b->length()) - head,
                                        int32_t(unit), error);
    if (error != lexer::scan_ok) script_error(err::script::bad_to_arg, &string);
    return value;
}

Cell* to(Cell* proto, const Cell* spec, uint32_t) {
    int32_t value;
    switch (cell::type_of(*spec)) {
    case TYPE_INTEGER:
    case TYPE_CHAR: value = get(*spec); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
        if (out_of_range(*spec)) script_error(err::script::type_limit, nullptr);
        value = int32_t(cell::get_float(*spec));
        break;
    case TYPE_TIME: {
        // Rounded to the nearest second; a time beyond the range cannot convert.
        double seconds = cell::get_float(*spec) + 0.5;
        if (std::isnan(seconds) || seconds >= upper_bound + 1.0 || seconds <= lower_bound - 1.0)
            script_error(err::script::type_limit, nullptr);
        value = int32_t(seconds);
        break;
    }
    case TYPE_DATE: {
        // Seconds since 1970; dates after 19-Jan-2038/3:14:07 do not fit.
        double seconds = date::to_epoch(*spec);
        if (seconds > upper_bound || seconds < lower_bound)
            script_error(err::script::type_limit, nullptr);
        value = int32_t(seconds);
        break;
    }
    case TYPE_MONEY: value = money::to_integer(*spec); break;
    case TYPE_BINARY: value = int32_t(from_binary(*spec)); break;
    case TYPE_ISSUE: value = int32_t(from_issue(*spec)); break;
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF: value = from_text(*spec); break;
    default: script_error(err::script::bad_to_arg, spec);
    }
    return make_at(*proto, value);
}

Cell* make(Cell* proto, const Cell* spec, uint32_t type) {
    if (cell::type_of(*spec) == TYPE_LOGIC) return make_at(*proto, spec->w1 != 0);
    return to(proto, spec, type);
}

} // namespace

// The generator's draws start at 0, except for the lowest bound, whose
// draw already covers -2^31..-1.
int32_t random_int(int32_t n, bool secure) {
    if (n == 0 || n == lowest) return random::int_(secure, n);
    int32_t drawn = random::int_(secure, n < 0 ? -n : n) + 1;
    return n < 0 ? -drawn : drawn;
}

namespace {

Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(get(*value));
        *value = Cell{TYPE_UNSET, 0, 0, 0};
        return value;
    }
    value->w2 = uint32_t(random_int(get(*value), secure));
    return value;
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
    const char* text = form_signed(get(*value));
    size_t length = std::strlen(text);
    string::append_bytes(*buffer, reinterpret_cast<const uint8_t*>(text), uint32_t(length));
    return part - int32_t(length);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    return form(value, buffer, arg, part);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    uint32_t type = cell::type_of(*value2);
    if ((op == 2 || op == 12) && type != TYPE_INTEGER) return 1;
    if (type == TYPE_FLOAT || type == TYPE_PERCENT || type == TYPE_TIME) {
        Cell promoted;
        float_::make_at(promoted, double(get(*value1)));
        return float_::compare(&promoted, value2, op);
    }
    if (type == TYPE_MONEY) return money::compare_number(*value1, *value2, op);
    if (type != TYPE_INTEGER && type != TYPE_CHAR) return -2;
    int32_t a = get(*value1), b = get(*value2);
    return (a > b) - (a < b);
}

void absolute() {
    Cell* args = frame_args();
    args[0].w2 = uint32_t(abs_checked(get(args[0])));
}

Cell* negate(Cell* value) {
    if (get(*value) == lowest) math_error(err::math::overflow);
    value->w2 = uint32_t(-get(*value));
    return value;
}

bool even(const Cell* value) {
    return (value->w2 & 1) == 0;
}
bool odd(const Cell* value) {
    return (value->w2 & 1) != 0;
}

Cell* complement(Cell* value) {
    value->w2 = ~value->w2;
    return value;
}

} // namespace

void init() {
    datatype::register_type(TYPE_INTEGER, 0, "integer!",
                            {{Slot::make, make},
                             {Slot::random, random},
                             {Slot::to, to},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::compare, compare},
                             {Slot::absolute, absolute},
                             {Slot::add, add_},
                             {Slot::divide, divide_},
                             {Slot::multiply, multiply_},
                             {Slot::negate, negate},
                             {Slot::power, power},
                             {Slot::remainder, remainder_},
                             {Slot::round, round},
                             {Slot::subtract, subtract_},
                             {Slot::even_q, even},
                             {Slot::odd_q, odd},
                             {Slot::and_, and__},
                             {Slot::complement, complement},
                             {Slot::or_, or__},
                             {Slot::xor_, xor__}});
}

} // namespace kiv::integer
