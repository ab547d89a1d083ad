// Touch gestures as the layer delivers them: WM_GESTURE with the gesture's
// id in wParam and, in lParam, the handle of a record the layer keeps (the
// last `kept_gestures` of them). A toolkit's recognisers report steps; the
// translation into records is the same for every backend, so it is tested
// without touch input.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "gui/backend/window_types.h"

namespace kiv::gui {

// WM_GESTURE's wParam.
enum GestureId : uint32_t {
    GID_BEGIN = 1,
    GID_END = 2,
    GID_ZOOM = 3,
    GID_PAN = 4,
    GID_ROTATE = 5,
    GID_TWOFINGERTAP = 6,
    GID_PRESSANDTAP = 7,
};

struct GestureInfo {
    uint32_t id = 0;
    Point location;         // screen, device pixels
    uint64_t arguments = 0; // zoom, pan: the distance between the fingers;
                            // rotate: the encoded angle (rotation_argument)
};

// Queues WM_GESTURE for the layer's window under the gesture's location.
void input_gesture(const GestureInfo& info);
// The record a WM_GESTURE's lParam names; none once newer ones replaced it.
std::optional<GestureInfo> gesture_info(int64_t handle);
inline constexpr uint32_t kept_gestures = 64;

// A rotation in radians (-2π .. 2π) as a 16-bit gesture argument.
uint64_t rotation_argument(double radians);

// ---- Recognised steps

enum class GestureKind { zoom, rotate, pan, long_press };
enum class GesturePhase { begin, update, end };

struct GestureStep {
    GestureKind kind = GestureKind::zoom;
    GesturePhase phase = GesturePhase::begin;
    Point location;      // screen, device pixels: the centre of the fingers
    double distance = 0; // between the fingers, device pixels
    double angle = 0;    // rotation since the gesture began, radians
};

// The records a step makes: a gesture opens with GID_BEGIN and its first
// step, goes on with one record per step and closes with GID_END. A long
// press is a whole press-and-tap at once.
std::vector<GestureInfo> translate_gesture(const GestureStep& step);

// Translates a step and queues its records.
void input_gesture_step(const GestureStep& step);

} // namespace kiv::gui
