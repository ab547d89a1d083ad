// char!: one Unicode code point, an integer for arithmetic that must stay
// a valid code point.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::char_ {

constexpr uint32_t max_code_point = 0x10FFFF;

Cell* make_at(Cell& cell, uint32_t code_point);
Cell* make_in(Cell& block, uint32_t code_point);
Cell* push(uint32_t code_point);

// Appends the code point as it stands between the quotes of a molded
// char! or string!: caret escapes for controls, "^(hex)" for 0x1E, the C1
// controls and, with `all`, everything above 0x7F.
void append_escaped(Cell* buffer, uint32_t code_point, bool all);

void init();

} // namespace kiv::char_
