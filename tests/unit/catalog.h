// The error catalog of library/errors.kiv for tests that raise errors
// without starting the whole language.
#pragma once

#include <cstdlib>
#include <string>

#include "boot/sources.h"
#include "datatypes/error.h"

namespace kiv::testing {

// Loads the catalog; false when library/errors.kiv cannot be read.
inline bool load_library_catalog() {
    const char* root = std::getenv("KIV_SOURCE_DIR");
    std::string text;
    if (!boot::read_source((std::string(root ? root : "..") + "/library").c_str(), "errors", text))
        return false;
    error::load_catalog(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
    return true;
}

} // namespace kiv::testing
