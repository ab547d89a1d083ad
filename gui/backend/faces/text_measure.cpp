#include "gui/backend/faces/text_measure.h"

#include "runtime/text_index.h"

#include <algorithm>

namespace kiv::gui::faces {

namespace {

// Columns of one line with tabs expanded to the next multiple of 8.
size_t columns(std::string_view line) {
    size_t column = 0;
    for (size_t at = 0; at < line.size();) {
        size_t tab = line.find('\t', at);
        size_t end = tab == std::string_view::npos ? line.size() : tab;
        column += utf8::char_count(line.substr(at, end - at));
        if (tab == std::string_view::npos) break;
        column = (column / 8 + 1) * 8;
        at = tab + 1;
    }
    return column;
}

} // namespace

TextExtent measure_text(const Cell&, std::string_view text) {
    size_t widest = 0, lines = 0;
    for (size_t at = 0;; ++lines) {
        size_t lf = text.find('\n', at);
        widest = std::max(widest, columns(text.substr(at, lf - at)));
        if (lf == std::string_view::npos) break;
        at = lf + 1;
    }
    return {double(widest) * average_char_width, double(lines + 1) * line_height};
}

} // namespace kiv::gui::faces
