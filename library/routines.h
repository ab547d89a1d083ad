// Low-level routines that Kiv code binds: C++ bodies registered under
// stable names. While the boot sources run, the word `routine` makes a
// routine! of one of them from its name and a spec:
//     decode: routine "kivbin-decode" [payload [any-type!]]
// Start-up unsets the word once the boot sources are done, so no later
// code can bind a body.
#pragma once

namespace kiv::routines {

// Defines the word `routine` in the global context.
void bind_maker();
// Unsets it.
void unbind_maker();

} // namespace kiv::routines
