#include "gui/backend/faces/tab_pages.h"

#include "datatypes/block.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "gui/backend/control_messages.h"
#include "gui/backend/control_models.h"
#include "gui/backend/dpi.h"
#include "gui/backend/faces/face.h"
#include "gui/backend/window_layer.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::gui::faces {

namespace {

bool is_tab_panel(const Cell& value) {
    return is_face(value) && face_type(value) == FaceType::tab_panel;
}

// Puts a page beside the tab control, at the tab control's place plus
// the page's offset.
void place_tab_page(HWnd page, HWnd tabs, const Cell& offset) {
    double x = 0, y = 0;
    read_point(offset, x, y);
    Rect at = rect_in_parent(tabs), size = rect_in_parent(page);
    set_parent(page, get_parent(tabs));
    int left = at.left + dpi_scale(x), top = at.top + dpi_scale(y);
    set_window_pos(page, {left, top, left + size.width(), top + size.height()});
}

void resize_tab_page(HWnd page, const Cell& size) {
    double width = 0, height = 0;
    read_point(size, width, height);
    Rect r = rect_in_parent(page);
    set_window_pos(page, {r.left, r.top, r.left + dpi_scale(width), r.top + dpi_scale(height)});
}

} // namespace

bool fit_tab_page(const Cell& panel, HWnd tabs) {
    if (!is_tab_panel(facet(panel, f_parent))) return false;
    Rect area = client_rect(tabs);
    send_message(tabs, TCM_ADJUSTRECT, 0, reinterpret_cast<int64_t>(&area));
    double x, y, width, height;
    if (current_dpi() == 96 && !tab_area_from_backend(tabs)) {
        // The page covers the edge the control draws around its area (a
        // toolkit's notebook gives the area inside its edge: the page
        // takes it as it is).
        x = area.left - 3, y = area.top - 1;
        width = area.width() + 4, height = area.height() + 3;
    } else {
        x = dpi_unscale(area.left), y = dpi_unscale(area.top);
        width = dpi_unscale(area.width()), height = dpi_unscale(area.height());
    }
    point2D::make_at(facet(panel, f_offset), x, y);
    Cell& size = facet(panel, f_size);
    if (cell::type_of(size) == TYPE_PAIR)
        pair::make_at(size, int32_t(width), int32_t(height));
    else
        point2D::make_at(size, width, height);
    return true;
}

void tab_panel_pages(HWnd tabs, TabPanelChange change) {
    Cell found;
    if (!window_face(tabs, found) || face_type(found) != FaceType::tab_panel) return;
    Rooted<Cell> pane(facet(found, f_pane));
    if (cell::type_of(*pane) != TYPE_BLOCK) return;
    for (int32_t i = 0; i < block::rs_length(*pane); ++i) {
        Rooted<Cell> page(block::rs_head(*pane)[i]);
        HWnd window = is_face(*page) ? face_window(*page) : 0;
        if (!window || !fit_tab_page(*page, tabs)) continue;
        if (change == TabPanelChange::moved)
            place_tab_page(window, tabs, facet(*page, f_offset));
        else
            resize_tab_page(window, facet(*page, f_size));
    }
}

} // namespace kiv::gui::faces
