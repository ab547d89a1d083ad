// The GTK views of the built-in controls: the notification table with
// input through XTest (it must agree with the headless run), and the views
// following their models.
#include "tests/unit/control_notifications.h"
#include "x11_fixture.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gtk/gtk.h>

#include <functional>

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

namespace {

// The layer window whose control a widget is part of.
HWnd control_window_of_widget(GtkWidget* widget) {
    for (; widget; widget = gtk_widget_get_parent(widget))
        if (gpointer data = g_object_get_data(G_OBJECT(widget), "kiv-control"))
            return GPOINTER_TO_UINT(data);
    return 0;
}

// The text GTK's widget of an edit shows.
std::string shown_text(HWnd edit) {
    GList* tops = gtk_window_list_toplevels();
    std::string text;
    std::function<void(GtkWidget*)> visit = [&](GtkWidget* widget) {
        if (GTK_IS_ENTRY(widget) && control_window_of_widget(widget) == edit)
            text = gtk_entry_get_text(GTK_ENTRY(widget));
        if (GTK_IS_TEXT_VIEW(widget) && control_window_of_widget(widget) == edit) {
            GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(widget));
            GtkTextIter start, end;
            gtk_text_buffer_get_bounds(buffer, &start, &end);
            gchar* all = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
            text = all;
            g_free(all);
        }
        if (GTK_IS_CONTAINER(widget))
            gtk_container_forall(
                GTK_CONTAINER(widget),
                [](GtkWidget* child, gpointer f) {
                    (*static_cast<std::function<void(GtkWidget*)>*>(f))(child);
                },
                &visit);
    };
    for (GList* l = tops; l; l = l->next) visit(GTK_WIDGET(l->data));
    g_list_free(tops);
    return text;
}

} // namespace

// The text limit holds for what GTK's widgets take in too: characters
// typed past it and the part of a paste past it stay neither in the model
// nor on the screen.
TEST_F(X11Test, TheTextLimitHoldsInGtksEdits) {
    HWnd top = make_window("limits", {100, 100, 500, 400});
    settle();
    focus(top, "limits");
    for (uint32_t style : {0u, uint32_t(ES_MULTILINE)}) {
        SCOPED_TRACE(style);
        HWnd edit = create_window("EDIT", "ab", WS_CHILD | WS_VISIBLE | style, {20, 20, 220, 120},
                                  top, 0, 5);
        send_message(edit, EM_SETLIMITTEXT, 4, 0);
        set_focus(edit);
        send_message(edit, EM_SETSEL, 2, 2);
        settle();
        for (unsigned long letter : {XK_c, XK_d, XK_e}) tap({letter});
        pump_until([&] { return get_window_text(edit) == "abcd"; });
        settle();
        EXPECT_EQ(get_window_text(edit), "abcd");
        EXPECT_EQ(shown_text(edit), "abcd");
        // "bc" replaced: room for two of the three.
        gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "xyz", -1);
        send_message(edit, EM_SETSEL, 1, 3);
        settle();
        tap({XK_Control_L, XK_v});
        pump_until([&] { return get_window_text(edit) == "axyd"; });
        settle();
        EXPECT_EQ(get_window_text(edit), "axyd");
        EXPECT_EQ(shown_text(edit), "axyd");
        destroy_window(edit);
    }
}
