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
    using namespace action;
    // clang-format off
    datatype::register_type(TYPE_NONE, 0, "none!", {
        make, no,     no, make,   form, mold,   no, no, unit::compare, no, // 1-10
        no,   no,     no, no,     no,   no,     no, no, no,            no, // 11-20
        no,   no,     no, no,     no,   no,     no, no, clear,         no, // 21-30
        find, no,     no, no,     no,   length, no, no, no,            no, // 31-40
        no,   remove, no, select, no,   no,     no, no, no,            take, // 41-50
        no,   no,     no, no,     no,   no,     no, no, no,            no, // 51-60
        no,   no // 61-62
    });
    // clang-format on
}

} // namespace kiv::none
