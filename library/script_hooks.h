// What `do` needs of the library: `do-file` for a file! or url!, and
// `preprocessor/expand` for do/expand. Both are Kiv functions; the hooks
// look them up when called, so a script may not have replaced them.
#pragma once

namespace kiv::script_hooks {

// Sets the evaluator's do-file and expand hooks.
void install();

} // namespace kiv::script_hooks
