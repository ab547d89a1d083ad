// The caret, offset, line and size questions of rich text, answered on a
// face's cached layout (in face units: 96-DPI pixels, linear in the DPI,
// no window needed). Query codes:
//   0 caret to offset: the top-left of the character at the index (1-based)
//   1 offset to caret: the index of the caret nearest a point
//   2 the height of the line holding the index
//   3 the size of the text, each line without its trailing white space
//   4 the number of lines
//   5 offset to character: the index of the character under a point
//   6 the bottom-right of the character at the index
#pragma once

#include <cstdint>

#include "platform/pango_api.h"
#include "runtime/cell.h"

namespace kiv::gui::text {

// Writes the answer into `out`: a point2D (0, 3, 6), an integer (1, 4, 5),
// a float (2); none for an unknown code.
void text_box_metrics(const Cell& face, PangoLayout* layout, const Cell& arg, int32_t code,
                      Cell& out);

// The platform routine: box (a rich-text face), arg0, type. Lays the face
// out again first when it has no layout or it is marked stale.
void text_box_metrics_routine(Cell* args);

} // namespace kiv::gui::text
