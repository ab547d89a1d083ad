// Text formats: the font description text is drawn and laid out with,
// made from a font! object at 96 DPI in whole pixels (points × 96 / 72
// truncated, as the font's own 96-DPI font: text then measures the same
// in every face and through every query), its family cut at 31 UTF-16 units (never inside a
// character). A font object keeps its format in its `state`; any other value gives the default
// font's.
#pragma once

#include "gui/backend/text/fonts.h"

namespace kiv::gui::text {

// Null only without Pango. The format stays owned by the font object (or
// by this module for the default); retain it to keep it longer.
Font* text_format(const Cell& font);

// The size in pixels of that format, found without Pango.
int32_t format_pixels(const Cell& font);

} // namespace kiv::gui::text
