// symbol!: the records of the symbol table. A record is {header 13, alias
// (the canonical id, or -1 when the record is canonical itself), node of
// the name as a string! (0 until first asked for), node of the UTF-8 name}.
// These operations turn names into symbol ids and back.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::symbol {

// The id of exactly this spelling; a new symbol when absent.
uint32_t intern(const char* name);
// The id of any symbol equal ignoring ASCII case; a new one when none.
uint32_t intern_nocase(const char* name);
uint32_t intern_bytes(const uint8_t* bytes, uint32_t length);
// Interns the text of a string from its head, `length` characters or all
// of it with -1.
uint32_t intern_string(const Cell& string, int32_t length);

// The record of a symbol id, with its name string made.
Cell* get(uint32_t id);
// The node of a record's name as a string!, made on first use. `record`
// is a cell of the symbol table.
NodeId get_string(Cell* record);
// The NUL-terminated UTF-8 name; valid until the next allocation.
const char* c_name(uint32_t id);
// The canonical id: the alias when there is one, else the id itself.
uint32_t resolve(uint32_t id);
int32_t alias(uint32_t id);
// Compares the names of two symbol! values as strings under the operator
// code; the compare slot of symbol!.
int32_t compare(const Cell* a, const Cell* b, int32_t op);

// Registers symbol! (no parent) with the compare slot alone.
void init();

} // namespace kiv::symbol
