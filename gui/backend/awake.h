// The call of the engine's handler, system/view/awake, with the live event.
#pragma once

#include "runtime/cell.h"

namespace kiv::gui {

// Calls system/view/awake (when it is a function) with the event and writes
// its answer; none when there is no handler. The call runs under a
// catch-all: an error, a throw or any other exit out of the handler ends
// here and the stacks are reset, while quit goes on to the entry.
void call_awake(Cell& event, Cell& answer);

} // namespace kiv::gui
