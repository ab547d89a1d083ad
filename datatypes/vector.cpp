#include "datatypes/vector.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/ownership.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "runtime/errors.h"
#include "runtime/float_text.h"
#include "runtime/interrupt.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace kiv::vector {

namespace {

using ownership::Word;

constexpr uint32_t max_code_point = 0x10FFFF;

bool is_float_type(uint32_t type) {
    return type == TYPE_FLOAT || type == TYPE_PERCENT;
}

bool is_element_type(uint32_t type) {
    return type == TYPE_CHAR || type == TYPE_INTEGER || is_float_type(type);
}

uint32_t default_width(uint32_t type) {
    return is_float_type(type) ? 8 : 4;
}

Buffer* buffer_of(const Cell& v) {
    return memory::buffer_of(v.w2);
}

uint32_t width_of(const Cell& v) {
    return buffer_of(v)->unit();
}

uint8_t* address(const Cell& v, uint32_t index) {
    Buffer* b = buffer_of(v);
    return b->head + size_t(index) * b->unit();
}

[[noreturn]] void script_error(uint32_t id, const Cell* arg1 = nullptr,
                               const Cell* arg2 = nullptr) {
    runtime::fire_error(runtime::Category::script, id, arg1, arg2);
}

[[noreturn]] void math_error(uint32_t id) {
    runtime::fire_error(runtime::Category::math, id);
}

[[noreturn]] void not_done() {
    runtime::fire_error(runtime::Category::internal, err::internal::not_done);
}

// ------------------------------------------------------- element codec

// Integer and character elements as 64-bit numbers: integers sign-extended,
// characters unsigned.
int64_t read_int(const uint8_t* p, uint32_t width, uint32_t type) {
    bool sign = type == TYPE_INTEGER;
    switch (width) {
    case 1: return sign ? int64_t(int8_t(*p)) : int64_t(*p);
    case 2: {
        uint16_t u;
        std::memcpy(&u, p, 2);
        return sign ? int64_t(int16_t(u)) : int64_t(u);
    }
    default: {
        uint32_t u;
        std::memcpy(&u, p, 4);
        return sign ? int64_t(int32_t(u)) : int64_t(u);
    }
    }
}

double read_float(const uint8_t* p, uint32_t width) {
    if (width == 4) {
        float f;
        std::memcpy(&f, p, 4);
        return double(f);
    }
    double d;
    std::memcpy(&d, p, 8);
    return d;
}

// Keeps the low bits of the width.
void write_int(uint8_t* p, uint32_t width, int64_t n) {
    switch (width) {
    case 1: *p = uint8_t(n); break;
    case 2: {
        uint16_t u = uint16_t(n);
        std::memcpy(p, &u, 2);
        break;
    }
    default: {
        uint32_t u = uint32_t(n);
        std::memcpy(p, &u, 4);
    }
    }
}

void write_float(uint8_t* p, uint32_t width, double d) {
    if (width == 4) {
        float f = float(d);
        std::memcpy(p, &f, 4);
    } else {
        std::memcpy(p, &d, 8);
    }
}

// Any element as a double, for comparison and search.
double read_number(const uint8_t* p, uint32_t width, uint32_t type) {
    return is_float_type(type) ? read_float(p, width) : double(read_int(p, width, type));
}

Cell element_at(const uint8_t* p, uint32_t width, uint32_t type) {
    Cell out{};
    switch (type) {
    case TYPE_INTEGER: integer::make_at(out, int32_t(read_int(p, width, type))); break;
    case TYPE_CHAR: char_::make_at(out, uint32_t(read_int(p, width, type))); break;
    default: float_::make_typed_at(out, type, read_float(p, width));
    }
    return out;
}

// A character element: a code point that fits, else math overflow.
int64_t checked_char(int64_t n, uint32_t type) {
    if (type == TYPE_CHAR && (n < 0 || n > max_code_point)) math_error(err::math::overflow);
    return n;
}

// Stores a scalar converted to the element type: a float into an integer
// element truncated (range-checked), a number into a float element as its
// value; never the bits of one family in the other.
void store(uint8_t* p, uint32_t width, uint32_t type, const Cell& value) {
    uint32_t t = cell::type_of(value);
    if (!is_element_type(t)) {
        Cell named{};
        datatype::make_at(named, t);
        script_error(err::script::invalid_type, &named);
    }
    if (is_float_type(type)) {
        write_float(p, width,
                    is_float_type(t) ? cell::get_float(value) : double(int32_t(value.w2)));
        return;
    }
    int64_t n = is_float_type(t) ? float_::truncate(cell::get_float(value))
                : t == TYPE_CHAR ? int64_t(value.w2)
                                 : int64_t(int32_t(value.w2));
    if (type == TYPE_CHAR && (n < 0 || n > max_code_point))
        script_error(err::script::out_of_range, &value);
    write_int(p, width, n);
}

// The converted elements of a value (a scalar, or a block of them) at
// the vector's width, at most `part` of them when part >= 0.
std::vector<uint8_t> encode(const Cell& vector, const Cell& value, int32_t part) {
    uint32_t width = width_of(vector);
    uint32_t type = vector.w3;
    std::vector<uint8_t> bytes;
    auto add = [&](const Cell& v) {
        bytes.resize(bytes.size() + width);
        store(bytes.data() + bytes.size() - width, width, type, v);
    };
    uint32_t t = cell::type_of(value);
    if (t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH) {
        int32_t n = std::max(block::rs_length(value), 0);
        if (part >= 0) n = std::min(n, part);
        for (int32_t i = 0; i < n; ++i) add(block::rs_head(value)[i]);
    } else if (part != 0) {
        add(value);
    }
    return bytes;
}

// Opens room for `bytes` at an absolute element index; the buffer grows to
// the new size or to twice its capacity, whichever is larger.
Buffer* open_gap(const Cell& vector, uint32_t index, size_t bytes) {
    Buffer* b = buffer_of(vector);
    uint64_t need = uint64_t(b->tail - b->head) + bytes;
    if (need > 0xFFFFFFF0u)
        runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    if (b->tail + bytes > b->data_end())
        b = memory::expand_series(b, int64_t(std::max<uint64_t>(need, uint64_t(b->size) * 2)));
    uint8_t* at = b->head + size_t(index) * b->unit();
    std::memmove(at + bytes, at, size_t(b->tail - at));
    b->tail += bytes;
    return b;
}

// Writes `dup` copies of the encoded elements at an absolute index.
void insert_at(const Cell& vector, uint32_t index, const std::vector<uint8_t>& bytes, int32_t dup) {
    uint64_t total = uint64_t(bytes.size()) * uint64_t(std::max(dup, 0));
    if (total > 0xFFFFFFF0u)
        runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    if (total == 0) return;
    Buffer* b = open_gap(vector, index, size_t(total));
    uint8_t* at = b->head + size_t(index) * b->unit();
    size_t n = bytes.size();
    runtime::write_copies(
        uint32_t(dup), n,
        [&](uint64_t first, uint64_t count) {
            for (uint8_t* out = at + first * n; count--; out += n)
                std::memcpy(out, bytes.data(), n);
        },
        // An interrupt closes the gap after the copies made.
        [&](uint64_t done) {
            std::memmove(at + done * n, at + total, size_t(b->tail - (at + total)));
            b->tail -= total - done * n;
        });
}

uint32_t element_count(const std::vector<uint8_t>& bytes, const Cell& vector) {
    return uint32_t(bytes.size() / width_of(vector));
}

} // namespace

// -------------------------------------------------------------- services

Cell* make_at(Cell& cell, uint32_t count, uint32_t element_type, uint32_t width) {
    uint64_t bytes = uint64_t(count) * width;
    if (bytes > 0xFFFFFFF0u)
        runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    cell = Cell{cell::unset_header, 0, 0, 0};
    cell.w2 = memory::alloc_units(std::max(count, 1u), width);
    Buffer* b = memory::buffer_of(cell.w2);
    std::memset(b->head, 0, size_t(bytes));
    b->tail = b->head + bytes;
    cell.w3 = element_type;
    cell.header = TYPE_VECTOR;
    return &cell;
}

uint32_t length(const Cell& vector) {
    uint32_t n = series::buffer_length(vector);
    return n - std::min(n, series::head_of(vector));
}

Cell element(const Cell& vector, uint32_t index) {
    return element_at(address(vector, index), width_of(vector), vector.w3);
}

void set_element(const Cell& vector, uint32_t index, const Cell& value) {
    store(address(vector, index), width_of(vector), vector.w3, value);
}

void to_block(const Cell& vector, Cell& out) {
    uint32_t head = series::head_of(vector);
    uint32_t n = length(vector);
    block::make_at(out, int32_t(n));
    for (uint32_t i = 0; i < n; ++i) block::append_value(out, element(vector, head + i));
}

// ------------------------------------------------------------------ make

namespace {

// The element type a type word names, 0 when none.
uint32_t named_type(const Cell& word) {
    uint32_t t = cell::type_of(word);
    if (t < TYPE_WORD || t > TYPE_GET_WORD) return 0;
    uint32_t name = symbol::resolve(word.w2);
    for (uint32_t type : {TYPE_CHAR, TYPE_INTEGER, TYPE_FLOAT, TYPE_PERCENT})
        if (name == symbol::resolve(symbol::intern(type_names[type]))) return type;
    return 0;
}

bool valid_bits(uint32_t type, int32_t bits) {
    if (is_float_type(type)) return bits == 32 || bits == 64;
    return bits == 8 || bits == 16 || bits == 32;
}

// The count of a make size: negative and NaN sizes are out of range.
uint32_t size_of(const Cell& spec) {
    double n =
        cell::type_of(spec) == TYPE_INTEGER ? double(integer::get(spec)) : cell::get_float(spec);
    if (std::isnan(n) || n < 0) script_error(err::script::out_of_range, &spec);
    if (n > double(0xFFFFFFF0u))
        runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    return uint32_t(n);
}

// What a spec block asks for.
struct Spec {
    uint32_t type = TYPE_INTEGER;
    uint32_t width = 4;
    uint32_t size = 0;
    const Cell* values = nullptr; // a block of values, or null
};

Spec read_spec(const Cell& block) {
    const Cell* cells = block::rs_head(block);
    int32_t n = std::max(block::rs_length(block), 0);
    Spec s;
    if (n == 0) return s;
    if (cell::type_of(cells[0]) < TYPE_WORD || cell::type_of(cells[0]) > TYPE_GET_WORD) {
        s.type = cell::type_of(cells[0]);
        if (!is_element_type(s.type)) {
            Cell named{};
            datatype::make_at(named, s.type);
            script_error(err::script::invalid_type, &named);
        }
        s.width = default_width(s.type);
        s.values = &block;
        return s;
    }
    Cell vector_type{};
    datatype::make_at(vector_type, TYPE_VECTOR);
    s.type = named_type(cells[0]);
    if (n < 2 || !s.type) script_error(err::script::bad_make_arg, &vector_type, &block);
    int32_t at = 1;
    if (cell::type_of(cells[1]) == TYPE_INTEGER) {
        int32_t bits = integer::get(cells[1]);
        if (s.type != TYPE_PERCENT && !valid_bits(s.type, bits))
            script_error(err::script::bad_make_arg, &vector_type, &block);
        s.width = s.type == TYPE_PERCENT ? 8 : uint32_t(bits / 8);
        at = 2;
    } else if (s.type == TYPE_PERCENT) {
        s.width = 8;
    } else {
        script_error(err::script::invalid_spec_field, &block);
    }
    if (at < n && cell::type_of(cells[at]) == TYPE_INTEGER) s.size = size_of(cells[at++]);
    if (at < n && cell::type_of(cells[at]) == TYPE_BLOCK) s.values = &cells[at++];
    if (at < n) script_error(err::script::invalid_spec_field, &block);
    return s;
}

} // namespace

Cell* make(Cell* proto, const Cell* spec, uint32_t) {
    switch (cell::type_of(*spec)) {
    case TYPE_INTEGER:
    case TYPE_FLOAT: return make_at(*proto, size_of(*spec), TYPE_INTEGER, 4);
    case TYPE_BLOCK: break;
    default: not_done();
    }
    Rooted<Cell> source(*spec);
    Spec s = read_spec(*source);
    Rooted<Cell> values(s.values ? *s.values : Cell{TYPE_NONE, 0, 0, 0});
    int32_t n = s.values ? std::max(block::rs_length(*values), 0) : 0;
    uint32_t count = std::max(s.size, uint32_t(n));
    Rooted<Cell> out;
    make_at(*out, count, s.type, s.width);
    for (int32_t i = 0; i < n; ++i) {
        const Cell& v = block::rs_head(*values)[i];
        if (cell::type_of(v) != s.type) script_error(err::script::invalid_arg, &v);
        set_element(*out, uint32_t(i), v);
    }
    *proto = *out;
    return proto;
}

// --------------------------------------------------------- form and mold

namespace {

void append_text(Cell* buffer, const char* text, int32_t& part) {
    string::append_c_string(*buffer, text);
    part -= int32_t(std::strlen(text));
}

// Writes the elements from the head separated by spaces; stops once a
// part limit in force is used up.
int32_t write_elements(const Cell& v, Cell* buffer, const Cell* arg, int32_t part, bool mold) {
    uint32_t head = series::head_of(v);
    uint32_t n = length(v);
    uint32_t width = width_of(v);
    for (uint32_t i = 0; i < n; ++i) {
        if (arg && part <= 0) break;
        if (i) append_text(buffer, " ", part);
        const uint8_t* p = address(v, head + i);
        switch (v.w3) {
        case TYPE_INTEGER: {
            char digits[16];
            auto end = std::to_chars(digits, digits + 15, int32_t(read_int(p, width, v.w3))).ptr;
            *end = 0;
            append_text(buffer, digits, part);
            break;
        }
        case TYPE_CHAR: {
            uint32_t cp = uint32_t(read_int(p, width, v.w3));
            int32_t before = int32_t(string::length_whole(*buffer));
            if (mold) {
                string::append_c_string(*buffer, "#\"");
                string::append_escaped_char(*buffer, cp, false);
                string::append_c_string(*buffer, "\"");
            } else {
                Buffer* b = memory::buffer_of(buffer->w2);
                string::append_char(b, cp);
            }
            part -= int32_t(string::length_whole(*buffer)) - before;
            break;
        }
        case TYPE_FLOAT:
            append_text(buffer,
                        float_::form_float(read_float(p, width), width == 4
                                                                     ? float_::Mode::vector_float32
                                                                     : float_::Mode::float_),
                        part);
            break;
        default:
            append_text(buffer,
                        float_::form_float(read_float(p, width) * 100.0,
                                           width == 4 ? float_::Mode::vector_percent32
                                                      : float_::Mode::percent),
                        part);
        }
    }
    return part;
}

} // namespace

int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
    return write_elements(*value, buffer, arg, part, false);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    const Cell v = *value;
    if (!only) append_text(buffer, "make vector! [", part);
    bool plain = length(v) > 0 && width_of(v) == default_width(v.w3);
    if (!plain) {
        append_text(buffer, type_names[v.w3], part);
        char bits[8];
        auto end = std::to_chars(bits, bits + 7, width_of(v) * 8).ptr;
        *end = 0;
        append_text(buffer, " ", part);
        append_text(buffer, bits, part);
        append_text(buffer, " [", part);
    }
    part = write_elements(v, buffer, arg, part, true);
    if (!plain) append_text(buffer, "]", part);
    if (!only) append_text(buffer, "]", part);
    return part;
}

// ------------------------------------------------------------ comparison

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    if (cell::type_of(*value2) != TYPE_VECTOR) return -2;
    if (value1->w3 != value2->w3) script_error(err::script::not_same_type);
    bool same = value1->w2 == value2->w2 && value1->w1 == value2->w1;
    if (op == 9) return same ? 0 : 1;
    if (same && block::is_equality(op)) return 0;
    uint32_t n1 = length(*value1), n2 = length(*value2);
    if (n1 != n2 && block::is_equality(op)) return 1;
    uint32_t h1 = series::head_of(*value1), h2 = series::head_of(*value2);
    uint32_t w1 = width_of(*value1), w2 = width_of(*value2);
    for (uint32_t i = 0; i < std::min(n1, n2); ++i) {
        double a = read_number(address(*value1, h1 + i), w1, value1->w3);
        double b = read_number(address(*value2, h2 + i), w2, value2->w3);
        if (a != b) return a < b ? -1 : 1;
    }
    return (n1 > n2) - (n1 < n2);
}

// ------------------------------------------------------------ arithmetic

namespace {

// The 32-bit integer arithmetic of elements: add, subtract and multiply
// wrap around, division truncates; a zero divisor raises zero-divide.
int64_t int_op(int64_t a, int64_t b, int32_t op) {
    switch (op) {
    case integer::add: return int32_t(uint32_t(a + b));
    case integer::subtract: return int32_t(uint32_t(a - b));
    case integer::multiply: return int32_t(uint32_t(uint64_t(a) * uint64_t(b)));
    case integer::divide:
        if (b == 0) math_error(err::math::zero_divide);
        return int32_t(uint32_t(a / b));
    case integer::remainder:
        if (b == 0) math_error(err::math::zero_divide);
        return a % b;
    case integer::or_: return a | b;
    case integer::and_: return a & b;
    default: return a ^ b;
    }
}

double float_op(double a, double b, int32_t op) {
    if ((op == integer::divide || op == integer::remainder) && b == 0)
        math_error(err::math::zero_divide);
    return float_::math_op(a, b, op);
}

// One element of the result: integer elements through 32-bit integer
// arithmetic, or in double (truncated, range-checked) when the other
// operand is a float that is not whole.
void combine(uint8_t* out, uint32_t width, uint32_t type, const uint8_t* a, uint32_t wa,
             double b_float, int64_t b_int, bool in_double, int32_t op) {
    if (is_float_type(type)) {
        write_float(out, width, float_op(read_float(a, wa), b_float, op));
    } else if (in_double) {
        double r = float_op(double(read_int(a, wa, type)), b_float, op);
        write_int(out, width, checked_char(float_::truncate(r), type));
    } else {
        write_int(out, width, checked_char(int_op(read_int(a, wa, type), b_int, op), type));
    }
}

bool is_bitwise(int32_t op) {
    return op == integer::or_ || op == integer::and_ || op == integer::xor_;
}

// vector op scalar, in place.
void with_scalar(Cell& v, const Cell& scalar, int32_t op) {
    uint32_t t = cell::type_of(scalar);
    if (!(t == TYPE_INTEGER || t == TYPE_CHAR || is_float_type(t))) not_done();
    double b = is_float_type(t) ? cell::get_float(scalar) : double(int32_t(scalar.w2));
    bool float_elements = is_float_type(v.w3);
    if (float_elements && is_bitwise(op)) {
        Cell named{};
        datatype::make_at(named, v.w3);
        runtime::fire_error(runtime::Category::script, err::script::cannot_use, nullptr, &named);
    }
    bool whole = b == std::trunc(b) && b >= -2147483648.0 && b <= 2147483647.0;
    bool in_double = !float_elements && !whole;
    if (in_double && is_bitwise(op)) script_error(err::script::invalid_type, &scalar);
    int64_t b_int = whole ? int64_t(b) : 0;
    bool identity = ((op == integer::add || op == integer::subtract) && b == 0) ||
                    ((op == integer::multiply || op == integer::divide) && b == 1);
    if (identity) return;
    uint32_t head = series::head_of(v);
    uint32_t n = length(v);
    uint32_t width = width_of(v);
    series::Change change(v, Word::change, nullptr, 0, int32_t(n));
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t* p = address(v, head + i);
        combine(p, width, v.w3, p, width, b, b_int, in_double, op);
    }
    change.done(Word::changed);
}

// vector op vector: a new vector as long as the shorter, as wide as the
// wider, of the first one's element type.
void with_vector(Cell& result, const Cell& a, const Cell& b, int32_t op) {
    if (a.w3 != b.w3) script_error(err::script::not_same_type);
    if (is_float_type(a.w3) && is_bitwise(op)) {
        Cell named{};
        datatype::make_at(named, a.w3);
        runtime::fire_error(runtime::Category::script, err::script::cannot_use, nullptr, &named);
    }
    uint32_t n = std::min(length(a), length(b));
    uint32_t wa = width_of(a), wb = width_of(b), width = std::max(wa, wb);
    Rooted<Cell> out;
    make_at(*out, n, a.w3, width);
    uint32_t ha = series::head_of(a), hb = series::head_of(b);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* pb = address(b, hb + i);
        double bf = read_number(pb, wb, b.w3);
        int64_t bi = is_float_type(b.w3) ? 0 : read_int(pb, wb, b.w3);
        combine(address(*out, i), width, a.w3, address(a, ha + i), wa, bf, bi, false, op);
    }
    result = *out;
}

void do_math(int32_t op) {
    Cell* args = frame_args();
    if (cell::type_of(args[1]) == TYPE_VECTOR) {
        Cell a = args[0], b = args[1]; // both stay reachable in the frame
        with_vector(args[0], a, b, op);
        return;
    }
    with_scalar(args[0], args[1], op);
}

template <int32_t Op>
void math() {
    do_math(Op);
}

} // namespace

void scalar_left(int32_t op) {
    if (op == integer::subtract || op == integer::divide || op == integer::remainder) {
        static const char* const names[] = {"add", "subtract", "multiply", "divide", "remainder"};
        Cell action = series::word_cell(names[op]);
        Cell type{};
        datatype::make_at(type, TYPE_VECTOR);
        script_error(err::script::not_related, &action, &type);
    }
    Cell* args = frame_args();
    std::swap(args[0], args[1]);
    do_math(op);
}

// ----------------------------------------------- reading and storing

namespace {

Cell* pick(Cell* series, int32_t index, const Cell*) {
    int64_t pos = series::pick_position(*series, index);
    *series = pos < 0 ? none::value : element(*series, uint32_t(pos));
    return series;
}

Cell* poke(Cell* series, int32_t index, Cell* value, const Cell*) {
    int64_t pos = series::pick_position(*series, index);
    if (pos < 0) {
        Cell n{};
        integer::make_at(n, index);
        script_error(err::script::out_of_range, &n);
    }
    series::Change change(*series, Word::poke, value,
                          int32_t(pos) - int32_t(series::head_of(*series)), 1);
    set_element(*series, uint32_t(pos), *value);
    change.done(Word::poked);
    return value;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool,
                bool, bool, bool) {
    if (cell::type_of(*element) != TYPE_INTEGER)
        script_error(err::script::invalid_path, path, element);
    if (value) return poke(parent, integer::get(*element), value, element);
    return pick(stack::push(*parent), integer::get(*element), element);
}

Cell* insert(Cell* series, const Cell* value, int32_t part, bool, int32_t dup, bool append) {
    std::vector<uint8_t> bytes = encode(*series, *value, part);
    uint32_t n = element_count(bytes, *series);
    uint32_t length_now = series::buffer_length(*series);
    uint32_t at = append ? length_now : series::head_of(*series);
    series::Change change(*series, append ? Word::append : Word::insert, value,
                          int32_t(at) - int32_t(series::head_of(*series)), int32_t(n));
    insert_at(*series, at, bytes, dup);
    change.done(append ? Word::appended : Word::inserted);
    series->w1 = append ? 0 : uint32_t(at + n * uint32_t(std::max(dup, 0)));
    return series;
}

Cell* change(Cell* series, const Cell* value, int32_t part, bool, int32_t dup) {
    std::vector<uint8_t> bytes = encode(*series, *value, -1);
    uint32_t n = element_count(bytes, *series);
    uint32_t head = series::head_of(*series);
    uint32_t available = series::buffer_length(*series) - head;
    int64_t written = int64_t(n) * std::max(dup, 1);
    uint32_t removed = uint32_t(std::min<int64_t>(available, part >= 0 ? part : written));
    series::Change change(*series, Word::change, value, 0, int32_t(removed));
    if (removed) string::remove_part(*series, head, removed);
    insert_at(*series, head, bytes, std::max(dup, 1));
    change.done(Word::changed);
    series->w1 = uint32_t(head + written);
    return series;
}

// ------------------------------------------------------------- search

struct Hit {
    int64_t at = -1;
    int64_t step = 1;
};

Hit search(const Cell& v, const Cell& value, const Cell* part, const Cell* skip, bool last,
           bool reverse, bool match) {
    Hit h;
    uint32_t t = cell::type_of(value);
    if (!is_element_type(t)) return h;
    double wanted = is_float_type(t) ? cell::get_float(value) : double(int32_t(value.w2));
    if (t == TYPE_CHAR) wanted = double(value.w2);
    int64_t length_all = series::buffer_length(v);
    int64_t head = series::head_of(v);
    if (skip) {
        if (cell::type_of(*skip) != TYPE_INTEGER) series::invalid_refine("skip", *skip);
        h.step = integer::get(*skip);
        if (h.step < 1) script_error(err::script::out_of_range, skip);
    }
    int64_t end = length_all;
    if (part) end = std::min<int64_t>(end, head + std::max(series::part_count(v, *part), 0));
    uint32_t width = width_of(v);
    auto found = [&](int64_t i) {
        return read_number(address(v, uint32_t(i)), width, v.w3) == wanted;
    };
    if (last || reverse) {
        for (int64_t i = last ? end - 1 : head - 1; i >= 0; i -= h.step) {
            if (found(i)) return h.at = i, h;
            if (match) break;
        }
        return h;
    }
    for (int64_t i = head; i < end; i += h.step) {
        if (found(i)) return h.at = i, h;
        if (match) break;
    }
    return h;
}

Cell* find(Cell* series, const Cell* value, const Cell* part, bool, bool, bool, bool, const Cell*,
           const Cell* skip, bool last, bool reverse, bool tail, bool match) {
    Hit h = search(*series, *value, part, skip, last, reverse, match);
    if (h.at < 0) {
        *series = none::value;
        return series;
    }
    series->w1 = uint32_t(tail ? h.at + 1 : h.at);
    return series;
}

Cell* select(Cell* series, const Cell* value, const Cell* part, bool, bool, bool, bool, const Cell*,
             const Cell* skip, bool last, bool reverse) {
    Hit h = search(*series, *value, part, skip, last, reverse, false);
    if (h.at < 0 || h.at + 1 >= series::buffer_length(*series))
        *series = none::value;
    else
        *series = element(*series, uint32_t(h.at + 1));
    return series;
}

int element_order(const void* a, const void* b, intptr_t word, intptr_t) {
    const series::SortRun& run = *reinterpret_cast<const series::SortRun*>(word);
    uint32_t width = run.buffer->unit();
    uint32_t type = run.series->w3;
    uint32_t offset = run.spec->offset * width;
    double x = read_number(static_cast<const uint8_t*>(a) + offset, width, type);
    double y = read_number(static_cast<const uint8_t*>(b) + offset, width, type);
    int r = (x > y) - (x < y);
    return run.spec->reverse ? -r : r;
}

Cell* sort(Cell* series, bool case_, const Cell* skip, const Cell* compare, const Cell* part,
           bool all, bool reverse, bool stable) {
    return series::sort(series, case_, skip, compare, part, all, reverse, stable, element_order);
}

Cell* take(Cell* series, const Cell* part, bool deep, bool last) {
    series::take(series, part, deep, last);
    if (!part && cell::type_of(*series) == TYPE_VECTOR && series::buffer_length(*series) == 1)
        *series = element(*series, 0);
    return series;
}

} // namespace

void init() {
    using namespace action;
    datatype::register_type(TYPE_VECTOR, TYPE_STRING, "vector!",
                            {{Slot::make, make},
                             {Slot::to, no},
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
                             {Slot::append, insert},
                             {Slot::change, change},
                             {Slot::find, find},
                             {Slot::insert, insert},
                             {Slot::pick, pick},
                             {Slot::poke, poke},
                             {Slot::select, select},
                             {Slot::sort, sort},
                             {Slot::swap, no},
                             {Slot::take, take},
                             {Slot::trim, no}});
}

} // namespace kiv::vector
