// Plans kept beside blocks: what the evaluator decoded from a block's cells
// the first times it ran, so that later runs skip the decoding.
//
// The store maps a block's node to its plan and owns nothing of the plan
// but the right to drop it: the evaluator makes a plan (any structure that
// begins with a `Plan` header) and keeps it here; the store drops it when
// the block's cells change (`touch`, the write barrier every in-place
// change of a block calls), when the node is freed, and when the session
// ends. A plan holds no pointer into cells, so buffers may move under it.
//
// A kept plan is good until its block is touched. Verify mode
// (KIV_PLAN_VERIFY=1) checks that trust: `keep` copies the block's cells
// and each `find` compares the block with that copy; a difference is a
// change that missed the barrier, reported before the process ends.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/cell.h"

namespace kiv::plan_store {

struct Plan {
    // Frees the whole plan, header included.
    void (*drop)(Plan* plan) = nullptr;
    // The block's cells from its head when the plan was kept (verify mode
    // only), and their count.
    Cell* snapshot = nullptr;
    uint32_t length = 0;
};

// Set from KIV_PLAN_VERIFY by `init`.
extern bool verifying;

// The plans by node id; null where a node has none. `covered` is the
// table's size, kept beside it so that the barrier reads one word.
extern std::vector<Plan*> plans;
extern uint32_t covered;

// Reads KIV_PLAN_VERIFY.
void init();

// The plan kept for the block's node, or null.
Plan* find(NodeId node);

// Keeps `plan` for the node, dropping the one it had.
void keep(NodeId node, Plan* plan);

// Drops the node's plan, if any.
void drop(NodeId node);

// The write barrier: the block's cells changed (or are about to); its plan,
// if any, is dropped.
inline void touch(NodeId node) {
    if (node < covered && plans[node]) [[unlikely]]
        drop(node);
}

// Drops every plan (the session's memory is being released).
void drop_all();

// Verify mode's check of a walk over the block: the first walk keeps a
// bare plan (a header alone) for it, every later one finds it, so that a
// change since the last walk that missed the barrier ends the process.
void verify_walk(NodeId node);

} // namespace kiv::plan_store
