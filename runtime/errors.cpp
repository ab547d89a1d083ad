#include "runtime/errors.h"

#include "runtime/throw.h"

namespace kiv::runtime {

// Until the error catalog and error! values exist, a raise records the
// catalog position of the error and throws the error code.
ErrorSite last_error;

void fire_error(Category category, uint32_t id, const Cell*, const Cell*, const Cell*) {
    last_error = {category, id};
    throw_code(code::error);
}

} // namespace kiv::runtime
