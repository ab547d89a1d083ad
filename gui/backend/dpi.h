// The DPI state every size conversion uses: the current DPI and the scale
// factor DPI / 96 between the language's logical pixels and the device's.
#pragma once

#include <cstdint>

namespace kiv::gui {

void set_dpi(double dpi);
double current_dpi();
double scale_factor();
// Logical to device pixels, rounded half away from zero and saturated.
int32_t dpi_scale(double x);
// Device to logical pixels.
double dpi_unscale(double x);

// Brackets work at another DPI: push gives the previous DPI to hand to
// pop; nested brackets count their depth.
double dpi_push(double dpi);
void dpi_pop(double previous);
int dpi_depth();

} // namespace kiv::gui
