// native!, action! and op!: the built-in functions and infix operators.
//
// A native! or action! cell: word 1 the 1-based index into the natives
// table or the action slot (never an address); word 2 the node of the spec
// block; word 3 the node of a two-cell extras block: a copy of the context
// cell of the argument context made from the spec (values on the argument
// stack, no self), then none!.
//
// An op! cell is a copy of the native!, action!, function! or routine! it
// wraps, with type id 23 and the wrapped type id in header bits 16-23; an
// op of a function shares the function's context, spec and extras.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv {

namespace native {

constexpr uint32_t action_count = 62;

// Pushes a native! or action! (type) of the spec block with the index, and
// returns it. The index and spec are not checked: make checks them.
Cell* push(uint32_t type, const Cell& spec, uint32_t index);

// Whether the index names a filled slot of the natives table or an action
// slot, and the spec's arguments and refinements match its known arity.
bool valid_index(uint32_t type, int32_t index, const Cell& spec);
// make native! / make action!: the spec is a block of the spec block and
// the index, which must name a filled slot of the natives table (1..120) or
// an action slot with a stack entry (1..62); the spec's arguments and
// refinements must match the arity known for that slot. Otherwise script
// bad-make-arg.
Cell* make(Cell* proto, const Cell* spec, uint32_t type);
// spec, and body (an op! of a function: the body; else the index).
Cell* reflect(Cell* value, uint32_t field);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent);

// Registers native!, action! and op!, in that order.
void init();

} // namespace native

namespace op {

constexpr uint32_t wrapped_shift = 16;
inline uint32_t wrapped_type(const Cell& op) {
    return (op.header >> wrapped_shift) & 0xFF;
}

Cell* make(Cell* proto, const Cell* spec, uint32_t type);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent);

} // namespace op

} // namespace kiv
