#include "datatypes/char.h"

#include <cmath>

#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/string.h"
#include "datatypes/vector.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv::char_ {

Cell* make_at(Cell& c, uint32_t code_point) {
    c = Cell{TYPE_CHAR, 0, code_point, 0};
    return &c;
}

Cell* push(uint32_t code_point) {
    return make_at(*stack::push_raw(), code_point);
}

Cell* make_in(Cell& block, uint32_t code_point) {
    return make_at(*cell::alloc_tail(block), code_point);
}

namespace {

[[noreturn]] void bad_to_arg(const Cell* spec) {
    Cell type;
    datatype::make_at(type, TYPE_CHAR);
    runtime::fire_error(runtime::Category::script, err::script::bad_to_arg, &type, spec);
}

[[noreturn]] void out_of_range(const Cell* spec) {
    runtime::fire_error(runtime::Category::script, err::script::out_of_range, spec);
}

// The code point of the UTF-8 sequence at the binary's head: 0xFFFE for a
// malformed sequence; an empty binary or a sequence cut short by the end of
// the data cannot convert.
uint32_t decode_utf8(const Cell* binary) {
    Buffer* b = memory::buffer_of(binary->w2);
    int64_t available = int64_t(b->tail - b->head) - int32_t(binary->w1);
    if (available <= 0) bad_to_arg(binary);
    const uint8_t* p = b->head + int32_t(binary->w1);
    if (utf8::seq_length(p[0]) > available) bad_to_arg(binary);
    int32_t code_point;
    utf8::decode_step(p, p + available, code_point);
    return code_point < 0 ? 0xFFFE : uint32_t(code_point);
}

// The code point at the head of a string type.
uint32_t first_char(const Cell* string) {
    if (string::at_tail(*string)) bad_to_arg(string);
    return string::char_at(*string, string::head_index(*string));
}

Cell* make(Cell* proto, const Cell* spec, uint32_t) {
    int64_t value;
    switch (cell::type_of(*spec)) {
    case TYPE_CHAR:
    case TYPE_INTEGER: value = integer::get(*spec); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
        double d = cell::get_float(*spec);
        // NaN and huge values fail the test without being converted.
        if (!(d > -1.0 && d < double(max_code_point) + 1.0)) out_of_range(spec);
        value = int64_t(d);
        break;
    }
    case TYPE_BINARY: value = decode_utf8(spec); break;
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF: value = first_char(spec); break;
    default: bad_to_arg(spec);
    }
    if (value < 0 || value > max_code_point) out_of_range(spec);
    return make_at(*proto, uint32_t(value));
}

[[noreturn]] void overflow() {
    runtime::fire_error(runtime::Category::math, err::math::overflow);
}

void math(int32_t op) {
    Cell* args = frame_args();
    int32_t right;
    switch (cell::type_of(args[1])) {
    case TYPE_CHAR:
    case TYPE_INTEGER: right = integer::get(args[1]); break;
    case TYPE_VECTOR: vector::scalar_left(op); return;
    case TYPE_FLOAT: {
        double d = cell::get_float(args[1]);
        if (integer::out_of_range(args[1])) overflow();
        right = int32_t(d);
        break;
    }
    default: {
        Cell type;
        datatype::make_at(type, cell::type_of(args[1]));
        runtime::fire_error(runtime::Category::script, err::script::invalid_type, &type);
    }
    }
    int32_t result = integer::do_math(integer::get(args[0]), right, op, nullptr);
    if (result < 0 || uint32_t(result) > max_code_point) overflow();
    args[0].w2 = uint32_t(result);
}

void add() {
    math(integer::add);
}
void subtract() {
    math(integer::subtract);
}
void multiply() {
    math(integer::multiply);
}
void divide() {
    math(integer::divide);
}
void remainder() {
    math(integer::remainder);
}
void or_() {
    math(integer::or_);
}
void and_() {
    math(integer::and_);
}
void xor_() {
    math(integer::xor_);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
    string::append_char(memory::buffer_of(buffer->w2), value->w2);
    return part - 1;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part,
             int32_t) {
    string::append_c_string(*buffer, "#\"");
    string::append_escaped_char(*buffer, value->w2, all);
    string::append_c_string(*buffer, "\"");
    return part - 4;
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    uint32_t type = cell::type_of(*value2);
    if ((op == 2 || op == 12) && type != TYPE_CHAR) return 1;
    if (type != TYPE_CHAR && type != TYPE_INTEGER) return -2;
    int32_t a = integer::get(*value1), b = integer::get(*value2);
    return (a > b) - (a < b);
}

} // namespace

void init() {
    using namespace action;
    datatype::register_type(TYPE_CHAR, TYPE_INTEGER, "char!",
                            {{Slot::make, make},
                             {Slot::to, make},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::compare, compare},
                             {Slot::add, add},
                             {Slot::divide, divide},
                             {Slot::multiply, multiply},
                             {Slot::negate, no},
                             {Slot::power, no},
                             {Slot::remainder, remainder},
                             {Slot::round, no},
                             {Slot::subtract, subtract},
                             {Slot::and_, and_},
                             {Slot::complement, no},
                             {Slot::or_, or_},
                             {Slot::xor_, xor_}});
}

} // namespace kiv::char_
