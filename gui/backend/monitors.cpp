// The monitors of the layer: handles that stay with a monitor for its life
// and are never reused, and the lookups by point, rectangle and window.
#include "gui/backend/layer_state.h"
#include "gui/backend/messages.h"

#include <algorithm>
#include <climits>

namespace kiv::gui {

using detail::state;

namespace {

void (*settings_listener)() = nullptr;

bool same_monitor(const Monitor& a, const Monitor& b) {
    return a.area == b.area && a.work == b.work && a.scale == b.scale && a.dpi == b.dpi;
}

int64_t overlap(const Rect& a, const Rect& b) {
    int64_t w = std::min(a.right, b.right) - std::max(a.left, b.left);
    int64_t h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

// Squared distance from a point to the nearest point of a rectangle.
int64_t distance2(const Rect& r, Point p) {
    int64_t dx = p.x < r.left ? r.left - p.x : (p.x >= r.right ? p.x - r.right + 1 : 0);
    int64_t dy = p.y < r.top ? r.top - p.y : (p.y >= r.bottom ? p.y - r.bottom + 1 : 0);
    return dx * dx + dy * dy;
}

HMonitor nearest(Point p) {
    HMonitor best = 0;
    int64_t best_distance = INT64_MAX;
    for (auto& m : state().monitors) {
        int64_t d = distance2(m.monitor.area, p);
        if (d < best_distance) best = m.monitor.handle, best_distance = d;
    }
    return best;
}

} // namespace

void set_monitors(const std::vector<MonitorDesc>& descs) {
    auto& s = state();
    std::vector<detail::MonitorEntry> next;
    bool changed = descs.size() != s.monitors.size(), dpi_changed = false;
    for (auto& d : descs) {
        Monitor m{0, d.area, d.work, d.scale, d.dpi};
        auto old = std::find_if(s.monitors.begin(), s.monitors.end(),
                                [&](const detail::MonitorEntry& e) { return e.key == d.key; });
        if (old == s.monitors.end()) {
            m.handle = s.next_monitor++;
            changed = true;
        } else {
            m.handle = old->monitor.handle;
            changed = changed || !same_monitor(m, old->monitor);
            dpi_changed = dpi_changed || m.dpi != old->monitor.dpi;
        }
        next.push_back({d.key, m});
    }
    s.monitors = std::move(next);
    if (!changed) return;
    for (HWnd top : top_level_windows()) send_message(top, WM_DISPLAYCHANGE, 32, 0);
    if (dpi_changed) settings_changed();
}

void set_settings_listener(void (*listener)()) {
    settings_listener = listener;
}

void settings_changed() {
    if (settings_listener) settings_listener();
}

std::vector<Monitor> monitors() {
    std::vector<Monitor> all;
    for (auto& m : state().monitors) all.push_back(m.monitor);
    return all;
}

std::optional<Monitor> monitor_info(HMonitor monitor) {
    for (auto& m : state().monitors)
        if (m.monitor.handle == monitor) return m.monitor;
    return std::nullopt;
}

HMonitor monitor_from_point(Point screen) {
    return nearest(screen);
}

HMonitor monitor_from_rect(Rect screen) {
    HMonitor best = 0;
    int64_t best_overlap = 0;
    for (auto& m : state().monitors) {
        int64_t o = overlap(m.monitor.area, screen);
        if (o > best_overlap) best = m.monitor.handle, best_overlap = o;
    }
    if (best) return best;
    return nearest({screen.left + screen.width() / 2, screen.top + screen.height() / 2});
}

HMonitor monitor_from_window(HWnd window) {
    return monitor_from_rect(window_rect(get_root(window)));
}

} // namespace kiv::gui
