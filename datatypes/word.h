// word! and its variants set-word!, lit-word!, get-word! and refinement!
// (issue! shares the cell): the names of the language.
//
// A word cell holds its binding (word 1, the node of the context holding
// its value), its symbol id (word 2, the spelling it was written with) and
// its entry index in that context (word 3, -1 while unresolved). Retyping
// between the variants changes only the type byte, so a set-word! made from
// a bound lit-word! reaches the same slot.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/types.h"

namespace kiv::word {

// Set by the start-up program while it makes its words: each word it is
// handed is then also kept at the tail of the root block.
extern bool collecting;

// Scans a string! into one value (the lexer's reading of a text as a single
// value); false when the text holds no value. Installed by the lexer.
extern bool (*scan_value)(const Cell& text, Cell& out);

// The symbol of a name that the lexer reads whole as one word! (or, with
// `type` issue!, as one issue! after a "#") spelled as given, else 0: text
// that is not UTF-8, holds a control character or a delimiter, or reads
// as another value. Names from outside (JSON keys, HTTP header names)
// become words only when they mold and load back.
uint32_t symbol_of_whole(std::string_view utf8, uint32_t type = TYPE_WORD);

inline bool any_word(uint32_t type) {
    return type >= TYPE_WORD && type <= TYPE_ISSUE;
}

// Appends a copy of the word to the root block.
void keep(const Cell& word);
// A word of the name bound to ctx (0: unbound) that no entry resolves.
Cell unresolved(const char* name, uint32_t type, NodeId ctx);

// The global word of a name, made from its spelling (case-insensitive, the
// spelling kept); `type` retypes it. A refinement! is made unbound and is
// always kept in the root block.
Cell load(const char* name, uint32_t type = TYPE_WORD);
// The global word of a symbol (exact look-up).
Cell load_symbol(uint32_t symbol);
// Writes the global word! of the symbol into the cell (flags kept), adding
// the symbol to the global context when absent. The cell must not lie in a
// series: the global context may grow.
Cell* make_at(uint32_t symbol, Cell& cell);
// The same into a new cell at the block's tail.
Cell* make_in(uint32_t symbol, Cell& block);
Cell* load_in(const char* name, Cell& block, uint32_t type = TYPE_WORD);
Cell* push_new(uint32_t symbol);
// Pushes a copy of a word cell, retyped (flags kept).
Cell* push_from(const Cell& word, uint32_t type);
inline Cell* push(const Cell& word) {
    return push_from(word, cell::type_of(word));
}
// Pushes the word of entry i of a context, retyped.
Cell* push_at(NodeId ctx, uint32_t index, uint32_t type);

// Pushes a copy of the word's value; unset! raises no-value.
Cell* get_value(const Cell& word);
// Frame operations, argument 1 the word: the value of argument 2 is stored
// and becomes the result (with check_unset an unset! raises need-value);
// the word's value becomes the result, or with push is pushed.
void set_from_arg(bool check_unset);
void get_from_arg(bool push);

Cell* symbol_record(const Cell& word);
// Pushes a string! sharing the name of the word's symbol.
Cell* push_name(const Cell& word);

// Actions shared by the family.
Cell* make(Cell* result, const Cell* spec, uint32_t type);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent);
int32_t compare(const Cell* value1, const Cell* value2, int32_t op);
void index_q();

// Registers word!, lit-word!, set-word!, get-word! and refinement!, in
// that order (after symbol!).
void init();

} // namespace kiv::word
