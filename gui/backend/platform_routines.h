// The routines of system/view/platform, by name: each checks its
// arguments against its spec, calls one backend operation and boxes the
// result into args[0]. Those whose operations later layers build raise
// internal not-done.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"

namespace kiv::gui::platform {

using Body = void (*)(Cell* args);

// An argument's allowed types as bits by type id; 0 takes any value.
using Types = uint64_t;

struct Routine {
    const char* name;
    int field; // its field in the platform object
    int arg_count;
    Types args[7];
    const char* arg_names[7];
    Body body;
};

// Binds the routines to the names "platform/NAME" for the platform
// object, with "platform/start-backend", which starts the backend.
void register_routines();
// The routine of a name, or null.
const Routine* find(std::string_view name);
// Checks the arguments of the routine, then runs it.
void call(const Routine& routine, Cell* args);

} // namespace kiv::gui::platform
