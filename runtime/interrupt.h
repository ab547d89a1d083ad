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
#include <cstdint>

namespace kiv::runtime {

// Set by whoever asks to stop what runs (async-signal-safe), cleared once
// the interrupt has been raised or forgotten.
extern std::atomic<bool> interrupt_requested;

// Raises what an interrupt means (the evaluator's halt or stop error); set
// by the layer that gives it a meaning. While none is set, polls do
// nothing; a raiser may also return when the interrupt must wait (a halt
// that nothing could catch yet).
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

// Bytes written between polls by the loops that fill series: a poll costs
// nothing beside copying this much.
constexpr uint64_t copy_stretch_bytes = 1 << 16;

// Writes `total` copies of `copy_bytes` bytes each into room already made,
// a stretch of copies at a time (`write(first, count)`), polling between
// stretches. An interrupt first gets `stop(done)`, which closes the room
// the copies not made would have filled, so that the series holds only
// what was written; then it is raised (the raise moves the evaluator's
// stack, so `stop` must come before it). A halt that waits for a catch
// ends the copying there.
template <class Write, class Stop>
void write_copies(uint64_t total, uint64_t copy_bytes, Write write, Stop stop) {
    uint64_t stretch =
        copy_bytes >= copy_stretch_bytes ? 1 : copy_stretch_bytes / (copy_bytes ? copy_bytes : 1);
    for (uint64_t done = 0; done < total;) {
        uint64_t count = total - done < stretch ? total - done : stretch;
        write(done, count);
        done += count;
        if (done < total && interrupt_requested.load(std::memory_order_relaxed)) [[unlikely]] {
            stop(done);
            take_interrupt();
            return; // a halt that waits for a catch: the copies written stay
        }
    }
}

} // namespace kiv::runtime
