#include "boot/sources.h"

#include <cstring>

namespace kiv::boot {

const Source* find_source(const char* name) {
    for (size_t i = 0; i < source_count; ++i)
        if (std::strcmp(sources[i].name, name) == 0) return &sources[i];
    return nullptr;
}

} // namespace kiv::boot
