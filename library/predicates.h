// The type predicates: one exact datatype test per datatype and one test
// per standard typeset, each a single comparison or bit test on the value
// cell that allocates nothing.
#pragma once

namespace kiv::predicates {

// Registers the bodies under the predicates' names.
void register_routines();

} // namespace kiv::predicates
