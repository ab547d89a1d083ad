// Re-creating the functions of an object for a copy of it.
//
// A copy of an object gets its own copy of every function: the body
// deep-copied, its words bound first to the new object (by symbol; the
// word `self` to the object itself), then to a copy of the function's own
// context. Where each word of the body ends up depends only on its type
// and symbol, on the object's word list and on the function's own words.
// So it is worked out once per function and word list, kept as a plan in
// the function's extras block, and applied to every later copy by index,
// without looking a word up. The plan is checked against the body's words
// before use: a body changed since is planned again.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::object {

// Re-creates the function in value slot `index` of the object context
// `ctx`; any other value is left alone.
// `layout` is a context whose word list equals ctx's (the object copied
// from), under which the plan is kept; 0 when there is none. A function
// without a body raises script/bad-func-def.
void rebind_function(NodeId ctx, uint32_t index, NodeId layout);

} // namespace kiv::object
