// Facet changes reaching the windows: each change bit changes exactly its
// part, a block of faces in one batch, panes linked and unlinked, and
// face trees destroyed without leaving a face, a timer or a message.
#include "face_fixture.h"

#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/word.h"
#include "gui/backend/faces/base_face.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/faces/face_styles.h"
#include "gui/backend/headless.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/types.h"

#include <functional>

using namespace kiv;
using namespace kiv::gui;
using namespace kiv::gui::faces;
using namespace kiv::testing;

namespace {

// What a change may touch in a window.
struct Look {
    Rect rect;
    std::string text;
    bool visible, enabled;
    int32_t flag_bits, cursor;
    bool operator==(const Look&) const = default;
};

Look look_of(HWnd w) {
    return {rect_in_parent(w),
            get_window_text(w),
            is_visible(w),
            is_enabled(w),
            get_window_long(w, slot_flag_bits),
            get_window_long(w, slot_cursor)};
}

struct UpdateCase {
    Facet facet;
    const char* value;
    std::function<void(Look&)> expect;
};

const UpdateCase update_cases[] = {
    {f_offset, "30x40",
     [](Look& l) {
         l.rect = {30, 40, 110, 64};
     }},
    {f_size, "(50.0, 10.0)",
     [](Look& l) {
         l.rect = {10, 20, 60, 30};
     }},
    {f_text, "\"new\"", [](Look& l) { l.text = "new"; }},
    {f_text, "none", [](Look& l) { l.text = ""; }},
    {f_enabled, "false", [](Look& l) { l.enabled = false; }},
    {f_visible, "false", [](Look& l) { l.visible = false; }},
    {f_flags, "[all-over popup]", [](Look& l) { l.flag_bits = int32_t(0x1 | 0x1000000); }},
    {f_options, "[cursor: hand]", [](Look& l) { l.cursor = cursor_hand; }},
    {f_options, "[cursor: hand extra]", [](Look& l) { l.cursor = cursor_none; }},
    {f_color, "255.0.0", [](Look&) {}},
};

class FaceUpdateTest : public FaceTest {
  protected:
    HWnd top_window() {
        top = face("type: 'window size: 300x200");
        return show(*top);
    }
    Rooted<Cell> top;
};

} // namespace

TEST_F(FaceUpdateTest, EachChangeTouchesOnlyItsPart) {
    HWnd parent = top_window();
    for (const UpdateCase& c : update_cases) {
        Rooted<Cell> button(face("type: 'button offset: 10x20 size: 80x24 text: \"old\""));
        HWnd w = show(*button, parent);
        Look expected = look_of(w);
        c.expect(expected);
        change(*button, c.facet, c.value);
        update(*button);
        EXPECT_EQ(look_of(w), expected) << c.value;
        EXPECT_EQ(pending_bits(*button), 0u) << c.value;
    }
}

TEST_F(FaceUpdateTest, ASizeIsWrittenBackAsItWasGiven) {
    HWnd parent = top_window();
    Rooted<Cell> window(face("type: 'window size: 100x100"));
    HWnd w = show(*window);
    set_window_pos(w, {0, 0, 120, 90}); // the user resizes it
    EXPECT_EQ(molded(facet(*window, f_size)), "120x90");
    change(*window, f_size, "(150.0, 90.0)");
    update(*window);
    set_window_pos(w, {0, 0, 130, 90});
    EXPECT_EQ(molded(facet(*window, f_size)), "(130, 90)");
    (void)parent;
}

// A window face's offset is the corner of the frame a window manager draws
// around it, with or without a menu bar: set, the client area lies inside
// the frame and below the bar; moved by the window manager, the offset
// read back is the frame's corner again.
TEST_F(FaceUpdateTest, AWindowOffsetIsItsFrameCorner) {
    const Rect frame{1, 20, 1, 1};
    for (const char* menu : {"none", R"(["File" ["Quit" quit]])"}) {
        Rooted<Cell> window(face(std::string("type: 'window size: 100x80 menu: ") + menu));
        HWnd w = show(*window);
        set_window_frame(w, frame);
        int bar = rect_in_parent(w).top - window_rect(w).top;
        change(*window, f_offset, "300x200");
        update(*window);
        EXPECT_EQ(client_to_screen(w, {}), (Point{301, 220 + bar})) << menu;
        EXPECT_EQ(client_rect(w), (Rect{0, 0, 100, 80})) << menu;
        EXPECT_EQ(molded(facet(*window, f_offset)), "300x200") << menu;
        Rect outer = window_rect(w);
        set_window_pos(w, {outer.left + 5, outer.top + 7, outer.right + 5, outer.bottom + 7});
        EXPECT_EQ(molded(facet(*window, f_offset)), "305x207") << menu;
    }
}

TEST_F(FaceUpdateTest, ABlockOfFacesMovesInOneBatch) {
    HWnd parent = top_window();
    Rooted<Cell> other(face("type: 'panel size: 100x100"));
    HWnd panel = show(*other, parent);
    Rooted<Cell> faces(eval("faces: reduce ["
                            "make face-template [type: 'button size: 10x10]"
                            "make face-template [type: 'field size: 10x10]"
                            "make face-template [type: 'text size: 10x10]"
                            "make face-template [type: 'area size: 10x10]]"));
    std::vector<HWnd> windows;
    for (int i = 0; i < 4; ++i) {
        Rooted<Cell> f(eval("pick faces " + std::to_string(i + 1)));
        windows.push_back(show(*f, i == 2 ? panel : parent));
        change(*f, f_offset, std::to_string(5 * i) + "x7");
        change(*f, f_size, "20x" + std::to_string(10 + i));
        change(*f, f_text, "\"t" + std::to_string(i) + "\"");
    }
    routine("update-view", {*faces});
    for (int i = 0; i < 4; ++i) {
        Rooted<Cell> f(eval("pick faces " + std::to_string(i + 1)));
        EXPECT_EQ(rect_in_parent(windows[size_t(i)]), (Rect{5 * i, 7, 5 * i + 20, 17 + i})) << i;
        EXPECT_EQ(get_window_text(windows[size_t(i)]), "t" + std::to_string(i)) << i;
        EXPECT_EQ(pending_bits(*f), 0u) << i;
    }
    EXPECT_EQ(error_of([&] { routine("update-view", {eval("[1]")}); }),
              script_error(err::script::invalid_type));
    EXPECT_EQ(error_of([&] { routine("update-view", {eval("42")}); }),
              script_error(err::script::invalid_type));
}

TEST_F(FaceUpdateTest, PaneChangesLinkAndUnlinkFaces) {
    HWnd parent = top_window();
    eval("kids: reduce [make face-template [type: 'button size: 10x10]"
         "make face-template [type: 'button size: 10x10]]");
    Rooted<Cell> holder(face("type: 'panel size: 100x100"));
    HWnd panel = show(*holder, parent);
    HWnd a = show(*Rooted<Cell>(eval("kids/1")), parent);
    HWnd b = show(*Rooted<Cell>(eval("kids/2")), parent);
    Rooted<Cell> kids(eval("kids"));
    facet(*holder, f_pane) = *kids;
    auto on_change = [&](const char* action, int index, int part) {
        routine("on-change-facet",
                {*holder, word::load("pane"), *kids, word::load(action), Cell{TYPE_NONE, 0, 0, 0},
                 Cell{TYPE_INTEGER, 0, uint32_t(index), 0},
                 Cell{TYPE_INTEGER, 0, uint32_t(part), 0}});
    };
    on_change("inserted", 0, 2);
    EXPECT_EQ(get_parent(a), panel);
    EXPECT_EQ(child_windows(panel), (std::vector<HWnd>{a, b})); // pane order, b on top
    eval("reverse kids");
    on_change("moved", 0, 2);
    EXPECT_EQ(child_windows(panel), (std::vector<HWnd>{b, a}));
    on_change("remove", 1, 1); // announced before: kids/2 is a
    EXPECT_EQ(get_parent(a), 0u);
    EXPECT_FALSE(is_visible(a)); // a removed face stays hidden
    EXPECT_EQ(molded(eval("kids/2/visible?")), "false");
    EXPECT_EQ(get_parent(b), panel);
}

TEST_F(FaceUpdateTest, DestroyLeavesNoFaceTimerOrMessage) {
    eval("tree: make face-template [type: 'window size: 200x200 rate: 5"
         " pane: reduce [make face-template [type: 'panel size: 50x50 rate: 2"
         "   pane: reduce [make face-template [type: 'button size: 10x10]]]"
         " make face-template [type: 'base size: 20x20 color: 0.0.255]]]"
         "append tree/pane tree"); // a face inside its own pane
    Rooted<Cell> tree(eval("tree"));
    HWnd w = show(*tree);
    HWnd panel = show(*Rooted<Cell>(eval("tree/pane/1")), w);
    HWnd button = show(*Rooted<Cell>(eval("tree/pane/1/pane/1")), panel);
    HWnd base = show(*Rooted<Cell>(eval("tree/pane/2")), w);
    routine("destroy-view", {*tree, Cell{TYPE_LOGIC, 1, 0, 0}});
    for (HWnd h : {w, panel, button, base}) EXPECT_EQ(get_window_long(h, slot_face), 0) << h;
    EXPECT_EQ(molded(eval("reduce [tree/state tree/pane/1/state tree/pane/1/pane/1/state]")),
              "[none none none]");
    EXPECT_FALSE(is_window(panel)); // panels go at once
    EXPECT_EQ(loop_state().exits_pending, 1);
    static_cast<HeadlessBackend&>(backend()).advance(1000);
    while (do_events(true)) {
    }
    EXPECT_TRUE(top_level_windows().empty());
    EXPECT_TRUE(events.empty()); // no time event from a freed face
}

TEST_F(FaceUpdateTest, WindowSelectionMovesTheFocus) {
    HWnd parent = top_window();
    Rooted<Cell> field(face("type: 'field size: 50x20"));
    HWnd f = show(*field, parent);
    facet(*top, f_selected) = *field;
    set_pending_bits(*top, bit(f_selected));
    update(*top);
    EXPECT_EQ(get_focus(), f);
    change(*top, f_selected, "none");
    update(*top);
    EXPECT_EQ(get_focus(), parent);
}

TEST_F(FaceUpdateTest, FirstShowActivatesAndFocusesTheSelectedFace) {
    HWnd parent = top_window();
    Rooted<Cell> field(face("type: 'field size: 50x20"));
    HWnd f = show(*field, parent);
    EXPECT_FALSE(is_visible(parent)); // window faces are made hidden
    facet(*top, f_selected) = *field;
    change(*top, f_visible, "true");
    update(*top);
    EXPECT_EQ(get_window_long(parent, slot_first_show), 1);
    routine("show-window", {handle_cell(parent)});
    EXPECT_TRUE(is_visible(parent));
    EXPECT_EQ(get_window_long(parent, slot_first_show), 0);
    EXPECT_EQ(get_active_window(), parent);
    EXPECT_EQ(get_focus(), f);
    // Another window active, then this one again: the keys go back to the
    // selected face, not to the window.
    set_active_window(0);
    EXPECT_EQ(get_focus(), 0u);
    set_active_window(parent);
    EXPECT_EQ(get_focus(), f);
}

TEST_F(FaceUpdateTest, AParaChangeMakesAnAreaAgainWithItsWrapping) {
    HWnd parent = top_window();
    eval("p: make object! [origin: none padding: none scroll: none align: none v-align: none "
         "wrap?: false parent: none]");
    Rooted<Cell> before(face("type: 'button size: 10x10"));
    Rooted<Cell> after(face("type: 'button size: 10x10"));
    Rooted<Cell> area(face("type: 'area offset: 3x4 size: 40x30 text: \"a^/b\" para: p"));
    HWnd first = show(*before, parent);
    HWnd old = show(*area, parent);
    HWnd last = show(*after, parent);
    ASSERT_TRUE(get_style(old) & ES_AUTOHSCROLL);
    eval("p/wrap?: true");
    Cell flags;
    integer::make_at(flags, 0);
    routine("update-para", {*area, flags});
    HWnd now = face_window(*area);
    ASSERT_TRUE(now && now != old);
    EXPECT_FALSE(get_style(now) & ES_AUTOHSCROLL); // wraps
    EXPECT_EQ(get_window_text(now), "a\nb");
    EXPECT_EQ(rect_in_parent(now), (Rect{3, 4, 43, 34}));
    EXPECT_EQ(get_parent(now), get_parent(first));
    std::vector<HWnd> order = child_windows(get_parent(first));
    auto at = [&](HWnd w) { return std::find(order.begin(), order.end(), w) - order.begin(); };
    EXPECT_TRUE(at(first) < at(now) && at(now) < at(last)); // its place among its siblings
    EXPECT_TRUE(pending_bits(*area) & 0x40000);
}
