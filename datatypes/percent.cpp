#include "datatypes/percent.h"

#include <cstring>

#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/string.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::percent {

Cell* make_at(Cell& c, double value) {
    return float_::make_typed_at(c, TYPE_PERCENT, value);
}

Cell* make_in(Cell& block, uint32_t low, uint32_t high) {
    return float_::make_in(block, TYPE_PERCENT, low, high);
}

Cell* box(double value) {
    return make_at(*stack::state.base, value);
}

Cell* push(double value) {
    return make_at(*stack::push_raw(), value);
}

Cell* push64(uint32_t low, uint32_t high) {
    Cell* c = stack::push_raw();
    *c = Cell{TYPE_PERCENT, 0, low, high};
    return c;
}

namespace {

// The fraction times 100, with "%".
int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
    const char* text = float_::form_float(get(*value) * 100.0, float_::Mode::percent);
    string::append_c_string(*buffer, text);
    return part - int32_t(std::strlen(text));
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    return form(value, buffer, arg, part);
}

} // namespace

void init() {
    datatype::register_type(TYPE_PERCENT, TYPE_FLOAT, "percent!",
                            {{Slot::form, form}, {Slot::mold, mold}});
}

} // namespace kiv::percent
