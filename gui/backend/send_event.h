// gui/OS-send-event: the window message an event made by the language
// stands for, posted to its face's window or handled at once, so that code
// can drive a face as a user would.
#pragma once

#include "runtime/cell.h"

namespace kiv::gui {

// 1 when a message was sent, else 0 (no face with a window, a type with
// no message, a click on anything but a button control, a window without
// the box for minimize or maximize).
int os_send_event(const Cell& event, bool queued);

} // namespace kiv::gui
