// Start-up of the language's modules: every module of the runtime, the
// datatypes and the evaluator, once, in an order where each finds what it
// needs already standing. It lives here because only boot/ knows every
// layer.
#pragma once

namespace kiv::boot {

// Output, platform, random generator, memory, the collector's tables, the
// datatypes (parents before children), the action table, symbols, the
// global context, the runtime words, the natives and the modules above
// them. The collector stays off: start-up switches it on when the
// language environment stands.
void init_modules();

} // namespace kiv::boot
