#include "platform/arg_check.h"

#include "runtime/errors.h"

namespace kiv::platform {

void check_arg_type(const Cell& cell, uint32_t type) {
    if (cell::type_of(cell) != type)
        runtime::fire_error(runtime::Category::script, err::script::invalid_arg, &cell);
}

} // namespace kiv::platform
