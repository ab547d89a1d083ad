#include "datatypes/tuple.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "datatypes/block.h"
#include "datatypes/compound.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::tuple {

namespace {

struct Bytes {
    uint8_t b[max_size] = {};
    uint32_t size = 0;
};

Bytes bytes_of(const Cell& c) {
    Bytes out;
    out.size = size_of(c);
    for (uint32_t i = 0; i < out.size; ++i) out.b[i] = byte_at(c, i);
    return out;
}

uint8_t clamp(int64_t v) {
    return uint8_t(std::clamp<int64_t>(v, 0, 255));
}

// A float result as a byte, clamped before it is truncated: NaN and
// anything below 0 give 0, anything from 255 up (infinity too) 255.
uint8_t clamp(double v) {
    if (!(v > 0.0)) return 0;
    return v >= 255.0 ? 255 : uint8_t(v);
}

} // namespace

Cell* make_at(Cell& c, const uint8_t bytes[], uint32_t size) {
    uint32_t words[3] = {0, 0, 0};
    for (uint32_t i = 0; i < size; ++i) words[i / 4] |= uint32_t(bytes[i]) << (8 * (i % 4));
    uint32_t flags = c.header & ~(cell::type_mask | size_mask);
    c = Cell{flags | size << size_shift | TYPE_TUPLE, words[0], words[1], words[2]};
    return &c;
}

Cell* push(uint32_t size, uint32_t w1, uint32_t w2, uint32_t w3) {
    Cell* c = stack::push_raw();
    *c = Cell{size << size_shift | TYPE_TUPLE, w1, w2, w3};
    return c;
}

Cell* from_bytes(uint32_t count, const int32_t* values) {
    uint8_t bytes[max_size] = {};
    count = std::min(count, max_size);
    for (uint32_t i = 0; i < count; ++i) bytes[i] = uint8_t(values[i]);
    Cell* c = stack::push_raw();
    *c = Cell{};
    return make_at(*c, bytes, std::max(count, 3u));
}

Cell* from_binary(const Cell& binary, Cell& result) {
    Buffer* b = memory::buffer_of(binary.w2);
    int64_t available = int64_t(b->tail - b->head) - int32_t(binary.w1);
    uint32_t count = uint32_t(std::clamp<int64_t>(available, 0, max_size));
    uint8_t bytes[max_size] = {};
    if (count) std::memcpy(bytes, b->head + int32_t(binary.w1), count);
    result = Cell{};
    return make_at(result, bytes, std::max(count, 3u));
}

Cell* from_issue(const Cell& issue, Cell& result) {
    const char* name = symbol::c_name(issue.w2);
    size_t length = std::strlen(name);
    if (length != 3 && length != 6 && length != 8)
        runtime::fire_error(runtime::Category::script, err::script::invalid_data, &issue);
    uint8_t digits[8];
    for (size_t i = 0; i < length; ++i) {
        char c = name[i];
        digits[i] = c >= '0' && c <= '9'   ? uint8_t(c - '0')
                    : c >= 'A' && c <= 'F' ? uint8_t(c - 'A' + 10)
                    : c >= 'a' && c <= 'f' ? uint8_t(c - 'a' + 10)
                                           : 16;
        if (digits[i] > 15)
            runtime::fire_error(runtime::Category::script, err::script::invalid_data, &issue);
    }
    uint8_t bytes[4];
    uint32_t size = length == 3 ? 3 : uint32_t(length / 2);
    for (uint32_t i = 0; i < size; ++i)
        bytes[i] =
            length == 3 ? uint8_t(digits[i] * 17) : uint8_t(digits[2 * i] << 4 | digits[2 * i + 1]);
    result = Cell{};
    return make_at(result, bytes, size);
}

bool zero(const Cell& value) {
    for (uint32_t i = 0; i < size_of(value); ++i)
        if (byte_at(value, i)) return false;
    return true;
}

void do_math(int32_t op) {
    Cell* args = frame_args();
    bool tuple_left = cell::type_of(args[0]) == TYPE_TUPLE;
    const Cell& other = args[tuple_left ? 1 : 0];
    Bytes t = bytes_of(args[tuple_left ? 0 : 1]);
    Bytes r;
    r.size = t.size;
    switch (cell::type_of(other)) {
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
        double f = float_::get(other);
        for (uint32_t i = 0; i < t.size; ++i)
            r.b[i] =
                clamp(tuple_left ? float_::math_op(t.b[i], f, op) : float_::math_op(f, t.b[i], op));
        break;
    }
    case TYPE_INTEGER:
    case TYPE_TUPLE: {
        bool bytewise = cell::type_of(other) == TYPE_TUPLE;
        if (bytewise) r.size = std::max(t.size, size_of(other));
        for (uint32_t i = 0; i < r.size; ++i) {
            int64_t a = t.b[i];
            int64_t b = bytewise ? byte_at(other, i) : integer::get(other);
            if (!tuple_left) std::swap(a, b);
            r.b[i] = clamp(compound::integer_op(a, b, op));
        }
        break;
    }
    default: compound::invalid_type(other);
    }
    make_at(args[0], r.b, r.size);
}

namespace {

// Up to 12 integers, characters or floats (truncated), each 0..255.
void from_block(const Cell& spec, Cell& out) {
    int32_t count = block::rs_length(spec);
    if (count > int32_t(max_size)) compound::bad_to_arg(TYPE_TUPLE, spec);
    uint8_t bytes[max_size] = {};
    const Cell* items = block::rs_head(spec);
    for (int32_t i = 0; i < count; ++i) {
        double v;
        switch (cell::type_of(items[i])) {
        case TYPE_INTEGER:
        case TYPE_CHAR: v = integer::get(items[i]); break;
        case TYPE_FLOAT: v = std::trunc(float_::get(items[i])); break;
        default: compound::bad_to_arg(TYPE_TUPLE, spec);
        }
        if (!(v >= 0.0 && v <= 255.0)) compound::bad_to_arg(TYPE_TUPLE, spec);
        bytes[i] = uint8_t(v);
    }
    out = Cell{};
    make_at(out, bytes, std::max(uint32_t(std::max(count, 0)), 3u));
}

Cell* to(Cell* proto, const Cell* spec, uint32_t) {
    switch (cell::type_of(*spec)) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: from_block(*spec, *proto); break;
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF: compound::from_text(*spec, TYPE_TUPLE, *proto); break;
    case TYPE_ISSUE: from_issue(*spec, *proto); break;
    case TYPE_BINARY: from_binary(*spec, *proto); break;
    case TYPE_TUPLE: *proto = *spec; break;
    default: compound::bad_to_arg(TYPE_TUPLE, *spec);
    }
    return proto;
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
    std::string text;
    for (uint32_t i = 0; i < size_of(*value); ++i) {
        if (i) text += '.';
        text += integer::form_signed(byte_at(*value, i));
    }
    string::append_c_string(*buffer, text.c_str());
    return part - int32_t(text.size());
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    return form(value, buffer, arg, part);
}

// Byte by byte up to the larger size, a missing byte counting as 0: so
// 1.2.3 equals 1.2.3.0.
int32_t compare(const Cell* value1, const Cell* value2, int32_t) {
    if (cell::type_of(*value2) != TYPE_TUPLE) return -2;
    uint32_t size = std::max(size_of(*value1), size_of(*value2));
    for (uint32_t i = 0; i < size; ++i) {
        uint8_t a = byte_at(*value1, i), b = byte_at(*value2, i);
        if (a != b) return a < b ? -1 : 1;
    }
    return 0;
}

Cell* pick(Cell* value, int32_t index, const Cell* index_cell) {
    if (index < 1 || index > int32_t(size_of(*value))) {
        Cell position{TYPE_INTEGER, 0, uint32_t(index), 0};
        compound::out_of_range(index_cell ? *index_cell : position);
    }
    return integer::push(byte_at(*value, uint32_t(index - 1)));
}

// Setting a byte clamps an integer to 0..255; none cuts the tuple before
// the index (never below 3 bytes).
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell*, Cell*, int32_t, bool, bool,
                bool, bool) {
    if (cell::type_of(*element) != TYPE_INTEGER) compound::invalid_type(*element);
    int32_t index = integer::get(*element);
    if (!value) return pick(parent, index, element);
    uint32_t type = cell::type_of(*value);
    if (type != TYPE_INTEGER && type != TYPE_NONE) compound::invalid_type(*value);
    Bytes t = bytes_of(*parent);
    if (index < 1 || index > int32_t(t.size)) compound::out_of_range(*element);
    if (type == TYPE_INTEGER) {
        t.b[index - 1] = clamp(int64_t(integer::get(*value)));
    } else {
        std::fill(t.b + index - 1, t.b + max_size, 0);
        t.size = std::max(uint32_t(index - 1), 3u);
    }
    make_at(*parent, t.b, t.size);
    return value;
}

template <int32_t Op>
void math() {
    do_math(Op);
}

Cell* complement(Cell* value) {
    Bytes t = bytes_of(*value);
    for (uint32_t i = 0; i < t.size; ++i) t.b[i] = uint8_t(255 - t.b[i]);
    return make_at(*value, t.b, t.size);
}

int32_t length(Cell* value) {
    return int32_t(size_of(*value));
}

// Each byte b becomes a random byte from 0 to b.
Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(int32_t(value->w1 ^ value->w2 ^ value->w3));
        *value = Cell{TYPE_UNSET, 0, 0, 0};
        return value;
    }
    Bytes t = bytes_of(*value);
    for (uint32_t i = 0; i < t.size; ++i)
        t.b[i] = uint8_t(integer::random_int(t.b[i] + 1, secure) - 1);
    return make_at(*value, t.b, t.size);
}

[[noreturn]] void invalid_refine_arg(const char* refinement, const Cell& value) {
    Cell word{TYPE_REFINEMENT, 0, symbol::intern(refinement), 0};
    runtime::fire_error(runtime::Category::script, err::script::invalid_refine_arg, &word, &value);
}

int32_t refinement_count(const char* refinement, const Cell& value, int32_t lowest) {
    if (cell::type_of(value) != TYPE_INTEGER) invalid_refine_arg(refinement, value);
    int32_t n = integer::get(value);
    if (n < lowest) compound::out_of_range(value);
    return n;
}

// The first `part` bytes reversed, one by one or in groups of `skip`.
Cell* reverse(Cell* value, const Cell* part, const Cell* skip) {
    Bytes t = bytes_of(*value);
    uint32_t length = t.size;
    if (part) length = std::min(length, uint32_t(refinement_count("part", *part, 0)));
    uint32_t group = 1;
    if (skip) {
        group = uint32_t(refinement_count("skip", *skip, 1));
        if (group > length || length % group != 0) invalid_refine_arg("skip", *skip);
    }
    for (int32_t i = 0, j = int32_t(length) - int32_t(group); i < j;
         i += int32_t(group), j -= int32_t(group))
        std::swap_ranges(t.b + i, t.b + i + group, t.b + j);
    return make_at(*value, t.b, t.size);
}

} // namespace

void init() {
    datatype::register_type(TYPE_TUPLE, 0, "tuple!",
                            {
                                {Slot::make, to},
                                {Slot::random, random},
                                {Slot::to, to},
                                {Slot::form, form},
                                {Slot::mold, mold},
                                {Slot::eval_path, eval_path},
                                {Slot::compare, compare},
                                {Slot::add, math<integer::add>},
                                {Slot::divide, math<integer::divide>},
                                {Slot::multiply, math<integer::multiply>},
                                {Slot::remainder, math<integer::remainder>},
                                {Slot::subtract, math<integer::subtract>},
                                {Slot::and_, math<integer::and_>},
                                {Slot::or_, math<integer::or_>},
                                {Slot::xor_, math<integer::xor_>},
                                {Slot::complement, complement},
                                {Slot::length_q, length},
                                {Slot::pick, pick},
                                {Slot::reverse, reverse},
                            });
}

} // namespace kiv::tuple
