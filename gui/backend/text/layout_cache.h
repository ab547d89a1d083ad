// Shaped layouts kept by what they were made from, so that a face laid
// out again with the same text, font, settings and style runs (the rows
// of a console repainted as it scrolls) is not shaped again; and the
// sizes of measured strings, so that a text measured again in the same
// font and wrapping width (the same window laid out again) is not shaped
// again either. The least recently used go beyond a bound; a font change
// or a change of the desktop's text settings drops them all.
#pragma once

#include <string>

#include "gui/backend/text/fonts.h"
#include "gui/backend/text/text_size.h"
#include "platform/pango_api.h"

namespace kiv::gui::text {

// The layout kept under the key, with a reference for the caller; null
// when none is.
PangoLayout* find_layout(const std::string& key);
// Keeps the layout (taking another reference) and the font it uses, so
// that the font's address names no other font while the layout is kept.
void keep_layout(const std::string& key, PangoLayout* layout, Font* format);

// The size of the text in the format wrapped at `width` (0: not wrapped),
// when it was kept.
bool find_size(const Font* format, int32_t width, const std::string& text, TextSize& size);
// Keeps the size, and the font, as keep_layout does.
void keep_size(Font* format, int32_t width, const std::string& text, TextSize size);

// Releases every kept layout and size.
void drop_layouts();

} // namespace kiv::gui::text
