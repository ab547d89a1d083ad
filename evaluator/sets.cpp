#include "evaluator/sets.h"

#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/logic.h"
#include "datatypes/natives.h"
#include "datatypes/string.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "evaluator/evaluation.h"
#include "runtime/errors.h"
#include "runtime/stack.h"

namespace kiv::natives {
namespace {

// The native's name and its first argument's, for expect-arg.
const char* const names[] = {"unique", "union", "intersect", "exclude", "difference"};

[[noreturn]] void expect_arg(const char* function, const Cell& value, const char* argument) {
    Cell name = word::load(function);
    Cell type;
    datatype::make_at(type, cell::type_of(value));
    Cell arg = word::load(argument);
    runtime::fire_error(runtime::Category::script, err::script::expect_arg, &name, &type, &arg);
}

bool is_list(uint32_t type) {
    return type == TYPE_BLOCK || type == TYPE_HASH;
}

} // namespace

void do_set_op(int32_t case_, int32_t skip, int32_t code) {
    Cell* args = stack::state.base;
    uint32_t type = cell::type_of(args[0]);
    if (code != block::unique) {
        uint32_t other = cell::type_of(args[1]);
        if (is_list(type) ? !is_list(other) : other != type) {
            Cell expected, actual;
            datatype::make_at(expected, type);
            datatype::make_at(actual, other);
            runtime::fire_error(runtime::Category::script, err::script::expect_val, &expected,
                                &actual);
        }
    }
    bool case_sensitive = case_ >= 0;
    const Cell* size = skip >= 0 ? args + skip : nullptr;
    switch (type) {
    case TYPE_BLOCK:
    case TYPE_HASH: block::do_set_op(code, case_sensitive, size); return;
    case TYPE_STRING: string::do_set_op(case_sensitive, size, code); return;
    case TYPE_TYPESET: typeset::do_bitwise(code); return;
    case TYPE_BITSET: bitset::do_bitwise(code); return;
    case TYPE_DATE:
        if (code != block::difference) break;
        date::difference();
        return;
    default: break;
    }
    expect_arg(names[code - block::unique], args[0], code == block::unique ? "set" : "set1");
}

void union_(bool, const int32_t* refinements) {
    do_set_op(refinements[0], refinements[1], block::union_);
}
void intersect(bool, const int32_t* refinements) {
    do_set_op(refinements[0], refinements[1], block::intersect);
}
void unique(bool, const int32_t* refinements) {
    do_set_op(refinements[0], refinements[1], block::unique);
}
void difference(bool, const int32_t* refinements) {
    do_set_op(refinements[0], refinements[1], block::difference);
}
void exclude(bool, const int32_t* refinements) {
    do_set_op(refinements[0], refinements[1], block::exclude);
}

void complement_q(bool, const int32_t*) {
    const Cell& bits = stack::state.base[0];
    if (cell::type_of(bits) != TYPE_BITSET) expect_arg("complement?", bits, "bits");
    logic::set_result(bitset::is_complemented(bits));
}

void register_sets() {
    register_native(41, union_, {2, 2});
    register_native(42, intersect, {2, 2});
    register_native(43, unique, {1, 2});
    register_native(44, difference, {2, 2});
    register_native(45, exclude, {2, 2});
    register_native(46, complement_q, {1, 0});
}

} // namespace kiv::natives
