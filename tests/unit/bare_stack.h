// Cells for tests of the bare argument and frame stacks, made without the
// datatype modules: the symbol ids of the two frame names that error
// reports skip, a word naming a frame, an integer.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::test {

constexpr uint32_t body_symbol = 1, anon_symbol = 2;

inline Cell word(uint32_t symbol) {
    return Cell{15, 0, symbol, 0};
}
inline Cell integer(int32_t v) {
    return Cell{11, 0, uint32_t(v), 0};
}

} // namespace kiv::test
