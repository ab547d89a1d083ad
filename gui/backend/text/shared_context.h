// The one Pango context every text layout is made in: fonts at 96 DPI, so
// that sizes are in device-independent pixels and measuring needs no
// window; metrics unhinted and glyph positions unrounded, so that a
// layout measures the same as it draws at any scale. Pango and fontconfig
// load with it, at the first text need.
#pragma once

#include <string>

#include "platform/pango_api.h"
#include "runtime/cell.h"

namespace kiv::gui::text {

// The context, made at the first call; null when Pango cannot be loaded.
PangoContext* shared_context();
// Its twin for opaque windows: the same settings, text anti-aliased by
// subpixels; layouts measure the same in both.
PangoContext* subpixel_context();
// Pango's functions; only after shared_context() answered a context.
const PangoApi& pango();

// A Pango layout in the shared context (or its subpixel twin); null
// without Pango.
PangoLayout* new_layout(bool subpixel = false);

// The UTF-8 text of a string value from its head. Lone surrogates and NUL
// become U+FFFD, one character for one, so character indexes still map
// to the same characters and Pango never sees invalid text.
std::string to_utf8(const Cell& string);

} // namespace kiv::gui::text
