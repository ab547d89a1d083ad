// Interrupting long C++ loops. The interpreter notices an interrupt (Ctrl-C,
// `halt` from a watchdog) at its own checks, between calls; a loop that runs
// long without coming back to it (molding a huge value, copying or searching
// a long series, sorting, parsing without actions, decoding) polls here
// instead, so the interrupt reaches it too.
//
// `poll` counts work down and looks at the request only once per period:
// the common path is a subtraction, cheap enough for a loop over characters.
#pragma once

#include <atomic>
#include <cstdint>

namespace kiv::runtime {

// Set by whoever asks to stop what runs (async-signal-safe), cleared once
// the interrupt has been raised or forgotten.
extern std::atomic<bool> interrupt_requested;

// Raises what an interrupt means (the evaluator's halt or stop error); set
// by the layer that gives it a meaning. While none is set, polls do
// nothing.
extern void (*interrupt_raiser)();

// Units of work left before the next look at the request.
extern std::atomic<int64_t> poll_budget;

// Looks at the request and starts a new period: raises the interrupt when
// one is asked for.
[[gnu::cold]] void take_interrupt();

// Counts `units` of work done (a character written, a record compared, a
// block of bytes copied); now and then raises a pending interrupt. Call it
// only where raising leaves nothing half done: where an allocation or a
// callback could already raise, or in a scan that changes nothing.
inline void poll(uint32_t units = 1) {
    int64_t left = poll_budget.load(std::memory_order_relaxed) - units;
    poll_budget.store(left, std::memory_order_relaxed);
    if (left < 0) [[unlikely]]
        take_interrupt();
}

} // namespace kiv::runtime
