#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/point.h"
#include "runtime/stack.h"

namespace kiv::point2D {

Cell* make_at(Cell& c, double x, double y) {
    uint32_t flags = c.header & ~cell::type_mask;
    const double xy[] = {x, y};
    point::make_at(c, 2, xy);
    c.header |= flags;
    return &c;
}

Cell* make_in(Cell& block, double x, double y) {
    return make_at(*cell::alloc_tail(block), x, y);
}

Cell* push(double x, double y) {
    Cell* c = stack::push_raw();
    *c = Cell{};
    return make_at(*c, x, y);
}

float coordinate_of(const Cell& value) {
    return cell::type_of(value) == TYPE_INTEGER ? float(integer::get(value))
                                                : float(float_::get(value));
}

void init() {
    point::register_type<2>();
}

} // namespace kiv::point2D
