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
    datatype::register_type(TYPE_UNSET, 0, "unset!",
                            {{Slot::make, make},
                             {Slot::to, make},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::compare, unit::compare}});
}

} // namespace kiv::unset
