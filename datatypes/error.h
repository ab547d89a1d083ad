// error!: every failure of the language. An error is an object (class id
// 1, no handler record) whose context is a copy of the standard error
// prototype, with ten fields in a fixed order (Field). Its message comes
// from the error catalog: an object whose words are the ten categories in
// order, each valued by a category object whose words are `code`, `type`
// (the category's text) and then its ids, each valued by its message
// template. The catalog is loaded from library/errors.kiv.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::error {

constexpr uint32_t class_id = 1;

enum Field : uint32_t { code = 0, type, id, arg1, arg2, arg3, near, where, stack, files };
constexpr uint32_t field_count = 10;

inline uint32_t stack_field_index() {
    return Field::stack;
}

// The catalog object (system/catalog/errors). Until one is set, errors are
// raised without values (runtime::fire_error throws the bare error code).
void set_catalog(const Cell& errors_object);
bool has_catalog();
const Cell& catalog();
// Builds the catalog object from the loaded errors source: each category
// is a set-word, a word (`object`) and a block of set-words each followed
// by its value (taken as written, not evaluated); anything else (the
// script header) is passed over. Returns the errors object.
Cell build_catalog(const Cell& source);
// Makes the catalog of the errors source (library/errors.kiv) loaded as a
// block.
void load_catalog(const Cell& source);

// The standard error prototype (system/standard/error): ten fields, none.
const Cell& standard();

// Pushes a new error (category word, id word) with its arguments.
Cell* create(const Cell& category, const Cell& id, const Cell* arg1, const Cell* arg2,
             const Cell* arg3);
// The same from catalog positions: category index and the id's field
// index in its category (0 `code`, 1 `type`, then the ids). Null when the
// catalog has no such entry.
Cell* create_at(uint32_t category, uint32_t id_index, const Cell* arg1, const Cell* arg2,
                const Cell* arg3);

// The symbols of the `type` and `id` fields (0 when not words).
uint32_t get_type(const Cell& error);
uint32_t get_id(const Cell& error);
// Sets `where` when it is still none.
void set_where(Cell& error, const Cell& value);
// The word of the running call (as the `where` of an error names it), or
// `<anon>`.
Cell call_word();
// The i-th parameter word (word!, lit-word!, get-word! or refinement!
// entries, counted from 0) of the spec of the function being called, for
// argument-type messages; `<anon>` when there is none.
Cell param_word_at(uint32_t i);
// The value cell of a field; good until the next allocation.
const Cell* field(const Cell& error, Field f);
// Writes a field.
void store_field(const Cell& error, Field f, const Cell& value);

// The code being evaluated, copied into the `near` field of every error
// made; the interpreter points it at its current-position cell.
extern const Cell* near_source;

// The object whose first field, when a string!, is the caption of the
// alert that shows an error no try frame caught; set by the start-up
// program, none until then.
extern Cell caption_object;

// Writes the message as the console shows it; the error is not changed.
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
// The same with some parts left out (written as none), for showing an
// error whose arguments or `near` cannot be formed.
struct Parts {
    bool arguments = true;
    bool near = true;
};
int32_t form_parts(const Cell& value, Cell& buffer, Parts parts, int32_t part);

// Registers error!, makes the standard prototype and sets the stack's
// hooks that complete and report thrown errors. After object::init.
void init();

} // namespace kiv::error
