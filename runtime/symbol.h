// The symbol table: one record per distinct spelling of a word, found by a
// 1-based symbol id, with a word-kind hash table over the names. A spelling
// that equals an earlier one ignoring ASCII case records the earlier one's
// id as its alias, so words bind and compare case-insensitively while each
// spelling is kept for printing. Also the lookup of a symbol in the word
// table of a context, which uses the same table kind.
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
} // namespace kiv
