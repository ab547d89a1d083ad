// The argument check the system's constructors share: a value whose type
// is not the one a place needs is refused as an invalid argument.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::platform {

// Raises script error invalid-arg with the cell when its type is not
// `type`.
void check_arg_type(const Cell& cell, uint32_t type);

} // namespace kiv::platform
