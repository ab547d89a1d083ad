// paren!: a block written in parentheses, which the interpreter evaluates
// in place. It is a block! in everything but its type id and its mold.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::paren {

// Retypes the cell to paren! (the whole header is replaced) and pushes a
// copy; returns the pushed cell.
Cell* push(Cell& cell);

// "(" values ")", or the values alone with only.
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent);

// Registers paren! (after block!).
void init();

} // namespace kiv::paren
