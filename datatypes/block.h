// block! storage and the helpers the whole runtime uses on series of
// cells (block!, paren!, the path types, hash!): access, construction,
// insertion, lookup, and the recursive mold, form and compare workers.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::block {

// Access. The head index may lie past the tail after another value
// shortened the buffer.
int32_t rs_length(const Cell& block); // cells from the head, negative past the tail
Cell* rs_head(const Cell& block);
Cell* rs_tail(const Cell& block);
Cell* rs_abs_at(const Cell& block, int32_t index);
// The cell `index` cells from the head, to be written in place: the
// block's plan is dropped first (the write barrier).
Cell& written_cell(const Cell& block, int32_t index);
// Moves a head past the tail back to the tail; returns the head cell.
Cell* clip_head(Cell& block);
bool at_tail(const Cell& block);
// Advances the head by one cell while it stays within the cells; true when
// the head then is at the tail.
bool next_at_tail(Cell& block);
void truncate_at(const Cell& block, int32_t index);
void truncate_at_head(const Cell& block);

// Construction. n < 1 gives room for one cell.
Cell* make_at(Cell& cell, int32_t n);
// As make_at; without `root` the new cells are pre-set to unset, with it
// the buffer lives in the tracked heap outside the collected frames.
Cell* init_at(Cell& cell, int32_t n, bool root);
// A root block at the tail of `parent`, or in the scratch cell without one.
Cell* make_root(Cell* parent, int32_t n);
// An empty block at the tail of `parent`, or in the scratch cell.
Cell* make_in(Cell* parent, int32_t n);

// On the argument stack: a copy of any value, or a new empty block.
Cell* push(const Cell& value);
Cell* push_new(int32_t n);

// Pushes a new series of the value's type holding copies of its cells from
// the head. With deep, nested block! cells (and with any_block also paren!
// and the path types) are replaced by recursive copies of their own type.
Cell* push_copy(const Cell& value, bool deep, bool any_block);

// Modification. Cells are copied in; sources may be the block itself.
Cell* append_value(Cell& block, const Cell& value);
Cell* append_cells(Cell& block, const Cell& source);
Cell* insert_value(Cell& block, const Cell& value, bool advance, bool at_start);
Cell* insert_cells(Cell& block, const Cell& source);
// Inserts `dup` copies of the n cells at the absolute index (clamped to the
// cells there are); a dup count below 1 inserts nothing; a cell count that
// does not fit raises internal `no-memory`.
void insert_repeated(Cell& block, int64_t index, const Cell* cells, uint32_t n, int32_t dup);
// Appends argument 2 of the current frame to the block in argument 1;
// returns argument 1.
Cell* append_second();
// Appends, or inserts at the head and advances past, the current frame's
// result slot into the block held just below the frame base (the block
// that compiled reduce, compose and block literals are building).
Cell* append_frame_value();
Cell* insert_frame_value();
// Removes the first cell equal to the key (lookup equality); true when the
// removed cell was at or before the head.
bool remove_value(Cell& block, const Cell& key, bool from_start);

// Lookup: the cell after the first one equal to the key, or the shared
// none value.
const Cell* select_ptr(const Cell& block, const Cell& key);

// The cell after the first word!, set-word!, lit-word! or get-word! from
// the head whose symbol is the word's (with `strict` exactly, else ignoring
// case through the canonical symbol), or the shared none value.
const Cell* find_word(const Cell& block, const Cell& word, bool strict);

// Recursive workers. form and mold have the action signatures.
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent);
int32_t mold_each(const Cell& value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
                  int32_t part, int32_t indent);
int32_t compare_each(const Cell& value1, const Cell& value2, int32_t op);
// A hash of a block's values from its head that blocks equal under
// compare_each's equality share: the length, and per value its word's
// symbol or its text, else only its family (numbers, or the type).
uint32_t content_hash(const Cell& block);
// The room a make of a block type asks for with an integer!, float! or
// percent!: a float beyond the integer range asks for as much as the
// largest integer (not enough memory), never for a wrapped size.
int32_t room_of(const Cell& number);
// Whether a comparison operator code asks only for equality.
bool is_equality(int32_t op);
// Appends four spaces per indentation level; returns the part left.
int32_t append_indent(Cell* buffer, int32_t part, int32_t indent);

} // namespace kiv::block

namespace kiv::block {

// The actions block! registers (the others come from series!).
Cell* make(Cell* proto, const Cell* spec, uint32_t type);
Cell* to(Cell* proto, const Cell* spec, uint32_t type);
int32_t compare(const Cell* value1, const Cell* value2, int32_t op);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* previous, int32_t index, bool case_, bool get, bool last, bool event);
Cell* find(Cell* series, const Cell* value, const Cell* part, bool only, bool case_, bool same,
           bool any, const Cell* with, const Cell* skip, bool last, bool reverse, bool tail,
           bool match);
Cell* select(Cell* series, const Cell* value, const Cell* part, bool only, bool case_, bool same,
             bool any, const Cell* with, const Cell* skip, bool last, bool reverse);
Cell* put(Cell* series, Cell* key, Cell* value, bool case_);
// insert and append (append set): the series at its head after append,
// just past the inserted cells after insert.
Cell* insert(Cell* series, const Cell* value, int32_t part, bool only, int32_t dup, bool append);
Cell* change(Cell* series, const Cell* value, int32_t part, bool only, int32_t dup);
Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types);
Cell* take(Cell* series, const Cell* part, bool deep, bool last);
Cell* swap(Cell* series1, Cell* series2);
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, const Cell* with);
Cell* sort(Cell* series, bool case_, const Cell* skip, const Cell* compare, const Cell* part,
           bool all, bool reverse, bool stable);

// The set operations on the blocks in arguments 1 and 2 of the current
// frame (argument 2 unused by unique); the result replaces argument 1.
enum SetOp : int32_t { unique = 8, union_ = 9, intersect = 10, exclude = 11, difference = 12 };
Cell* do_set_op(int32_t op, bool case_, const Cell* skip);

// The lexer, which lives above the datatypes, scans text into values for
// the datatypes that make values of text (a block! or a time! from a
// string!); it installs this hook when it starts. load_text scans a
// string! from its head into a new block! in `out`, or with one_value into
// the first value alone; syntax errors are raised.
struct Hooks {
    void (*load_text)(Cell& out, const Cell& text, bool one_value) = nullptr;
};
extern Hooks hooks;

// Registers block! (after series!).
void init();

} // namespace kiv::block
