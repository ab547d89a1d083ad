// The natives that choose what to evaluate: if, unless, either, any, all,
// switch and case.
#pragma once

#include <cstdint>

namespace kiv::natives {

void if_(bool check, const int32_t* refinements);
void unless(bool check, const int32_t* refinements);
void either(bool check, const int32_t* refinements);
void any(bool check, const int32_t* refinements);
void all(bool check, const int32_t* refinements);
void switch_(bool check, const int32_t* refinements);
void case_(bool check, const int32_t* refinements);

// Binds them to their native numbers.
void register_conditionals();

} // namespace kiv::natives
