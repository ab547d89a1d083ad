// Reading the settings that the runtime takes from the `system` object
// (month names, the currency list, money digits and the like).
#pragma once

#include <cstdint>
#include <initializer_list>

#include "runtime/cell.h"

namespace kiv::system_object {

// The value at a path of field names from `system`, such as
// {"locale", "months"}; null when `system` is not set yet, or a field on
// the way is missing or not an object. The cell is good until the next
// allocation.
const Cell* find(std::initializer_list<const char*> path);
// The same for a path of symbols, such as words::sym<"state">(): no
// spelling is interned on the way.
const Cell* find(std::initializer_list<uint32_t> path);

// The same field's cell, for setting it directly (no change handler runs).
Cell* field(std::initializer_list<const char*> path);

// A setting read often (on every raise), one path per instance: its path
// of symbols looked up as `find` does, each step remembering the index of the entry it found. The
// entry at that index is checked to hold the step's symbol, so a script
// that replaces an object on the way, or changes the setting, needs no
// telling: a step whose entry is not there any more looks up again. A
// step that reaches the same context as last time within the same binding
// epoch skips that check: no context is freed (and its node reused) without
// a collection, which moves the epoch, and a context's entries are only
// ever added at its end.
class CachedPath {
  public:
    static constexpr uint32_t max_steps = 4;
    // The path's symbols are passed at each find: they exist only once the
    // runtime's words are made.
    const Cell* find(std::initializer_list<uint32_t> path);

  private:
    uint32_t indexes_[max_steps] = {};
    NodeId contexts_[max_steps] = {}; // where each index was checked; 0: not yet
    uint64_t epoch_ = 0;              // the binding epoch of those checks
};

} // namespace kiv::system_object
