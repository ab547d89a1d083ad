#include "evaluator/core_plan.h"

#include <cstddef>
#include <cstdlib>
#include <vector>

#include "runtime/fatal.h"

namespace kiv::interpreter::core {

namespace {

// One bit per node: a walk of the core started on its block once. A node
// freed and reused for another block only gets that block planned a run
// earlier.
std::vector<bool> met;

void free_plan(BlockPlan* plan) {
    std::free(plan);
}

// The store's drop: a plan no walk runs over goes at once.
void drop_plan(plan_store::Plan* header) {
    auto* plan = reinterpret_cast<BlockPlan*>(header);
    if (plan->users) {
        plan->dropped = true;
        plan->recheck = true;
    } else
        free_plan(plan);
}

BlockPlan* make_plan(NodeId node, uint32_t length) {
    size_t bytes = offsetof(BlockPlan, entries) + size_t(length ? length : 1) * sizeof(Entry);
    auto* plan = static_cast<BlockPlan*>(std::calloc(1, bytes));
    if (!plan) runtime::quit_with_error(runtime::fatal::out_of_memory, runtime::caller_address());
    plan->header.drop = drop_plan;
    plan->length = length;
    plan->recheck = plan_store::verifying;
    plan_store::keep(node, &plan->header);
    return plan;
}

} // namespace

BlockPlan* kept_plan(NodeId node) {
    plan_store::Plan* found = plan_store::find(node);
    // In plan verify mode the walker keeps bare plans (no entries) of the
    // blocks it walks: they are not the core's.
    return found && found->drop == drop_plan ? reinterpret_cast<BlockPlan*>(found) : nullptr;
}

BlockPlan* find_or_make_plan(NodeId node, uint32_t length) {
    BlockPlan* plan = kept_plan(node);
    if (!plan) {
        if (node >= met.size()) met.resize(size_t(node) * 2 + 1024);
        if (!met[node]) {
            met[node] = true;
            return nullptr;
        }
        plan = make_plan(node, length);
    }
    ++plan->users;
    return plan;
}

void free_dropped(BlockPlan* plan) {
    free_plan(plan);
}

void forget_blocks() {
    met.clear();
}

} // namespace kiv::interpreter::core
