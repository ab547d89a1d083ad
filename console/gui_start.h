// The start of the graphical console: its context is made and launched.
#pragma once

namespace kiv::console {

// Makes the graphical console's context and runs its start-up, which ends
// in the console engine's loop. The exit status: 0 when the console ended
// through its loop, 1 when the start failed (the error on standard error).
int launch_graphical();

} // namespace kiv::console
