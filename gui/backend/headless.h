// The headless backend: windows exist only as the layer's models with
// Cairo image surfaces, time is a virtual clock, input comes from the
// layer's input calls, and monitors are whatever the caller configures
// (none by default). Used without a display and by the tests.
#pragma once

#include "gui/backend/backend.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kiv::gui {

class HeadlessBackend : public Backend {
  public:
    const char* name() const override { return "headless"; }
    double now_ms() override { return clock_; }
    // Nothing arrives on its own: a wait with a limit jumps the clock to
    // its end (the next due timer); a wait without one could never end.
    bool wait(double timeout_ms) override;
    // Moves the virtual clock forward.
    void advance(double ms) { clock_ += ms; }

    // Menus: every popup shown takes the next scripted answer, a path of
    // labels to choose or an empty path to dismiss it; with nothing
    // scripted it closes at once.
    void script_popup(std::vector<std::string> labels) {
        popup_script_.push_back(std::move(labels));
    }
    std::optional<MenuChoice> track_popup(HMenu menu, Point screen, HWnd owner) override;
    int popups_shown() const { return popups_shown_; }
    Point last_popup_point() const { return last_popup_point_; }

    // The text a paste into a control finds on the clipboard (empty until
    // scripted). The desktop's clipboard stays the engine's own: the
    // backend still has none.
    void script_clipboard(std::string text) { clipboard_ = std::move(text); }
    bool clipboard_read(ClipData& data) override;

    // Dialogs answer from a script per kind (open, save, folder, font):
    // each dialog takes the next answer of its kind; with none scripted it
    // is cancelled. What each dialog was asked is kept.
    void script_file(FileRequest::Kind kind, FileAnswer answer) {
        file_script_[kind].push_back(std::move(answer));
    }
    void script_font(std::optional<FontAnswer> answer) {
        font_script_.push_back(std::move(answer));
    }
    void open_file_dialog(const FileRequest& request, HWnd owner, FileDone done) override;
    void open_font_dialog(const FontRequest& request, HWnd owner, FontDone done) override;
    const std::vector<FileRequest>& file_requests() const { return file_requests_; }
    const std::vector<FontRequest>& font_requests() const { return font_requests_; }
    // The window each dialog was modal for.
    const std::vector<HWnd>& dialog_owners() const { return dialog_owners_; }

  private:
    double clock_ = 0;
    std::map<FileRequest::Kind, std::deque<FileAnswer>> file_script_;
    std::deque<std::optional<FontAnswer>> font_script_;
    std::vector<FileRequest> file_requests_;
    std::vector<FontRequest> font_requests_;
    std::vector<HWnd> dialog_owners_;
    std::deque<std::vector<std::string>> popup_script_;
    int popups_shown_ = 0;
    std::optional<std::string> clipboard_;
    Point last_popup_point_;
};

// The user opens a window's menu bar and goes down a path of labels,
// choosing the last; an empty path opens and closes it. False when the
// path names no item.
bool choose_from_menu_bar(HWnd window, const std::vector<std::string>& labels);

// Starts the window layer over a new headless backend and returns it.
HeadlessBackend& start_headless();

} // namespace kiv::gui
