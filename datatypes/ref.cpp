#include "datatypes/ref.h"

#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::ref {

Cell* push(const Cell& ref) {
    return stack::push(ref);
}

namespace {

// @text.
int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    string::append_c_string(*buffer, "@");
    return string::form(*value, *buffer, arg, part - 1);
}

} // namespace

void init() {
    using namespace action;
    // clang-format off
    datatype::register_type(TYPE_REF, TYPE_STRING, "ref!", {
        inherit, no,      inherit, inherit, inherit, mold,    no,      no,      inherit, no, // 1-10
        no,      no,      no,      no,      no,      no,      no,      no,      no,      no, // 11-20
        no,      no,      no,      no,      no,      inherit, inherit, inherit, inherit, inherit, // 21-30
        inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, // 31-40
        no,      inherit, inherit, inherit, no,      inherit, inherit, inherit, inherit, inherit, // 41-50
        no,      no,      no,      no,      inherit, no,      no,      no,      no,      no, // 51-60
        no,      no // 61-62
    });
    // clang-format on
}

} // namespace kiv::ref
