// The non-local exit natives: break, continue, exit, return and throw
// leave a block early; catch stops throws and try stops errors (with /all
// every exit). The unwinding itself is the stack's (stack::throw_break,
// throw_exit, throw_throw, throw_error); these natives say what to pass it
// and what to absorb.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::natives {

void break_(bool check, const int32_t* refinements);
void continue_(bool check, const int32_t* refinements);
void exit_(bool check, const int32_t* refinements);
void return_(bool check, const int32_t* refinements);
void throw_(bool check, const int32_t* refinements);
void catch_(bool check, const int32_t* refinements);
void try_(bool check, const int32_t* refinements);

// Evaluates `code` under a catch that only throws named `name` (a word)
// reach: other throws pass it by to an outer catch, or fail as uncaught
// where they were thrown. For C++ callers that evaluate in a frame of
// their own; the value of the block, or the value thrown, ends in the
// caller's slot 0. True when a throw landed on it.
bool catch_named(const Cell& code, const Cell& name);

// Run right after a try-like region caught an error (the last pushed
// value): the error of a throw that found no catch is raised again;
// any other error becomes the result (slot 0). keep asks for the call
// trace, which errors do not record beyond their frame depth yet.
void check_try(bool keep);

// Set by the console for an interactive session: a halt asked for while
// no catch on the stack could take it (the console's loop between two
// commands) waits for the next catch (stack::hold_halt). Elsewhere such a
// halt is the no-catch error.
extern bool halts_wait;

// Binds the exit natives to their native numbers.
void register_exits();

} // namespace kiv::natives
