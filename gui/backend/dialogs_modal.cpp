#include "gui/backend/dialogs_modal.h"

#include "gui/backend/layer_state.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

#include <utility>

namespace kiv::gui {

namespace {

// Dispatches messages until the dialog has answered. A quit asked for
// meanwhile is kept for the loop outside. The answer may come while a
// peek moves the backend's events in (a dialog that closes from an idle
// callback answers there): the loop looks again before it waits, as no
// further event may ever come to end the wait.
void run_until(const bool& answered) {
    bool quit = false;
    int quit_code = 0;
    while (!answered) {
        Msg msg;
        if (peek_message(msg)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quit_code = int(msg.wparam);
            } else {
                handle_message(msg);
            }
            continue;
        }
        if (answered || !backend().wait(detail::time_to_next_timer())) break;
    }
    if (quit) post_quit_message(quit_code);
}

// Opens a dialog for the active top-level and waits for its answer.
template <typename Answer, typename Open>
Answer ask(Open open) {
    if (!layer_running()) return std::nullopt;
    release_capture();
    HWnd owner = get_active_window();
    bool input_was_on = owner && is_enabled(owner);
    if (input_was_on) enable_window(owner, false);
    Answer answer;
    bool answered = false;
    open(owner, [&](Answer a) {
        answer = std::move(a);
        answered = true;
    });
    run_until(answered);
    if (input_was_on && is_window(owner)) enable_window(owner, true);
    return answer;
}

} // namespace

FileAnswer ask_file(const FileRequest& request) {
    return ask<FileAnswer>(
        [&](HWnd owner, FileDone done) { backend().open_file_dialog(request, owner, done); });
}

std::optional<FontAnswer> ask_font(const FontRequest& request) {
    return ask<std::optional<FontAnswer>>(
        [&](HWnd owner, FontDone done) { backend().open_font_dialog(request, owner, done); });
}

} // namespace kiv::gui
