#include "gui/backend/faces/face_captions.h"

#include "gui/backend/conversions.h"
#include "gui/backend/faces/face.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/text/facets.h"
#include "gui/backend/text/layouts.h"
#include "gui/backend/text/shared_context.h"
#include "platform/cairo_api.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::gui::faces {

namespace {

// Logical pixels a check box or radio button keeps for its box.
constexpr double box_room = 16;

// The place of content in `room` free pixels for a 2-bit alignment (near,
// centre, far).
double aligned(uint32_t alignment, double room) {
    return alignment == 1 ? room / 2 : alignment == 2 ? room : 0;
}

bool has_caption(FaceType type) {
    return type == FaceType::button || type == FaceType::toggle || type == FaceType::check ||
           type == FaceType::radio;
}

} // namespace

int64_t draw_caption(HWnd control, const Cell& face, const CustomDraw& draw) {
    FaceType type = face_type(face);
    if (draw.stage != CDDS_PREPAINT || !draw.cr || !has_caption(type) ||
        cell::type_of(facet(face, f_font)) != TYPE_OBJECT)
        return CDRF_DODEFAULT;
    Rooted<Cell> kept(face);
    if (cell::type_of(facet(*kept, f_text)) != TYPE_STRING) return CDRF_SKIPDEFAULT;
    PangoLayout* layout = text::text_box_layout(*kept);
    if (!layout) return CDRF_DODEFAULT;
    const PangoApi& pango = text::pango();
    PangoRectangle logical;
    pango.layout_get_extents(layout, nullptr, &logical);
    int32_t width, height;
    text::face_size(*kept, width, height);
    double indent = type == FaceType::check || type == FaceType::radio ? box_room : 0;
    uint32_t flags = cell::type_of(facet(*kept, f_para)) == TYPE_OBJECT
                         ? text::face_para_flags(*kept)
                         : 0x5; // centred both ways
    double x = indent + aligned(flags & 3, width - indent - double(logical.width) / PANGO_SCALE);
    double y = aligned(flags >> 2 & 3, height - double(logical.height) / PANGO_SCALE);
    const CairoApi& c = *cairo_api();
    double scale = dpi_for_window(control) / 96.0;
    cairo_matrix_t scaled{scale, 0, 0, scale, 0, 0};
    c.save(draw.cr);
    c.set_matrix(draw.cr, &scaled);
    Cell font_color = text::facet(facet(*kept, f_font), text::FontFacet::color);
    Rgba ink = color_to_rgba(cell::type_of(font_color) == TYPE_TUPLE ? to_color(font_color)
                                                                     : system_metrics().text);
    c.set_source_rgba(draw.cr, ink.r, ink.g, ink.b, ink.a);
    c.move_to(draw.cr, x, y);
    pango.show_layout(draw.cr, layout);
    c.restore(draw.cr);
    pango.object_unref(layout);
    return CDRF_SKIPDEFAULT;
}

} // namespace kiv::gui::faces
