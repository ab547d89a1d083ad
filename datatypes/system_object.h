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

} // namespace kiv::system_object
