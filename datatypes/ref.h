// ref!: a reference written @name; a string! that molds with its "@" and
// forms as its text. It refuses append, put and paths.
#pragma once

#include "runtime/cell.h"

namespace kiv::ref {

// Copies the cell onto the argument stack.
Cell* push(const Cell& ref);
void init();

} // namespace kiv::ref
