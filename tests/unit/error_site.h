// Error catalog positions compared and printed by the tests.
#pragma once

#include <ostream>

#include "runtime/errors.h"

namespace kiv::runtime {
inline bool operator==(ErrorSite a, ErrorSite b) {
    return a.category == b.category && a.id == b.id;
}
inline std::ostream& operator<<(std::ostream& out, ErrorSite e) {
    return out << "error " << uint32_t(e.category) << "/" << e.id;
}
} // namespace kiv::runtime
