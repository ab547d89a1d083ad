// email!: an address written user@host; a string! that molds without
// quotes, with the `user` and `host` parts readable and settable as paths.
#pragma once

#include "runtime/cell.h"

namespace kiv::email {

// Copies the cell onto the argument stack.
Cell* push(const Cell& email);
void init();

} // namespace kiv::email
