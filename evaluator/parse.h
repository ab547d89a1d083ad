// The PARSE dialect engine: matches an input series against a block of
// rules and can extract, change and collect parts of the input on the way.
//
// The engine is one iterative loop over a few states. Nested rule blocks
// and pending commands live in frames of three cells on an explicit rule
// stack, and the series entered with `into` on an explicit input stack;
// both are block! series made once by `init`, limited to 10,000 cells each
// (script error `parse-stack`). A run sees both stacks empty: it starts at
// their current tails and clears them back on every exit, so a paren
// action or a trace callback may parse again.
//
// Block-like input is matched value by value, string-like input character
// by character, binary! input byte by byte.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::parse {

constexpr uint32_t stack_limit = 10000;

// Case codes: equality ignoring case (the default) and strict equality.
constexpr int32_t case_insensitive = 0;
constexpr int32_t case_sensitive = 2;

// What the engine needs from modules built above it. Each hook is wired at
// start-up by the module that owns the service.
struct Hooks {
    // Evaluates a paren! through the interpreter into `out`. A break,
    // continue, return or exit from the paren comes back with
    // runtime::record.pending set; the engine then unwinds and returns.
    void (*eval_paren)(const Cell& paren, Cell& out) = nullptr;
    // Reads a word's value into `out` (raising when it has none), and sets
    // a word.
    void (*get_word)(const Cell& word, Cell& out) = nullptr;
    void (*set_word)(const Cell& word, const Cell& value) = nullptr;
    // Whether a typeset! holds a type id; whether a bitset! holds a code
    // point (a code point beyond its size counts as held when the bitset
    // carries its complement flag).
    bool (*typeset_has)(const Cell& typeset, uint32_t type) = nullptr;
    bool (*bitset_has)(const Cell& bitset, uint32_t code_point) = nullptr;
    // Calls the trace callback with its five arguments (event word, match
    // flag, rules at the current item, input at the current position, the
    // rule stack) under a frame named `<parse-callback>`; the answer read
    // as a condition. A pending exit set by the callback stops the parse.
    bool (*call_trace)(const Cell& callback, const Cell* args) = nullptr;
};
extern Hooks hooks;

// Makes the two working series and registers their marker.
void init();
// Drops them (tests and shutdown).
void release();

// Matches `input` against `rules` (a block!) under the case code; `part`
// is the number of units from the input's head to consider, -1 for all
// (with 0 the rules are not run: true only for an empty input);
// `callback` is the trace function or a none! cell. The result is pushed
// on the argument stack: logic! true when the rules matched and consumed
// the input, else false; the collected block! when a `collect` without a
// target is not nested in another. Returns null when a paren action or
// the callback left a pending exit (the argument stack is then left as
// the exit's target expects it).
Cell* process(const Cell& input, const Cell& rules, int32_t case_code, int32_t part,
              const Cell& callback);

} // namespace kiv::parse
