// The bodies of the JSON routines that the boot sources bind.
#pragma once

#include "runtime/cell.h"

namespace kiv::json_routines {

// Registers the bodies below under their routine names.
void register_routines();

// "json-decode" text [string!]: a block holding the one decoded value, or
// on failure the block of three integers line, mark offset and column.
void decode(Cell* args);

// "json-encode" data indent ascii: the JSON text of data, pretty when
// indent is a string!, with non-ASCII text escaped when ascii is true.
void encode(Cell* args);

} // namespace kiv::json_routines
