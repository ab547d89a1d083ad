// Text formats: the font description text is drawn and laid out with,
// made from a font! object at 96 DPI in fractional pixels (points × 96 /
// 72), its family cut at 31 UTF-16 units (never inside a character). A
// font object keeps its format in its `state`; any other value gives the
// default font's.
#pragma once

#include "gui/backend/text/fonts.h"

namespace kiv::gui::text {

// Null only without Pango. The format stays owned by the font object (or
// by this module for the default); retain it to keep it longer.
Font* text_format(const Cell& font);

} // namespace kiv::gui::text
