// The layer's caret: one rectangle owned by a window, drawn by inverting
// the owner's backing surface under it, blinking on the layer clock.
#include "gui/backend/layer_state.h"
#include "platform/cairo_api.h"

#include <algorithm>
#include <cstring>

namespace kiv::gui {

namespace {

// The timer of the owner that blinks the caret.
constexpr uint64_t blink_timer = 0xCA7E;

struct Caret {
    HWnd owner = 0;
    int width = 0, height = 0;
    Point pos;
    int hide_count = 0;  // shown at 0
    bool drawn = false;  // inverted on the owner's surface now
    bool lifted = false; // taken off for a paint of the owner
};

Caret& caret() {
    static Caret c;
    return c;
}

Rect caret_rect(const Caret& c) {
    return {c.pos.x, c.pos.y, c.pos.x + c.width, c.pos.y + c.height};
}

// Inverts the colour of the owner's pixels under the caret. Pixels are
// premultiplied, so a channel becomes alpha - channel: opaque pixels get
// 255 - channel, and twice gives the pixel back.
void invert(const Caret& c) {
    cairo_surface_t* surface = window_surface(c.owner);
    if (!surface) return;
    const CairoApi& api = *cairo_api();
    int width = api.image_surface_get_width(surface),
        height = api.image_surface_get_height(surface);
    Rect r = caret_rect(c);
    Rect area{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width),
              std::min(r.bottom, height)};
    if (area.empty()) return;
    api.surface_flush(surface);
    uint8_t* data = api.image_surface_get_data(surface);
    int stride = api.image_surface_get_stride(surface);
    for (int y = area.top; y < area.bottom; ++y) {
        uint8_t* row = data + y * stride;
        for (int x = area.left; x < area.right; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, row + 4 * x, sizeof pixel);
            uint32_t alpha = pixel >> 24;
            uint32_t inverted = pixel & 0xFF000000u;
            for (int shift : {0, 8, 16}) inverted |= (alpha - ((pixel >> shift) & 0xFF)) << shift;
            std::memcpy(row + 4 * x, &inverted, sizeof inverted);
        }
    }
    api.surface_mark_dirty(surface);
    detail::state().backend->window_painted(c.owner, area);
}

void set_drawn(bool drawn) {
    Caret& c = caret();
    if (c.drawn == drawn || !c.owner) return;
    invert(c);
    c.drawn = drawn;
}

void blink(HWnd, uint32_t, uint64_t, uint32_t) {
    if (caret().hide_count == 0) set_drawn(!caret().drawn);
}

// The caret is drawn at once and the blink starts over from there.
void restart_blink() {
    Caret& c = caret();
    set_drawn(true);
    int half_cycle = detail::state().backend->caret_blink_ms();
    if (half_cycle >= 0) set_timer(c.owner, blink_timer, uint32_t(half_cycle), blink);
}

void tell_backend() {
    const Caret& c = caret();
    detail::state().backend->caret_moved(c.owner, caret_rect(c));
}

bool owns(HWnd window) {
    return caret().owner && (window == 0 || window == caret().owner);
}

} // namespace

bool create_caret(HWnd owner, int width, int height) {
    if (!is_window(owner)) return false;
    destroy_caret();
    caret() = {owner, std::max(width, 1), std::max(height, 1), {}, 1, false, false};
    return true;
}

bool destroy_caret() {
    Caret& c = caret();
    if (!c.owner) return false;
    set_drawn(false);
    kill_timer(c.owner, blink_timer);
    c = {};
    return true;
}

HWnd caret_owner() {
    return caret().owner;
}

bool set_caret_pos(Point client) {
    Caret& c = caret();
    if (!c.owner) return false;
    set_drawn(false);
    c.pos = client;
    if (c.hide_count == 0) restart_blink();
    tell_backend();
    return true;
}

Point get_caret_pos() {
    return caret().pos;
}

bool show_caret(HWnd owner) {
    Caret& c = caret();
    if (!owns(owner) || c.hide_count == 0) return false;
    if (--c.hide_count == 0) {
        restart_blink();
        tell_backend();
    }
    return true;
}

bool hide_caret(HWnd owner) {
    Caret& c = caret();
    if (!owns(owner)) return false;
    ++c.hide_count;
    c.lifted = false;
    set_drawn(false);
    kill_timer(c.owner, blink_timer);
    return true;
}

namespace detail {

void lift_caret(HWnd window) {
    Caret& c = caret();
    if (c.owner != window || !c.drawn) return;
    set_drawn(false);
    c.lifted = true;
}

void restore_caret(HWnd window) {
    Caret& c = caret();
    if (c.owner != window || !c.lifted) return;
    c.lifted = false;
    set_drawn(true);
}

void forget_caret(HWnd window) {
    if (caret().owner == window) caret() = {};
}

} // namespace detail

} // namespace kiv::gui
