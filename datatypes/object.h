// object!: the namespace value. An object cell is
//   word 0 header (32; 34 for error!, 48 for port!), word 1 the node of
//   its context (kind object, with a self cell), word 2 the class id,
//   word 3 the node of its handler record or 0.
// The context's self cell always holds a copy of the object cell: every
// routine that builds or changes an object cell writes it there again.
//
// The handler record is a block of two cells, `on-change*` then
// `on-deep-change*`, each {header 37, 0, field index << 16 | local slot
// count, node of the handler's spec block}; index 0xFFFF means no handler.
//
// Class ids: two objects with one class id have the same words in the
// same order. Objects given a new word set at run time take ids from a
// counter starting after 1,000,000.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::object {

constexpr uint32_t no_handler = 0xFFFF;
constexpr uint32_t first_run_class = 1000000;

// What objects need of the interpreter, set by it. A null hook leaves that
// step out: without `eval` a spec block is bound but not evaluated,
// without `eval_function` no handler runs.
struct Hooks {
    // Evaluates a block (make's spec, after binding it to the object).
    void (*eval)(Cell& block) = nullptr;
    // Evaluates a handler whose function frame is marked and whose
    // arguments and local slots are pushed.
    void (*eval_function)(const Cell& function) = nullptr;
};
extern Hooks hooks;

// Makes an empty object in the cell with room for `slots` words: class
// id 0, no handler record.
Cell* make_at(Cell& cell, uint32_t slots);
// Pushes an object cell and writes it into its self cell.
Cell* push(NodeId context, uint32_t class_id, NodeId handlers);
uint32_t new_class_id();
// Writes the object cell into its context's self cell.
void write_self(const Cell& object);

// Builds a handler record; an index of -1 gives 0xFFFF.
NodeId make_change_hooks(int32_t change_index, uint32_t change_count, NodeId change_spec,
                         int32_t deep_index, uint32_t deep_count, NodeId deep_spec);
// Looks the two handler fields up in the object's context and gives the
// object a record when one exists; a handler field that holds no
// function raises script/bad-field-set.
void install_handlers(Cell& object);

// Field lookup by the word's symbol, case-insensitive: the value cell (the
// static none when absent) and the index (-1 when absent). Cells are good
// until the next allocation.
const Cell* find_word(const Cell& object, const Cell& word);
int32_t find_index(const Cell& object, const Cell& word);
uint32_t words_count(const Cell& object);
// Whether slot `index` of the context (or the slot of a word bound in it)
// holds an object! of the class: the test compiled code makes of a value.
bool field_is_object(NodeId context, uint32_t index, uint32_t class_id);
bool word_is_object(const Cell& word, NodeId context, uint32_t class_id);
const Cell* get_values(const Cell& object);
// Writes field `index` of the object.
void store_value(const Cell& object, uint32_t index, const Cell& value);

// Copies the source object into `target` with a new context: values
// copied, series deep-copied with `deep` (or only those of `types`),
// functions re-created; handler records rebuilt with fresh_handlers, else
// shared. A deep copy of an object inside itself raises internal/no-cycle.
Cell* duplicate(const Cell& source, Cell& target, bool deep, const Cell* types,
                bool fresh_handlers);

// The object side of `set`: a block gives the i-th field its i-th value
// (none past the end), an object its field of the same name (absent ones
// untouched), anything else (or with `only`) every field the value. With
// `some` none values are skipped; unless `any`, an unset value raises
// script/need-value first. Fields get the set mark and notify.
void set_values(const Cell& object, const Cell& value, bool any, bool only, bool some);
// The body of `construct`: pushes a copy of the prototype (or a new empty
// object) given the set-words of the spec; a run of set-words shares the
// value after it, which is not evaluated; unless `only`, the words true,
// yes, on, false, no, off and none become their values.
Cell* construct(const Cell& spec, const Cell* prototype, bool only);

// Change notification: calls `on-change*` with the field word (bound to
// the object), the old and the new value.
void fire_on_change(const Cell& object, const Cell& word, const Cell& old_value,
                    const Cell& new_value);
// Calls `on-deep-change*` after a change of a series the object owns.
void fire_on_deep_change(const Cell& owner, const Cell& word, const Cell& target,
                         const Cell& action, const Cell* new_value, int32_t index, int32_t part);

// The workers shared with error! and port!.
int32_t write_fields(const Cell& object, Cell& buffer, bool only, bool all, bool flat,
                     const Cell* arg, int32_t part, int32_t indent, bool mold);
int32_t compare(const Cell* value1, const Cell* value2, int32_t op);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* previous, int32_t index, bool case_, bool get, bool last, bool event);

void init();

} // namespace kiv::object
