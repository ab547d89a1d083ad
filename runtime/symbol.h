// The symbol table: one record per distinct spelling of a word, found by a
// 1-based symbol id, with a word-kind hash table over the names. A spelling
// that equals an earlier one ignoring ASCII case records the earlier one's
// id as its alias, so words bind and compare case-insensitively while each
// spelling is kept for printing. A record is {header 13, alias (the
// canonical id, or -1 when the record is canonical itself), node of the
// name as a string! (0 until first asked for), node of the UTF-8 name}.
// Also the lookup of a symbol in the word table of a context, which uses
// the same table kind.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv {

namespace symbol_table {

constexpr uint32_t initial_size = 4000;
// The block of symbol records in id order and its hash table; both live
// for the whole process and are roots of the collector.
extern NodeId block;
extern NodeId table;
// Makes both and registers their marker with the collector.
void init();
void mark();

} // namespace symbol_table

namespace hashtable {

// Interns a name: the id of exactly this spelling (with nocase: of any
// spelling equal ignoring ASCII case), a new symbol when there is none.
uint32_t put_symbol(NodeId table, const uint8_t* name, uint32_t length, bool nocase);

// Looks a symbol up in a context's word table: its index, or -1. With a
// context node a missing word is appended (returning -1); the index found
// or made is written to out_index.
int32_t find_word(NodeId table, uint32_t symbol, bool nocase, NodeId context, int32_t* out_index);

} // namespace hashtable

namespace symbol {

// The id of exactly this spelling; a new symbol when absent.
uint32_t intern(const char* name);
// The id of any symbol equal ignoring ASCII case; a new one when none.
uint32_t intern_nocase(const char* name);
uint32_t intern_bytes(const uint8_t* bytes, uint32_t length);
// Interns the text of a string from its head, `length` characters or all
// of it with -1.
uint32_t intern_string(const Cell& string, int32_t length);

// The NUL-terminated UTF-8 name; valid until the next allocation.
const char* c_name(uint32_t id);
// The canonical id: the alias when there is one, else the id itself.
uint32_t resolve(uint32_t id);
int32_t alias(uint32_t id);

} // namespace symbol
} // namespace kiv
