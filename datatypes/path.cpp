#include "datatypes/path.h"

#include <charconv>
#include <cmath>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/file.h"
#include "datatypes/paren.h"
#include "datatypes/string.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/stack.h"

namespace kiv::path {

Cell* push_as(Cell& c, uint32_t type) {
    c.header = type;
    return stack::push(c);
}

Cell* make_at(Cell& c, int32_t n) {
    block::make_at(c, n);
    c.header = TYPE_PATH;
    return &c;
}

namespace {

// The block! conversion of a spec, retyped to the target type.
Cell* to_block_as(Cell* proto, const Cell* spec, uint32_t type) {
    auto block_to = reinterpret_cast<action::SlotFn<Slot::to>>(
        dispatch::get_action_ptr_from(TYPE_BLOCK, *spec, Slot::to));
    Cell* result = block_to(proto, spec, TYPE_BLOCK);
    cell::set_type(*result, type);
    return result;
}

bool is_block_like(uint32_t type) {
    switch (type) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH:
    case TYPE_PATH:
    case TYPE_LIT_PATH:
    case TYPE_SET_PATH:
    case TYPE_GET_PATH: return true;
    default: return false;
    }
}

void append_text(Cell* buffer, const char* text) {
    string::append_c_string(*buffer, text);
}

// Writes the values from the head joined by "/", each through `write`;
// stops early once a part limit in force is used up.
template <class Write>
int32_t join_values(const Cell* value, Cell* buffer, const Cell* arg, int32_t part, bool mold,
                    Write write) {
    if (const char* marker = cycles::detect(*value, part, mold)) {
        append_text(buffer, marker);
        return part;
    }
    cycles::Guard guard(value->w2);
    int32_t length = block::rs_length(*value);
    for (int32_t i = 0; i < length; ++i) {
        Cell c = block::rs_head(*value)[i];
        part = write(c, part);
        if (arg && part <= 0) return part;
        if (i + 1 < length) {
            append_text(buffer, "/");
            --part;
        }
    }
    return part;
}

} // namespace

Cell* make(Cell* proto, const Cell* spec, uint32_t type) {
    switch (cell::type_of(*spec)) {
    case TYPE_INTEGER:
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
        // A size below 1 gives room for one value.
        make_at(*proto, block::room_of(*spec));
        cell::set_type(*proto, type);
        return proto;
    }
    default:
        if (is_block_like(cell::type_of(*spec))) return to_block_as(proto, spec, type);
        Cell target;
        datatype::make_at(target, type);
        runtime::fire_error(runtime::Category::script, err::script::bad_make_arg, &target, spec);
    }
}

Cell* to(Cell* proto, const Cell* spec, uint32_t type) {
    switch (cell::type_of(*spec)) {
    case TYPE_MAP:
    case TYPE_OBJECT:
    case TYPE_TYPESET: {
        Cell value = *spec;
        make_at(*proto, 1);
        block::append_value(*proto, value);
        cell::set_type(*proto, type);
        return proto;
    }
    default: return to_block_as(proto, spec, type);
    }
}

int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
    return join_values(value, buffer, arg, part, false, [&](const Cell& c, int32_t left) {
        return dispatch::form(c, *buffer, arg, left);
    });
}

namespace {

// A whole float! is written as its digits, its float text would not load
// in a path (the colon of a set-path after it reads as a time). Digits
// load as a float! beyond the integer! range or past ten digits, so one
// within the range is padded with leading zeros to eleven. Writes it and
// answers true, or answers false.
bool mold_whole_float(const Cell& element, Cell& buffer, int32_t& part) {
    constexpr int float_digits = 11;
    if (cell::type_of(element) != TYPE_FLOAT) return false;
    double value = cell::get_float(element);
    if (!std::isfinite(value) || std::trunc(value) != value) return false;
    char text[400];
    char* end = text;
    if (std::signbit(value)) *end++ = '-';
    char digits[400];
    char* digits_end =
        std::to_chars(digits, digits + sizeof digits, std::fabs(value), std::chars_format::fixed)
            .ptr;
    for (auto n = digits_end - digits; n < float_digits; ++n) *end++ = '0';
    end = std::copy(digits, digits_end, end);
    string::append_bytes(buffer, reinterpret_cast<const uint8_t*>(text), uint32_t(end - text));
    part -= int32_t(end - text);
    return true;
}

} // namespace

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t) {
    return join_values(value, buffer, arg, part, true, [&](const Cell& c, int32_t left) {
        if (mold_whole_float(c, *buffer, left)) return left;
        if (cell::type_of(c) == TYPE_STRING) return string::mold(c, *buffer, all, arg, left, true);
        // Unquoted, a file would read the slashes after it as its own.
        if (cell::type_of(c) == TYPE_FILE) return file::mold_name(c, *buffer, arg, left, true);
        return dispatch::mold(c, *buffer, false, all, flat, arg, left, 0);
    });
}

namespace {

// 'a/b and :a/b: the prefix, then the path.
template <char Prefix>
int32_t mold_prefixed(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
                      const Cell* arg, int32_t part, int32_t indent) {
    const char prefix[2] = {Prefix, 0};
    append_text(buffer, prefix);
    return mold(value, buffer, only, all, flat, arg, part - 1, indent);
}

int32_t mold_set_path(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
                      const Cell* arg, int32_t part, int32_t indent) {
    part = mold(value, buffer, only, all, flat, arg, part, indent);
    append_text(buffer, ":");
    return part - 1;
}

} // namespace

void init() {
    // The series actions come from block!; a path is not shuffled, sorted
    // or trimmed.
    datatype::register_type(TYPE_PATH, TYPE_BLOCK, "path!",
                            {{Slot::make, make},
                             {Slot::random, action::no},
                             {Slot::to, to},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::sort, action::no},
                             {Slot::trim, action::no}});
    datatype::register_type(TYPE_LIT_PATH, TYPE_PATH, "lit-path!",
                            {{Slot::mold, mold_prefixed<'\''>}});
    datatype::register_type(TYPE_SET_PATH, TYPE_PATH, "set-path!", {{Slot::mold, mold_set_path}});
    datatype::register_type(TYPE_GET_PATH, TYPE_PATH, "get-path!",
                            {{Slot::mold, mold_prefixed<':'>}});
}

} // namespace kiv::path
