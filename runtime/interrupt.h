// Interrupting long C++ loops. The interpreter notices an interrupt (Ctrl-C,
// `halt` from a watchdog) at its own checks, between calls; a loop that runs
// long without coming back to it (molding a huge value, copying or searching
// a long series, sorting, parsing without actions, decoding) polls here
// instead, so the interrupt reaches it too.
//
// A poll is one relaxed load of a flag that only an interrupt writes: as
// cheap as counting work down, and it sees the request at once however
// costly each step is (a step that collects under KIV_GC_STRESS takes
// milliseconds).
#pragma once

#include <atomic>

namespace kiv::runtime {

// Set by whoever asks to stop what runs (async-signal-safe), cleared once
// the interrupt has been raised or forgotten.
extern std::atomic<bool> interrupt_requested;

// Raises what an interrupt means (the evaluator's halt or stop error); set
// by the layer that gives it a meaning. While none is set, polls do
// nothing.
extern void (*interrupt_raiser)();

// Raises the interrupt asked for.
[[gnu::cold]] void take_interrupt();

// Raises a pending interrupt. Call it once per step of a long loop, only
// where raising leaves nothing half done: where an allocation or a
// callback could already raise, or in a scan that changes nothing.
inline void poll() {
    if (interrupt_requested.load(std::memory_order_relaxed)) [[unlikely]]
        take_interrupt();
}

} // namespace kiv::runtime
