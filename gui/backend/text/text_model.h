// Text measured without fonts: the metrics used when fontconfig finds no
// font file (a minimal machine) or when KIV_TEXT_METRICS=model asks for
// them, so that sizes never depend on the fonts installed.
//
// At a font of px pixels every character is 0.6 x px wide, a tab 4 times
// that, CR and LF nothing; a line is 1.2 x px high and ends at LF (CR LF
// ends it once). A wrapping layout breaks before a word that would pass
// its width (a longer word stays whole on its own line); the white space
// at a break counts on no line. The size is the widest line by the lines'
// total height.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kiv::gui::text {

class TextModel {
  public:
    // `wrap_width` <= 0: no wrapping. `align` places each line in the
    // box (the wrap width, else the widest line): 0 left, 0.5 centred, 1
    // right.
    TextModel(std::u32string text, double px, double wrap_width, double align = 0);

    double width() const;
    double height() const { return double(lines_.size()) * line_height(); }
    double line_height() const { return 1.2 * px_; }
    size_t line_count() const { return lines_.size(); }

    struct Point {
        double x, y;
    };
    // The top-left of the character at `index` (0-based, clamped to the
    // text; the text's length is the place after its last character).
    Point caret(size_t index) const;
    // The bottom-right of that character.
    Point caret_end(size_t index) const;
    // The index (0-based) of the caret place nearest to a point.
    size_t nearest_caret(double x, double y) const;
    // The index (0-based) of the character under a point, the nearest one
    // on the point's line when it is outside of them.
    size_t char_at(double x, double y) const;

  private:
    struct Line {
        size_t first, end; // characters first .. end - 1, the line break included
        double width;      // without the white space of a wrapping break
    };
    double advance(char32_t c) const;
    size_t line_of(size_t index) const;
    size_t line_at(double y) const;
    double line_left(size_t l) const;

    std::u32string text_;
    double px_, box_width_, align_;
    std::vector<Line> lines_;
};

// True when sizes come from the model: KIV_TEXT_METRICS is "model", or
// fontconfig has no font file to give (checked once).
bool text_model_in_use();

} // namespace kiv::gui::text
