#include "runtime/errors.h"

#include "runtime/session.h"
#include "runtime/throw.h"

namespace kiv::runtime {

ErrorSite last_error;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(last_error);
void (*trace_error_hook)(const Cell& error) = nullptr;
Raiser raiser = nullptr;

namespace {

// Records the catalog position and lets the error module build the error!
// and land it on the nearest try frame; false when it could not (before
// start-up has set the raiser, only the error code is thrown).
bool land(Category category, uint32_t id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    last_error = {category, id};
    return raiser && raiser(category, id, arg1, arg2, arg3);
}

} // namespace

// The throw is made here rather than in a callee: each frame between it
// and the catch costs the unwinder twice.
void fire_error(Category category, uint32_t id, const Cell* arg1, const Cell* arg2,
                const Cell* arg3) {
    land(category, id, arg1, arg2, arg3);
    record.code = code::error;
    throw Throw{code::error};
}

void raise_error(Category category, uint32_t id, const Cell* arg1, const Cell* arg2,
                 const Cell* arg3) {
    bool landed = land(category, id, arg1, arg2, arg3);
    record.code = code::error;
    if (landed && record.error_exits) {
        record.pending = code::error;
        return;
    }
    throw Throw{code::error};
}

} // namespace kiv::runtime
