// triple!: three signed 32-bit integers that the runtime carries; the
// language can only print them.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::triple {

// Writes a whole triple! (header word and the three integers).
Cell* make_at(Cell& cell, int32_t a, int32_t b, int32_t c);

void init();

} // namespace kiv::triple
