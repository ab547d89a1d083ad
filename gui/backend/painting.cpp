// Invalid regions, backing surfaces and the paint bracket of the layer.
#include "gui/backend/layer_state.h"
#include "gui/backend/messages.h"
#include "platform/cairo_api.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kiv::gui {

using detail::Window;

namespace {

// Loaded when the layer starts.
const CairoApi& cairo() {
    return *cairo_api();
}

cairo_rectangle_int_t to_cairo(const Rect& r) {
    return {r.left, r.top, r.width(), r.height()};
}

Rect from_cairo(const cairo_rectangle_int_t& r) {
    return {r.x, r.y, r.x + r.width, r.y + r.height};
}

// The area (or the whole client) clipped to the client rectangle.
cairo_region_t* client_area(Window& w, const Rect* area) {
    cairo_rectangle_int_t client = {0, 0, w.rect.width(), w.rect.height()};
    cairo_region_t* region = cairo().region_create_rectangle(&client);
    if (area) {
        cairo_rectangle_int_t r = to_cairo(*area);
        cairo().region_intersect_rectangle(region, &r);
    }
    return region;
}

// Copies the pixels of `area` that stay inside it when moved by `d` to
// their new place. Rows are visited from the side the pixels move to, so
// none is overwritten before it is read; memmove lets a row overlap itself.
void move_pixels(cairo_surface_t* surface, const Rect& area, Point d) {
    Rect to{std::max(area.left, area.left + d.x), std::max(area.top, area.top + d.y),
            std::min(area.right, area.right + d.x), std::min(area.bottom, area.bottom + d.y)};
    if (to.empty()) return;
    const CairoApi& c = cairo();
    c.surface_flush(surface);
    uint8_t* data = c.image_surface_get_data(surface);
    int stride = c.image_surface_get_stride(surface);
    size_t bytes = size_t(to.width()) * 4;
    auto copy_row = [&](int y) {
        std::memmove(data + y * stride + to.left * 4,
                     data + (y - d.y) * stride + (to.left - d.x) * 4, bytes);
    };
    if (d.y > 0)
        for (int y = to.bottom - 1; y >= to.top; --y) copy_row(y);
    else
        for (int y = to.top; y < to.bottom; ++y) copy_row(y);
    c.surface_mark_dirty(surface);
}

// Whether every pixel of the surface inside `area` is clear.
bool clear_inside(cairo_surface_t* surface, const Rect& area) {
    const CairoApi& c = cairo();
    c.surface_flush(surface);
    const uint8_t* data = c.image_surface_get_data(surface);
    int stride = c.image_surface_get_stride(surface);
    Rect r{std::max(area.left, 0), std::max(area.top, 0),
           std::min(area.right, c.image_surface_get_width(surface)),
           std::min(area.bottom, c.image_surface_get_height(surface))};
    for (int y = r.top; y < r.bottom; ++y) {
        const uint8_t* row = data + y * stride + r.left * 4;
        for (size_t i = 0, n = size_t(r.width()) * 4; i < n; ++i)
            if (row[i]) return false;
    }
    return true;
}

} // namespace

namespace detail {

void drop_paint_state(Window& w) {
    if (w.invalid) cairo().region_destroy(w.invalid);
    if (w.surface) cairo().surface_destroy(w.surface);
    w.invalid = nullptr;
    w.surface = nullptr;
}

} // namespace detail

void invalidate_rect(HWnd window, const Rect* area, bool erase) {
    Window* w = detail::find(window);
    if (!w) return;
    cairo_region_t* region = client_area(*w, area);
    if (!w->invalid) w->invalid = cairo().region_create();
    cairo().region_union(w->invalid, region);
    cairo().region_destroy(region);
    w->erase = w->erase || erase;
}

void validate_rect(HWnd window, const Rect* area) {
    Window* w = detail::find(window);
    if (!w || !w->invalid) return;
    cairo_region_t* region = client_area(*w, area);
    cairo().region_subtract(w->invalid, region);
    cairo().region_destroy(region);
    if (cairo().region_is_empty(w->invalid)) w->erase = false;
}

bool get_update_rect(HWnd window, Rect& bounds) {
    Window* w = detail::find(window);
    if (!w || !w->invalid || cairo().region_is_empty(w->invalid)) return false;
    cairo_rectangle_int_t extents;
    cairo().region_get_extents(w->invalid, &extents);
    bounds = from_cairo(extents);
    return true;
}

cairo_surface_t* window_surface(HWnd window) {
    Window* w = detail::find(window);
    if (!w) return nullptr;
    int width = std::max(w->rect.width(), 1), height = std::max(w->rect.height(), 1);
    if (w->surface && cairo().image_surface_get_width(w->surface) == width &&
        cairo().image_surface_get_height(w->surface) == height)
        return w->surface;
    // A new size: keep what the old surface showed in the part both share.
    cairo_surface_t* surface = cairo().image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (w->surface) {
        cairo_t* cr = cairo().create(surface);
        cairo().set_source_surface(cr, w->surface, 0, 0);
        cairo().paint(cr);
        cairo().destroy(cr);
        cairo().surface_destroy(w->surface);
    }
    w->surface = surface;
    w->painted_clear = false;
    return surface;
}

cairo_surface_t* held_surface(HWnd window) {
    Window* w = detail::find(window);
    return w ? w->surface : nullptr;
}

bool scroll_window(HWnd window, Point distance, const Rect* area) {
    Window* w = detail::find(window);
    if (!w) return false;
    cairo_region_t* clipped = client_area(*w, area);
    cairo_rectangle_int_t extents;
    cairo().region_get_extents(clipped, &extents);
    cairo().region_destroy(clipped);
    Rect bounds = from_cairo(extents);
    if (bounds.empty()) return false;
    detail::lift_caret(window);
    move_pixels(window_surface(window), bounds, distance);
    detail::restore_caret(window);
    cairo_rectangle_int_t whole = to_cairo(bounds);
    // What was invalid inside the area moves with the pixels.
    if (w->invalid) {
        cairo_region_t* moved = cairo().region_create();
        cairo().region_union(moved, w->invalid);
        cairo().region_intersect_rectangle(moved, &whole);
        cairo().region_subtract(w->invalid, moved);
        cairo().region_translate(moved, distance.x, distance.y);
        cairo().region_intersect_rectangle(moved, &whole);
        cairo().region_union(w->invalid, moved);
        cairo().region_destroy(moved);
    }
    // The part of the area no moved pixel covers is to be painted.
    cairo_region_t* uncovered = cairo().region_create_rectangle(&whole);
    cairo_rectangle_int_t shifted = whole;
    shifted.x += distance.x;
    shifted.y += distance.y;
    cairo_region_t* covered = cairo().region_create_rectangle(&shifted);
    cairo().region_subtract(uncovered, covered);
    cairo().region_destroy(covered);
    if (!w->invalid) w->invalid = cairo().region_create();
    cairo().region_union(w->invalid, uncovered);
    cairo().region_destroy(uncovered);
    detail::state().backend->window_painted(window, bounds);
    return true;
}

bool detail::clear_at(const Window& w, Point p) {
    if (!(w.ex_style & WS_EX_LAYERED)) return false;
    if (!w.surface) return w.painted_clear;
    const CairoApi& c = cairo();
    if (p.x < 0 || p.y < 0 || p.x >= c.image_surface_get_width(w.surface) ||
        p.y >= c.image_surface_get_height(w.surface))
        return false;
    c.surface_flush(w.surface);
    const uint8_t* row =
        c.image_surface_get_data(w.surface) + p.y * c.image_surface_get_stride(w.surface);
    uint32_t pixel;
    std::memcpy(&pixel, row + 4 * p.x, sizeof pixel);
    return (pixel >> 24) == 0;
}

cairo_t* begin_paint(HWnd window, PaintStruct& ps) {
    ps = {};
    if (!detail::state().backend->surface_shown(window)) {
        // Nothing of it would be seen (the toolkit draws the control): the
        // paint is done without a surface, its whole invalid area with it.
        if (Window* w = detail::find(window)) {
            if (w->invalid) cairo().region_destroy(w->invalid);
            w->invalid = nullptr;
            w->erase = false;
        }
        return nullptr;
    }
    detail::lift_caret(window);
    Window* w = detail::find(window);
    ps.fresh = w && !w->surface;
    cairo_surface_t* surface = window_surface(window);
    if (!surface || !w) return nullptr;
    cairo_region_t* region = w->invalid ? w->invalid : cairo().region_create();
    w->invalid = nullptr;
    ps.erase = std::exchange(w->erase, false);
    cairo_rectangle_int_t extents;
    cairo().region_get_extents(region, &extents);
    ps.paint = from_cairo(extents);
    ps.cr = cairo().create(surface);
    for (int i = 0, n = cairo().region_num_rectangles(region); i < n; ++i) {
        cairo_rectangle_int_t r;
        cairo().region_get_rectangle(region, i, &r);
        cairo().rectangle(ps.cr, r.x, r.y, r.width, r.height);
    }
    cairo().clip(ps.cr);
    cairo().region_destroy(region);
    if (ps.erase) send_message(window, WM_ERASEBKGND, reinterpret_cast<uint64_t>(ps.cr), 0);
    return ps.cr;
}

void end_paint(HWnd window, PaintStruct& ps) {
    if (!ps.cr) return;
    cairo().destroy(ps.cr);
    ps.cr = nullptr;
    detail::restore_caret(window);
    Window* w = detail::find(window);
    if (!w) return;
    // Only what this paint touched is read: the rest of a fresh surface is
    // clear, and an older one is looked at when the paint covered it all.
    Rect client = {0, 0, w->rect.width(), w->rect.height()};
    bool whole = ps.paint.left <= 0 && ps.paint.top <= 0 && ps.paint.right >= client.right &&
                 ps.paint.bottom >= client.bottom;
    if (w->surface && (ps.fresh || whole) && clear_inside(w->surface, ps.paint)) {
        cairo().surface_destroy(w->surface);
        w->surface = nullptr;
        w->painted_clear = true;
    }
    detail::state().backend->window_painted(window, ps.paint);
}

} // namespace kiv::gui
