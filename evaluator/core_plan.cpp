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

// The dropped plans that survived the last sweep: the next sweep waits
// for as many again, so that sweeping stays linear in the drops.
size_t survivors = 0;
constexpr size_t sweep_floor = 64;

// The store's drop: walks may still run over the plan, so it is kept
// until a sweep finds none does.
void drop_plan(plan_store::Plan* header) {
    auto* plan = reinterpret_cast<BlockPlan*>(header);
    plan->recheck = true;
    dropped_plans.push_back(plan);
    if (dropped_plans.size() >= sweep_floor + 2 * survivors) sweep_dropped_plans();
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
    return plan;
}

std::vector<BlockPlan*>& dropped_plans = *new std::vector<BlockPlan*>;

void free_unused_plans() {
    size_t kept = 0;
    for (BlockPlan* plan : dropped_plans) {
        if (plan->in_use) {
            plan->in_use = false;
            dropped_plans[kept++] = plan;
        } else {
            std::free(plan);
        }
    }
    dropped_plans.resize(kept);
    survivors = kept;
}

void forget_blocks() {
    met.clear();
}

} // namespace kiv::interpreter::core
