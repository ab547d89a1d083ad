// The GTK views of the built-in controls: the notification table with
// input through XTest (it must agree with the headless run), and the views
// following their models.
#include "tests/unit/control_notifications.h"
#include "x11_fixture.h"

#include <X11/extensions/XTest.h>

using namespace kiv::gui;
using namespace kiv::testing;

namespace {

class XTestDriver : public ControlDriver {
  public:
    explicit XTestDriver(Display* display) : display_(display) {}
    void click(HWnd window, Point client) override {
        Point at = client_to_screen(window, client);
        XTestFakeMotionEvent(display_, -1, at.x, at.y, CurrentTime);
        XTestFakeButtonEvent(display_, 1, True, CurrentTime);
        XTestFakeButtonEvent(display_, 1, False, CurrentTime);
        XSync(display_, False);
    }
    void press(Key key) override {
        KeyCode code = XKeysymToKeycode(display_, key_info(key).keysym);
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, False, CurrentTime);
        XSync(display_, False);
    }
    // Until the expected notices came, then a little longer for any more.
    void settle(size_t expected, const std::function<bool(const Msg&)>& stop) override {
        double start = backend().now_ms(), quiet_from = -1;
        Msg m;
        while (backend().now_ms() - start < 3000) {
            while (peek_message(m)) {
                if (stop(m)) continue;
                translate_message(m);
                dispatch_message(m);
            }
            if (notices().size() >= expected && quiet_from < 0) quiet_from = backend().now_ms();
            if (quiet_from >= 0 && backend().now_ms() - quiet_from > 150) return;
            backend().wait(10);
        }
    }

  private:
    Display* display_;
};

} // namespace

TEST_F(X11Test, UserActionsNotifyAsTheTableSays) {
    register_class({notice_parent_class, notice_parent_proc, CS_DBLCLKS, 0});
    XTestDriver driver(display);
    for (const auto& row : notification_rows()) {
        SCOPED_TRACE(row.name);
        std::string title = std::string("table ") + row.name;
        HWnd top =
            create_window(notice_parent_class, title, WS_VISIBLE, {100, 100, 500, 400}, 0, 0);
        settle();
        focus(top, title);
        HWnd w = run_row(driver, top, row, {20, 20, 220, 120});
        EXPECT_EQ(notices(), row.heard);
        if (row.check) row.check(w);
        destroy_window(top);
        settle();
    }
}

TEST_F(X11Test, FocusMovesByClicksOnlyToEnabledFields) {
    register_class({notice_parent_class, notice_parent_proc, CS_DBLCLKS, 0});
    HWnd top =
        create_window(notice_parent_class, "focus fields", WS_VISIBLE, {100, 100, 500, 400}, 0, 0);
    settle();
    focus(top, "focus fields");
    XTestDriver driver(display);
    std::vector<HWnd> fields = check_focus_moves(driver, top);
    EXPECT_EQ(get_window_text(fields[1]), ""); // Tab never reached GTK's entry
}

TEST_F(X11Test, ListItemsUnderAPointAreTheRowsGtkShows) {
    HWnd top = make_window("list rows", {100, 100, 400, 300});
    HWnd list = make_window("", {10, 10, 210, 160}, top, "ListBox");
    for (const char* item : {"one", "two", "three"})
        send_message(list, LB_ADDSTRING, 0, reinterpret_cast<int64_t>(item));
    settle();
    // Down the list: each row in turn, then past the last one.
    std::vector<int64_t> answers;
    for (int y = 1; y < 150; ++y) {
        int64_t hit = send_message(list, LB_ITEMFROMPOINT, 0, make_point_param(20, y));
        if (answers.empty() || answers.back() != hit) answers.push_back(hit);
    }
    EXPECT_EQ(answers, (std::vector<int64_t>{0, 1, 2, 2 | 1 << 16}));
}
