// Thousands of controls in one top-level: each control's own GDK window
// lies exactly where the layer put its window, cut at the top-level's
// client area, after creation and after every one of them has moved.
#include "x11_fixture.h"

#include "gui/backend/control_messages.h"

#include <gtk/gtk.h>

#include <map>

using namespace kiv::gui;
using namespace kiv::testing;

namespace {

struct Kind {
    const char* cls;
    uint32_t style;
};
// Those of a window of faces, each of them smaller than GTK's own minimum
// in at least one direction at the size used below.
constexpr Kind kinds[] = {
    {"BUTTON", BS_PUSHBUTTON}, {"BUTTON", BS_AUTOCHECKBOX}, {"EDIT", ES_AUTOHSCROLL}, {"STATIC", 0},
    {"msctls_trackbar32", 0},
};

GtkWidget* toplevel_titled(const std::string& title) {
    GList* all = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* l = all; l; l = l->next)
        if (const char* t = gtk_window_get_title(GTK_WINDOW(l->data)); t && title == t)
            found = GTK_WIDGET(l->data);
    g_list_free(all);
    return found;
}

// Each control's GDK window (its position in the top-level's window and
// its size, in device pixels), by the control's layer window.
void collect_controls(GtkWidget* widget, std::map<HWnd, Rect>& out) {
    if (gpointer data = g_object_get_data(G_OBJECT(widget), "kiv-control")) {
        GdkWindow* own = gtk_widget_get_window(widget);
        int x = 0, y = 0, w = 0, h = 0;
        gdk_window_get_geometry(own, &x, &y, &w, &h);
        int scale = gdk_window_get_scale_factor(own);
        out[GPOINTER_TO_UINT(data)] = {x * scale, y * scale, (x + w) * scale, (y + h) * scale};
        return;
    }
    if (GTK_IS_CONTAINER(widget))
        gtk_container_forall(
            GTK_CONTAINER(widget),
            [](GtkWidget* child, gpointer map) {
                collect_controls(child, *static_cast<std::map<HWnd, Rect>*>(map));
            },
            &out);
}

// Where the layer has each control: its window rectangle from the
// top-level's client corner, cut at the client area.
Rect expected_place(HWnd top, HWnd control) {
    Point origin = client_to_screen(top, {0, 0});
    Rect r = window_rect(control), client = client_rect(top);
    return {r.left - origin.x, r.top - origin.y, std::min(r.right - origin.x, client.right),
            std::min(r.bottom - origin.y, client.bottom)};
}

} // namespace

TEST_F(X11Test, ThousandsOfControlsLieWhereTheirWindowsAreAtAnyScale) {
    constexpr int count = 2000, per_column = 20;
    HWnd top = make_window("placement", {0, 0, 1240, 600});
    // A group of controls inside a child window: placed from the
    // top-level's corner all the same.
    HWnd group = make_window("", {40, 540, 1240, 600}, top);
    std::vector<HWnd> controls;
    for (int i = 0; i < count; ++i) {
        const Kind& kind = kinds[i % std::size(kinds)];
        bool grouped = i >= count - per_column;
        Rect at = grouped ? Rect{i % per_column * 56, 10, i % per_column * 56 + 50, 34}
                          : Rect{i / per_column * 12, i % per_column * 26,
                                 i / per_column * 12 + 100, i % per_column * 26 + 24};
        controls.push_back(create_window(kind.cls, "face", WS_CHILD | WS_VISIBLE | kind.style, at,
                                         grouped ? group : top, 0, uint32_t(i + 1)));
    }
    settle();
    auto check_all = [&](const char* when) {
        SCOPED_TRACE(when);
        std::map<HWnd, Rect> placed;
        collect_controls(toplevel_titled("placement"), placed);
        ASSERT_EQ(placed.size(), controls.size());
        int wrong = 0;
        for (HWnd c : controls)
            if (placed[c] != expected_place(top, c) && ++wrong <= 5)
                ADD_FAILURE() << "control " << get_control_id(c) << " at " << placed[c].left << ","
                              << placed[c].top << " to " << placed[c].right << ","
                              << placed[c].bottom;
        EXPECT_EQ(wrong, 0);
    };
    check_all("made");
    // Every control moves and changes size; the last column past the
    // top-level's right edge.
    for (HWnd c : controls) {
        Rect r = rect_in_parent(c);
        int shift = get_control_id(c) > count - 2 * per_column ? 1160 - r.left : 2;
        set_window_pos(c, {r.left + shift, r.top + 2, r.right + shift - 10, r.bottom});
    }
    settle();
    check_all("moved");
    destroy_window(top);
    settle();
}
