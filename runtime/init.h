// Runtime initialisation: starts every module of the language runtime
// once, in an order where each finds what it needs already standing.
#pragma once

namespace kiv::runtime {

// Output, platform, random generator, memory, the collector's tables, the
// datatypes (parents before children), the action table, symbols, the
// global context, the runtime words, the natives and the modules above
// them. The collector stays off: start-up switches it on when the
// language environment stands.
void init();

// Releases every frame and the tracked heap.
void cleanup();

} // namespace kiv::runtime
