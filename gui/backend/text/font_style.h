// The parts of a font! object read the same way by fonts, text formats
// and style runs: the style words, the anti-alias setting, and a family
// name resolved the way the desktop would.
#pragma once

#include <cairo.h>

#include <string>

#include "runtime/cell.h"

namespace kiv::gui::text {

struct FontStyle {
    bool bold = false, italic = false, underline = false, strike = false;
};
// A style word or a block of them; other words and values are ignored.
FontStyle read_font_style(const Cell& style);

// true: grayscale, false: the default, the word ClearType: subpixel;
// anything else the default.
cairo_antialias_t read_antialias(const Cell& value);

// The family fontconfig gives for the name (the name itself when it finds
// none).
std::string resolve_family(const char* family);
// Whether fontconfig has a font file to give at all (a minimal machine
// may have none; Pango then measures with a placeholder font).
bool has_font_file();

} // namespace kiv::gui::text
