// The binding epoch: a counter that changes whenever what a word means as
// a call may have changed. It is bumped when a context slot that held or
// receives a function or operator is written, when code is bound to
// another context, and at every collection. Caches that resolve words ahead of time (the
// interpreter's code plans) are valid only while it stays the same.
#pragma once

#include <cstdint>

namespace kiv::binding {

extern uint64_t epoch;

inline void bump() {
    ++epoch;
}

} // namespace kiv::binding
