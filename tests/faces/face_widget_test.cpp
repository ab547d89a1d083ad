// Widgets filled from their faces, and what users do to them becoming
// events with the facets read back: one table of faces, user actions,
// events and facets; list data kept equal to the control; scroll bars of
// faces.
#include "face_fixture.h"

#include "gui/backend/control_actions.h"
#include "gui/backend/control_models.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/faces/face_styles.h"
#include "gui/backend/faces/group_frame.h"
#include "gui/backend/headless.h"
#include "gui/backend/image_lists.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/types.h"

#include <functional>

using namespace kiv;
using namespace kiv::gui;
using namespace kiv::testing;

namespace {

class FaceWidgetTest : public FaceTest {
  protected:
    static void run_loop() {
        while (do_events(true)) {
        }
    }
    static std::vector<std::string> list_items(HWnd list) {
        std::vector<std::string> out;
        for (const ListItem& item : control_model<ItemListModel>(list)->items)
            out.push_back(item.text);
        return out;
    }
};

struct ActionCase {
    const char* spec;
    std::function<void(HWnd)> act;
    std::vector<std::string> events;
    const char* facet;    // Kiv expression on `it`
    const char* expected; // its molded value afterwards
};

SystemTime day(int y, int m, int d) {
    SystemTime t;
    t.year = uint16_t(y), t.month = uint16_t(m), t.day = uint16_t(d);
    return t;
}

const ActionCase action_cases[] = {
    {"type: 'button size: 50x20", user_click, {"click"}, "win/selected = it", "true"},
    {"type: 'toggle size: 50x20", user_click, {"change"}, "it/data", "true"},
    {"type: 'check flags: [tri-state] data: false size: 50x20",
     [](HWnd w) {
         user_click(w);
         user_click(w);
     },
     {"change", "change"},
     "it/data",
     "none"},
    {"type: 'check flags: [tri-state] data: none size: 50x20",
     [](HWnd w) { user_click(w); },
     {"change"},
     "it/data",
     "false"},
    {"type: 'radio size: 50x20", user_click, {"click"}, "it/data", "false"},
    // A toolkit reports the user's edit after the key's dispatch.
    {"type: 'field size: 80x20 text: \"\"",
     [](HWnd w) {
         user_edit(w, "typed", {5, 5});
     },
     {"change"},
     "it/text",
     "\"typed\""},
    {"type: 'text-list size: 80x80 data: [\"a\" 1 \"b\" \"c\"]",
     [](HWnd w) {
         user_pick_item(w, 1);
         user_pick_item(w, 1); // the same item again: nothing
     },
     {"select", "change"},
     "it/selected",
     "2"},
    {"type: 'drop-list size: 80x20 data: [\"x\" \"y\"]",
     [](HWnd w) { user_pick_item(w, 1); },
     {"select", "change"},
     "reduce [it/selected it/text]",
     "[2 \"y\"]"},
    {"type: 'slider size: 200x20 data: 0%",
     [](HWnd w) { user_slide(w, TB_THUMBPOSITION, 50); },
     {"change"},
     "it/data",
     "25%"},
    // A move is told once: the thumb let go where it was dragged and the
    // end of the track change nothing.
    {"type: 'slider size: 200x20 data: 0%",
     [](HWnd w) {
         user_slide(w, TB_THUMBTRACK, 50);
         user_slide(w, TB_THUMBTRACK, 100);
         user_slide(w, TB_THUMBPOSITION, 100);
         user_slide(w, TB_ENDTRACK, 0);
     },
     {"change", "change"},
     "it/data",
     "50%"},
    {"type: 'slider size: 200x20 data: 0.5",
     [](HWnd w) {
         user_slide(w, TB_PAGEDOWN, 0);
         user_slide(w, TB_ENDTRACK, 0);
         user_slide(w, TB_BOTTOM, 0);
         user_slide(w, TB_BOTTOM, 0); // already at the end: nothing
     },
     {"change", "change"},
     "it/data",
     "1.0"},
    {"type: 'slider size: 20x200 data: 25%", [](HWnd) {}, {}, "it/data", "25%"},
    {"type: 'scroller size: 200x16 selected: 50%",
     [](HWnd w) {
         user_scroll(w, SB_CTL, SB_PAGEDOWN, 0);
         user_scroll(w, SB_CTL, SB_PAGEDOWN, 0); // beyond the end: kept at the end
     },
     {"change", "change"},
     "it/data",
     "0.51"},
    {"type: 'calendar size: 200x160 data: 1-Feb-2020",
     [](HWnd w) {
         user_show_month(w, 2021, 5); // navigation changes nothing
         user_pick_day(w, day(2020, 3, 9));
     },
     {"change"},
     "it/data",
     "9-Mar-2020"},
    {"type: 'tab-panel size: 100x100 data: [\"one\" \"two\"]",
     [](HWnd w) { user_select_tab(w, 1); },
     {"select", "change"},
     "it/selected",
     "2"},
};

} // namespace

TEST_F(FaceWidgetTest, UserActionsBecomeEventsWithFacetsReadBack) {
    HWnd w = window_face("size: 300x300");
    for (const ActionCase& c : action_cases) {
        HWnd control = child(w, "it", c.spec);
        events.clear();
        c.act(control);
        run_loop();
        EXPECT_EQ(events, c.events) << c.spec;
        EXPECT_EQ(molded(eval(c.facet)), c.expected) << c.spec;
    }
}

TEST_F(FaceWidgetTest, AStoppedTabSelectionKeepsTheTab) {
    HWnd w = window_face("size: 300x300");
    HWnd tabs = child(w, "it", "type: 'tab-panel size: 100x100 data: [\"one\" \"two\"]");
    answer = "stop";
    EXPECT_FALSE(user_select_tab(tabs, 1));
    EXPECT_EQ(events, std::vector<std::string>{"select"});
    EXPECT_EQ(send_message(tabs, TCM_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(molded(eval("it/selected")), "1");
}

TEST_F(FaceWidgetTest, TypingChangesTheTextFacet) {
    HWnd w = window_face("size: 300x300");
    HWnd field = child(w, "it", "type: 'field size: 80x20 text: \"\"");
    set_focus(field);
    run_loop();
    events.clear();
    input_key('A', 0x1E, false, true, 'a');
    input_key('A', 0x1E, false, false, 0);
    run_loop();
    EXPECT_EQ(molded(eval("it/text")), "\"a\"");
    EXPECT_NE(std::find(events.begin(), events.end(), "change"), events.end());
    // Text set by code changes the control but makes no event.
    events.clear();
    change(*Rooted<Cell>(eval("it")), gui::faces::f_text, "\"xyz\"");
    update(*Rooted<Cell>(eval("it")));
    EXPECT_EQ(get_window_text(field), "xyz");
    EXPECT_TRUE(events.empty());
}

// A selection made by keys is in the face when its select event comes.
TEST_F(FaceWidgetTest, KeysThatSelectReadTheSelectionIntoTheFace) {
    struct Key {
        uint32_t vk, scan;
        bool extended;
        uint32_t text;
    };
    constexpr Key shift{VK_SHIFT, 0x2A, false, 0}, right{VK_RIGHT, 0x4D, true, 0},
        control{VK_CONTROL, 0x1D, false, 0}, a{'A', 0x1E, false, 1};
    struct Case {
        const char* spec;
        std::vector<Key> chord; // pressed in order, let go in reverse
        int presses;
        const char* selected;
    };
    const Case cases[] = {
        {"type: 'field size: 80x20 text: \"hello\"", {shift, right}, 2, "1x2"},
        {"type: 'area size: 80x80 text: \"ab^/cd\"", {control, a}, 1, "1x5"},
    };
    HWnd w = window_face("size: 300x300");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spec);
        HWnd edit = child(w, "it", c.spec);
        set_focus(edit);
        run_loop();
        EXPECT_EQ(molded(eval("it/selected")), "none");
        events.clear();
        const Key& held = c.chord.front();
        const Key& last = c.chord.back();
        input_key(held.vk, held.scan, held.extended, true, 0);
        for (int i = 0; i < c.presses; ++i) {
            input_key(last.vk, last.scan, last.extended, true, last.text);
            input_key(last.vk, last.scan, last.extended, false, 0);
        }
        input_key(held.vk, held.scan, held.extended, false, 0);
        run_loop();
        EXPECT_NE(std::find(events.begin(), events.end(), "select"), events.end());
        EXPECT_EQ(molded(eval("it/selected")), c.selected);
        destroy_window(edit);
    }
}

TEST_F(FaceWidgetTest, ControlsFollowTheirFacets) {
    HWnd w = window_face("size: 300x300");
    HWnd list = child(w, "it", "type: 'text-list size: 80x80 data: [\"a\" 1 \"bbb\"] selected: 0");
    EXPECT_EQ(list_items(list), (std::vector<std::string>{"a", "bbb"}));
    EXPECT_EQ(get_window_long(list, gui::faces::slot_extra), 3); // the longest item
    EXPECT_EQ(send_message(list, LB_GETCURSEL, 0, 0), -1);
    HWnd tabs =
        child(w, "it", "type: 'tab-panel size: 100x100 data: [\"a\" \"b\" \"c\"] selected: 7");
    EXPECT_EQ(send_message(tabs, TCM_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(molded(eval("it/selected")), "3");
    HWnd check = child(w, "it", "type: 'check flags: [tri-state] size: 20x20");
    EXPECT_EQ(send_message(check, BM_GETCHECK, 0, 0), BST_INDETERMINATE);
    HWnd slider = child(w, "it", "type: 'slider size: 20x200 data: 25%");
    EXPECT_EQ(send_message(slider, TBM_GETPOS, 0, 0), 150);
    // A progress bar's position follows its data, made and changed.
    Rooted<Cell> bar(eval("it: make face-template [type: 'progress size: 200x16 data: 25%]"));
    HWnd progress = show(*bar, w);
    EXPECT_EQ(send_message(progress, PBM_GETPOS, 0, 0), 50);
    change(*bar, gui::faces::f_data, "60%");
    update(*bar);
    EXPECT_EQ(send_message(progress, PBM_GETPOS, 0, 0), 120);
    HWnd area = child(w, "it", "type: 'area size: 80x80 text: \"a^/bcdef\" selected: 2x4");
    EXPECT_EQ(get_window_text(area), "a\nbcdef");
    Selection s = edit_selection(area);
    EXPECT_EQ(s.start, 1);
    EXPECT_EQ(s.end, 4);
    HWnd calendar = child(w, "it", "type: 'calendar size: 200x160 data: 3-Jan-1500");
    SystemTime shown;
    send_message(calendar, MCM_GETCURSEL, 0, reinterpret_cast<int64_t>(&shown));
    EXPECT_EQ(shown.year, 1601);
    HWnd scroller = child(w, "it", "type: 'scroller size: 200x16 selected: \"odd\"");
    ScrollInfo info{SIF_ALL};
    get_scroll_info(scroller, SB_CTL, info);
    EXPECT_EQ(info.page, 10u);
    EXPECT_EQ(molded(eval("reduce [it/selected it/data]")), "[10% 0.0]");
}

TEST_F(FaceWidgetTest, ChangesInsideListDataKeepTheControlEqualToIt) {
    HWnd w = window_face("size: 300x300");
    HWnd list = child(w, "it", "type: 'text-list size: 80x80 data: [\"a\" \"b\"]");
    HWnd combo = child(w, "it", "type: 'drop-down size: 80x20 data: [\"a\" \"b\"]");
    HWnd tabs = child(w, "it", "type: 'tab-panel size: 80x80 data: [\"a\" \"b\"]");
    const char* steps[] = {
        "insert d 'x", "insert d \"new\"", "append d [\"p\" \"q\"]", "reverse d", "sort d",
        "remove d",    "change d \"c\"",   "uppercase first d",      "clear d"};
    for (HWnd control : {list, combo, tabs}) {
        for (const char* step : steps) {
            eval(std::string("f: pick win/pane ") +
                 (control == list    ? "1"
                  : control == combo ? "2"
                                     : "3") +
                 " d: f/data " + step);
            Rooted<Cell> f(eval("f")), data(eval("f/data"));
            routine("on-change-facet", {*f, eval("'data"), *data, eval("'changed"), eval("none"),
                                        Cell{TYPE_INTEGER, 0, 0, 0}, Cell{TYPE_INTEGER, 0, 1, 0}});
            std::vector<std::string> expected;
            for (int i = 1;
                 molded(eval("d: f/data " + std::to_string(i) + " <= length? d")) == "true"; ++i) {
                std::string v = molded(eval("pick d " + std::to_string(i)));
                if (v.front() == '"') expected.push_back(v.substr(1, v.size() - 2));
            }
            std::vector<std::string> shown;
            if (control == tabs)
                for (const Tab& t : control_model<TabModel>(tabs)->tabs) shown.push_back(t.text);
            else
                shown = list_items(control);
            EXPECT_EQ(shown, expected) << step;
        }
    }
}

TEST_F(FaceWidgetTest, ButtonImageListsComeFromTheImageFacet) {
    HWnd w = window_face("size: 200x200");
    eval("red: make image! [4x4 255.0.0] green: make image! [4x4 0.255.0]"
         " blue: make image! [8x8 0.0.255]");
    constexpr uint32_t r = 0xFFFF0000u, g = 0xFF00FF00u, b = 0xFF0000FFu;
    struct Case {
        const char* image;
        int width, height;
        std::vector<uint32_t> slots; // the middle pixel of each
    } cases[] = {
        {"red", 4, 4, {r}},
        {"reduce [red green]", 4, 4, {r, g, r, r, r, r}},
        {"reduce [red blue green]", 4, 4, {r, b, g, r, r, r}}, // blue scaled
        {"reduce [blue 2x3]", 2, 3, {b}},
        {"none", 0, 0, {}},
        {"[1 2]", 0, 0, {}},
    };
    auto middle = [](cairo_surface_t* s) {
        cairo_surface_flush(s);
        int x = cairo_image_surface_get_width(s) / 2, y = cairo_image_surface_get_height(s) / 2;
        auto* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
        return reinterpret_cast<uint32_t*>(row)[x];
    };
    HImageList previous = 0;
    for (const char* type : {"'button", "'toggle"}) {
        HWnd button = child(w, "pictured", std::string("type: ") + type + " size: 40x20");
        Rooted<Cell> face(eval("pictured"));
        for (const Case& c : cases) {
            change(*face, gui::faces::f_image, c.image);
            update(*face);
            HImageList list = control_model<ButtonModel>(button)->images.list;
            EXPECT_EQ(image_list_count(previous), 0) << c.image; // the old list is gone
            previous = list;
            std::vector<uint32_t> slots;
            for (int i = 0; i < image_list_count(list); ++i) {
                cairo_surface_t* picture = image_list_picture(list, i);
                EXPECT_EQ(cairo_image_surface_get_width(picture), c.width) << c.image;
                EXPECT_EQ(cairo_image_surface_get_height(picture), c.height) << c.image;
                slots.push_back(middle(picture));
            }
            EXPECT_EQ(slots, c.slots) << type << " " << c.image;
        }
        // States show their own slot, the first where the list has one.
        change(*face, gui::faces::f_image, "reduce [red green blue]");
        update(*face);
        HImageList list = control_model<ButtonModel>(button)->images.list;
        EXPECT_EQ(image_slot(list, ButtonLook::pressed), 2);
        EXPECT_EQ(image_slot(list, ButtonLook::stylus_hot), 5);
        change(*face, gui::faces::f_image, "red");
        update(*face);
        EXPECT_EQ(image_slot(control_model<ButtonModel>(button)->images.list, ButtonLook::pressed),
                  0);
        previous = control_model<ButtonModel>(button)->images.list;
        routine("destroy-view", {*face, eval("false")});
        EXPECT_EQ(image_list_count(previous), 0) << type; // freed with the face
        previous = 0;
    }
}

TEST_F(FaceWidgetTest, AreaBarsShowWhereTheTextDoesNotFit) {
    HWnd w = window_face("size: 400x400");
    eval("wrapping: make object! [origin: none padding: none scroll: none align: 'left"
         " v-align: 'top wrap?: true parent: none]"
         " tall: append/dup copy \"\" \"line^/\" 20 wide: append/dup copy \"\" \"word \" 30");
    struct Case {
        const char* text;
        const char* size;
        bool horizontal, vertical;
    } cases[] = {
        {"\"short\"", "100x60", false, false}, {"tall", "100x60", false, true},
        {"wide", "100x60", true, false},       {"append copy wide tall", "100x60", true, true},
        {"none", "100x60", false, false},      {"append copy wide tall", "2000x1000", false, false},
    };
    for (const char* para : {"none", "wrapping"}) {
        HWnd area = child(w, "notes", std::string("type: 'area size: 100x60 para: ") + para);
        Rooted<Cell> face(eval("notes"));
        for (const Case& c : cases) {
            change(*face, gui::faces::f_size, c.size);
            change(*face, gui::faces::f_text, c.text);
            update(*face);
            const ScrollModel* bars = control_model<ScrollModel>(area);
            ASSERT_NE(bars, nullptr);
            bool wrapped = std::string(para) == "wrapping";
            // Wrapped text never asks for the horizontal bar, and the
            // wide line wrapped is taller than the area.
            bool vertical = c.vertical || (wrapped && c.horizontal);
            EXPECT_EQ(bars->shown[SB_HORZ], c.horizontal && !wrapped) << para << " " << c.text;
            EXPECT_EQ(bars->shown[SB_VERT], vertical) << para << " " << c.text << " " << c.size;
        }
    }
    // Typing a line too long for the area shows the bar at once.
    HWnd typed = child(w, "typed", "type: 'area size: 100x60 text: \"\"");
    for (int i = 0; i < 40; ++i) post_message(typed, WM_CHAR, 'x', 0);
    run_loop();
    EXPECT_EQ(molded(eval("length? typed/text")), "40");
    EXPECT_TRUE(control_model<ScrollModel>(typed)->shown[SB_HORZ]);
}

// Text set on an area by code and text pasted into it always go in whole:
// the control's limit is raised first, with room to type after it.
TEST_F(FaceWidgetTest, AnAreasLimitMakesRoomForTextSetOrPasted) {
    HWnd w = window_face("size: 400x400");
    eval("long: append/dup copy \"\" \"x\" 40000");
    HWnd area = child(w, "notes", "type: 'area size: 100x60 text: long");
    auto limit = [&] { return send_message(area, EM_GETLIMITTEXT, 0, 0); };
    EXPECT_EQ(get_window_text(area).size(), 40000u);
    EXPECT_EQ(limit(), 40000 + 32768);
    Rooted<Cell> face(eval("notes"));
    change(*face, gui::faces::f_text, "append copy long long");
    update(*face);
    EXPECT_EQ(get_window_text(area).size(), 80000u);
    EXPECT_EQ(limit(), 80000 + 32768);
    // A paste longer than the room left: the limit grows before it.
    send_message(area, EM_SETLIMITTEXT, 80001, 0);
    send_message(area, EM_SETSEL, 80000, 80000);
    static_cast<HeadlessBackend&>(backend()).script_clipboard("\u00e9t\u00e9");
    post_message(area, WM_CHAR, 22, 0);
    run_loop();
    EXPECT_EQ(molded(eval("length? notes/text")), "80003");
    EXPECT_EQ(limit(), 80003 + 32768);
}

TEST_F(FaceWidgetTest, TabPagesFitThePageAreaAndFollowTheTabPanel) {
    HWnd w = window_face("size: 400x400");
    HWnd tabs =
        child(w, "tabs", "type: 'tab-panel offset: 10x20 size: 200x150 data: [\"a\" \"b\"]");
    eval("paired: make face-template [type: 'panel parent: tabs size: 5x5]"
         " unsized: make face-template [type: 'panel parent: tabs]"
         " loose: make face-template [type: 'panel offset: 1x1 size: 30x30]"
         " tabs/pane: reduce [paired unsized loose]");
    HWnd paired = show(*Rooted<Cell>(eval("paired")), tabs);
    show(*Rooted<Cell>(eval("unsized")), tabs);
    HWnd loose = show(*Rooted<Cell>(eval("loose")), tabs);
    // The page area of a 200x150 tab control (TCM_ADJUSTRECT), widened by
    // the edge around it; a size keeps its type (none becomes a point).
    auto expected = [&](int width, int height) {
        Rect a{0, 0, width, height};
        send_message(tabs, TCM_ADJUSTRECT, 0, reinterpret_cast<int64_t>(&a));
        return Rect{a.left - 3, a.top - 1, a.right + 1, a.bottom + 2};
    };
    Rect page = expected(200, 150);
    EXPECT_EQ(rect_in_parent(paired), page);
    EXPECT_EQ(page, (Rect{-1, 25, 199, 150}));
    EXPECT_EQ(molded(eval("reduce [paired/offset paired/size unsized/size loose/offset]")),
              "[(-1, 25) 200x125 (200, 125) (1, 1)]");
    EXPECT_EQ(rect_in_parent(loose), (Rect{1, 1, 31, 31}));
    // Resized: fitted again in place; moved: the pages go beside the tab
    // control at its new place.
    Rooted<Cell> panel(eval("tabs"));
    change(*panel, gui::faces::f_size, "300x200");
    update(*panel);
    page = expected(300, 200);
    EXPECT_EQ(rect_in_parent(paired), page);
    change(*panel, gui::faces::f_offset, "50x60");
    update(*panel);
    EXPECT_EQ(get_parent(paired), w);
    EXPECT_EQ(rect_in_parent(paired),
              (Rect{50 + page.left, 60 + page.top, 50 + page.right, 60 + page.bottom}));
    EXPECT_EQ(get_parent(loose), tabs); // no page of the tab panel
}

TEST_F(FaceWidgetTest, AGroupBoxShowsItsTextInAFrameThePointerPassesThrough) {
    HWnd w = window_face("size: 300x300");
    HWnd box = child(w, "box", "type: 'group-box offset: 10x10 size: 150x100 text: \"Options\"");
    eval("inner: make face-template [type: 'button offset: 20x30 size: 40x20]"
         " box/pane: reduce [inner]");
    HWnd inner = show(*Rooted<Cell>(eval("inner")), box);
    HWnd frame = gui::faces::group_frame(box);
    ASSERT_NE(frame, 0u);
    EXPECT_EQ(class_name(frame), "BUTTON");
    EXPECT_EQ(get_style(frame) & (BS_TYPEMASK | gui::faces::WS_GROUP),
              BS_GROUPBOX | gui::faces::WS_GROUP);
    EXPECT_NE(send_message(frame, WM_GETFONT, 0, 0), 0);
    // The frame covers the panel but takes no pointer: the panel and the
    // faces inside it do.
    EXPECT_EQ(window_from_point(client_to_screen(box, {5, 5})), box);
    EXPECT_EQ(window_from_point(client_to_screen(box, {25, 35})), inner);
    Rooted<Cell> face(eval("box"));
    struct Step {
        gui::faces::Facet facet;
        const char* value;
        Rect rect;
        const char* text;
        bool visible;
    } steps[] = {
        {gui::faces::f_text, "\"Choices\"", {0, 0, 150, 100}, "Choices", true},
        {gui::faces::f_size, "200x120", {0, 0, 200, 120}, "Choices", true},
        {gui::faces::f_visible, "false", {0, 0, 200, 120}, "Choices", false},
        {gui::faces::f_visible, "true", {0, 0, 200, 120}, "Choices", true},
    };
    EXPECT_EQ(rect_in_parent(frame), (Rect{0, 0, 150, 100}));
    EXPECT_EQ(get_window_text(frame), "Options");
    for (const Step& step : steps) {
        change(*face, step.facet, step.value);
        update(*face);
        EXPECT_EQ(rect_in_parent(frame), step.rect) << step.value;
        EXPECT_EQ(get_window_text(frame), step.text) << step.value;
        EXPECT_EQ(bool(get_style(frame) & WS_VISIBLE), step.visible) << step.value;
    }
    routine("destroy-view", {*face, Cell{TYPE_LOGIC, 0, 0, 0}});
    EXPECT_FALSE(is_window(frame));
}
