// The interpreter: evaluates code that exists only as values.
//
// It walks a block cell by cell, resolves words through their contexts,
// calls natives, actions, operators and functions with their arguments
// fetched from the following cells, and evaluates paths. Every value
// passes through the argument stack and every call is marked on the
// call-frame stack. Operators chain left to right with no precedence.
//
// Blocks being evaluated are pinned, so raw cell pointers into them stay
// good while the evaluation allocates. break, continue, return, exit and
// throw arrive as a pending code (runtime::record.pending): every level
// returns at once while one is set, and the level it targets clears it.
// So do errors of native calls under a try (runtime::record.error_exits);
// every entry from C++ code hands errors on as exceptions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "evaluator/core.h"
#include "runtime/cell.h"
#include "runtime/memory.h"

namespace kiv::interpreter {

// The block being evaluated, its index at the current expression. Making
// an error copies it into the error's `near` field.
extern Cell position;

// Whether code runs through the flat core; KIV_CORE=0 at start-up turns it off.
extern bool flat_core;

// How a function is being called, for tracing.
namespace call_kind {
constexpr uint32_t interpreter = 0;
constexpr uint32_t lexer = 1;
constexpr uint32_t parse = 2;
constexpr uint32_t sort = 4;
constexpr uint32_t on_change = 8;
constexpr uint32_t on_deep_change = 16;
constexpr uint32_t port = 32;
} // namespace call_kind

// Calls of a function value with a block of arguments (natives such as
// apply): bit 1, refinements are refinement! values among the arguments;
// bit 2, every argument is exactly the next value.
namespace mode {
constexpr uint32_t refinements_in_block = 2;
constexpr uint32_t literal_arguments = 4;
} // namespace mode

void init();
// Takes note of the library functions that operators compute in place (the
// `modulo` behind `//`), once the library has loaded.
void note_library();

// Evaluates every expression of the block; the last value is the result,
// copied into the caller's slot 0 (set_result) or left as its last pushed
// value.
void eval(const Cell& block, bool set_result);

// Evaluates the block as eval(block, true) for a native that catches
// errors: an error raised in a native call of the block may also come back
// as the pending exit code::error, the stack already at the catcher's
// frame with the error pushed last.
void eval_trying(const Cell& block);

// Evaluates every expression of the block in the current frame, emptied
// first: the last value stays in slot 0 with nothing above it. Traced, the
// block gets a frame of its own as `eval` gives it.
void eval_here(const Cell& block);

// The evaluations of a loop's body (or condition), one per step, each as
// eval_here does it: the current position is kept and the block pinned
// once for the whole loop rather than at every step. Each step reads the
// block anew, so a body that its own steps change runs as it now is (its
// pin moves to a buffer that replaced the old one).
class BodyWalk {
  public:
    explicit BodyWalk(const Cell& block);
    ~BodyWalk();
    BodyWalk(const BodyWalk&) = delete;
    BodyWalk& operator=(const BodyWalk&) = delete;
    // Evaluates the block in the current frame, as eval_here does.
    void step();

  private:
    void repin(Buffer* buffer);

    Cell code_;
    Cell saved_position_;
    Buffer* pinned_;
    // Where the pin lies in the pinned stack.
    size_t pin_slot_;
    // With the flat core: its walk of the block, kept across the steps.
    core::Record* steps_ = nullptr;
};

// Evaluates one expression from pos in a frame of its own and returns the
// position after it; the value is pushed (keep) or copied into the
// caller's slot 0.
const Cell* eval_next(const Cell& block, const Cell* pos, const Cell* tail, bool keep);

// Evaluates the expression at the block's index and returns the index
// after it; at the tail the result is unset! and the index is unchanged.
uint32_t eval_next_in(const Cell& block);

// Evaluates the expression at pos and returns the position after it: the
// value is pushed (keep) or written to slot 0 with the frame emptied above
// it. no_infix: no operator is looked for after the value.
// literal_functions: function values met as literals are values.
const Cell* eval_expression(const Cell* pos, const Cell* tail, const Cell& block, bool no_infix,
                            bool keep, bool literal_functions);

// Calls a native!, action!, routine! or function! whose arguments start at
// pos; returns the position after its last argument. `path` (with
// `path_index`, the element that named the function) supplies refinements.
const Cell* eval_code(const Cell& function, const Cell* pos, const Cell* tail, const Cell& block,
                      bool keep, const Cell* path, uint32_t path_index, const Cell* name,
                      NodeId object, uint32_t call_mode, bool infix);

// Runs a function! whose arguments are in the current frame.
void eval_function(const Cell& function, NodeId object, const Cell& name, uint32_t kind);

// Calls a function value with the arguments in a block (apply and the
// callbacks of the runtime): the result is pushed.
void call_with_block(const Cell& function, const Cell& arguments, uint32_t call_mode);

// Calls a function value with these values as its first arguments, taken
// as they are (callbacks of the runtime: sort comparators, handlers);
// unused refinements are off. The result is pushed.
void call_with_values(const Cell& function, const Cell* values, uint32_t count, uint32_t kind);

// Evaluates a path, set-path or get-path; returns the position after it
// (after the assigned value for a set-path).
const Cell* eval_path(const Cell& path, const Cell* pos, const Cell* tail, const Cell& block,
                      bool set, bool get, bool keep);

} // namespace kiv::interpreter
