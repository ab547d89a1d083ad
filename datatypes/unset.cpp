#include "datatypes/unset.h"

#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "datatypes/types.h"
#include "evaluator/stack.h"
#include "runtime/memory.h"

namespace kiv::unset {

const Cell value{TYPE_UNSET, 0, 0, 0};

Cell* make_at(Cell& c) {
    c = value;
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

int32_t form(const Cell*, Cell*, const Cell*, int32_t part) {
    return part;
}

int32_t mold(const Cell*, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part, int32_t) {
    const char* text = all ? "#(unset)" : "unset";
    string::append_c_string(*buffer, text);
    return part - (all ? 8 : 5);
}

} // namespace

int32_t compare_unit(const Cell* value1, const Cell* value2, int32_t op) {
    if (cell::type_of(*value2) != cell::type_of(*value1)) return -2;
    switch (op) {
    case 0:
    case 1:
    case 2:
    case 7:
    case 8:
    case 9:
    case 12: return 0;
    default: return -2;
    }
}

void init() {
    using namespace action;
    datatype::register_type(TYPE_UNSET, 0, "unset!",
                            {make, no, no, make, form, mold, no, no, compare_unit, no, // 1-10
                             no,   no, no, no,   no,   no,   no, no, no,           no, // 11-20
                             no,   no, no, no,   no,   no,   no, no, no,           no, // 21-30
                             no,   no, no, no,   no,   no,   no, no, no,           no, // 31-40
                             no,   no, no, no,   no,   no,   no, no, no,           no, // 41-50
                             no,   no, no, no,   no,   no,   no, no, no,           no, // 51-60
                             no,   no});
}

} // namespace kiv::unset
