// The start-up program: initialises the runtime, loads the error catalog,
// binds the built-in functions and runs the boot sources, so that a
// complete language environment stands.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kiv::boot {

// Starts the language from the boot image built in, or, when the
// environment variable KIV_BOOT_SOURCES names a library folder, from the
// text sources there (for development). Start-up short of memory ends the
// process with exit_short_of_memory; a damaged image, an unreadable
// source or a failing boot program ends it with status 254 and the reason
// on standard error.
void start();
// The same from the text sources of a library folder, or from an image.
void start_from_sources(const char* library_dir);
void start_from_image(const uint8_t* data, size_t size);

// Writes "*** Runtime Error 94: not enough memory to start" on standard
// error and ends the process with status 94.
[[noreturn]] void exit_short_of_memory();

} // namespace kiv::boot
