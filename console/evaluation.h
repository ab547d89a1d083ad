// Evaluating an input as the console does, for the engine's try-do.
#pragma once

namespace kiv::console {

// Registers the routine behind try-do.
void register_evaluation_routines();

} // namespace kiv::console
