// The module globals that unit tests change, put back to their start
// values. Every fixture calls reset_globals() first in SetUp and
// release_globals() last in TearDown, so that a test sees the same state
// whether it runs alone or after any other test in the same process.
#pragma once

#include <cstdlib>

#include "evaluator/stack.h"
#include "runtime/case.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/hash.h"
#include "runtime/memory.h"
#include "runtime/roots.h"

namespace kiv::test {

// Whether the suite runs in stress mode (KIV_GC_STRESS=1): every series
// allocation collects, wherever a fixture switches the collector on.
inline bool stress_mode() {
    const char* env = std::getenv("KIV_GC_STRESS");
    return env && env[0] == '1';
}

inline void reset_globals() {
    // Frames a test left behind, then an empty store.
    memory::free_all_frames();
    memory::init();
    memory::pinned.clear();
    // Markers, sweepers, statistics, the stress flag and the collect hook;
    // the collector stays off until a fixture switches it on.
    collector::init();
    collector::active = false;
    collector::hooks = {};
    roots::cells.clear();
    roots::nodes.clear();
    // No argument stack: the collector would scan cells of a stack that an
    // earlier test filled with nodes of its own store.
    stack::state = {};
    stack::hooks = {};
    hashing::compare_hook = nullptr;
    runtime::last_error = {};
    unicode::init_case_tables();
}

inline void release_globals() {
    collector::active = false;
    memory::collect_always = false;
    memory::free_all_frames();
}

} // namespace kiv::test
