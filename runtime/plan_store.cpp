#include "runtime/plan_store.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/fatal.h"
#include "runtime/memory.h"

namespace kiv::plan_store {

bool verifying = false;
std::vector<Plan*> plans;
uint32_t covered = 0;

void init() {
    const char* env = std::getenv("KIV_PLAN_VERIFY");
    verifying = env && env[0] == '1';
}

namespace {

void forget(Plan* plan) {
    std::free(plan->snapshot);
    plan->snapshot = nullptr;
    plan->drop(plan);
}

bool unchanged(const Plan& plan, NodeId node) {
    Buffer* buffer = memory::buffer_of(node);
    return buffer->length() == plan.length &&
           std::memcmp(buffer->head, plan.snapshot, size_t(plan.length) * sizeof(Cell)) == 0;
}

// Names the first cell that differs, which tells the change apart.
[[noreturn]] void report_missed_barrier(const Plan& plan, NodeId node) {
    Buffer* buffer = memory::buffer_of(node);
    uint32_t length = buffer->length();
    uint32_t at = 0;
    while (at < length && at < plan.length &&
           std::memcmp(buffer->head_cell() + at, plan.snapshot + at, sizeof(Cell)) == 0)
        ++at;
    std::fprintf(stderr,
                 "kiv: block %u changed without dropping its plan: %u cells, were %u; "
                 "first change at cell %u\n",
                 unsigned(node), unsigned(length), unsigned(plan.length), unsigned(at));
    runtime::quit_with_error(runtime::fatal::assertion_failed, runtime::caller_address());
}

void drop_bare(Plan* plan) {
    delete plan;
}

} // namespace

Plan* find(NodeId node) {
    if (node >= covered) return nullptr;
    Plan* plan = plans[node];
    if (plan && verifying && !unchanged(*plan, node)) [[unlikely]]
        report_missed_barrier(*plan, node);
    return plan;
}

void keep(NodeId node, Plan* plan) {
    if (node >= covered) {
        plans.resize(size_t(node) * 2 + 1024, nullptr);
        covered = uint32_t(plans.size());
    }
    drop(node);
    if (verifying) {
        Buffer* buffer = memory::buffer_of(node);
        plan->length = buffer->length();
        size_t bytes = size_t(plan->length) * sizeof(Cell);
        plan->snapshot = static_cast<Cell*>(std::malloc(bytes ? bytes : 1));
        if (!plan->snapshot)
            runtime::quit_with_error(runtime::fatal::out_of_memory, runtime::caller_address());
        std::memcpy(plan->snapshot, buffer->head, bytes);
    }
    plans[node] = plan;
}

void drop(NodeId node) {
    if (node >= covered) return;
    if (Plan* plan = plans[node]) {
        plans[node] = nullptr;
        forget(plan);
    }
}

void drop_all() {
    for (Plan*& plan : plans)
        if (plan) {
            Plan* gone = plan;
            plan = nullptr;
            forget(gone);
        }
}

void verify_walk(NodeId node) {
    if (find(node)) return;
    Plan* plan = new Plan;
    plan->drop = drop_bare;
    keep(node, plan);
}

} // namespace kiv::plan_store
