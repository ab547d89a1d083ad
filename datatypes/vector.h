// vector!: a packed series of numbers or characters of one element type
// and width, for bulk numeric work. The cell holds the head index in
// elements (word 1), the node of a byte buffer whose unit is the element
// width (word 2) and the element type (word 3): char! or integer! of 1, 2
// or 4 bytes, float! or percent! of 4 or 8 bytes (a percent element holds
// the fraction). Elements are little-endian machine values; integer
// elements read back signed, character elements unsigned.
//
// Series actions that only move units (navigation, copy, remove, reverse,
// random ...) come from string!; vector! has its own element reading,
// storing, searching, sorting and arithmetic.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::vector {

// A new vector of `count` zero elements in `cell` (a root). A size that
// does not fit a buffer raises internal no-memory.
Cell* make_at(Cell& cell, uint32_t count, uint32_t element_type, uint32_t width);
// Elements from the head to the tail.
uint32_t length(const Cell& vector);
// The element at an absolute index as a value of the element type.
Cell element(const Cell& vector, uint32_t index);
// Stores a char!, integer!, float! or percent! at an absolute index,
// converted to the element type; another type raises script invalid-type.
void set_element(const Cell& vector, uint32_t index, const Cell& value);
// A block of the elements from the head, written into `out` (a root).
void to_block(const Cell& vector, Cell& out);

// The arithmetic of a scalar (the current frame's first argument) with a
// vector (its second): add, multiply and the bitwise operations run with
// the operands exchanged; subtract, divide and remainder raise script
// not-related.
void scalar_left(int32_t op);

Cell* make(Cell* proto, const Cell* spec, uint32_t type);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent);
int32_t compare(const Cell* value1, const Cell* value2, int32_t op);

// Registers vector! (after string!).
void init();

} // namespace kiv::vector
