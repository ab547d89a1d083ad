#include "evaluator/comparison.h"

#include "datatypes/datatype.h"
#include "datatypes/logic.h"
#include "datatypes/types.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/natives.h"
#include "evaluator/stack.h"

namespace kiv::natives {
namespace {

// Which payload words decide identity, per type.
enum class Identity : uint8_t {
    always,   // none!, unset!
    word1,    // datatype!, logic!, object!
    word2,    // char!, integer!, bitset!
    series,   // same buffer, same head index
    words23,  // float!, percent!, pair!, time!: bitwise
    content,  // tuple!, money!: equal by their comparison
    words12,  // native!, action!, point2D!
    words123, // every other type
};

Identity identity_of(uint32_t type) {
    switch (type) {
    case TYPE_NONE:
    case TYPE_UNSET: return Identity::always;
    case TYPE_DATATYPE:
    case TYPE_LOGIC:
    case TYPE_OBJECT: return Identity::word1;
    case TYPE_CHAR:
    case TYPE_INTEGER:
    case TYPE_BITSET: return Identity::word2;
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH:
    case TYPE_PATH:
    case TYPE_LIT_PATH:
    case TYPE_SET_PATH:
    case TYPE_GET_PATH:
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF:
    case TYPE_BINARY:
    case TYPE_VECTOR:
    case TYPE_IMAGE: return Identity::series;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_PAIR:
    case TYPE_TIME:
    case TYPE_OP: return Identity::words23;
    case TYPE_TUPLE:
    case TYPE_MONEY: return Identity::content;
    case TYPE_NATIVE:
    case TYPE_ACTION:
    case TYPE_POINT2D: return Identity::words12;
    default: return Identity::words123;
    }
}

} // namespace

bool same_value_q(const Cell& a, const Cell& b) {
    uint32_t type = cell::type_of(a);
    if (type != cell::type_of(b)) return false;
    switch (identity_of(type)) {
    case Identity::always: return true;
    case Identity::word1: return a.w1 == b.w1;
    case Identity::word2: return a.w2 == b.w2;
    case Identity::series: return a.w1 == b.w1 && a.w2 == b.w2;
    case Identity::words23: return a.w2 == b.w2 && a.w3 == b.w3;
    case Identity::content: return actions::compare(a, b, 0);
    case Identity::words12: return a.w1 == b.w1 && a.w2 == b.w2;
    case Identity::words123: return a.w1 == b.w1 && a.w2 == b.w2 && a.w3 == b.w3;
    }
    return false;
}

void equal_q(bool, const int32_t*) {
    actions::compare_to_logic(0);
}
void not_equal_q(bool, const int32_t*) {
    actions::compare_to_logic(1);
}
void strict_equal_q(bool, const int32_t*) {
    actions::compare_to_logic(2);
}
void lesser_q(bool, const int32_t*) {
    actions::compare_to_logic(3);
}
void lesser_or_equal_q(bool, const int32_t*) {
    actions::compare_to_logic(4);
}
void greater_q(bool, const int32_t*) {
    actions::compare_to_logic(5);
}
void greater_or_equal_q(bool, const int32_t*) {
    actions::compare_to_logic(6);
}

void same_q(bool, const int32_t*) {
    bool same = same_value_q(stack::state.base[0], stack::state.base[1]);
    logic::set_result(same);
}

void not_(bool, const int32_t*) {
    // unset! is neither none nor false: not () is false.
    logic::set_result(logic::counts_false(stack::state.base[0]));
}

void type_q(bool, const int32_t* refinements) {
    Cell& slot = stack::state.base[0];
    uint32_t type = cell::type_of(slot);
    if (refinements[0] >= 0)
        stack::set_last(word::load(datatype::name_of(type).name));
    else
        datatype::make_at(slot, type);
}

void register_comparison() {
    register_native(25, equal_q, {2, 0});
    register_native(26, not_equal_q, {2, 0});
    register_native(27, strict_equal_q, {2, 0});
    register_native(28, lesser_q, {2, 0});
    register_native(29, greater_q, {2, 0});
    register_native(30, lesser_or_equal_q, {2, 0});
    register_native(31, greater_or_equal_q, {2, 0});
    register_native(32, same_q, {2, 0});
    register_native(33, not_, {1, 0});
    register_native(34, type_q, {1, 1});
}

} // namespace kiv::natives
