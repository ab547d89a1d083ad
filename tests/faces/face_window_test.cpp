// Faces becoming windows: class, styles and geometry by face type and
// flags, the slots tying the window to its face, the first show, and the
// errors of values that are no faces.
#include "face_fixture.h"

#include "gui/backend/dpi.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/faces/face_styles.h"
#include "gui/backend/faces/face_window.h"
#include "gui/backend/headless.h"
#include "gui/backend/menus.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/slot_table.h"
#include "runtime/types.h"

using namespace kiv;
using namespace kiv::gui;
using namespace kiv::gui::faces;
using namespace kiv::testing;

namespace {

struct WindowCase {
    const char* spec;
    const char* class_name;
    uint32_t style;    // bits that must be set
    uint32_t no_style; // bits that must be clear
    uint32_t ex_style; // exactly
};

constexpr uint32_t child = gui::WS_CHILD | WS_CLIPSIBLINGS;
constexpr uint32_t shown = child | gui::WS_VISIBLE;

const WindowCase window_cases[] = {
    {"type: 'button", "KivButton", shown | BS_MULTILINE, 0, 0},
    {"type: 'toggle", "KivButton", shown | BS_PUSHLIKE | BS_AUTOCHECKBOX, 0, 0},
    {"type: 'check", "KivButton", shown | WS_TABSTOP | BS_AUTOCHECKBOX, 0x4, 0},
    {"type: 'check flags: [tri-state]", "KivButton", shown | BS_AUTO3STATE, 0x1, 0},
    {"type: 'radio", "KivButton", shown | WS_TABSTOP | BS_RADIOBUTTON, 0, 0},
    {"type: 'panel", "KivPanel", shown | WS_CLIPCHILDREN, 0, 0},
    {"type: 'group-box", "KivPanel", shown, WS_CLIPCHILDREN, 0},
    {"type: 'tab-panel", "KivTabpanel", shown, 0, 0},
    {"type: 'field", "KivField", shown | WS_TABSTOP | ES_AUTOHSCROLL | ES_NOHIDESEL, ES_PASSWORD,
     WS_EX_CLIENTEDGE},
    {"type: 'field flags: [password no-border]", "KivField", shown | ES_PASSWORD, 0, 0},
    {"type: 'area", "KivArea",
     shown | WS_HSCROLL | WS_VSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL | ES_AUTOVSCROLL |
         gui::ES_MULTILINE,
     0, WS_EX_CLIENTEDGE},
    {"type: 'text", "KivFace", shown, 0, 0},
    {"type: 'text-list", "KivListBox", shown | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY, 0,
     WS_EX_CLIENTEDGE},
    {"type: 'drop-down", "KivCombo", shown | CBS_DROPDOWN | CBS_AUTOHSCROLL | CBS_HASSTRINGS, 1, 0},
    {"type: 'drop-list", "KivCombo", shown | CBS_DROPDOWNLIST | CBS_HASSTRINGS, 0, 0},
    {"type: 'progress size: 20x100", "KivProgress", shown | PBS_VERTICAL, 0, 0},
    {"type: 'progress size: 100x20", "KivProgress", shown, PBS_VERTICAL, 0},
    {"type: 'slider size: 20x200", "KivSlider", shown | TBS_VERT | TBS_DOWNISLEFT, 0, 0},
    {"type: 'scroller size: 10x100", "KivScroller", shown | SBS_VERT, 0, 0},
    {"type: 'calendar", "KivCalendar",
     shown | MCS_NOSELCHANGEONNAV | MCS_SHORTDAYSOFWEEK | MCS_NOTODAY, 0, 0},
    {"type: 'base color: 255.255.255.0", "KivBase", shown | WS_CLIPCHILDREN, 0, 0},
    {"type: 'base color: 255.255.255.128", "KivBase", shown, 0, WS_EX_LAYERED},
    {"type: 'base", "KivBase", shown, 0, WS_EX_LAYERED},
    {"type: 'base color: red options: reduce ['accelerated true]", "KivBase", shown, 0,
     WS_EX_LAYERED},
    {"type: 'rich-text color: white", "KivBase", shown, 0, 0},
    {"type: 'button enabled?: false visible?: false", "KivButton", child | gui::WS_DISABLED,
     gui::WS_VISIBLE, 0},
    {"type: 'panel flags: [scrollable]", "KivPanel", shown | WS_HSCROLL | WS_VSCROLL, 0, 0},
    {"type: 'window", "KivWindow", WS_CAPTION | WS_CLIPCHILDREN | gui::WS_MINIMIZEBOX | WS_SYSMENU,
     gui::WS_MAXIMIZEBOX | WS_THICKFRAME | gui::WS_VISIBLE | gui::WS_CHILD, 0},
    {"type: 'window flags: [resize no-min no-buttons]", "KivWindow",
     WS_CAPTION | WS_THICKFRAME | gui::WS_MAXIMIZEBOX, gui::WS_MINIMIZEBOX | WS_SYSMENU, 0},
    {"type: 'window flags: [popup]", "KivWindow", WS_CAPTION, 0, WS_EX_TOOLWINDOW},
    {"type: 'window flags: 'no-title", "KivWindow", WS_POPUP | WS_BORDER, WS_CAPTION & ~WS_BORDER,
     0},
    {"type: 'window flags: [no-border]", "KivWindow", WS_POPUP, WS_BORDER | WS_CAPTION, 0},
    {"type: 'window flags: [no-border] color: 0.0.255.100", "KivWindow", WS_POPUP, 0,
     WS_EX_LAYERED},
};

class FaceWindowTest : public FaceTest {};

} // namespace

TEST_F(FaceWindowTest, EachTypeGetsItsClassAndStyles) {
    Rooted<Cell> parent(face("type: 'window size: 300x200"));
    HWnd top = show(*parent);
    for (const WindowCase& c : window_cases) {
        Rooted<Cell> f(face(std::string(c.spec) + " offset: 1x2 size: any [size 40x20]"));
        bool is_window = face_type(*f) == FaceType::window;
        HWnd w = show(*f, is_window ? 0 : top);
        ASSERT_NE(w, 0u) << c.spec;
        EXPECT_TRUE(class_name(w) == std::string_view(c.class_name) ||
                    class_name(w) == std::string_view("KivTabPanel"))
            << c.spec << ": " << class_name(w);
        uint32_t style = get_style(w) | (is_visible(w) ? uint32_t(gui::WS_VISIBLE) : 0u);
        EXPECT_EQ(style & c.style, c.style) << c.spec;
        EXPECT_EQ(style & c.no_style, 0u) << c.spec;
        EXPECT_EQ(get_ex_style(w), c.ex_style) << c.spec;
        EXPECT_EQ(get_parent(w), is_window ? 0 : top) << c.spec;
        Cell linked;
        ASSERT_TRUE(gui::faces::window_face(w, linked)) << c.spec;
        EXPECT_EQ(linked.w1, f->w1) << c.spec; // the very same face
    }
}

TEST_F(FaceWindowTest, GeometryComesFromOffsetAndSize) {
    Rooted<Cell> f(face("type: 'window offset: 30x40 size: 200x100 text: \"Title\""));
    HWnd w = show(*f);
    EXPECT_EQ(window_rect(w), (Rect{30, 40, 230, 140}));
    EXPECT_EQ(get_window_text(w), "Title");
    // The pair offset is kept as a point2D; the pair size marks the window.
    EXPECT_EQ(molded(facet(*f, f_offset)), "(30, 40)");
    EXPECT_EQ(get_window_long(w, slot_window_flags) & wf_pair_size, int32_t(wf_pair_size));
    Rooted<Cell> area(face("type: 'area offset: 5x6 size: (50.0, 20.0) text: \"no caption\""));
    HWnd a = show(*area, w);
    EXPECT_EQ(rect_in_parent(a), (Rect{5, 6, 55, 26}));
    EXPECT_EQ(get_window_long(a, slot_window_flags) & wf_pair_size, 0);
    EXPECT_EQ(get_window_text(a), "no caption"); // set as the text of the control
    Rooted<Cell> wide(face("type: 'window size: -5x50"));
    EXPECT_EQ(client_rect(show(*wide)).width(), 200); // a negative width gives 200
}

TEST_F(FaceWindowTest, MenuBarIsAddedAboveTheFaceSize) {
    Rooted<Cell> f(
        face(R"(type: 'window offset: 30x40 size: 200x100 menu: ["File" ["Quit" quit]])"));
    HWnd w = show(*f);
    ASSERT_NE(get_menu(w), 0u);
    int bar = backend().menu_bar_height(w);
    EXPECT_EQ(client_rect(w), (Rect{0, 0, 200, 100}));
    // The window's corner is where the offset puts it; the bar lies between
    // it and the client area, and the offset reads back as given.
    EXPECT_EQ(window_rect(w), (Rect{30, 40, 230, 140 + bar}));
    EXPECT_EQ(client_to_screen(w, {}), (Point{30, 40 + bar}));
    EXPECT_EQ(molded(facet(*f, f_offset)), "30x40");
    // A context menu block gives no bar.
    Rooted<Cell> p(face(R"(type: 'window size: 200x100 menu: [popup "Copy" copy])"));
    EXPECT_EQ(get_menu(show(*p)), 0u);
}

TEST_F(FaceWindowTest, ValuesThatAreNoFacesRaiseFaceType) {
    Rooted<Cell> top_face(face("type: 'window size: 100x100"));
    HWnd top = show(*top_face);
    Rooted<Cell> unknown(face("type: 'no-such-type"));
    EXPECT_EQ(error_of([&] { show(*unknown, top); }), script_error(err::script::face_type));
    Rooted<Cell> short_object(eval("object [type: 'button offset: 0x0 size: 10x10]"));
    EXPECT_EQ(error_of([&] { show(*short_object, top); }), script_error(err::script::face_type));
    EXPECT_EQ(child_windows(top).size(), 0u);
}

// The type facet names the type by any word kind in any case; anything
// else is of no type.
TEST_F(FaceWindowTest, TheTypeWordGivesTheFaceType) {
    struct Case {
        const char* type;
        FaceType expected;
    };
    const Case cases[] = {
        {"'screen", FaceType::screen},       {"'Drop-List", FaceType::drop_list},
        {"quote slider:", FaceType::slider}, {"first [:area]", FaceType::area},
        {"'no-such-type", FaceType::other},  {"\"button\"", FaceType::other},
        {"none", FaceType::other},
    };
    for (const Case& c : cases) {
        Rooted<Cell> f(face(std::string("type: ") + c.type));
        EXPECT_EQ(face_type(*f), c.expected) << c.type;
    }
}

TEST_F(FaceWindowTest, ARefusedWindowIsTheNullWindowAtOnce) {
    Rooted<Cell> f(face("type: 'button size: 10x10"));
    ::testing::internal::CaptureStdout();
    HWnd w = show(*f, 0x7FFFFFF0); // no such parent: the layer refuses
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "*** View Error: CreateWindowEx failed!\n");
    EXPECT_EQ(w, 0u);
}

TEST_F(FaceWindowTest, RateStartsATimerAndBadRatesRaise) {
    Rooted<Cell> f(face("type: 'window size: 100x100 rate: 10"));
    show(*f);
    auto run_for = [](double ms) {
        static_cast<HeadlessBackend&>(backend()).advance(ms);
        while (do_events(true)) {
        }
    };
    run_for(150);
    EXPECT_EQ(events, std::vector<std::string>{"time"});
    change(*f, f_rate, "none");
    update(*f);
    events.clear();
    run_for(500);
    EXPECT_TRUE(events.empty());
    for (const char* rate : {"0", "-1", "0:0:0", "\"fast\""}) {
        change(*f, f_rate, rate);
        EXPECT_EQ(error_of([&] { update(*f); }), script_error(err::script::invalid_facet_type))
            << rate;
        // The change that failed stays pending.
        EXPECT_EQ(pending_bits(*f), bit(f_rate)) << rate;
    }
}
