#include "runtime/plan_store.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/fatal.h"
#include "runtime/memory.h"

namespace kiv::plan_store {

// Until every in-place change of a block calls the barrier, a plan is
// checked against its block's cells on every use.
Check check = Check::compare;
std::vector<Plan*> plans;

void init() {
    const char* env = std::getenv("KIV_PLAN_VERIFY");
    if (env && env[0] == '1') check = Check::verify;
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

} // namespace

Plan* find(NodeId node) {
    if (node >= plans.size()) return nullptr;
    Plan* plan = plans[node];
    if (!plan || check == Check::trust || unchanged(*plan, node)) return plan;
    if (check == Check::verify) {
        std::fprintf(stderr, "kiv: block %u changed without dropping its plan\n", unsigned(node));
        runtime::quit_with_error(runtime::fatal::assertion_failed, runtime::caller_address());
    }
    drop(node);
    return nullptr;
}

void keep(NodeId node, Plan* plan) {
    if (node >= plans.size()) plans.resize(size_t(node) * 2 + 1024, nullptr);
    drop(node);
    if (check != Check::trust) {
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
    if (node >= plans.size()) return;
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

} // namespace kiv::plan_store
