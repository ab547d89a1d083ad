#include "datatypes/handle.h"

#include <cstring>

#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::handle {

Cell* make_at(Cell& c, uint32_t value, uint32_t kind) {
    c = Cell{TYPE_HANDLE, kind, value, uint32_t(-1)};
    return &c;
}

Cell* box(uint32_t value, uint32_t kind) {
    return make_at(*stack::state.base, value, kind);
}

Cell* make_in(Cell& block, uint32_t value, uint32_t kind) {
    return make_at(*cell::alloc_tail(block), value, kind);
}

Cell* push(uint32_t value, uint32_t kind) {
    return make_at(*stack::push_raw(), value, kind);
}

Cell* push_null() {
    return push(0, none);
}

namespace {

constexpr const char* kind_names[] = {nullptr, "fd", "monitor", "window", "font", "rich-text"};

int32_t append(Cell* buffer, const char* text, int32_t part) {
    string::append_c_string(*buffer, text);
    return part - int32_t(std::strlen(text));
}

// The value as 8 upper-case hexadecimal digits and "h".
int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
    part = append(buffer, string::int_to_hex(int32_t(value_of(*value)), false), part);
    return append(buffer, "h", part);
}

// "handle!", or with /all the construction syntax with the kind's name.
int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell* arg, int32_t part,
             int32_t) {
    if (!all) return append(buffer, "handle!", part);
    part = append(buffer, "#[handle! ", part);
    part = form(value, buffer, arg, part);
    uint32_t kind = kind_of(*value);
    if (kind > none && kind <= rich_text) {
        part = append(buffer, " ", part);
        part = append(buffer, kind_names[kind], part);
    }
    return append(buffer, "]", part);
}

// Only handles compare (anything else is unequal), by their signed values.
int32_t compare(const Cell* value1, const Cell* value2, int32_t) {
    if (cell::type_of(*value2) != TYPE_HANDLE) return 1;
    int32_t a = int32_t(value_of(*value1)), b = int32_t(value_of(*value2));
    return (a > b) - (a < b);
}

} // namespace

void init() {
    using namespace action;
    // A handle! is compared and shown by its own functions and takes none
    // of integer!'s arithmetic.
    datatype::register_type(TYPE_HANDLE, TYPE_INTEGER, "handle!",
                            {{Slot::make, no},       {Slot::random, no}, {Slot::to, no},
                             {Slot::form, form},     {Slot::mold, mold}, {Slot::compare, compare},
                             {Slot::absolute, no},   {Slot::add, no},    {Slot::divide, no},
                             {Slot::multiply, no},   {Slot::negate, no}, {Slot::power, no},
                             {Slot::remainder, no},  {Slot::round, no},  {Slot::subtract, no},
                             {Slot::even_q, no},     {Slot::odd_q, no},  {Slot::and_, no},
                             {Slot::complement, no}, {Slot::or_, no},    {Slot::xor_, no}});
}

} // namespace kiv::handle
