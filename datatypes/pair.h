// pair!: two signed 32-bit integers x and y in words 2 and 3 (3x4), for
// sizes and offsets. Arithmetic stays in integers and falls over to
// point2D! when a float multiplies or divides it, when the other operand
// is a point2D!, or when a coordinate overflows.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::pair {

// Sets the type byte (flags kept) and the coordinates.
Cell* make_at(Cell& cell, int32_t x, int32_t y);
// Appends a pair at the tail of a block.
Cell* make_in(Cell& block, int32_t x, int32_t y);
// A new pair on the argument stack.
Cell* push(int32_t x, int32_t y);

inline int32_t x_of(const Cell& cell) {
    return int32_t(cell.w2);
}
inline int32_t y_of(const Cell& cell) {
    return int32_t(cell.w3);
}

// Argument `index` (0 or 1) of the current frame becomes a point2D! of
// the same coordinates.
void to_point2D(uint32_t index);

// An integer!'s value, or a float! truncated toward zero; a float that is
// not finite raises `invalid-arg` with `spec`, one beyond the 32-bit range
// `type-limit`.
int32_t coordinate_of(const Cell& value, const Cell& spec);

// Arithmetic on the current frame's arguments, a pair on either side;
// the result replaces slot 0.
void do_math(int32_t op);

void init();

} // namespace kiv::pair
