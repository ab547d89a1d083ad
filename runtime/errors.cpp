#include "runtime/errors.h"

#include "datatypes/error.h"
#include "evaluator/stack.h"
#include "runtime/throw.h"

namespace kiv::runtime {

ErrorSite last_error;
void (*trace_error_hook)(const Cell& error) = nullptr;

// Builds the error! from the catalog and throws it to the nearest try
// frame. The catalog position is recorded first; without a catalog (the
// runtime before start-up has loaded it) only the error code is thrown.
void fire_error(Category category, uint32_t id, const Cell* arg1, const Cell* arg2,
                const Cell* arg3) {
    last_error = {category, id};
    Cell* error = error::create_at(uint32_t(category), id, arg1, arg2, arg3);
    if (!error) throw_code(code::error);
    if (trace_error_hook) [[unlikely]]
        trace_error_hook(*error);
    stack::throw_error(*error);
}

} // namespace kiv::runtime
