// unset!: the value of nothing.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::unset {

// The shared unset value.
extern const Cell value;

Cell* make_at(Cell& cell);
Cell* make_in(Cell& block);
Cell* push();
Cell* set_result();
// The comparison shared with none!: two values of the type are equal under
// the equality and sorting operators and cannot be ordered otherwise.
int32_t compare_unit(const Cell* value1, const Cell* value2, int32_t op);

void init();

} // namespace kiv::unset
