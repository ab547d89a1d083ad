#include "gui/backend/text/metrics.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "datatypes/block.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/symbol.h"
#include "gui/backend/text/facets.h"
#include "gui/backend/text/layouts.h"
#include "gui/backend/text/shared_context.h"
#include "gui/backend/text/text_size.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/text_index.h"
#include "runtime/types.h"

namespace kiv::gui::text {

namespace {

double units(int pango_units) {
    return double(pango_units) / PANGO_SCALE;
}

// A 1-based index clamped to 1 .. length + 1, as a byte offset.
int byte_of_index(const std::string& text, const Cell& arg) {
    int64_t index = cell::type_of(arg) == TYPE_INTEGER ? integer::get(arg) : 1;
    size_t length = utf8::char_count(text);
    index = std::clamp<int64_t>(index, 1, int64_t(length) + 1);
    // In a text of single bytes, characters are bytes.
    return int(length == text.size() ? size_t(index - 1)
                                     : utf8::byte_offset(text, size_t(index - 1)));
}

// The logical height of line `number`.
double line_height(PangoLayout* layout, int number) {
    const PangoApi& p = pango();
    PangoLayoutIter* iter = p.layout_get_iter(layout);
    for (int i = 0; i < number && p.layout_iter_next_line(iter); ++i) {
    }
    PangoRectangle logical;
    p.layout_iter_get_line_extents(iter, nullptr, &logical);
    p.layout_iter_free(iter);
    return units(logical.height);
}

bool read_point(const Cell& arg, double& x, double& y) {
    if (cell::type_of(arg) == TYPE_PAIR) {
        x = pair::x_of(arg);
        y = pair::y_of(arg);
        return true;
    }
    if (cell::type_of(arg) == TYPE_POINT2D) {
        x = point::get(arg, 0);
        y = point::get(arg, 1);
        return true;
    }
    return false;
}

// The same questions answered by the text model.
void model_metrics(const Cell& face, const TextModel& model, const Cell& arg, int32_t code,
                   Cell& out) {
    Offset o = layout_offset(face, model.width(), model.height());
    auto index = [&] {
        int64_t i = cell::type_of(arg) == TYPE_INTEGER ? integer::get(arg) : 1;
        return size_t(std::max<int64_t>(i, 1) - 1);
    };
    switch (code) {
    case 0:
    case 6: {
        TextModel::Point p = code == 0 ? model.caret(index()) : model.caret_end(index());
        point2D::make_at(out, p.x + o.x, p.y + o.y);
        return;
    }
    case 1:
    case 5: {
        double x = 0, y = 0;
        read_point(arg, x, y);
        size_t i =
            code == 1 ? model.nearest_caret(x - o.x, y - o.y) : model.char_at(x - o.x, y - o.y);
        integer::make_at(out, int32_t(i + 1));
        return;
    }
    case 2: float_::make_at(out, model.line_height()); return;
    case 3: point2D::make_at(out, model.width(), model.height()); return;
    case 4: integer::make_at(out, int32_t(model.line_count())); return;
    default: out = none::value;
    }
}

} // namespace

void text_box_metrics(const Cell& face, PangoLayout* layout, const Cell& arg, int32_t code,
                      Cell& out) {
    const PangoApi& p = pango();
    std::string text = p.layout_get_text(layout);
    Offset o = layout_offset(face, layout);
    switch (code) {
    case 0:
    case 6: {
        PangoRectangle r;
        p.layout_index_to_pos(layout, byte_of_index(text, arg), &r);
        double x = units(r.x), y = std::max(units(r.y), 0.0);
        if (code == 6) {
            x += units(r.width);
            y += units(r.height);
        }
        point2D::make_at(out, x + o.x, y + o.y);
        return;
    }
    case 1:
    case 5: {
        double x = 0, y = 0;
        read_point(arg, x, y);
        int index = 0, trailing = 0;
        p.layout_xy_to_index(layout, int(std::lround((x - o.x) * PANGO_SCALE)),
                             int(std::lround((y - o.y) * PANGO_SCALE)), &index, &trailing);
        // A trailing hit is after the whole cluster (e + U+0301 counts 2).
        size_t chars = utf8::char_index(text, size_t(index));
        if (code == 1) chars += size_t(trailing);
        integer::make_at(out, int32_t(chars + 1));
        return;
    }
    case 2: {
        int line = 0, x = 0;
        p.layout_index_to_line_x(layout, byte_of_index(text, arg), FALSE, &line, &x);
        float_::make_at(out, line_height(layout, std::max(line, 0)));
        return;
    }
    case 3: {
        TextSize size = layout_text_size(layout);
        point2D::make_at(out, size.width, size.height);
        return;
    }
    case 4: integer::make_at(out, p.layout_get_line_count(layout)); return;
    default: out = none::value;
    }
}

void text_box_metrics_routine(Cell* args) {
    Rooted<Cell> face(args[0]), arg(args[1]);
    int32_t code = integer::get(args[2]);
    Cell type = is_face(*face) ? facet(*face, FaceFacet::type) : none::value;
    bool rich = cell::type_of(type) == TYPE_WORD &&
                symbol::resolve(type.w2) == symbol::resolve(symbol::intern("rich-text"));
    if (!rich) {
        Cell named = type;
        runtime::fire_error(runtime::Category::script, err::script::face_type, &named);
    }
    if (cell::type_of(facet(*face, FaceFacet::text)) != TYPE_STRING) {
        args[0] = none::value;
        return;
    }
    if (text_model_in_use()) {
        TextModel model =
            face_text_model(*face, facet(*face, FaceFacet::text), face_para_flags(*face));
        model_metrics(*face, model, *arg, code, args[0]);
        return;
    }
    Cell handles = handles_of(*face);
    bool stale = cell::type_of(handles) != TYPE_BLOCK || block::rs_length(handles) < 1 ||
                 !cached_layout(*face);
    if (!stale) {
        Cell last = block::rs_head(handles)[block::rs_length(handles) - 1];
        stale = cell::type_of(last) == TYPE_LOGIC && logic::get(last);
    }
    PangoLayout* layout = nullptr;
    if (stale) {
        layout = text_box_layout(*face);
    } else {
        layout = cached_layout(*face);
        if (layout) pango().object_ref(layout);
    }
    if (!layout) {
        args[0] = none::value;
        return;
    }
    text_box_metrics(*face, layout, *arg, code, args[0]);
    pango().object_unref(layout);
}

} // namespace kiv::gui::text
