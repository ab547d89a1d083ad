// function! and routine!: functions with a spec block and a context whose
// entries are the arguments, refinements and locals.
//
// A function! cell: header 24 plus the attribute flags of its spec; word 1
// the context node; word 2 the spec block node (head 0); word 3 the extras
// block node. A routine! cell is laid out the same way; its header also
// carries the routine flag and the arity (bits 25-29).
//
// The context keeps its values on the argument stack: while a call runs,
// its word 2 locates the frame, so argument i is frame cell i and a call
// allocates nothing.
//
// The extras block (1-based cells):
//   1 body: a deep copy of the body block (routine!: the body as given), or
//     none!
//   2 argument-list cache, built by the interpreter on first call; unset!
//   3 code entry of a compiled body (routine!: the index of its registered
//     C++ body), integer!, or unset! when there is none
//   4 back-reference to the value once an op! wraps it, else unset!
//   5 second code word, integer!, or unset! when it is 0
//   6 (only on functions that objects were copied from) the re-binding
//     plan of the body for such copies, a block
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace kiv {

namespace extras {
constexpr uint32_t body = 1;
constexpr uint32_t arguments = 2;
constexpr uint32_t code = 3;
constexpr uint32_t op = 4;
constexpr uint32_t code2 = 5;
constexpr uint32_t size = 5;
// Appended only to a function that objects are copied from: the plan that
// re-binds its body for such a copy (see object_rebind.h).
constexpr uint32_t rebind_plan = 6;

// Cell i (1-based) of the extras block of a function-like value; valid
// until the next allocation.
inline Cell* at(const Cell& value, uint32_t i) {
    return memory::buffer_of(value.w3)->head_cell() + (i - 1);
}
} // namespace extras

namespace function {

namespace flag {
constexpr uint32_t trace = 0x400;
constexpr uint32_t no_trace = 0x200;
} // namespace flag

// Pushes a function! of the spec and body (null: none) and returns its
// context node. With ctx 0 a context is made from the spec and the body
// copy is bound to it; code and code2 are stored when not 0.
NodeId push(const Cell& spec, const Cell* body, NodeId ctx, uint32_t code, uint32_t code2,
            uint32_t flags);

// Pushes a new function! like `original` (same spec and header flags) with
// the body, a private block already bound as wanted, and the context, a
// fresh copy of the original's: no code entry, so it runs its body through
// the interpreter. The argument list cache, which depends on the spec
// only, is shared with the original.
void push_recreated(const Cell& original, const Cell& body, NodeId ctx);

// Checks a spec block and returns its attribute flags. Raises script
// bad-func-def (with the spec), invalid-type-spec, no-value or dup-vars.
uint32_t validate_spec(const Cell& spec);
// Raises script dup-vars with the later cell when two word!, lit-word!,
// get-word! or refinement! cells name the same (canonical) symbol.
void check_duplicates(const Cell& spec);
// Every cell must be, or be a word! whose value is, a datatype!, typeset!
// or word!: else script invalid-type-spec; an unset word raises no-value.
void check_type_block(const Cell& types);
// 0x400 per `trace`, 0x200 per `no-trace`, other words ignored; -1 when a
// cell is not a word!.
int32_t attribute_flags(const Cell& attributes);

// For the `function` native, on a copy of its spec: moves /extern words
// out of the spec, collects the body's set-words and loop words as locals
// and appends them after /local. Returns the block of collected words,
// which is pushed (so it stays reachable).
Cell* collect_locals(Cell& spec, const Cell& body);
// 1 + the word! cells after the first /local from the start index; 0
// without /local, or -1 with strict.
int32_t count_locals(NodeId spec, int32_t start, bool strict);
// The frame cells of a refinement not used: logic false, then n - 1 none!.
void push_unused_refinement(int32_t n);

// Actions.
Cell* make(Cell* proto, const Cell* spec, uint32_t type);
Cell* reflect(Cell* value, uint32_t field);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent);
// Compare of every function-like value (function!, routine!, native!,
// action!, op!): values of one type order by the op!'s wrapped type and
// then by word 1 (the context, native number or action slot); -2 for
// another type or an operator other than 0, 1, 2, 7, 8, 9, 12.
int32_t compare(const Cell* value1, const Cell* value2, int32_t op);

// Registers function! (after context!).
void init();

} // namespace function

namespace routine {

// Set by the start-up program on routines whose body takes its argument
// cells by address.
constexpr uint32_t routine_flag = 0x8000;
constexpr uint32_t arity_shift = 25;
constexpr uint32_t arity_mask = 0x3E000000;

// A routine body: reads its arguments from the cells at `args` (the call's
// frame) and leaves its result in args[0].
using Body = void (*)(Cell* args);

// Adds a body to the registry; returns its index (from 1).
uint32_t register_body(Body body);
// The body registered at the index, null when there is none.
Body body_at(uint32_t index);
// Bodies under stable names. The modules that own routines register them
// before the boot sources run; while `binding_open` is set (start-up only)
// `make routine! [spec "name"]` binds the named body to a routine! with that
// spec. Later, and for an unknown name, make raises internal routines.
void register_named(std::string_view name, Body body);
// The registry index of the named body, 0 when there is none.
uint32_t named_index(const Cell& name);
extern bool binding_open;

// Runs the routine's body on the arguments; a routine without a registered
// body raises internal not-done.
void call(const Cell& routine, Cell* args);

// Pushes a routine! (the body value as given, not copied; null: none) with
// the index of its registered body and returns the pushed cell.
Cell* push(const Cell& spec, const Cell* body, uint32_t code, uint32_t code2, bool flag);
uint32_t arity(const Cell& routine);
// Counts the word! cells of the whole spec and stores the count (at most
// 31) in the header.
void store_arity(Cell& routine);

Cell* make(Cell* proto, const Cell* spec, uint32_t type);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent);

// Registers routine! (after function!).
void init();

} // namespace routine

} // namespace kiv
