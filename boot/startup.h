// The start-up program: initialises the runtime, loads the error catalog,
// binds the built-in functions and runs the boot sources, so that a
// complete language environment stands.
#pragma once

namespace kiv::boot {

void start();

// Evaluates one boot source (its header skipped); errors end the process.
void run_source(const char* name);

} // namespace kiv::boot
