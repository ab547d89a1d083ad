// tuple!: 3 to 12 unsigned bytes written with dots (1.2.3, 255.0.0.128):
// colours and pixels. The size sits in header bits 19-22, the bytes in
// words 1 to 3 in address order (byte 1 is the low byte of word 1).
// Arithmetic works byte by byte and clamps every result to 0..255.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::tuple {

constexpr uint32_t max_size = 12;
constexpr uint32_t size_shift = 19;
constexpr uint32_t size_mask = 15u << size_shift;

inline uint32_t size_of(const Cell& cell) {
    return (cell.header & size_mask) >> size_shift;
}
// Byte i (from 0); bytes past the size read 0.
inline uint8_t byte_at(const Cell& cell, uint32_t i) {
    return i < size_of(cell) ? uint8_t((&cell.w1)[i / 4] >> (8 * (i % 4))) : 0;
}

// Writes a tuple of `size` bytes (header flags kept, bytes past the size 0).
Cell* make_at(Cell& cell, const uint8_t bytes[], uint32_t size);
// Pushes a tuple of the size from the three payload words.
Cell* push(uint32_t size, uint32_t w1, uint32_t w2, uint32_t w3);
// Pushes a tuple of the low byte of each integer, at least 3 bytes.
Cell* from_bytes(uint32_t count, const int32_t* values);
// The first up to 12 bytes of a binary from its head, at least 3.
Cell* from_binary(const Cell& binary, Cell& result);
// An issue's name as a colour: 3, 6 or 8 hexadecimal digits (#F80 is
// 255.136.0); anything else raises script `invalid-data`.
Cell* from_issue(const Cell& issue, Cell& result);
// Whether every byte is 0.
bool zero(const Cell& value);

// Arithmetic on the current frame's arguments, the tuple on either side;
// the result replaces slot 0.
void do_math(int32_t op);

void init();

} // namespace kiv::tuple
