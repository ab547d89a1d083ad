// tag!: markup written <...>; a string! whose text forms and molds between
// angle brackets. Every series action comes from string!.
#pragma once

#include "runtime/cell.h"

namespace kiv::tag {

// Copies the cell onto the argument stack.
Cell* push(const Cell& tag);
void init();

} // namespace kiv::tag
