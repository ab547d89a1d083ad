// symbol!: the records of the symbol table (runtime/symbol.h) as values:
// their names as strings, and their comparison.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/symbol.h"

namespace kiv::symbol {

// The record of a symbol id, with its name string made.
Cell* get(uint32_t id);
// The node of a record's name as a string!, made on first use. `record`
// is a cell of the symbol table.
NodeId get_string(Cell* record);
// Compares the names of two symbol! values as strings under the operator
// code; the compare slot of symbol!.
int32_t compare(const Cell* a, const Cell* b, int32_t op);

// Registers symbol! (no parent) with the compare slot alone.
void init();

} // namespace kiv::symbol
