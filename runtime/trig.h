// Degree arguments of the trigonometric natives.
#pragma once

namespace kiv::trig {

// Brings `angle` (degrees) into -180..180, then folds it by `mode` when it
// lies beyond ±90: mode 0 shifts it by 180, mode 2 reflects it about ±90,
// other modes keep it. Returns radians.
double normalize_degrees(double angle, int mode);

} // namespace kiv::trig
