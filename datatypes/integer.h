// integer!: the 32-bit signed integer, its arithmetic core with the
// overflow rules shared by char! and the compiled fast paths, and its
// conversions.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/stack.h"

namespace kiv::integer {

// Operator codes of the arithmetic core.
enum Op : int32_t { add = 0, subtract, multiply, divide, remainder, or_, and_, xor_ };

// Sets the type byte to integer! (flags kept) and the value.
Cell* make_at(Cell& cell, int32_t value);
// Appends an integer! at the block's tail.
Cell* make_in(Cell& block, int32_t value);
// A new integer! on the argument stack.
Cell* push(int32_t value);
// Writes an integer! into the current frame's result slot.
Cell* set_result(int32_t value);
inline int32_t get(const Cell& cell) {
    return int32_t(cell.w2);
}
// The result slot's value without a type check.
inline int32_t result_value() {
    return get(*stack::state.base);
}
// The result slot's value when it holds an integer!, else 0.
int32_t get_result();

int32_t sign(int32_t value);
// |value|; the lowest value raises math `overflow`.
int32_t abs_checked(int32_t value);
// True when the double of a float cell is NaN or outside the integer range.
bool out_of_range(const Cell& float_cell);
// Decimal text in a static buffer overwritten by the next call.
const char* form_signed(int32_t value);

// a op b. Add, subtract and multiply overflow into a float! in `result`
// (returning 0); without a result cell an overflow raises math `overflow`.
// Divide leaves an inexact quotient as a float! in `result`, or truncates
// without one. A result cell that stays integer! gets the value in word 2.
int32_t do_math(int32_t a, int32_t b, int32_t op, Cell* result);

// Rounds the integer! in place by the refinements of `round`; a float
// scale hands the value to float!'s rounding (the result is a float!).
// Rounding runs in 64 bits: a result outside the integer range raises
// math `overflow`.
Cell* round(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor,
            bool ceiling, bool half_ceiling);
// A random integer: 1..n for n > 0, n..-1 for n < 0.
int32_t random_int(int32_t n, bool secure);

// The name of an issue read as up to 8 hexadecimal digits; another name
// raises script `invalid-data` with the issue.
uint32_t from_issue(const Cell& issue);
// The first four bytes of a binary from its head, big-endian.
uint32_t from_binary(const Cell& binary);

void init();

} // namespace kiv::integer
