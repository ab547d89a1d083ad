#include "gui/backend/dpi.h"

#include "gui/backend/conversions.h"

namespace kiv::gui {

namespace {

double dpi_value = 96.0;
double factor = 1.0;
int depth = 0;

} // namespace

void set_dpi(double dpi) {
    dpi_value = dpi;
    factor = dpi / 96.0;
}

double current_dpi() {
    return dpi_value;
}

double scale_factor() {
    return factor;
}

int32_t dpi_scale(double x) {
    return round_to_int(x * factor);
}

double dpi_unscale(double x) {
    return x / factor;
}

double dpi_push(double dpi) {
    double previous = dpi_value;
    ++depth;
    set_dpi(dpi);
    return previous;
}

void dpi_pop(double previous) {
    if (depth > 0) --depth;
    if (previous != dpi_value) set_dpi(previous);
}

int dpi_depth() {
    return depth;
}

} // namespace kiv::gui
