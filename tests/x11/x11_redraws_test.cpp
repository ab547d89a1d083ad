// How often GTK redraws a top-level while the layer paints a batch of its
// child windows: every redraw of the top-level walks all of its widgets,
// so children painted one message at a time by a slow loop (a script's,
// which lets GTK run between two messages) must not each redraw it.
#include "x11_fixture.h"

#include "gui/backend/control_messages.h"

#include <gtk/gtk.h>

#include <cstring>

namespace kiv::testing {
namespace {

using namespace gui;

constexpr int children = 20;
// The first showing may take a redraw for the mapping, one for the
// exposure and one for the paints; a repaint of every child one or two.
constexpr int most_redraws = 4;

// Runs the loop as a script's does: one message, then GTK's own loop for
// about a frame.
void run_slowly() {
    Msg m;
    while (peek_message(m)) {
        translate_message(m);
        dispatch_message(m);
        backend().wait(20);
    }
}

gboolean count_draw(GtkWidget*, cairo_t*, gpointer count) {
    ++*static_cast<int*>(count);
    return FALSE;
}

// The GtkWindow of the top-level with the title.
GtkWidget* gtk_toplevel(const char* title) {
    GList* all = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* l = all; l && !found; l = l->next) {
        const char* t = gtk_window_get_title(GTK_WINDOW(l->data));
        if (t && std::strcmp(t, title) == 0) found = GTK_WIDGET(l->data);
    }
    g_list_free(all);
    return found;
}

struct ChildKind {
    const char* name;
    const char* cls;
    uint32_t style;
    bool shows_paint; // GTK shows what the window paints
    bool painted;     // the layer paints it (a button's parent may draw its caption)
};
// Windows whose surface GTK shows (the probe) and controls GTK draws
// itself.
constexpr ChildKind kinds[] = {
    {"plain window", probe_class, 0, true, true},
    {"button", "BUTTON", BS_PUSHBUTTON, false, true},
    {"check box", "BUTTON", BS_AUTOCHECKBOX, false, true},
    {"label", "STATIC", 0, false, false},
    {"field", "EDIT", 0, false, false},
    {"slider", "msctls_trackbar32", 0, false, false},
};

TEST_F(X11Test, ABatchOfPaintedChildrenRedrawsTheTopLevelAFewTimes) {
    for (const ChildKind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        HWnd top = create_window(probe_class, "redraws", 0, {50, 50, 560, 120}, 0, 0);
        std::vector<HWnd> made;
        for (int i = 0; i < children; ++i) {
            int x = i % 10 * 50, y = i / 10 * 30;
            made.push_back(create_window(kind.cls, "w", WS_CHILD | WS_VISIBLE | kind.style,
                                         {x, y, x + 48, y + 28}, top, 0, uint32_t(i + 1)));
        }
        GtkWidget* toplevel = gtk_toplevel("redraws");
        ASSERT_NE(toplevel, nullptr);
        int redraws = 0;
        g_signal_connect(toplevel, "draw", G_CALLBACK(count_draw), &redraws);
        show_window(top, SW_SHOW);
        run_slowly();
        settle();
        EXPECT_GE(redraws, 1);
        EXPECT_LE(redraws, most_redraws) << "showing";

        redraws = 0;
        paint_color() = 0x00FF00;
        for (HWnd child : made) invalidate_rect(child, nullptr, true);
        run_slowly();
        settle();
        EXPECT_LE(redraws, most_redraws) << "repainting";
        if (kind.shows_paint) {
            // The batch reached the screen: the last child shows the new colour.
            Point at = client_to_screen(made.back(), {24, 14});
            EXPECT_TRUE(pump_until([&] { return pixel(at.x, at.y) == 0x00FF00; }))
                << std::hex << pixel(at.x, at.y);
        }
        paint_color() = 0xFFFFFF;
        destroy_window(top);
        settle();
    }
}

// A control GTK draws itself is not painted: no surface, and its invalid
// area is done with.
TEST_F(X11Test, OnlyWindowsWhosePaintMayShowArePainted) {
    HWnd top = make_window("painted", {50, 50, 400, 200});
    for (const ChildKind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        HWnd child = create_window(kind.cls, "w", WS_CHILD | WS_VISIBLE | kind.style,
                                   {10, 10, 58, 38}, top, 0, 1);
        settle();
        invalidate_rect(child, nullptr, true);
        PaintStruct ps;
        cairo_t* cr = begin_paint(child, ps);
        EXPECT_EQ(cr != nullptr, kind.painted);
        end_paint(child, ps);
        Rect left;
        EXPECT_FALSE(get_update_rect(child, left));
        destroy_window(child);
    }
}

} // namespace
} // namespace kiv::testing
