// What `do` and url! need of the library: `do-file` for a file! or url!,
// `preprocessor/expand` for do/expand, and `url-parser/parse-url` for the
// ports of urls. All are Kiv functions; the hooks look them up when
// called, so a script may have replaced them.
#pragma once

namespace kiv::script_hooks {

// Sets the evaluator's do-file and expand hooks and url!'s parser hook.
void install();

} // namespace kiv::script_hooks
