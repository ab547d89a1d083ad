#include "datatypes/none.h"

#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "datatypes/unset.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::none {

Cell value{TYPE_NONE, 0, 0, 0};

namespace {

constexpr auto make = unit::make<TYPE_NONE>;

int32_t form(const Cell*, Cell* buffer, const Cell*, int32_t part) {
    string::append_c_string(*buffer, "none");
    return part - 4;
}

int32_t mold(const Cell* v, Cell* buffer, bool, bool all, bool, const Cell* arg, int32_t part,
             int32_t) {
    if (!all) return form(v, buffer, arg, part);
    string::append_c_string(*buffer, "#(none)");
    return part - 7;
}

// Series actions on none give none.
Cell* clear(Cell*) {
    return &value;
}
Cell* find(Cell*, const Cell*, const Cell*, bool, bool, bool, bool, const Cell*, const Cell*, bool,
           bool, bool, bool) {
    return &value;
}
Cell* remove(Cell*, const Cell*, const Cell*) {
    return &value;
}
Cell* select(Cell*, const Cell*, const Cell*, bool, bool, bool, bool, const Cell*, const Cell*,
             bool, bool) {
    return &value;
}
Cell* take(Cell*, const Cell*, bool, bool) {
    return &value;
}
int32_t length(Cell*) {
    return -1;
}

} // namespace

void init() {
    datatype::register_type(TYPE_NONE, 0, "none!",
                            {{Slot::make, make},
                             {Slot::to, make},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::compare, unit::compare},
                             {Slot::clear, clear},
                             {Slot::find, find},
                             {Slot::length_q, length},
                             {Slot::remove, remove},
                             {Slot::select, select},
                             {Slot::take, take}});
}

} // namespace kiv::none
