// The constructors shared by the types whose values carry no payload,
// unset! and none!: each value is its header alone.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/stack.h"

namespace kiv::unit {

template <uint32_t Type>
Cell* make_at(Cell& c) {
    c = Cell{Type, 0, 0, 0};
    return &c;
}
template <uint32_t Type>
Cell* make_in(Cell& block) {
    return make_at<Type>(*cell::alloc_tail(block));
}
template <uint32_t Type>
Cell* push() {
    return make_at<Type>(*stack::push_raw());
}
template <uint32_t Type>
Cell* set_result() {
    return make_at<Type>(*stack::state.base);
}

// The make and to actions: a new value, the spec ignored.
template <uint32_t Type>
Cell* make(Cell* proto, const Cell*, uint32_t) {
    return make_at<Type>(*proto);
}

// The operators under which unset!, none! and logic! values compare: the
// equalities and the sorting orders.
bool compares_under(int32_t op);

// Two values of the type are equal under those operators and cannot be
// compared otherwise.
int32_t compare(const Cell* value1, const Cell* value2, int32_t op);

} // namespace kiv::unit
