#include "runtime/interrupt.h"

namespace kiv::runtime {

namespace {

// About a millisecond of the cheapest work (a character molded).
constexpr int64_t poll_period = 1 << 16;

} // namespace

std::atomic<bool> interrupt_requested = false;
void (*interrupt_raiser)() = nullptr;
std::atomic<int64_t> poll_budget = poll_period;

void take_interrupt() {
    poll_budget.store(poll_period, std::memory_order_relaxed);
    if (interrupt_requested.load(std::memory_order_relaxed) && interrupt_raiser) interrupt_raiser();
}

} // namespace kiv::runtime
