// Text layouts: a string in a text format, and the layout of a `text` or
// `rich-text` face (its font, para, size, tab and line-spacing settings
// and style runs), which drawing and the metrics queries share. A
// rich-text face keeps its layout in its `handles` block:
// [layout text-copy none stale?], the layout a handle! under the kind
// "com-object", replaced in place when the face is laid out again.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gui/backend/text/fonts.h"
#include "platform/pango_api.h"
#include "runtime/cell.h"

namespace kiv::gui::text {

// A string's layout in the format, the format's underline and strike-out
// over the whole text. The caller owns the reference; null without Pango.
// `subpixel`: made in the subpixel context, for an opaque window.
PangoLayout* string_layout(const Font& format, const Cell& string, bool subpixel = false);

// A face's layout; the caller owns a reference (a rich-text face's cache
// holds another, always the grayscale one the metrics read). A style
// error leaves no cached layout and goes on.
PangoLayout* text_box_layout(const Cell& face, bool subpixel = false);

// The style runs of a rich-text face's `data` applied to the layout of
// its text: a pair (start x length, in characters from 1) opens a run,
// the values after it style it. Runs reaching outside the text are cut
// to it. A value that styles nothing raises draw-invalid at it.
void parse_text_styles(PangoLayout* layout, const Cell& styles);

// The background colours of runs, painted behind the text: UTF-8 byte
// ranges of the layout's text.
struct Backdrop {
    int32_t start, end;
    uint32_t color;
};
const std::vector<Backdrop>* backdrops_of(PangoLayout* layout);
// Fills each backdrop's rectangles (the lines' x ranges of its run) with
// its colour, the layout drawn at x, y: left, top and width rounded by
// adding 0.5, height by adding 0.99, then truncating.
void paint_backdrops(cairo_t* cr, PangoLayout* layout, double x, double y);

// Where a face's layout lies in the face: Pango aligns lines within the
// layout's width, which only a wrapping layout has, and has no vertical
// alignment, so both come from moving the layout by part of the free room.
struct Offset {
    double x, y;
};
Offset layout_offset(const Cell& face, PangoLayout* layout);
// The same for content of the given size.
Offset layout_offset(const Cell& face, double width, double height);

// The face's size rounded to whole pixels (x + 0.5 truncated); 0x0
// without a pair or point.
void face_size(const Cell& face, int32_t& w, int32_t& h);
// The para bits a face's layout takes (those of rich text).
uint32_t face_para_flags(const Cell& face);

// The layout cached by a rich-text face's `handles`, or null.
PangoLayout* cached_layout(const Cell& face);
// The face's `handles` value (none when it has no such field).
Cell handles_of(const Cell& face);

} // namespace kiv::gui::text
