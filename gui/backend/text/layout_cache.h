// Shaped layouts kept by what they were made from, so that a face laid
// out again with the same text, font, settings and style runs (the rows
// of a console repainted as it scrolls) is not shaped again. The least
// recently used go beyond a few hundred; a font change or a change of the
// desktop's text settings drops them all.
#pragma once

#include <string>

#include "gui/backend/text/fonts.h"
#include "platform/pango_api.h"

namespace kiv::gui::text {

// The layout kept under the key, with a reference for the caller; null
// when none is.
PangoLayout* find_layout(const std::string& key);
// Keeps the layout (taking another reference) and the font it uses, so
// that the font's address names no other font while the layout is kept.
void keep_layout(const std::string& key, PangoLayout* layout, Font* format);
// Releases every kept layout.
void drop_layouts();

} // namespace kiv::gui::text
