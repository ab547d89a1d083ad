// handle!: an operating-system descriptor or a registry index with a kind
// tag (file descriptor, monitor, window, font, rich text). The runtime and
// the port machinery make them; the language can only print and compare
// them. Its parent in the type tree is integer!, from which it inherits
// nothing.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::handle {

// The kinds, by number; mold names every kind above none.
enum Kind : uint32_t { none = 0, fd, monitor, window, font, rich_text };

// Writes a whole handle! (header word and payload): word 1 the kind, word 2
// the 32-bit descriptor or index, word 3 -1.
Cell* make_at(Cell& cell, uint32_t value, uint32_t kind);
// The same in the current frame's result slot.
Cell* box(uint32_t value, uint32_t kind);
// Appends one at the tail of a block.
Cell* make_in(Cell& block, uint32_t value, uint32_t kind);
// A new one on the argument stack.
Cell* push(uint32_t value, uint32_t kind);
// A handle of value 0 and kind none on the argument stack.
Cell* push_null();

inline uint32_t value_of(const Cell& cell) {
    return cell.w2;
}
inline uint32_t kind_of(const Cell& cell) {
    return cell.w1;
}

void init();

} // namespace kiv::handle
