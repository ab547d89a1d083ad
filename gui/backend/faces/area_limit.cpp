#include "gui/backend/faces/area_limit.h"

#include "gui/backend/control_messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/text_index.h"

#include <algorithm>
#include <cstdint>

namespace kiv::gui::faces {

namespace {

// What the user can still type after a text that was let in.
constexpr size_t typing_room = 32768;

void raise_limit(HWnd window, size_t needed) {
    size_t limit = size_t(uint32_t(send_message(window, EM_GETLIMITTEXT, 0, 0)));
    if (limit >= needed) return;
    size_t raised = std::min<size_t>(needed + typing_room, UINT32_MAX);
    send_message(window, EM_SETLIMITTEXT, raised, 0);
}

} // namespace

void area_text_limit(HWnd window, size_t n) {
    raise_limit(window, utf8::char_count(get_window_text(window)) + n);
}

void fit_area_limit(HWnd window, std::string_view text) {
    raise_limit(window, utf8::char_count(text));
}

void before_area_paste(HWnd window) {
    ClipData clip;
    if (layer_running() && backend().clipboard_read(clip) && clip.kind == ClipData::Kind::text)
        area_text_limit(window, utf8::char_count(clip.text));
}

} // namespace kiv::gui::faces
