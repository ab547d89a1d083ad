#include "datatypes/tag.h"

#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "datatypes/types.h"
#include "evaluator/stack.h"

namespace kiv::tag {

Cell* push(const Cell& tag) {
    return stack::push(tag);
}

namespace {

// <text>: the characters as string! forms them; each bracket counts one
// against the part limit.
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
    string::append_c_string(*buffer, "<");
    part = string::form(*value, *buffer, arg, part - 1);
    string::append_c_string(*buffer, ">");
    return part - 1;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    return form(value, buffer, arg, part);
}

} // namespace

void init() {
    using namespace action;
    // clang-format off
    datatype::register_type(TYPE_TAG, TYPE_STRING, "tag!", {
        inherit, no,      inherit, inherit, form,    mold,    inherit, no,      inherit, no, // 1-10
        no,      no,      no,      no,      no,      no,      no,      no,      no,      no, // 11-20
        no,      no,      no,      no,      inherit, inherit, inherit, inherit, inherit, inherit, // 21-30
        inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, // 31-40
        inherit, inherit, inherit, inherit, no,      inherit, inherit, inherit, inherit, inherit, // 41-50
        no,      no,      no,      no,      inherit, no,      no,      no,      no,      no, // 51-60
        no,      no // 61-62
    });
    // clang-format on
}

} // namespace kiv::tag
