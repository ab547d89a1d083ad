#include "runtime/trig.h"

#include <cmath>
#include <numbers>

namespace kiv::trig {

double normalize_degrees(double angle, int mode) {
    double a = std::fmod(angle, 360.0);
    if (a > 180)
        a -= 360;
    else if (a < -180)
        a += 360;
    if (a > 90 || a < -90) {
        if (mode == 0)
            a += a > 0 ? -180 : 180;
        else if (mode == 2)
            a = (a > 0 ? 180 : -180) - a;
    }
    return a * std::numbers::pi / 180;
}

} // namespace kiv::trig
