#include "datatypes/unset.h"

#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::unset {

const Cell value{TYPE_UNSET, 0, 0, 0};

namespace {

constexpr auto make = unit::make<TYPE_UNSET>;

int32_t form(const Cell*, Cell*, const Cell*, int32_t part) {
    return part;
}

int32_t mold(const Cell*, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part, int32_t) {
    const char* text = all ? "#(unset)" : "unset";
    string::append_c_string(*buffer, text);
    return part - (all ? 8 : 5);
}

} // namespace

void init() {
    using namespace action;
    // clang-format off
    datatype::register_type(TYPE_UNSET, 0, "unset!", {
        make, no, no, make, form, mold, no, no, unit::compare, no, // 1-10
        no,   no, no, no,   no,   no,   no, no, no,            no, // 11-20
        no,   no, no, no,   no,   no,   no, no, no,            no, // 21-30
        no,   no, no, no,   no,   no,   no, no, no,            no, // 31-40
        no,   no, no, no,   no,   no,   no, no, no,            no, // 41-50
        no,   no, no, no,   no,   no,   no, no, no,            no, // 51-60
        no,   no // 61-62
    });
    // clang-format on
}

} // namespace kiv::unset
