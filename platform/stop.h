// A request to stop what is running (Ctrl-C at the console). A signal
// handler sets it; code that blocks in a system call sees the call return
// early (EINTR) and asks here whether to give up or resume.
#pragma once

#include <atomic>

namespace kiv::os {

// Set from a signal handler (lock-free, so async-signal-safe); cleared by
// the raise, or by the console once it has taken the request itself.
extern std::atomic<bool> stop_requested;

// Raises the stop as an exception; installed by the layer that gives the
// stop its meaning (the evaluator's halt). Clears the request.
extern void (*raise_stop)();

// Raises the stop when one is requested, else returns and the caller
// resumes what was interrupted.
inline void check_stop() {
    if (stop_requested.load(std::memory_order_relaxed) && raise_stop) raise_stop();
}

} // namespace kiv::os
