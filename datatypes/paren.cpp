#include "datatypes/paren.h"

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/path.h"
#include "datatypes/string.h"
#include "runtime/cycles.h"
#include "runtime/stack.h"

namespace kiv::paren {

Cell* push(Cell& c) {
    return path::push_as(c, TYPE_PAREN);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent) {
    if (const char* marker = cycles::detect(*value, part, true)) {
        string::append_c_string(*buffer, marker);
        return part;
    }
    cycles::Guard guard(value->w2);
    if (!only) {
        string::append_c_string(*buffer, "(");
        --part;
    }
    part = block::mold_each(*value, buffer, only, all, flat, arg, part, indent);
    if (!only) {
        string::append_c_string(*buffer, ")");
        --part;
    }
    return part;
}

void init() {
    datatype::register_type(TYPE_PAREN, TYPE_BLOCK, "paren!",
                            {{Slot::mold, mold}, {Slot::trim, action::no}});
}

} // namespace kiv::paren
