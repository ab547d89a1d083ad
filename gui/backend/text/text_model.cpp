#include "gui/backend/text/text_model.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "gui/backend/text/font_style.h"

namespace kiv::gui::text {

namespace {

bool is_blank(char32_t c) {
    return c == ' ' || c == '\t' || c == '\r';
}

} // namespace

double TextModel::advance(char32_t c) const {
    if (c == '\n' || c == '\r') return 0;
    return (c == '\t' ? 4 : 1) * 0.6 * px_;
}

TextModel::TextModel(std::u32string text, double px, double wrap_width, double align)
    : text_(std::move(text)), px_(px), box_width_(wrap_width), align_(align) {
    size_t n = text_.size(), first = 0;
    double x = 0, words_end = 0; // words_end: x after the line's last word
    bool has_word = false;
    for (size_t i = 0; i < n;) {
        char32_t c = text_[i];
        if (c == '\n') {
            lines_.push_back({first, i + 1, x});
            first = ++i;
            x = words_end = 0;
            has_word = false;
        } else if (is_blank(c)) {
            x += advance(c);
            ++i;
        } else {
            size_t end = i;
            double w = 0;
            for (; end < n && !is_blank(text_[end]) && text_[end] != '\n'; ++end)
                w += advance(text_[end]);
            if (wrap_width > 0 && has_word && x + w > wrap_width) {
                lines_.push_back({first, i, words_end});
                first = i;
                x = 0;
            }
            x += w;
            words_end = x;
            has_word = true;
            i = end;
        }
    }
    lines_.push_back({first, n, x});
    if (box_width_ <= 0) box_width_ = width();
}

double TextModel::line_left(size_t l) const {
    return (box_width_ - lines_[l].width) * align_;
}

double TextModel::width() const {
    double widest = 0;
    for (const Line& line : lines_) widest = std::max(widest, line.width);
    return widest;
}

size_t TextModel::line_of(size_t index) const {
    for (size_t l = 0; l + 1 < lines_.size(); ++l)
        if (index < lines_[l].end) return l;
    return lines_.size() - 1;
}

size_t TextModel::line_at(double y) const {
    double row = std::floor(y / line_height());
    return size_t(std::clamp(row, 0.0, double(lines_.size() - 1)));
}

TextModel::Point TextModel::caret(size_t index) const {
    index = std::min(index, text_.size());
    size_t l = line_of(index);
    double x = line_left(l);
    for (size_t i = lines_[l].first; i < index; ++i) x += advance(text_[i]);
    return {x, double(l) * line_height()};
}

TextModel::Point TextModel::caret_end(size_t index) const {
    Point p = caret(index);
    double w = index < text_.size() ? advance(text_[index]) : 0;
    return {p.x + w, p.y + line_height()};
}

// The caret places of a line run from its first character to the one
// before its end; only the last line has a place after its end.
size_t TextModel::nearest_caret(double x, double y) const {
    size_t l = line_at(y);
    const Line& line = lines_[l];
    size_t last = l + 1 == lines_.size() ? text_.size() : line.end - 1;
    double left = line_left(l);
    for (size_t i = line.first; i < last; ++i) {
        double a = advance(text_[i]);
        if (x < left + a / 2) return i;
        left += a;
    }
    return last;
}

size_t TextModel::char_at(double x, double y) const {
    size_t l = line_at(y);
    const Line& line = lines_[l];
    // The line's characters, its LF left out.
    size_t end = line.end > line.first && text_[line.end - 1] == '\n' ? line.end - 1 : line.end;
    double left = line_left(l);
    for (size_t i = line.first; i < end; ++i) {
        left += advance(text_[i]);
        if (x < left) return i;
    }
    return end > line.first ? end - 1 : line.first;
}

bool text_model_in_use() {
    static const bool model = [] {
        const char* setting = std::getenv("KIV_TEXT_METRICS");
        return (setting && std::strcmp(setting, "model") == 0) || !has_font_file();
    }();
    return model;
}

} // namespace kiv::gui::text
