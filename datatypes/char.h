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

void init();

} // namespace kiv::char_
