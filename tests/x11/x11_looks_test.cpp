// What only the X server shows: the caret inverting its owner's pixels on
// the screen and blinking there, a button's image list picture by state,
// and a caption its parent draws in place of GTK's.
#include "x11_fixture.h"

#include "gui/backend/control_models.h"
#include "gui/backend/text/font_style.h"
#include "gui/backend/text/fonts.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <cstdlib>
#include <functional>
#include <gtk/gtk.h>

using namespace kiv;
using namespace kiv::gui;
using namespace kiv::testing;

namespace {

bool near_color(uint32_t a, uint32_t b) {
    for (int shift : {0, 8, 16})
        if (std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)) > 24) return false;
    return true;
}

cairo_surface_t* solid(int size, double r, double g, double b) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, r, g, b);
    cairo_paint(cr);
    cairo_destroy(cr);
    return s;
}

// Draws every button's caption as a red bar across its middle.
int64_t caption_parent_proc(HWnd w, uint32_t m, uint64_t wp, int64_t lp) {
    if (m != WM_NOTIFY) return def_window_proc(w, m, wp, lp);
    auto* draw = reinterpret_cast<CustomDraw*>(lp);
    if (draw->header.code != NM_CUSTOMDRAW) return 0;
    cairo_set_source_rgb(draw->cr, 1, 0, 0);
    cairo_rectangle(draw->cr, 10, draw->rect.height() / 2 - 4, draw->rect.width() - 20, 8);
    cairo_fill(draw->cr);
    return CDRF_SKIPDEFAULT;
}

} // namespace

TEST_F(X11Test, TheCaretInvertsItsOwnersPixelsOnTheScreenAndBlinks) {
    paint_color() = 0x204060;
    HWnd top = make_window("caret", {100, 100, 300, 200});
    settle();
    ASSERT_TRUE(create_caret(top, 6, 20));
    set_caret_pos({40, 30});
    show_caret(top);
    Point at = client_to_screen(top, {42, 40}), beside = client_to_screen(top, {60, 40});
    EXPECT_TRUE(pump_until([&] { return near_color(pixel(at.x, at.y), 0xDFBF9F); }))
        << std::hex << pixel(at.x, at.y);
    EXPECT_TRUE(near_color(pixel(beside.x, beside.y), 0x204060))
        << std::hex << pixel(beside.x, beside.y);
    if (backend().caret_blink_ms() >= 0) {
        EXPECT_TRUE(pump_until([&] { return near_color(pixel(at.x, at.y), 0x204060); }))
            << std::hex << pixel(at.x, at.y);
    }
    destroy_caret();
    EXPECT_TRUE(pump_until([&] { return near_color(pixel(at.x, at.y), 0x204060); }));
}

TEST_F(X11Test, AButtonShowsItsImageListPictureForItsState) {
    HWnd top = make_window("pictures", {100, 100, 300, 250});
    HWnd button = create_window("BUTTON", "", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                {20, 20, 140, 100}, top, 0, 1);
    ASSERT_NE(button, 0u);
    ButtonImageList record;
    record.list = image_list_create(32, 32, 6);
    cairo_surface_t* red = solid(32, 1, 0, 0);
    cairo_surface_t* green = solid(16, 0, 1, 0); // scaled to the list's size
    cairo_surface_t* blue = solid(32, 0, 0, 1);
    for (cairo_surface_t* picture : {red, green, blue, red, red, red})
        image_list_add(record.list, picture);
    for (cairo_surface_t* picture : {red, green, blue}) cairo_surface_destroy(picture);
    send_message(button, BCM_SETIMAGELIST, 0, reinterpret_cast<int64_t>(&record));
    settle();
    Point middle = client_to_screen(button, {60, 40}), away = client_to_screen(top, {180, 130});
    move_pointer(away.x, away.y);
    struct Step {
        const char* state;
        std::function<void()> act;
        uint32_t color;
    } steps[] = {
        {"normal", [] {}, 0xFF0000},
        {"hot", [&] { move_pointer(middle.x, middle.y); }, 0x00FF00},
        {"pressed", [&] { click(1, true); }, 0x0000FF},
        {"hot again", [&] { click(1, false); }, 0x00FF00},
        {"normal again", [&] { move_pointer(away.x, away.y); }, 0xFF0000},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_TRUE(pump_until([&] { return near_color(pixel(middle.x, middle.y), s.color); }))
            << s.state << " " << std::hex << pixel(middle.x, middle.y);
    }
    image_list_destroy(record.list);
}

TEST_F(X11Test, ACaptionTheParentDrawsReplacesGtksOwn) {
    register_class({"CaptionParent", caption_parent_proc, 0, 0});
    HWnd top = create_window("CaptionParent", "captions", WS_VISIBLE, {100, 100, 300, 250}, 0, 0);
    HWnd button = create_window("BUTTON", "Caption", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                {20, 20, 140, 100}, top, 0, 1);
    settle();
    Point middle = client_to_screen(button, {60, 40}), edge = client_to_screen(button, {60, 10});
    EXPECT_TRUE(pump_until([&] { return near_color(pixel(middle.x, middle.y), 0xFF0000); }))
        << std::hex << pixel(middle.x, middle.y);
    EXPECT_TRUE(control_model<ButtonModel>(button)->own_caption);
    EXPECT_FALSE(near_color(pixel(edge.x, edge.y), 0xFF0000)); // GTK's button around it
}

TEST_F(X11Test, TheTabPageAreaIsTheNotebooksOwn) {
    HWnd top = make_window("tab pages", {100, 100, 400, 350});
    HWnd tabs =
        create_window("SysTabControl32", "", WS_CHILD | WS_VISIBLE, {20, 20, 260, 220}, top, 0, 1);
    ASSERT_NE(tabs, 0u);
    for (const char* text : {"First", "Second"}) {
        TabItem item;
        item.mask = TCIF_TEXT;
        item.text = text;
        send_message(tabs, TCM_INSERTITEM, 9, reinterpret_cast<int64_t>(&item));
    }
    // Asked before GTK has shown the notebook, and after: the same area.
    Rect early = client_rect(tabs);
    send_message(tabs, TCM_ADJUSTRECT, 0, reinterpret_cast<int64_t>(&early));
    settle();
    Rect area = client_rect(tabs);
    send_message(tabs, TCM_ADJUSTRECT, 0, reinterpret_cast<int64_t>(&area));
    EXPECT_EQ(early, area);
    Rect back = area;
    send_message(tabs, TCM_ADJUSTRECT, 1, reinterpret_cast<int64_t>(&back));
    EXPECT_EQ(back, client_rect(tabs));
    // The page's own background starts at the area's top; the tab row
    // lies above it.
    Point middle =
        client_to_screen(tabs, {(area.left + area.right) / 2, (area.top + area.bottom) / 2});
    Point inside = client_to_screen(tabs, {area.left + 8, area.top + 2});
    Point above = client_to_screen(tabs, {area.left + 8, area.top - 6});
    uint32_t page = pixel(middle.x, middle.y);
    EXPECT_TRUE(near_color(pixel(inside.x, inside.y), page))
        << std::hex << pixel(inside.x, inside.y);
    EXPECT_FALSE(pixel(above.x, above.y) == page) << std::hex << page;
}

// An input method's pre-edit text (GTK's own: Ctrl+Shift+U starts a code
// point, showing "u") appears at the caret of the window it composes in,
// in that window's composition font: its ink is as tall as that font's.
TEST_F(X11Test, ThePreeditShowsAtTheCaretInTheCompositionFont) {
    g_object_set(gtk_settings_get_default(), "gtk-im-module", "gtk-im-context-simple", nullptr);
    HWnd top = make_window("preedit", {100, 100, 500, 300});
    paint_color() = 0xFFFFFF;
    HWnd pane = make_window("", {0, 0, 400, 200}, top);
    settle();
    focus(top, "preedit");
    set_focus(pane);
    create_caret(pane, 2, 10);
    set_caret_pos({100, 40});
    Point at = client_to_screen(pane, {100, 40});
    // The height of the dark ink right of the caret.
    auto ink = [&] {
        int first = -1, last = -1;
        for (int y = at.y; y < at.y + 120; ++y)
            for (int x = at.x + 2; x < at.x + 60; ++x)
                if ((pixel(x, y) & 0xFF) < 0x80) {
                    if (first < 0) first = y;
                    last = y;
                    break;
                }
        return first < 0 ? 0 : last - first + 1;
    };
    int heights[2] = {};
    for (int i = 0; i < 2; ++i) {
        text::Font* font = text::new_font({}, "DejaVu Sans", i ? 64 : 16);
        set_composition_font(pane, reinterpret_cast<uint64_t>(font));
        text::release_font(font);
        tap({XK_Control_L, XK_Shift_L, XK_u});
        EXPECT_TRUE(pump_until([&] { return ink() > 0; }));
        settle();
        heights[i] = ink();
        tap({XK_Escape});
        EXPECT_TRUE(pump_until([&] { return ink() == 0; }));
    }
    // "u" with its underline: about half the font's size.
    EXPECT_GT(heights[0], 4);
    EXPECT_LT(heights[0], 16);
    EXPECT_GT(heights[1], 28);
    destroy_window(top);
}
