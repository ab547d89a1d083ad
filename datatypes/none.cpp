#include "datatypes/none.h"

#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "datatypes/types.h"
#include "datatypes/unset.h"
#include "evaluator/stack.h"
#include "runtime/memory.h"

namespace kiv::none {

Cell value{TYPE_NONE, 0, 0, 0};

Cell* make_at(Cell& c) {
    c = Cell{TYPE_NONE, 0, 0, 0};
    return &c;
}

Cell* push() {
    return make_at(*stack::push_raw());
}

Cell* set_result() {
    return make_at(*stack::state.base);
}

Cell* make_in(Cell& block) {
    return make_at(*cell::alloc_tail(block));
}

namespace {

Cell* make(Cell* proto, const Cell*, uint32_t) {
    return make_at(*proto);
}

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
    datatype::register_type(TYPE_NONE, 0, "none!",
                            {make, no,     no, make,   form, mold,   no, no, unset::compare_unit,
                             no, // 1-10
                             no,   no,     no, no,     no,   no,     no, no, no,
                             no, // 11-20
                             no,   no,     no, no,     no,   no,     no, no, clear,
                             no, // 21-30
                             find, no,     no, no,     no,   length, no, no, no,
                             no, // 31-40
                             no,   remove, no, select, no,   no,     no, no, no,
                             take, // 41-50
                             no,   no,     no, no,     no,   no,     no, no, no,
                             no, // 51-60
                             no,   no});
}

} // namespace kiv::none
