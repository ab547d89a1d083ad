#include "gui/backend/faces/face_update.h"

#include "datatypes/block.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/url.h"
#include "gui/backend/camera/camera.h"
#include "gui/backend/conversions.h"
#include "gui/backend/dpi.h"
#include "gui/backend/faces/area_limit.h"
#include "gui/backend/faces/base_face.h"
#include "gui/backend/faces/caret_face.h"
#include "gui/backend/faces/dpi_bracket.h"
#include "gui/backend/faces/face.h"
#include "gui/backend/faces/face_controls.h"
#include "gui/backend/faces/face_hooks.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/faces/face_styles.h"
#include "gui/backend/faces/face_window.h"
#include "gui/backend/faces/group_frame.h"
#include "gui/backend/faces/tab_pages.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/menus_faces.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/roots.h"
#include "runtime/types.h"

#include <string>
#include <unordered_set>

namespace kiv::gui::faces {

namespace {

constexpr uint32_t geometry_bits = bit(f_offset) | bit(f_size) | bit(f_visible);

bool draws_itself(FaceType type) {
    return type == FaceType::base || type == FaceType::rich_text || type == FaceType::window ||
           type == FaceType::panel;
}

// What a face is repainted with after a change of its look.
void repaint(HWnd window, const Cell& face, FaceType type) {
    if (draws_itself(type))
        update_layered_window(window, face);
    else
        invalidate_rect(window, nullptr, true);
}

struct Change {
    HWnd window;
    const Cell& face;
    FaceType type;
    DeferredPosition* record;
};

void change_offset(const Change& c) {
    Cell& offset = facet(c.face, f_offset);
    if (cell::type_of(offset) == TYPE_PAIR) pair_to_point2D(offset);
    double x = 0, y = 0;
    read_point(offset, x, y);
    if (c.type == FaceType::window) {
        Rect r = window_rect(c.window);
        set_dpi(dpi_for_rect({int(x), int(y)}, dpi_unscale(r.width()), dpi_unscale(r.height())));
    }
    int left = dpi_scale(x), top = dpi_scale(y);
    if (get_window_proc(c.window) == base_proc)
        set_window_long(c.window, slot_last_position, top << 16 | (left & 0xFFFF));
    Rect r = rect_in_parent(c.window);
    Rect moved{left, top, left + r.width(), top + r.height()};
    if (c.record) {
        c.record->rect.left = moved.left, c.record->rect.top = moved.top;
        c.record->move = true;
    } else if (c.type == FaceType::window) {
        set_window_pos(c.window, window_at(c.window, {left, top}, r.width(), r.height()));
    } else {
        set_window_pos(c.window, moved);
    }
    if (c.type == FaceType::base && has_caret_face(c.window)) move_caret_of(c.window);
    if (c.type == FaceType::window) set_dpi(dpi_for_window(c.window));
    if (c.type == FaceType::tab_panel) tab_panel_pages(c.window, TabPanelChange::moved);
}

void change_size(const Change& c) {
    Cell size = facet(c.face, f_size);
    int32_t flags = get_window_long(c.window, slot_window_flags) & ~int32_t(wf_pair_size);
    if (cell::type_of(size) == TYPE_PAIR) flags |= wf_pair_size;
    set_window_long(c.window, slot_window_flags, flags);
    double width = 0, height = 0;
    read_point(size, width, height);
    Rect r = rect_in_parent(c.window);
    Rect sized{r.left, r.top, r.left + dpi_scale(width), r.top + dpi_scale(height)};
    if (c.record) {
        c.record->rect.right = c.record->rect.left + sized.width();
        c.record->rect.bottom = c.record->rect.top + sized.height();
        c.record->size = true;
    } else if (c.type == FaceType::window) {
        set_window_pos(c.window,
                       window_at(c.window, frame_corner(c.window), sized.width(), sized.height()));
    } else {
        set_window_pos(c.window, sized);
    }
    if (c.type == FaceType::text) invalidate_rect(c.window, nullptr, true);
    if (c.type == FaceType::tab_panel) tab_panel_pages(c.window, TabPanelChange::resized);
    if (HWnd frame = c.type == FaceType::group_box ? group_frame(c.window) : 0)
        set_window_pos(frame, {0, 0, sized.width(), sized.height()});
    control_facet_changed(c.window, c.face, c.type, f_size);
}

void change_text(const Change& c) {
    if (c.type == FaceType::base || layered(c.window)) {
        update_layered_window(c.window, c.face);
        return;
    }
    if (c.type == FaceType::rich_text) {
        invalidate_rect(c.window, nullptr, false);
        return;
    }
    Cell text = facet(c.face, f_text);
    std::string utf8 = cell::type_of(text) == TYPE_STRING ? url::utf8_text(text) : std::string();
    if (HWnd frame = c.type == FaceType::group_box ? group_frame(c.window) : 0)
        send_message(frame, WM_SETTEXT, 0, reinterpret_cast<int64_t>(utf8.c_str()));
    if (c.type == FaceType::area) fit_area_limit(c.window, utf8);
    send_message(c.window, WM_SETTEXT, 0, reinterpret_cast<int64_t>(utf8.c_str()));
    control_facet_changed(c.window, c.face, c.type, f_text);
}

void change_image(const Change& c) {
    if (c.type == FaceType::base) {
        update_layered_window(c.window, c.face);
        return;
    }
    if (c.type == FaceType::camera) {
        if (cell::type_of(facet(c.face, f_image)) != TYPE_NONE) return;
        Rooted<Cell> image;
        camera::snapshot(c.window, *image);
        facet(c.face, f_image) = *image;
        return;
    }
    control_facet_changed(c.window, c.face, c.type, f_image);
}

void change_data(const Change& c) {
    if (c.type == FaceType::rich_text)
        invalidate_rect(c.window, nullptr, false);
    else
        control_facet_changed(c.window, c.face, c.type, f_data);
}

void change_visible(const Change& c, bool show) {
    if (show && c.type == FaceType::window && !(get_style(c.window) & WS_VISIBLE))
        set_window_long(c.window, slot_first_show, 1);
    if (c.record)
        c.record->show = show ? SW_SHOW : SW_HIDE;
    else
        show_window(c.window, show ? SW_SHOW : SW_HIDE);
    if (HWnd frame = c.type == FaceType::group_box ? group_frame(c.window) : 0)
        show_window(frame, show ? SW_SHOW : SW_HIDE);
    if (c.type == FaceType::base && has_caret_face(c.window)) {
        if (show)
            create_caret_of(c.window, c.face);
        else
            drop_caret_of(c.window);
    }
    if (show) control_facet_changed(c.window, c.face, c.type, f_visible);
}

bool facet_true(const Cell& value) {
    return cell::type_of(value) == TYPE_LOGIC && logic::get(value);
}

void change_enabled(const Change& c) {
    bool enabled = facet_true(facet(c.face, f_enabled));
    if (c.type == FaceType::base && has_caret_face(c.window)) change_visible(c, enabled);
    enable_window(c.window, enabled);
}

void change_selected(const Change& c) {
    if (c.type == FaceType::camera) {
        Cell selected = facet(c.face, f_selected);
        if (cell::type_of(selected) == TYPE_INTEGER)
            camera::select(c.window, int64_t(integer::get(selected)) - 1);
        else if (cell::type_of(selected) == TYPE_NONE)
            camera::stop(c.window);
        return;
    }
    if (c.type != FaceType::window) {
        control_facet_changed(c.window, c.face, c.type, f_selected);
        return;
    }
    Cell selected = facet(c.face, f_selected);
    HWnd focus = is_face(selected) ? face_window(selected) : 0;
    set_focus(focus ? focus : c.window);
}

void change_flags(const Change& c) {
    set_window_long(c.window, slot_flag_bits, int32_t(get_flags(facet_value(c.face, f_flags))));
    control_facet_changed(c.window, c.face, c.type, f_flags);
}

void change_color(const Change& c) {
    if (draws_itself(c.type))
        update_layered_window(c.window, c.face);
    else if (!control_facet_changed(c.window, c.face, c.type, f_color))
        invalidate_rect(c.window, nullptr, true);
}

void change_pane(const Change& c) {
    if (c.type != FaceType::tab_panel) restack_pane(facet(c.face, f_pane));
}

void change_font(const Change& c) {
    if (auto font = hooks().set_font) font(c.window, c.face);
    repaint(c.window, c.face, c.type);
}

void change_menu(const Change& c) {
    if (c.type == FaceType::window) update_menu_bar(c.window, c.face);
}

void change_draw(const Change& c) {
    if (draws_itself(c.type)) update_layered_window(c.window, c.face);
}

struct BitStep {
    Facet facet;
    void (*apply)(const Change&);
};

// The bits in the order they are applied.
constexpr BitStep steps[] = {
    {f_offset, change_offset},
    {f_size, change_size},
    {f_text, change_text},
    {f_data, change_data},
    {f_enabled, change_enabled},
    {f_visible, [](const Change& c) { change_visible(c, facet_true(facet(c.face, f_visible))); }},
    {f_selected, change_selected},
    {f_flags, change_flags},
    {f_draw, change_draw},
    {f_color, change_color},
    {f_pane, change_pane},
    {f_rate, [](const Change& c) { change_rate(c.window, facet_value(c.face, f_rate)); }},
    {f_font, change_font},
    {f_para, [](const Change& c) { repaint(c.window, c.face, c.type); }},
    {f_menu, change_menu},
    {f_image, change_image},
    {f_options, [](const Change& c) { set_cursor(c.window, facet_value(c.face, f_options)); }},
};

bool batchable(const Cell& face) {
    HWnd window = face_window(face);
    if (!window || !(pending_bits(face) & geometry_bits)) return false;
    switch (face_type(face)) {
    case FaceType::window:
    case FaceType::tab_panel:
    case FaceType::group_box:
    case FaceType::area:
    case FaceType::camera: return false;
    case FaceType::base: return !has_caret_face(window);
    default: return true;
    }
}

// Applies one group of batchable faces of one parent.
void update_group(const std::vector<Rooted<Cell>*>& group) {
    PositionBatch batch;
    for (Rooted<Cell>* face : group) {
        DeferredPosition record;
        record.window = face_window(**face);
        record.rect = rect_in_parent(record.window);
        update_face(**face, 0, &record);
        batch.push_back(record);
    }
    apply_batch(batch);
}

} // namespace

void apply_batch(const PositionBatch& batch) {
    for (const DeferredPosition& d : batch) {
        if (d.move || d.size) set_window_pos(d.window, d.rect);
        if (d.show >= 0) show_window(d.window, uint32_t(d.show));
    }
}

void OS_update_view(const Cell& face) {
    update_face(face, 0, nullptr);
}

void update_face(const Cell& face, uint32_t skip, DeferredPosition* record) {
    HWnd window = face_window(face);
    if (!window) return;
    Rooted<Cell> kept(face);
    DpiBracket dpi(window);
    uint32_t stored = pending_bits(*kept);
    uint32_t bits = record ? stored & geometry_bits : stored & ~skip;
    set_pending_bits(*kept, stored & ~bits);
    Change change{window, *kept, face_type(*kept), record};
    uint32_t left = bits;
    try {
        for (const BitStep& step : steps) {
            if (!(bits & bit(step.facet))) continue;
            step.apply(change);
            left &= ~bit(step.facet);
        }
    } catch (...) {
        set_pending_bits(*kept, pending_bits(*kept) | left);
        throw;
    }
}

void OS_update_views(const Cell& faces) {
    Rooted<Cell> block(faces);
    int32_t n = block::rs_length(*block);
    std::vector<Rooted<Cell>> kept(size_t(std::max(n, 0)));
    std::vector<bool> batched(kept.size());
    for (int32_t i = 0; i < n; ++i) {
        *kept[size_t(i)] = block::rs_head(*block)[i];
        const Cell& face = *kept[size_t(i)];
        if (!face_window(face)) continue;
        batched[size_t(i)] = batchable(face);
        update_face(face, batched[size_t(i)] ? geometry_bits : 0, nullptr);
    }
    std::vector<Rooted<Cell>*> group;
    HWnd group_parent = 0;
    for (int32_t i = 0; i <= n; ++i) {
        bool joins = i < n && batched[size_t(i)];
        HWnd parent = joins ? get_parent(face_window(*kept[size_t(i)])) : 0;
        if (!group.empty() && (!joins || parent != group_parent)) {
            update_group(group);
            group.clear();
        }
        if (!joins) continue;
        group_parent = parent;
        group.push_back(&kept[size_t(i)]);
    }
}

void restack_pane(const Cell& pane) {
    if (cell::type_of(pane) != TYPE_BLOCK) return;
    std::unordered_set<NodeId> seen;
    Rooted<Cell> kept(pane);
    auto restack = [&](auto& self, const Cell& faces) -> void {
        for (int32_t i = 0; i < block::rs_length(faces); ++i) {
            Cell face = block::rs_head(faces)[i];
            if (!is_face(face) || !seen.insert(face.w1).second) continue;
            if (HWnd window = face_window(face)) bring_window_to_top(window);
            Cell inner = facet(face, f_pane);
            if (face_type(face) == FaceType::tab_panel && cell::type_of(inner) == TYPE_BLOCK)
                self(self, inner);
        }
    };
    restack(restack, *kept);
}

void link_pane_face(const Cell& face, const Cell* parent) {
    HWnd window = face_window(face);
    if (!window) return;
    bool tab_page = parent && face_type(*parent) == FaceType::tab_panel;
    if (!tab_page) logic::make_at(facet(face, f_visible), parent != nullptr);
    if (!parent) {
        // A face taken out of its pane stays hidden until it is linked again.
        show_window(window, SW_HIDE);
        set_parent(window, 0);
        return;
    }
    if (tab_page) return;
    if (HWnd parent_window = face_window(*parent)) set_parent(window, parent_window);
    OS_show_window(window);
}

void OS_update_facet(const Cell& face, const Cell& word, const Cell& value, const Cell& action,
                     const Cell* new_value, int32_t index, int32_t part) {
    Rooted<Cell> kept(face), series(value);
    if (is_word(word, "pane") && cell::type_of(*series) == TYPE_BLOCK) {
        bool removing =
            is_word(action, "remove") || is_word(action, "take") || is_word(action, "clear");
        bool adding = is_word(action, "inserted") || is_word(action, "poke") ||
                      is_word(action, "put") || is_word(action, "moved") ||
                      is_word(action, "changed");
        if (!removing && !adding) return;
        int32_t length = block::rs_length(*series);
        for (int32_t i = index; i < index + part && i < length; ++i) {
            Rooted<Cell> child(block::rs_head(*series)[i]);
            if (is_face(*child)) link_pane_face(*child, removing ? nullptr : &*kept);
        }
        if (adding) restack_pane(*series);
        return;
    }
    if (is_word(word, "data") && update_items(*kept, *series, action, new_value, index, part))
        return;
    OS_update_view(*kept);
}

} // namespace kiv::gui::faces
