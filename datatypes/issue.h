// issue!: a word written with a leading number sign (#define, #1234). It
// names things but is never bound by bind_block and never evaluates to
// another value. The cell is a word cell: binding the global context, the
// symbol, index -1 (an issue is never resolved to a slot).
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::issue {

// An issue! of the name at the block's tail; returns it.
Cell* load_in(const char* name, Cell& block);
// While the start-up program collects its words, an issue! at the tail of
// the root block; otherwise one in a new argument-stack cell.
Cell* load(const char* name);
Cell* make_at(Cell& cell, const char* name);
// Pushes a copy of the cell retyped to issue! (flags kept).
Cell* push_from(const Cell& cell);

// Actions.
Cell* make(Cell* proto, const Cell* spec, uint32_t type);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent);
int32_t compare(const Cell* value1, const Cell* value2, int32_t op);

// Registers issue! (after the word! family).
void init();

} // namespace kiv::issue
