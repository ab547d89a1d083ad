// The error catalog of library/errors.kiv for tests that raise errors
// without starting the whole language.
#pragma once

#include <cstdlib>
#include <string>

#include "boot/sources.h"
#include "datatypes/error.h"
#include "evaluator/lexer.h"
#include "runtime/roots.h"

namespace kiv::testing {

// Loads the catalog; false when library/errors.kiv cannot be read.
inline bool load_library_catalog() {
    const char* root = std::getenv("KIV_SOURCE_DIR");
    std::string text;
    if (!boot::read_source((std::string(root ? root : "..") + "/library").c_str(), "errors", text))
        return false;
    Rooted<Cell> source;
    lexer::load(*source, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
    error::load_catalog(*source);
    return true;
}

} // namespace kiv::testing
