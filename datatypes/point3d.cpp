#include "datatypes/point.h"
#include "runtime/stack.h"

namespace kiv::point3D {

Cell* make_at(Cell& c, double x, double y, double z) {
    uint32_t flags = c.header & ~cell::type_mask;
    const double xyz[] = {x, y, z};
    point::make_at(c, 3, xyz);
    c.header |= flags;
    return &c;
}

Cell* make_in(Cell& block, double x, double y, double z) {
    return make_at(*cell::alloc_tail(block), x, y, z);
}

Cell* push(double x, double y, double z) {
    Cell* c = stack::push_raw();
    *c = Cell{};
    return make_at(*c, x, y, z);
}

void init() {
    point::register_type<3>();
}

} // namespace kiv::point3D
