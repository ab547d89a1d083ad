// The start-up program: initialises the runtime, loads the error catalog,
// binds the built-in functions and runs the boot sources, so that a
// complete language environment stands.
#pragma once

namespace kiv::boot {

// Starts the language. Start-up short of memory ends the process with
// exit_short_of_memory.
void start();

// Writes "*** Runtime Error 94: not enough memory to start" on standard
// error and ends the process with status 94.
[[noreturn]] void exit_short_of_memory();

// Evaluates one boot source (its header skipped); errors end the process.
void run_source(const char* name);

} // namespace kiv::boot
