// Dialogs on the headless backend: the user's answers come from a script.
#include "gui/backend/headless.h"

namespace kiv::gui {

namespace {

// The next scripted answer, or none (a cancel).
template <typename T>
std::optional<T> next(std::deque<std::optional<T>>& script) {
    std::optional<T> answer;
    if (script.empty()) return answer;
    answer.swap(script.front());
    script.pop_front();
    return answer;
}

} // namespace

void HeadlessBackend::open_file_dialog(const FileRequest& request, HWnd owner, FileDone done) {
    file_requests_.push_back(request);
    dialog_owners_.push_back(owner);
    done(next(file_script_[request.kind]));
}

void HeadlessBackend::open_font_dialog(const FontRequest& request, HWnd owner, FontDone done) {
    font_requests_.push_back(request);
    dialog_owners_.push_back(owner);
    done(next(font_script_));
}

} // namespace kiv::gui
