// The module globals that unit tests change, put back to their start
// values. Every fixture calls reset_globals() first in SetUp and
// release_globals() last in TearDown, so that a test sees the same state
// whether it runs alone or after any other test in the same process.
#pragma once

#include <deque>

#include "datatypes/error.h"
#include "datatypes/ownership.h"
#include "runtime/case.h"
#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/float_text.h"
#include "runtime/hash.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/slot_table.h"
#include "runtime/stack.h"
#include "runtime/throw.h"
#include "runtime/types.h"

namespace kiv::test {

// Values that a fixture's helpers made: the collector keeps them (and
// what they refer to) for the rest of the test, as the values of a program
// would be kept by the blocks that hold them.
inline std::deque<Cell> held;

inline void mark_held() {
    for (const Cell& c : held) collector::mark_values(&c, &c + 1);
}

// Keeps a new value for the rest of the test and returns it.
inline Cell hold(const Cell& value) {
    held.push_back(value);
    return value;
}

inline void reset_globals() {
    // Frames a test left behind, then an empty store.
    memory::free_all_frames();
    memory::init();
    memory::pinned.count = 0;
    // Markers, sweepers, statistics, the stress flag and the collect hook;
    // the collector stays off until a fixture switches it on.
    collector::init();
    collector::active = false;
    collector::hooks = {};
    held.clear();
    collector::add_marker(mark_held);
    roots::cells.clear();
    roots::nodes.clear();
    // No argument stack: the collector would scan cells of a stack that an
    // earlier test filled with nodes of its own store.
    stack::state = {};
    stack::hooks = {};
    cycles::reset();
    // Values and nodes of an earlier test's store.
    slot_table::root = {};
    ownership::release();
    // Hooks and switches that tests install.
    hashing::compare_hook = nullptr;
    hashing::content_hook = nullptr;
    // An error catalog of an earlier store: errors are raised without one.
    error::set_catalog(Cell{TYPE_NONE, 0, 0, 0});
    float_::pretty_print = true;
    runtime::last_error = {};
    runtime::record.code = 0;
    runtime::record.pending = 0;
    unicode::init_case_tables();
}

// In stress mode, switches the collector on for a fixture whose tests
// keep their values rooted, so that a value a module forgets to root is
// collected at the next allocation and the test fails.
inline void collect_under_stress() {
    collector::active = collector::stress;
}

inline void release_globals() {
    collector::active = false;
    memory::collect_always = false;
    held.clear();
    memory::free_all_frames();
}

} // namespace kiv::test
