// The text limit of an `area` face's control (and a field's paste): raised
// before text set by code or pasted comes in, so that it fits whole and
// leaves room to type after it.
#pragma once

#include "gui/backend/window_types.h"

#include <cstddef>
#include <string_view>

namespace kiv::gui::faces {

// A limit below the text's length + `n` becomes that + 32768.
void area_text_limit(HWnd window, size_t n);
// Before the control's text becomes `text`: a limit below its length
// becomes the length + 32768.
void fit_area_limit(HWnd window, std::string_view text);
// The area class's step before a paste: room for the clipboard's text.
void before_area_paste(HWnd window);

} // namespace kiv::gui::faces
