// The flat core: evaluates untraced code in one dispatch loop, with the
// work that waits (block walks, calls fetching their arguments, operators
// waiting for their right operand, set-words, control forms) on a record
// stack of its own rather than on the C++ stack. A call of a function!
// pushes the same frame as the block walker's call and continues in the
// body's walk: no C++ recursion per Kiv call.
//
// Natives run from the loop through one small trampoline; a native that
// evaluates code (a loop, `do`, a sort comparator) enters the core again,
// as a new activation over the same record stack. Anything the core does
// not run itself (paths, routines, literal function values, traced runs)
// goes through the block walker one expression at a time.
#pragma once

#include "runtime/cell.h"

namespace kiv::interpreter::core {

// Registers the collector's marker of the records; empties them.
void init();

// Evaluates every expression of the block in the current frame, emptied
// first, as the walker's untraced walk does: the last value stays in slot 0
// with nothing above it (unset! for an empty block). Errors leave the
// records of this activation as they were before it started.
void run_here(const Cell& block);

// A walk kept on the records across the steps of a loop body: begun once,
// run once per step (the block as it is at that step, from its index, in
// the current frame emptied first), ended when the loop ends, however it
// ends. The steps of one walk and of the walks begun after it nest.
struct Record;
Record* begin_steps(const Cell& block);
void run_step(Record* walk);
void end_steps(Record* walk);

} // namespace kiv::interpreter::core
