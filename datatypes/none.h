// none!: the no-value value that failed lookups return.
#pragma once

#include "runtime/cell.h"

namespace kiv::none {

// The shared none value, returned by lookups that find nothing.
extern Cell value;

Cell* make_at(Cell& cell);
Cell* make_in(Cell& block);
Cell* push();
Cell* set_result();
void init();

} // namespace kiv::none
