// Plans of blocks for the flat core: one entry per cell of a block, from
// the head of its buffer, kept in the plan store beside the block and
// decoded lazily, each entry the first time the core meets its cell in a
// role that needs decoding.
//
// An entry holds no pointer into cells. What it holds depends on the
// values of words (an operator's function, the function a word calls), so
// it is good only in the binding epoch it was decoded in: the epoch moves
// whenever a slot that holds or receives a function or operator is
// written, when code is bound, and at every collection. Words of contexts
// whose values are on the stack (arguments and locals) change with every
// call and are never decoded into an entry.
//
// A plan is made for a block the second time a walk of the core starts on
// it (most blocks run once: a script, a console input), and dropped by the
// store when the block changes or is freed. A dropped plan is freed once
// no walk runs over it: the core sweeps the dropped plans against its
// walks when enough have gathered, at every collection, and whenever it
// has no walk left.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/binding.h"
#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/plan_store.h"

namespace kiv::interpreter::core {

// What the word at an entry's cell does when the core meets it.
enum class Role : uint8_t {
    unknown,
    // After a value: not an operator.
    no_operator,
    // After a value: an operator, its function in `value`, its fast
    // operation in `fast`.
    operator_,
    // At the start of an expression: calls the function! in `value`, whose
    // call shape is `shape`.
    call_function,
    // At the start of an expression: runs the control form `fast` of the
    // native in `value`.
    control,
};

struct Entry {
    Cell value;
    uint64_t epoch;
    Role role;
    uint8_t fast;
    uint32_t shape;

    bool good(Role wanted) const { return role == wanted && epoch == binding::epoch; }
    void take(Role decoded, const Cell& decoded_value, uint8_t decoded_fast = 0,
              uint32_t decoded_shape = 0) {
        value = decoded_value;
        epoch = binding::epoch;
        role = decoded;
        fast = decoded_fast;
        shape = decoded_shape;
    }
};

struct BlockPlan {
    plan_store::Plan header;
    // Entries, one per cell of the buffer when the plan was made.
    uint32_t length;
    // Walks must look for the block's plan again once code has run: the
    // plan was dropped, or plan verify mode checks every use.
    bool recheck;
    // Set by a sweep on the dropped plans that walks still run over.
    bool in_use;
    Entry entries[1];
};

// The core's plan kept for the block's node, or null (checked against the
// block first in plan verify mode).
BlockPlan* kept_plan(NodeId node);

// The plan of the block's node (its buffer holding `length` cells) for a
// walk that starts on it; null for a block met for the first time.
BlockPlan* find_or_make_plan(NodeId node, uint32_t length);

inline BlockPlan* take_plan(NodeId node, const Buffer* buffer) {
    // A plan kept is good at once: the barrier drops it when the block
    // changes. In verify mode the store checks it first (and may hold
    // the walker's bare plans).
    if (!plan_store::verifying && node < plan_store::covered)
        if (auto* plan = reinterpret_cast<BlockPlan*>(plan_store::plans[node]);
            plan && !plan->recheck)
            return plan;
    return find_or_make_plan(node, buffer->length());
}

// The plans the store dropped, not yet freed (a table that lives as long
// as the process, as the plans in it may).
extern std::vector<BlockPlan*>& dropped_plans;

// Frees the dropped plans that no walk runs over: the core marks those
// its walks hold (`in_use`) first. Defined with the walks.
void sweep_dropped_plans();

// Frees the dropped plans not marked in use, and clears the marks.
void free_unused_plans();

// The entry of the cell at `index`, or null when the plan has none.
inline Entry* entry_at(BlockPlan* plan, uint32_t index) {
    return plan && index < plan->length ? &plan->entries[index] : nullptr;
}

// Forgets which blocks were met once (the session starts again).
void forget_blocks();

} // namespace kiv::interpreter::core
