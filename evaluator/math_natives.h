// The numeric natives that are not datatype actions: sign tests, max and
// min, shift, to-hex, the trigonometric and logarithmic functions, and the
// constructors of pairs, points and money. Most convert their argument in
// place in slot 0 and leave the result there.
#pragma once

namespace kiv::math_natives {

// Fills the natives table slots of the math natives.
void register_natives();

} // namespace kiv::math_natives
