#include "gui/backend/faces/area_bars.h"

#include "datatypes/logic.h"
#include "gui/backend/control_models.h"
#include "gui/backend/dpi.h"
#include "gui/backend/faces/face.h"
#include "gui/backend/text/facets.h"
#include "gui/backend/text/text_size.h"
#include "gui/backend/window_layer.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::gui::faces {

namespace {

bool wraps(const Cell& face) {
    Cell para = facet(face, f_para);
    if (!text::is_para(para)) return false;
    Cell wrap = text::facet(para, text::ParaFacet::wrap);
    return cell::type_of(wrap) == TYPE_LOGIC && logic::get(wrap);
}

} // namespace

void area_scroll_bars(HWnd window, const Cell& face) {
    Rooted<Cell> kept(face), text(facet(face, f_text));
    bool horizontal = false, vertical = false;
    if (cell::type_of(*text) == TYPE_STRING) {
        Rect client = client_rect(window);
        double width = dpi_unscale(client.width()), height = dpi_unscale(client.height());
        bool wrapping = wraps(*kept);
        text::TextSize size = wrapping ? text::face_text_size_wrapped(*kept, *text, int32_t(width))
                                       : text::face_text_size(*kept, *text);
        horizontal = !wrapping && size.width > width;
        vertical = size.height >= height;
    }
    show_scroll_bar(window, SB_VERT, vertical);
    show_scroll_bar(window, SB_HORZ, horizontal);
}

} // namespace kiv::gui::faces
