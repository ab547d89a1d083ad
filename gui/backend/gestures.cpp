#include "gui/backend/gestures.h"

#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

#include <array>
#include <cmath>
#include <numbers>

namespace kiv::gui {

namespace {

struct Kept {
    int64_t handle = 0;
    GestureInfo info;
};

// The last records, by handle modulo their count; handles start at 1 and
// are never given twice.
std::array<Kept, kept_gestures> kept;
int64_t next_handle = 1;

uint64_t distance_argument(double distance) {
    return distance > 0 ? uint64_t(std::lround(distance)) : 0;
}

GestureInfo step_record(const GestureStep& step) {
    switch (step.kind) {
    case GestureKind::zoom: return {GID_ZOOM, step.location, distance_argument(step.distance)};
    case GestureKind::rotate: return {GID_ROTATE, step.location, rotation_argument(step.angle)};
    case GestureKind::pan: return {GID_PAN, step.location, distance_argument(step.distance)};
    case GestureKind::long_press: return {GID_PRESSANDTAP, step.location, 0};
    }
    return {};
}

} // namespace

void input_gesture(const GestureInfo& info) {
    HWnd target = window_from_point(info.location);
    if (!target) return;
    int64_t handle = next_handle++;
    kept[size_t(handle % kept_gestures)] = {handle, info};
    input_message(target, WM_GESTURE, info.id, handle);
}

std::optional<GestureInfo> gesture_info(int64_t handle) {
    if (handle <= 0) return std::nullopt;
    const Kept& k = kept[size_t(handle % kept_gestures)];
    if (k.handle != handle) return std::nullopt;
    return k.info;
}

uint64_t rotation_argument(double radians) {
    constexpr double pi = std::numbers::pi;
    double clamped = std::fmax(-2 * pi, std::fmin(2 * pi, radians));
    return uint64_t(std::lround((clamped + 2 * pi) / (4 * pi) * 65535.0));
}

std::vector<GestureInfo> translate_gesture(const GestureStep& step) {
    GestureInfo record = step_record(step);
    GestureInfo begin{GID_BEGIN, step.location, 0}, end{GID_END, step.location, 0};
    if (step.kind == GestureKind::long_press) return {begin, record, end};
    switch (step.phase) {
    case GesturePhase::begin: return {begin, record};
    case GesturePhase::update: return {record};
    case GesturePhase::end: return {end};
    }
    return {};
}

void input_gesture_step(const GestureStep& step) {
    for (const GestureInfo& info : translate_gesture(step)) input_gesture(info);
}

} // namespace kiv::gui
