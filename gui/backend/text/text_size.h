// The size text takes in a face, for `size-text` and the rich-text size
// query: laid out by Pango in the face's font at 96 DPI (hint metrics
// off, glyph positions unrounded), so that a size depends only on the
// font file, the text and the pixel size; or, when the text model is in
// use, by the model's arithmetic (text_model.h). A face whose para wraps
// (the wrap bit of its type) wraps the text at its width.
#pragma once

#include <cstdint>

#include "gui/backend/text/text_model.h"
#include "platform/pango_api.h"
#include "runtime/cell.h"

namespace kiv::gui::text {

struct TextSize {
    double width, height; // 96-DPI pixels
};

// The size of `text` (a string value) in the face, the type's para bits
// deciding the wrapping.
TextSize face_text_size(const Cell& face, const Cell& text);
// The same wrapped at `width` (96-DPI pixels) whatever the para says.
TextSize face_text_size_wrapped(const Cell& face, const Cell& text, int32_t width);

// The widest line of a layout, each line without its trailing white
// space, and the layout's height.
TextSize layout_text_size(PangoLayout* layout);

// The model of `text` in the face's font, wrapped at the face's width
// when `flags` (para bits) has the wrap bit.
TextModel face_text_model(const Cell& face, const Cell& text, uint32_t flags);

// The wrap bit of the para bits.
inline constexpr uint32_t para_wrap = 0x10;

} // namespace kiv::gui::text
