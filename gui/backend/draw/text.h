// Text in the draw dialect: `font` (a font! object) sets the text format,
// colour and decorations; `text` draws a string, or a text or rich-text
// face's layout, at a point.
#pragma once

#include "gui/backend/draw/reader.h"

namespace kiv::gui::draw {

void font_(Reader& r);
void text_(Reader& r);

// A face's own text painted on it at 0x0, in `color` where the face's
// font gives none.
void face_text(Context& ctx, const Cell& face, uint32_t color);

} // namespace kiv::gui::draw
