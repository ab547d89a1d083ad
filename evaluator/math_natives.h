// The numeric natives that are not datatype actions: sign tests, max and
// min, shift, to-hex, the trigonometric and logarithmic functions, and the
// constructors of pairs, points and money. Most convert their argument in
// place in slot 0 and leave the result there.
#pragma once

#include <cstdint>

namespace kiv::math_natives {

enum class Shift { right, left, logical };
// data shifted by n bits: a count above 31 shifts everything out (an
// arithmetic right shift of a negative value leaves -1); a negative count
// is taken as 0.
int32_t shift_bits(int32_t data, int32_t n, Shift how);

// Fills the natives table slots of the math natives.
void register_natives();

} // namespace kiv::math_natives
