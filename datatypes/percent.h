// percent!: a float! read and written as a percentage (0.5 is 50%). It
// takes every action but its text from float!.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::percent {

// Writes a percent! (whole header word) holding the fraction.
Cell* make_at(Cell& cell, double value);
// Appends a percent! from the two halves of a double at a block's tail.
Cell* make_in(Cell& block, uint32_t low, uint32_t high);
// Writes a percent! into the current frame's result slot.
Cell* box(double value);
// A new percent! on the argument stack.
Cell* push(double value);
Cell* push64(uint32_t low, uint32_t high);
inline double get(const Cell& cell) {
    return cell::get_float(cell);
}

void init();

} // namespace kiv::percent
