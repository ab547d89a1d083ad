// What controls tell their parent becomes events of their faces, with the
// faces' facets read back from the controls first: WM_COMMAND
// notifications, the tab and calendar WM_NOTIFY codes, and scroll
// requests of sliders, scrollers and a window's own bars.
#pragma once

#include <cstdint>

#include "gui/backend/window_types.h"

namespace kiv::gui::faces {

void process_command_event(HWnd window, uint64_t wparam, int64_t lparam);
// The answer to the parent; `handled` false for codes that are not ours.
int64_t process_notify(HWnd window, int64_t lparam, bool& handled);
void process_scroll(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam);

// The hooks of the event translation: text read back before `select` and
// `change` events, a list's item under a point, a bar's position.
void read_back_text(HWnd window, uint32_t type);
int32_t list_item_at(HWnd window, Point screen);
int32_t scroll_position(HWnd window, bool vertical);

} // namespace kiv::gui::faces
