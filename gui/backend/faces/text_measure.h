// The size text takes when drawn in a face. Without a text layout
// library loaded, every character is measured with the default font's
// average cell: 7 x 15 logical pixels, tabs every 8 characters.
#pragma once

#include <string_view>

#include "runtime/cell.h"

namespace kiv::gui::faces {

struct TextExtent {
    double width, height; // logical pixels
};

// Lines end at LF; the widest line gives the width, each line its height.
TextExtent measure_text(const Cell& face, std::string_view text);

// The average character cell of the default font, in logical pixels.
inline constexpr double average_char_width = 7;
inline constexpr double line_height = 15;

} // namespace kiv::gui::faces
