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
    datatype::register_type(TYPE_REF, TYPE_STRING, "ref!",
                            {{Slot::random, no},
                             {Slot::mold, mold},
                             {Slot::eval_path, no},
                             {Slot::append, no},
                             {Slot::sort, no},
                             {Slot::trim, no}});
}

} // namespace kiv::ref
