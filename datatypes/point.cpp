#include "datatypes/point.h"

#include <bit>
#include <cmath>
#include <string>
#include <utility>

#include "datatypes/block.h"
#include "datatypes/compound.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/pair.h"
#include "datatypes/string.h"
#include "runtime/hash.h"
#include "runtime/random.h"
#include "runtime/stack.h"

namespace kiv::point {

Cell* make_at(Cell& c, uint32_t n, const double coordinates[]) {
    c = Cell{n == 2 ? TYPE_POINT2D : TYPE_POINT3D, 0, 0, 0};
    for (uint32_t i = 0; i < n; ++i) set(c, i, coordinates[i]);
    return &c;
}

bool component_values(const Cell& value, uint32_t n, double out[3]) {
    switch (cell::type_of(value)) {
    case TYPE_INTEGER:
        for (uint32_t i = 0; i < n; ++i) out[i] = integer::get(value);
        return true;
    case TYPE_PAIR:
        if (n != 2) return false;
        out[0] = pair::x_of(value);
        out[1] = pair::y_of(value);
        return true;
    case TYPE_POINT2D:
    case TYPE_POINT3D:
        if (cell::type_of(value) != (n == 2 ? TYPE_POINT2D : TYPE_POINT3D)) return false;
        for (uint32_t i = 0; i < n; ++i) out[i] = get(value, i);
        return true;
    default: return false;
    }
}

void combine(uint32_t n, const double a[], const double b[], int32_t op) {
    double r[3];
    for (uint32_t i = 0; i < n; ++i) r[i] = float_::math_op(a[i], b[i], op);
    make_at(frame_args()[0], n, r);
}

bool zero(const Cell& value) {
    uint32_t n = cell::type_of(value) == TYPE_POINT2D ? 2 : 3;
    for (uint32_t i = 0; i < n; ++i)
        if (get(value, i) != 0.0f) return false;
    return true;
}

namespace {

bool is_number(const Cell& c) {
    uint32_t type = cell::type_of(c);
    return type == TYPE_INTEGER || type == TYPE_FLOAT;
}

double number_of(const Cell& c) {
    return cell::type_of(c) == TYPE_INTEGER ? double(integer::get(c)) : cell::get_float(c);
}

// An operand of point arithmetic: a float! or percent! serves every
// coordinate, rounded to a 32-bit float first.
template <uint32_t N>
void operand(const Cell& value, double out[3]) {
    if (component_values(value, N, out)) return;
    uint32_t type = cell::type_of(value);
    if (type != TYPE_FLOAT && type != TYPE_PERCENT) compound::invalid_type(value);
    double f = float(cell::get_float(value));
    for (uint32_t i = 0; i < N; ++i) out[i] = f;
}

template <uint32_t N>
Cell* make(Cell* proto, const Cell* spec, uint32_t) {
    double c[3] = {0, 0, 0};
    switch (cell::type_of(*spec)) {
    case TYPE_INTEGER:
    case TYPE_FLOAT:
        for (uint32_t i = 0; i < N; ++i) c[i] = number_of(*spec);
        break;
    case TYPE_BLOCK: {
        const Cell* items = block::rs_head(*spec);
        if (block::rs_length(*spec) < int32_t(N)) compound::malconstruct(*spec);
        for (uint32_t i = 0; i < N; ++i) {
            if (!is_number(items[i])) compound::malconstruct(*spec);
            c[i] = number_of(items[i]);
        }
        break;
    }
    case TYPE_PAIR:
    case TYPE_POINT2D:
        // A point3D! from two coordinates has z 0.
        component_values(*spec, 2, c);
        break;
    case TYPE_POINT3D:
        if (N == 2) compound::bad_to_arg(type_id<N>, *spec);
        component_values(*spec, 3, c);
        break;
    case TYPE_STRING: {
        Cell read;
        compound::from_text(*spec, type_id<N>, read);
        *proto = read;
        return proto;
    }
    default: compound::bad_to_arg(type_id<N>, *spec);
    }
    return make_at(*proto, N, c);
}

// (x, y) or (x, y, z), each as %.7g.
int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
    uint32_t n = cell::type_of(*value) == TYPE_POINT2D ? 2 : 3;
    std::string text = "(";
    for (uint32_t i = 0; i < n; ++i) {
        text += float_::form_float(get(*value, i), float_::Mode::point);
        text += i + 1 < n ? ", " : ")";
    }
    string::append_c_string(*buffer, text.c_str());
    return part - int32_t(text.size());
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    return form(value, buffer, arg, part);
}

// Equality is tolerant (ten units in the last place), strict equality
// exact, sameness bitwise; an ordering compares coordinates in turn, one
// almost equal to the other's passing the decision on.
template <uint32_t N>
int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    constexpr int32_t equal = 0, not_equal = 1, strict_equal = 2, same = 9, find = 12;
    // A pair! on the right reads as a point2D!.
    double b[3];
    uint32_t type2 = cell::type_of(*value2);
    if (type2 != type_id<N> && !(N == 2 && type2 == TYPE_PAIR)) return -2;
    component_values(*value2, N, b);
    auto all = [&](auto test) {
        for (uint32_t i = 0; i < N; ++i)
            if (!test(get(*value1, i), float(b[i]))) return 1;
        return 0;
    };
    switch (op) {
    case equal:
    case not_equal: return all(float_::almost_equal32);
    case strict_equal:
    case find: return all([](float x, float y) { return x == y; });
    case same:
        return all([](float x, float y) {
            return std::bit_cast<uint32_t>(x) == std::bit_cast<uint32_t>(y);
        });
    default: break;
    }
    for (uint32_t i = 0; i < N; ++i) {
        float d = float(double(get(*value1, i)) - b[i]);
        if (float_::almost_equal32(d, 0.0f)) continue;
        return (d > 0) - (d < 0);
    }
    return 0;
}

template <uint32_t N>
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool,
                bool, bool, bool) {
    int32_t index = compound::component_index(*element, N);
    if (index < 1 || index > int32_t(N)) compound::invalid_path(path, *element);
    if (!value) return float_::push(get(*parent, uint32_t(index - 1)));
    if (!is_number(*value)) compound::invalid_type(*value);
    set(*parent, uint32_t(index - 1), number_of(*value));
    return value;
}

template <uint32_t N>
Cell* pick(Cell* value, int32_t index, const Cell* index_cell) {
    index = compound::pick_index(index, index_cell, N);
    if (index < 1 || index > int32_t(N)) compound::bad_pick(*value, index, index_cell);
    return float_::push(get(*value, uint32_t(index - 1)));
}

template <uint32_t N, int32_t Op>
void math() {
    do_math<N>(Op);
}

template <uint32_t N>
void absolute() {
    Cell& value = frame_args()[0];
    for (uint32_t i = 0; i < N; ++i) set(value, i, std::fabs(get(value, i)));
}

template <uint32_t N>
Cell* negate(Cell* value) {
    for (uint32_t i = 0; i < N; ++i) set(*value, i, 0.0 - get(*value, i));
    return value;
}

// x and the last coordinate exchanged (y stays in a point3D!).
template <uint32_t N>
Cell* reverse(Cell* value, const Cell*, const Cell*) {
    float first = get(*value, 0);
    set(*value, 0, get(*value, N - 1));
    set(*value, N - 1, first);
    return value;
}

// Each coordinate by float!'s rounding. With /to, a pair! or point scale
// gives each coordinate the scale's coordinate of the same position (0, which
// leaves it as it is, where the scale has none); any other scale serves all.
// Integer scales are passed as floats so that no coordinate has to fit the
// integer range.
template <uint32_t N>
Cell* round(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor,
            bool ceiling, bool half_ceiling) {
    compound::refuse_money_scale(scale);
    double per[3] = {0, 0, 0};
    bool per_coordinate = false;
    if (scale) {
        uint32_t type = cell::type_of(*scale);
        per_coordinate = type == TYPE_PAIR || type == TYPE_POINT2D || type == TYPE_POINT3D;
        if (per_coordinate && !component_values(*scale, N, per))
            component_values(*scale, type == TYPE_POINT3D ? 3 : 2, per);
    }
    for (uint32_t i = 0; i < N; ++i) {
        Cell c, s;
        float_::make_at(c, get(*value, i));
        const Cell* scale_i = scale;
        if (per_coordinate)
            scale_i = float_::make_at(s, per[i]);
        else if (scale && cell::type_of(*scale) == TYPE_INTEGER)
            scale_i = float_::make_at(s, integer::get(*scale));
        float_::round(&c, scale_i, even, down, half_down, floor, ceiling, half_ceiling);
        set(*value, i, cell::get_float(c));
    }
    return value;
}

template <uint32_t N>
Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(int32_t(hashing::murmur3(&value->w1, 4 * N)));
        *value = Cell{TYPE_UNSET, 0, 0, 0};
        return value;
    }
    for (uint32_t i = 0; i < N; ++i)
        if (float c = get(*value, i); c != 0.0f) set(*value, i, float_::random_value(c, secure));
    return value;
}

} // namespace

template <uint32_t N>
void do_math(int32_t op) {
    Cell* args = frame_args();
    double a[3], b[3];
    operand<N>(args[0], a);
    operand<N>(args[1], b);
    combine(N, a, b, op);
}

template <uint32_t N>
void register_type() {
    constexpr auto make_n = make<N>;
    datatype::register_type(type_id<N>, 0, N == 2 ? "point2D!" : "point3D!",
                            {
                                {Slot::make, make_n},
                                {Slot::random, random<N>},
                                {Slot::to, make_n},
                                {Slot::form, form},
                                {Slot::mold, mold},
                                {Slot::eval_path, eval_path<N>},
                                {Slot::compare, compare<N>},
                                {Slot::absolute, absolute<N>},
                                {Slot::add, math<N, integer::add>},
                                {Slot::divide, math<N, integer::divide>},
                                {Slot::multiply, math<N, integer::multiply>},
                                {Slot::negate, negate<N>},
                                {Slot::remainder, math<N, integer::remainder>},
                                {Slot::round, round<N>},
                                {Slot::subtract, math<N, integer::subtract>},
                                {Slot::pick, pick<N>},
                                {Slot::reverse, reverse<N>},
                            });
}

template void do_math<2>(int32_t);
template void do_math<3>(int32_t);
template void register_type<2>();
template void register_type<3>();

} // namespace kiv::point
