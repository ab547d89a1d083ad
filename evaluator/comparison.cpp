#include "evaluator/comparison.h"

#include <array>
#include <initializer_list>

#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/logic.h"
#include "datatypes/natives.h"
#include "datatypes/word.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::natives {
namespace {

// Which payload words decide identity, per type.
enum class Identity : uint8_t {
    always,   // none!, unset!
    word1,    // datatype!, logic!, object!
    word2,    // char!, integer!, bitset!
    series,   // same buffer, same head index
    words23,  // float!, percent!, pair!, time! (bitwise), op!
    content,  // tuple!, money!: equal by their comparison
    words12,  // native!, action!, point2D!
    words123, // every other type
};

struct IdentityRule {
    Identity rule;
    std::initializer_list<uint32_t> types;
};

// Identity rule by type id; types not listed compare all three words.
constexpr std::array<Identity, type_count + 1> identity_table = [] {
    std::array<Identity, type_count + 1> table{};
    table.fill(Identity::words123);
    const IdentityRule rules[] = {
        {Identity::always, {TYPE_NONE, TYPE_UNSET}},
        {Identity::word1, {TYPE_DATATYPE, TYPE_LOGIC, TYPE_OBJECT}},
        {Identity::word2, {TYPE_CHAR, TYPE_INTEGER, TYPE_BITSET}},
        {Identity::series,
         {TYPE_BLOCK, TYPE_PAREN, TYPE_HASH, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH,
          TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF, TYPE_BINARY,
          TYPE_VECTOR, TYPE_IMAGE}},
        {Identity::words23, {TYPE_FLOAT, TYPE_PERCENT, TYPE_PAIR, TYPE_TIME, TYPE_OP}},
        {Identity::content, {TYPE_TUPLE, TYPE_MONEY}},
        {Identity::words12, {TYPE_NATIVE, TYPE_ACTION, TYPE_POINT2D}},
    };
    for (const IdentityRule& r : rules)
        for (uint32_t type : r.types) table[type] = r.rule;
    return table;
}();

} // namespace

bool same_value_q(const Cell& a, const Cell& b) {
    uint32_t type = cell::type_of(a);
    if (type != cell::type_of(b)) return false;
    switch (identity_table[type]) {
    case Identity::always: return true;
    case Identity::word1: return a.w1 == b.w1;
    case Identity::word2: return a.w2 == b.w2;
    case Identity::series: return a.w1 == b.w1 && a.w2 == b.w2;
    case Identity::words23: return a.w2 == b.w2 && a.w3 == b.w3;
    case Identity::content: return dispatch::compare(a, b, 0);
    case Identity::words12: return a.w1 == b.w1 && a.w2 == b.w2;
    case Identity::words123: return a.w1 == b.w1 && a.w2 == b.w2 && a.w3 == b.w3;
    }
    return false;
}

void equal_q(bool, const int32_t*) {
    dispatch::compare_to_logic(0);
}
void not_equal_q(bool, const int32_t*) {
    dispatch::compare_to_logic(1);
}
void strict_equal_q(bool, const int32_t*) {
    dispatch::compare_to_logic(2);
}
void lesser_q(bool, const int32_t*) {
    dispatch::compare_to_logic(3);
}
void lesser_or_equal_q(bool, const int32_t*) {
    dispatch::compare_to_logic(4);
}
void greater_q(bool, const int32_t*) {
    dispatch::compare_to_logic(5);
}
void greater_or_equal_q(bool, const int32_t*) {
    dispatch::compare_to_logic(6);
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
        stack::set_last(word::load(type_names[type]));
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
