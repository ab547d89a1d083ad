#include "gui/backend/faces/face_routines.h"

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/unset.h"
#include "gui/backend/control_models.h"
#include "gui/backend/faces/face.h"
#include "gui/backend/faces/face_free.h"
#include "gui/backend/faces/face_items.h"
#include "gui/backend/faces/face_paint.h"
#include "gui/backend/faces/face_update.h"
#include "gui/backend/faces/face_window.h"
#include "gui/backend/gui_init.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/types.h"

#include <algorithm>

namespace kiv::gui::faces::routines {

namespace {

[[noreturn]] void invalid_type(const Cell& value) {
    Cell type = datatype::value(cell::type_of(value));
    runtime::fire_error(runtime::Category::script, err::script::invalid_type, &type);
}

void start() {
    if (!initialised()) init();
}

} // namespace

void size_text(Cell* args) {
    start();
    Rooted<Cell> face(args[0]);
    Cell text = args[1];
    if (cell::type_of(text) == TYPE_NONE)
        text = is_face(*face) ? facet(*face, f_text) : text;
    else if (cell::type_of(text) != TYPE_STRING)
        invalid_type(text);
    if (cell::type_of(text) != TYPE_STRING) {
        none::make_at(args[0]);
        return;
    }
    text::TextSize size = get_text_size(*face, text);
    point2D::make_at(args[0], size.width, size.height);
}

void on_change_facet(Cell* args) {
    start();
    Rooted<Cell> owner(args[0]), word(args[1]), value(args[2]), action(args[3]), added(args[4]);
    const Cell* new_value = cell::type_of(*added) == TYPE_NONE ? nullptr : &*added;
    if (is_face(*owner))
        OS_update_facet(*owner, *word, *value, *action, new_value, args[5].w2, args[6].w2);
    unset::make_at(args[0]);
}

void destroy_view(Cell* args) {
    start();
    Rooted<Cell> face(args[0]);
    if (is_face(*face)) OS_destroy_view(*face, logic::get(args[1]));
    none::make_at(args[0]);
}

void update_view(Cell* args) {
    start();
    Rooted<Cell> value(args[0]);
    if (cell::type_of(*value) == TYPE_BLOCK) {
        for (int32_t i = 0; i < block::rs_length(*value); ++i) {
            Cell face = block::rs_head(*value)[i];
            if (cell::type_of(face) != TYPE_OBJECT) invalid_type(face);
        }
        OS_update_views(*value);
    } else if (cell::type_of(*value) == TYPE_OBJECT) {
        if (face_type(*value) != FaceType::screen) OS_update_view(*value);
    } else {
        invalid_type(*value);
    }
    none::make_at(args[0]);
}

void refresh_window(Cell* args) {
    start();
    OS_refresh_window(handle::value_of(args[0]));
    unset::make_at(args[0]);
}

void redraw(Cell* args) {
    start();
    if (HWnd window = face_window(args[0])) OS_redraw(window);
    unset::make_at(args[0]);
}

void show_window(Cell* args) {
    start();
    OS_show_window(handle::value_of(args[0]));
    none::make_at(args[0]);
}

void make_view(Cell* args) {
    start();
    Rooted<Cell> face(args[0]);
    HWnd window = OS_make_view(*face, handle::value_of(args[1]));
    handle::make_at(args[0], window, handle::window);
}

void draw_face(Cell* args) {
    start();
    if (HWnd window = face_window(args[0])) OS_draw_face(window, args[1]);
    unset::make_at(args[0]);
}

void update_text(Cell* args) {
    start();
    Rooted<Cell> face(args[0]);
    if (HWnd window = face_window(*face)) get_text_alt(window, *face, -1);
    none::make_at(args[0]);
}

// A field of a window's scroll bar object changed: visibility, position,
// or page and range. A page or maximum that is no integer (as a face
// leaves them before it knows its content) leaves the bar alone.
void update_scroller(Cell* args) {
    start();
    Rooted<Cell> scroller(args[0]);
    enum { position, page_size, min_size, max_size, visible, vertical, parent, field_count };
    int32_t field = integer::get(args[1]);
    none::make_at(args[0]);
    if (object::words_count(*scroller) < field_count) return;
    auto value = [&](int index) { return Cell(object::get_values(*scroller)[index]); };
    HWnd window = face_window(value(parent));
    if (!window) return;
    uint32_t bar = logic::counts_false(value(vertical)) ? SB_HORZ : SB_VERT;
    auto integer_at = [&](int index, int32_t& out) {
        Cell v = value(index);
        if (cell::type_of(v) != TYPE_INTEGER) return false;
        out = integer::get(v);
        return true;
    };
    ScrollInfo info;
    switch (field) {
    case visible: show_scroll_bar(window, bar, !logic::counts_false(value(visible))); break;
    case position:
        info.mask = SIF_POS | SIF_DISABLENOSCROLL;
        if (integer_at(position, info.pos)) set_scroll_info(window, bar, info, true);
        break;
    case page_size:
    case max_size: {
        int32_t page = 0;
        info.mask = SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL;
        info.min = 1;
        if (!integer_at(page_size, page) || !integer_at(max_size, info.max)) break;
        info.page = uint32_t(std::max(page, 0));
        set_scroll_info(window, bar, info, true);
        break;
    }
    default: break;
    }
}

void scroll_face(Cell* args) {
    start();
    HWnd window = is_face(args[0]) ? face_window(args[0]) : 0;
    if (cell::type_of(args[1]) != TYPE_PAIR) invalid_type(args[1]);
    logic::make_at(args[0],
                   window && OS_scroll_face(window, pair::x_of(args[1]), pair::y_of(args[1])));
}

void paint_area(Cell* args) {
    start();
    HWnd window = is_face(args[0]) ? face_window(args[0]) : 0;
    Rect area;
    if (!window || !OS_paint_area(window, area)) {
        none::make_at(args[0]);
        return;
    }
    Rooted<Cell> corners;
    block::make_at(*corners, 2);
    pair::make_at(*cell::alloc_tail(*corners), area.left, area.top);
    pair::make_at(*cell::alloc_tail(*corners), area.right, area.bottom);
    args[0] = *corners;
}

} // namespace kiv::gui::faces::routines
