#include "gui/backend/ticks.h"

#include <ctime>

namespace kiv::gui {

namespace {

double start = -1;

double monotonic_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

} // namespace

void start_ticks() {
    start = monotonic_ms();
}

double ticks_ms() {
    if (start < 0) start_ticks();
    return monotonic_ms() - start;
}

} // namespace kiv::gui
