// The set-operation natives: union, intersect, unique, difference,
// exclude, and complement? of a bitset.
#pragma once

#include <cstdint>

namespace kiv::natives {

void union_(bool check, const int32_t* refinements);
void intersect(bool check, const int32_t* refinements);
void unique(bool check, const int32_t* refinements);
void difference(bool check, const int32_t* refinements);
void exclude(bool check, const int32_t* refinements);
void complement_q(bool check, const int32_t* refinements);

// Checks the sets in slots 0 and 1 and hands them to the set worker of the
// first one's type with the operation code (8 unique ... 12 difference),
// the /case and /skip refinement words; the result replaces slot 0.
void do_set_op(int32_t case_, int32_t skip, int32_t code);

// Binds them to their native numbers.
void register_sets();

} // namespace kiv::natives
