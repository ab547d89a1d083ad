// Conversions between language values and the backend's numbers: colours,
// pairs and point2D values, face flags, and the saturating float-to-integer
// rules every size conversion uses.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::gui {

// A colour integer: R in bits 0-7, G 8-15, B 16-23, transparency 24-31
// (0 = opaque). A three-byte tuple gives an opaque colour.
uint32_t to_color(const Cell& tuple);
// ARGB with alpha = 255 - transparency; the layered-window variant turns
// an alpha of 255 into 254.
uint32_t color_to_argb(uint32_t color, bool layered);
// Cairo's components, each 0.0 .. 1.0.
struct Rgba {
    double r, g, b, a;
};
Rgba color_to_rgba(uint32_t color);

// Truncation toward zero and rounding half away from zero, both saturating
// at the 32-bit range; NaN gives 0.
int32_t truncate_to_int(double x);
int32_t round_to_int(double x);

// Rewrite a value cell in place; a point2D becomes a pair by truncation.
void pair_to_point2D(Cell& cell);
void point2D_to_pair(Cell& cell);

// Face flags of a flags facet: a word or a block of words, each setting its
// bit; an unknown word raises invalid-arg naming it; any other value: 0.
enum FaceFlag : uint32_t {
    flag_all_over = 0x1,
    flag_focusable = 0x2,
    flag_tri_state = 0x20000,
    flag_scrollable = 0x40000,
    flag_password = 0x80000,
    flag_no_sync = 0x100000,
    flag_fullscreen = 0x200000,
    flag_popup = 0x1000000,
    flag_modal = 0x2000000,
    flag_resize = 0x4000000,
    flag_no_buttons = 0x8000000,
    flag_no_max = 0x10000000,
    flag_no_min = 0x20000000,
    flag_no_title = 0x40000000,
    flag_no_border = 0x80000000,
};
uint32_t get_flags(const Cell& facet);

} // namespace kiv::gui
