#include "datatypes/pair.h"

#include <climits>
#include <cmath>
#include <string>
#include <utility>

#include "datatypes/block.h"
#include "datatypes/compound.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/point.h"
#include "datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::pair {

Cell* make_at(Cell& c, int32_t x, int32_t y) {
    cell::set_type(c, TYPE_PAIR);
    c.w2 = uint32_t(x);
    c.w3 = uint32_t(y);
    return &c;
}

Cell* make_in(Cell& block, int32_t x, int32_t y) {
    Cell* c = cell::alloc_tail(block);
    *c = Cell{};
    return make_at(*c, x, y);
}

Cell* push(int32_t x, int32_t y) {
    Cell* c = stack::push_raw();
    *c = Cell{};
    return make_at(*c, x, y);
}

void to_point2D(uint32_t index) {
    Cell& c = frame_args()[index];
    const double xy[] = {double(x_of(c)), double(y_of(c))};
    point::make_at(c, 2, xy);
}

namespace {

bool in_range(double d) {
    return d >= -2147483648.0 && d <= 2147483647.0;
}
bool in_range(int64_t d) {
    return d >= INT32_MIN && d <= INT32_MAX;
}

} // namespace

int32_t coordinate_of(const Cell& value, const Cell& spec) {
    if (cell::type_of(value) == TYPE_INTEGER) return integer::get(value);
    double d = std::trunc(float_::get(value));
    if (!std::isfinite(d)) compound::invalid_arg(spec);
    if (!in_range(d)) compound::type_limit(TYPE_PAIR);
    return int32_t(d);
}

namespace {

// The values an operand gives x and y. A float! or percent! must be finite
// (only not NaN for divide); it serves as it is for multiply and divide,
// which make a point2D!, and truncated for the other operations.
void operand(const Cell& value, int32_t op, double out[2]) {
    if (point::component_values(value, 2, out)) return;
    uint32_t type = cell::type_of(value);
    if (type != TYPE_FLOAT && type != TYPE_PERCENT) compound::invalid_type(value);
    double f = float_::get(value);
    if (op == integer::divide ? std::isnan(f) : !std::isfinite(f)) compound::invalid_arg(value);
    if (op != integer::multiply && op != integer::divide) f = std::trunc(f);
    out[0] = out[1] = f;
}

bool integral(const Cell& value, int32_t op) {
    uint32_t type = cell::type_of(value);
    return type == TYPE_PAIR || type == TYPE_INTEGER ||
           ((type == TYPE_FLOAT || type == TYPE_PERCENT) && op != integer::multiply &&
            op != integer::divide);
}

} // namespace

void do_math(int32_t op) {
    Cell* args = frame_args();
    double a[2], b[2];
    operand(args[0], op, a);
    operand(args[1], op, b);
    // A truncated float serves both coordinates: its first tells the range.
    if (integral(args[0], op) && integral(args[1], op) && in_range(a[0]) && in_range(b[0])) {
        int64_t x = compound::integer_op(int64_t(a[0]), int64_t(b[0]), op);
        int64_t y = compound::integer_op(int64_t(a[1]), int64_t(b[1]), op);
        if (in_range(x) && in_range(y)) {
            args[0] = Cell{};
            make_at(args[0], int32_t(x), int32_t(y));
            return;
        }
    }
    // Floats, a point2D! or an overflow: the same operands as floats.
    point::combine(2, a, b, op);
}

namespace {

Cell* make(Cell* proto, const Cell* spec, uint32_t) {
    int32_t x, y;
    switch (cell::type_of(*spec)) {
    case TYPE_INTEGER:
    case TYPE_FLOAT: x = y = coordinate_of(*spec, *spec); break;
    case TYPE_BLOCK: {
        const Cell* items = block::rs_head(*spec);
        auto number = [](const Cell& c) {
            return cell::type_of(c) == TYPE_INTEGER || cell::type_of(c) == TYPE_FLOAT;
        };
        if (block::rs_length(*spec) < 2 || !number(items[0]) || !number(items[1]))
            compound::malconstruct(*spec);
        x = coordinate_of(items[0], *spec);
        y = coordinate_of(items[1], *spec);
        break;
    }
    case TYPE_POINT2D: {
        Cell c;
        x = coordinate_of(*float_::make_at(c, point::get(*spec, 0)), *spec);
        y = coordinate_of(*float_::make_at(c, point::get(*spec, 1)), *spec);
        break;
    }
    case TYPE_STRING: compound::from_text(*spec, TYPE_PAIR, *proto); return proto;
    case TYPE_PAIR: *proto = *spec; return proto;
    default: compound::bad_to_arg(TYPE_PAIR, *spec);
    }
    *proto = Cell{};
    return make_at(*proto, x, y);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
    std::string text = integer::form_signed(x_of(*value));
    text += 'x';
    text += integer::form_signed(y_of(*value));
    string::append_c_string(*buffer, text.c_str());
    return part - int32_t(text.size());
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    return form(value, buffer, arg, part);
}

// Ordered by x, then y; a point2D! on the right compares as points.
int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    uint32_t type2 = cell::type_of(*value2);
    if (type2 == TYPE_POINT2D) {
        Cell left;
        const double xy[] = {double(x_of(*value1)), double(y_of(*value1))};
        point::make_at(left, 2, xy);
        return datatype::get<Slot::compare>(TYPE_POINT2D)(&left, value2, op);
    }
    if (type2 != TYPE_PAIR) return -2;
    std::pair a{x_of(*value1), y_of(*value1)}, b{x_of(*value2), y_of(*value2)};
    return (a > b) - (a < b);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool,
                bool, bool, bool) {
    int32_t index = compound::component_index(*element, 2);
    if (index < 1 || index > 2) compound::invalid_path(path, *element);
    uint32_t& coordinate = index == 1 ? parent->w2 : parent->w3;
    if (!value) return integer::push(int32_t(coordinate));
    if (cell::type_of(*value) != TYPE_INTEGER) compound::invalid_type(*value);
    coordinate = value->w2;
    return value;
}

Cell* pick(Cell* value, int32_t index, const Cell* index_cell) {
    index = compound::pick_index(index, index_cell, 2);
    if (index < 1 || index > 2) compound::bad_pick(*value, index, index_cell);
    return integer::push(index == 1 ? x_of(*value) : y_of(*value));
}

template <int32_t Op>
void math() {
    do_math(Op);
}

void absolute() {
    Cell& c = frame_args()[0];
    make_at(c, integer::abs_checked(x_of(c)), integer::abs_checked(y_of(c)));
}

// Two's complement: the lowest value stays itself.
Cell* negate(Cell* value) {
    return make_at(*value, int32_t(0u - value->w2), int32_t(0u - value->w3));
}

Cell* reverse(Cell* value, const Cell*, const Cell*) {
    std::swap(value->w2, value->w3);
    return value;
}

// Each coordinate by integer!'s rounding; with /to a pair! scale rounds x by
// its x and y by its y. A float scale gives a float, brought back to an
// integer: one beyond the 32-bit range raises `overflow`.
Cell* round(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor,
            bool ceiling, bool half_ceiling) {
    compound::refuse_money_scale(scale);
    bool per_coordinate = scale && cell::type_of(*scale) == TYPE_PAIR;
    int32_t result[2];
    for (int i = 0; i < 2; ++i) {
        Cell c{TYPE_INTEGER, 0, i == 0 ? value->w2 : value->w3, 0};
        Cell s{TYPE_INTEGER, 0, 0, 0};
        if (per_coordinate) s.w2 = i == 0 ? scale->w2 : scale->w3;
        integer::round(&c, per_coordinate ? &s : scale, even, down, half_down, floor, ceiling,
                       half_ceiling);
        if (cell::type_of(c) != TYPE_INTEGER) {
            double d = std::trunc(float_::get(c));
            if (!in_range(d)) runtime::fire_error(runtime::Category::math, err::math::overflow);
            integer::make_at(c, int32_t(d));
        }
        result[i] = integer::get(c);
    }
    return make_at(*value, result[0], result[1]);
}

// A coordinate n other than 0 becomes a random integer from 1 to n (n to -1
// when negative).
Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(int32_t(value->w2 ^ value->w3));
        *value = Cell{TYPE_UNSET, 0, 0, 0};
        return value;
    }
    for (uint32_t* w : {&value->w2, &value->w3})
        if (*w) *w = uint32_t(integer::random_int(int32_t(*w), secure));
    return value;
}

} // namespace

void init() {
    datatype::register_type(TYPE_PAIR, 0, "pair!",
                            {
                                {Slot::make, make},
                                {Slot::random, random},
                                {Slot::to, make},
                                {Slot::form, form},
                                {Slot::mold, mold},
                                {Slot::eval_path, eval_path},
                                {Slot::compare, compare},
                                {Slot::absolute, absolute},
                                {Slot::add, math<integer::add>},
                                {Slot::divide, math<integer::divide>},
                                {Slot::multiply, math<integer::multiply>},
                                {Slot::negate, negate},
                                {Slot::remainder, math<integer::remainder>},
                                {Slot::round, round},
                                {Slot::subtract, math<integer::subtract>},
                                {Slot::and_, math<integer::and_>},
                                {Slot::or_, math<integer::or_>},
                                {Slot::xor_, math<integer::xor_>},
                                {Slot::pick, pick},
                                {Slot::reverse, reverse},
                            });
}

} // namespace kiv::pair
