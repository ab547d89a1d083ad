// The live event and the backend state its fields read: a copy of the last
// message (so that a kept live event never reads a freed record), the key
// translation state, and the hooks through which the face code of later
// layers answers what the event needs of faces.
#pragma once

#include <cstdint>

#include "gui/backend/gestures.h"
#include "gui/backend/window_types.h"
#include "runtime/cell.h"

namespace kiv::gui::live {

struct State {
    Msg msg;                           // the message of the live event
    int32_t last_key = -1;             // -1: a character key
    uint32_t high_surrogate = 0;       // kept until its low half comes
    bool ime_composing = false;        // between the start and end of a composition
    int64_t modifier_override = -1;    // -1: read the keyboard
    double zoom_distance = -1;         // the previous zoom step's distance
    GestureInfo gesture;               // the record of a gesture event's message
    double zoom_ratio = -1;            // a zoom step's distance over the previous one; -1: none
    Point menu_point;                  // screen point of the last right-button-down
    uint32_t menu_symbol = 0xFFFFFFFF; // the chosen menu item's word; 0xFFFFFFFF: none
};
State& state();

// The live event cell, made once and refilled for every message.
Cell& cell();

// What the face code answers; each hook may be left null.
struct Hooks {
    // Writes the face a window carries into `out`; false when it has none.
    bool (*face_of_window)(HWnd window, Cell& out) = nullptr;
    // The 1-based list item under a screen point, 0 for none.
    int32_t (*list_item_at)(HWnd window, Point screen) = nullptr;
    // The track position of the window's own scroll bar.
    int32_t (*scroll_position)(HWnd window, bool vertical) = nullptr;
    // Reads a control's text back into its face's text facet for `select`
    // (a drop-down's chosen item) and `change` events.
    void (*read_back_text)(HWnd window, uint32_t type) = nullptr;
    // Calls the engine's handler with the live event; writes its answer.
    // Errors and throws must not leave it.
    void (*awake)(Cell& event, Cell& answer) = nullptr;
};
Hooks& hooks();

// The face of the live event's message: its window's, else its parent's,
// else that of the window under its point. False for none.
bool message_face(Cell& out);

} // namespace kiv::gui::live
