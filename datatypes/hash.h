// hash!: a block! with a hash index over all its cells, so that find and
// select on large blocks take constant time. Every block! action serves it
// and keeps the index current; hash! adds its own make, to, mold and copy.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::hash {

Cell* make(Cell* proto, const Cell* spec, uint32_t type);
Cell* to(Cell* proto, const Cell* spec, uint32_t type);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent);
Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types);

// The room a make size asks for: an integer! or a float! count (0 gives
// 1), checked against what a buffer of cells can hold. A negative or NaN
// size raises script out-of-range, a size too large internal no-memory.
uint32_t size_argument(const Cell& spec);

// Registers hash! (after block!).
void init();

} // namespace kiv::hash
