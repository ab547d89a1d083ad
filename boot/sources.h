// The boot sources (the error catalog, the boot program, the standard
// library in Kiv), built into the executable.
#pragma once

#include <cstddef>

namespace kiv::boot {

struct Source {
    const char* name;
    const char* text;
    size_t size;
};

// In evaluation order.
extern const Source sources[];
extern const size_t source_count;

// The source of a name, or null.
const Source* find_source(const char* name);

} // namespace kiv::boot
