// bitset!: a growable set of non-negative integers (mostly code points)
// kept as bits, most significant bit first: the integer n is bit
// 0x80 >> (n mod 8) of byte n div 8 of a byte buffer (word 2 of the cell).
// A complement flag on the buffer makes every integer at or beyond the
// stored bits a member; below them the bits decide, flag or not. The text
// form is make bitset! #{...}, wrapped in [not ...] when complemented, the
// bytes shown as the base pattern (inverted when complemented).
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::bitset {

// The buffer flag of a complemented bitset.
constexpr uint32_t complemented_flag = 0x80000;

bool is_complemented(const Cell& bits);
// Whether n is a member.
bool has(const Cell& bits, uint32_t n);

// The operation codes of the set operations: 5 or~, 6 and~, 7 xor~,
// 8 unique, 9 union, 10 intersect, 11 exclude, 12 difference, on the
// bitsets in arguments 1 and 2 of the current frame; the result replaces
// argument 1.
void do_bitwise(int32_t op);

// Registers bitset!.
void init();

} // namespace kiv::bitset
