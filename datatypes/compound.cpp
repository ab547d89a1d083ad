#include "datatypes/compound.h"

#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/errors.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::compound {

namespace {

[[noreturn]] void script_error(uint32_t id, const Cell* arg1, const Cell* arg2 = nullptr) {
    runtime::fire_error(runtime::Category::script, id, arg1, arg2);
}

bool is_word(uint32_t type) {
    return type >= TYPE_WORD && type <= TYPE_GET_WORD;
}

} // namespace

bool is_compound(uint32_t type) {
    return type == TYPE_PAIR || type == TYPE_POINT2D || type == TYPE_POINT3D || type == TYPE_TUPLE;
}

Cell action_word(int32_t op) {
    static constexpr const char* names[] = {"add",       "subtract", "multiply", "divide",
                                            "remainder", "or~",      "and~",     "xor~"};
    return Cell{TYPE_WORD, 0, symbol::intern(names[op]), 0};
}

Cell caller_word() {
    const stack::Frame* call = stack::get_call_frame();
    return call ? word::load_symbol(call->symbol) : Cell{TYPE_WORD, 0, symbol::intern("<anon>"), 0};
}

void number_left(int32_t op) {
    Cell* args = frame_args();
    uint32_t left = cell::type_of(args[0]);
    uint32_t right = cell::type_of(args[1]);
    if (left == TYPE_TIME) invalid_type(args[1]);
    if (op == integer::subtract || op == integer::divide) {
        // A tuple names the number's type; a float names the compound's;
        // an integer may subtract (each component from it), not divide.
        if (right == TYPE_TUPLE) not_related(action_word(op), left);
        if (left != TYPE_INTEGER) not_related(action_word(op), right);
        if (op == integer::divide) not_related(action_word(op), TYPE_INTEGER);
    }
    switch (right) {
    case TYPE_PAIR: pair::do_math(op); return;
    case TYPE_POINT2D: point::do_math<2>(op); return;
    case TYPE_POINT3D: point::do_math<3>(op); return;
    default: tuple::do_math(op); return;
    }
}

int64_t integer_op(int64_t a, int64_t b, int32_t op) {
    switch (op) {
    case integer::add: return a + b;
    case integer::subtract: return a - b;
    case integer::multiply: return a * b;
    case integer::divide:
    case integer::remainder:
        if (b == 0) runtime::fire_error(runtime::Category::math, err::math::zero_divide);
        return op == integer::divide ? a / b : a % b;
    case integer::or_: return int32_t(a) | int32_t(b);
    case integer::and_: return int32_t(a) & int32_t(b);
    default: return int32_t(a) ^ int32_t(b);
    }
}

int32_t component_index(const Cell& element, int32_t count) {
    uint32_t type = cell::type_of(element);
    if (type == TYPE_INTEGER) return integer::get(element);
    if (!is_word(type)) return -1;
    const uint32_t names[] = {words::sym<"x">(), words::sym<"y">(), words::sym<"z">()};
    uint32_t canonical = symbol::resolve(element.w2);
    for (int32_t i = 0; i < count; ++i)
        if (symbol::resolve(names[i]) == canonical) return i + 1;
    return 0;
}

int32_t pick_index(int32_t index, const Cell* index_cell, int32_t count) {
    if (index_cell && is_word(cell::type_of(*index_cell)))
        return component_index(*index_cell, count);
    return index;
}

void invalid_type(const Cell& value) {
    Cell type = datatype::value(cell::type_of(value));
    script_error(err::script::invalid_type, &type);
}

void invalid_arg(const Cell& value) {
    script_error(err::script::invalid_arg, &value);
}

void not_related(const Cell& word, uint32_t type) {
    Cell datatype = datatype::value(type);
    script_error(err::script::not_related, &word, &datatype);
}

void bad_to_arg(uint32_t type, const Cell& spec) {
    Cell datatype = datatype::value(type);
    script_error(err::script::bad_to_arg, &datatype, &spec);
}

void malconstruct(const Cell& spec) {
    runtime::fire_error(runtime::Category::syntax, err::syntax::malconstruct, &spec);
}

void invalid_path(const Cell* path, const Cell& element) {
    script_error(err::script::invalid_path, path, &element);
}

void out_of_range(const Cell& index) {
    script_error(err::script::out_of_range, &index);
}

void type_limit(uint32_t type) {
    Cell datatype = datatype::value(type);
    script_error(err::script::type_limit, &datatype);
}

void bad_pick(const Cell& value, int32_t index, const Cell* index_cell) {
    if (index_cell && is_word(cell::type_of(*index_cell)))
        script_error(err::script::cannot_use, index_cell, &value);
    Cell position = Cell{TYPE_INTEGER, 0, uint32_t(index), 0};
    out_of_range(index_cell ? *index_cell : position);
}

void from_text(const Cell& text, uint32_t type, Cell& out) {
    if (!word::scan_value || !word::scan_value(text, out) || cell::type_of(out) != type)
        bad_to_arg(type, text);
}

void refuse_money_scale(const Cell* scale) {
    if (scale && cell::type_of(*scale) == TYPE_MONEY) not_related(caller_word(), TYPE_MONEY);
}

} // namespace kiv::compound
