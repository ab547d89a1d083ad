// Thin wrappers over single operating-system calls.
#pragma once

#include <cstddef>

namespace kiv::os {

// Committed read-write (or read-write-execute) memory of `size` bytes.
// Failure is a low-level throw with code os_alloc_failed.
void* virtual_alloc(size_t size, bool executable);
// Releases a block from virtual_alloc; failure throws os_release_failed.
void virtual_free(void* pointer, size_t size);

} // namespace kiv::os
