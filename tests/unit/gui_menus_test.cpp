// Menus on the headless backend: the layer's menu models and menu bars,
// popups driven by the backend's script, and the menu blocks of faces
// built, shown and turned into `menu` events.
#include "object_fixture.h"

#include "datatypes/handle.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/series.h"
#include "datatypes/tuple.h"
#include "evaluator/lexer.h"
#include "gui/backend/event.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/headless.h"
#include "gui/backend/live_event.h"
#include "gui/backend/menus.h"
#include "gui/backend/menus_faces.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "gui/backend/window_proc.h"
#include "runtime/stack.h"

#include <map>

using namespace kiv;
using namespace kiv::testing;
using namespace kiv::gui;

namespace {

struct Recorded {
    HWnd window;
    uint32_t message;
    uint64_t wparam;
    int64_t lparam;
    bool operator==(const Recorded&) const = default;
};
std::vector<Recorded> messages;

int64_t recording_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    messages.push_back({w, message, wparam, lparam});
    return def_window_proc(w, message, wparam, lparam);
}

// The events the engine's handler saw: type, window and picked word.
struct Seen {
    uint32_t type;
    HWnd window;
    std::string picked;
    bool operator==(const Seen&) const = default;
};
std::vector<Seen> seen;

void recording_awake(Cell& ev, Cell& out) {
    const Cell& picked = *event::push_field(ev, 6);
    std::string name = cell::type_of(picked) == TYPE_WORD ? symbol::c_name(picked.w2) : "none";
    stack::pop(1);
    seen.push_back({ev.w1, live::state().msg.window, name});
    out = word::load("done");
}

// The faces of the windows, in a block the fixture holds.
std::map<HWnd, int32_t> face_index;
Cell* faces_block = nullptr;

bool face_of(HWnd window, Cell& out) {
    auto it = face_index.find(window);
    if (it == face_index.end()) return false;
    out = block::rs_head(*faces_block)[it->second];
    return true;
}

class GuiMenusTest : public ObjectTest {
  protected:
    void SetUp() override {
        ObjectTest::SetUp();
        pair::init();
        point2D::init();
        tuple::init();
        handle::init();
        event::init();
        loop_state() = {};
        live::state() = {};
        live::hooks() = {};
        live::hooks().awake = recording_awake;
        live::hooks().face_of_window = face_of;
        messages.clear();
        seen.clear();
        face_index.clear();
        Cell empty;
        block::make_at(empty, 4);
        test::held.push_back(empty);
        faces_block = &test::held.back();
        gui::init();
        register_class({"Probe", recording_proc, 0, 0});
    }
    void TearDown() override {
        gui::cleanup();
        live::hooks() = {};
        faces_block = nullptr;
        ObjectTest::TearDown();
    }

    static HeadlessBackend& headless() { return dynamic_cast<HeadlessBackend&>(backend()); }

    // The values of a text, as a block.
    static Cell load(const std::string& text) {
        Cell* out = stack::push(Cell{cell::unset_header, 0, 0, 0});
        lexer::load(*out, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
        return *out;
    }
    // The first value of a text.
    static Cell value(const std::string& text) { return *block::rs_head(load(text)); }
    // A window of the face described by a spec such as
    // "type: 'window menu: [...]"; a child of `parent` when given.
    HWnd face_window(const std::string& spec, HWnd parent = 0, Rect r = {100, 100, 400, 300}) {
        uint32_t style = WS_VISIBLE | (parent ? uint32_t(WS_CHILD) : 0u);
        HWnd w = create_window("KivWindow", "", style, r, parent, 0);
        set_window_long(w, wc_offset, 1);
        face_index[w] = block::rs_length(*faces_block);
        block::append_value(*faces_block, make_object(load(spec)));
        return w;
    }
    static const Cell& face(HWnd w) { return block::rs_head(*faces_block)[face_index.at(w)]; }
    static void run_loop() {
        while (do_events(true)) {
        }
    }
    static void right_click(HWnd w, Point client) {
        headless().advance(1000); // never a double click
        Point p = client_to_screen(w, client);
        input_button(Button::right, true, p);
        input_button(Button::right, false, p);
        run_loop();
    }
    std::vector<Seen> menu_events() const {
        std::vector<Seen> out;
        for (const Seen& s : seen)
            if (s.type == event::menu) out.push_back(s);
        return out;
    }
};

// A built menu as text: labels with "=word" or ">[submenu]", "---" for a
// separator, items joined by "|".
std::string describe(HMenu menu) {
    std::string out;
    for (const MenuItemInfo& item : menu_items(menu)) {
        if (!out.empty()) out += "|";
        if (item.type == MFT_SEPARATOR) {
            out += "---";
            continue;
        }
        out += item.text;
        if (item.submenu) out += ">[" + describe(item.submenu) + "]";
        if (item.data != no_menu_word) out += "=" + std::string(symbol::c_name(item.data));
    }
    return out;
}

TEST_F(GuiMenusTest, ItemsGoInByPositionAndKeepTheirFields) {
    HMenu m = create_popup_menu();
    auto label = [](const char* text, uint32_t id, uint32_t data) {
        return MenuItemInfo{MIIM_STRING | MIIM_ID | MIIM_DATA, 0, id, 0, data, text};
    };
    ASSERT_TRUE(insert_menu_item(m, 0, label("A", 70000, 0xFFFFFFFE)));
    ASSERT_TRUE(insert_menu_item(m, 9, label("C", 2, 3))); // past the end: appended
    ASSERT_TRUE(insert_menu_item(m, 1, label("B", 1, 7)));
    EXPECT_EQ(get_menu_item_count(m), 3);
    std::string order;
    for (const MenuItemInfo& item : menu_items(m)) order += item.text;
    EXPECT_EQ(order, "ABC");

    MenuItemInfo asked;
    asked.mask = MIIM_DATA | MIIM_ID;
    ASSERT_TRUE(get_menu_item_info(m, 0, asked));
    EXPECT_EQ(asked.id, 70000u);
    EXPECT_EQ(asked.data, 0xFFFFFFFEu);
    EXPECT_EQ(asked.text, ""); // not asked for
    EXPECT_FALSE(get_menu_item_info(m, 3, asked));
    EXPECT_FALSE(insert_menu_item(m + 1000, 0, label("X", 0, 0)));
}

TEST_F(GuiMenusTest, DestroyingTakesEverySubmenuAndHandlesAreNotReused) {
    HMenu bar = create_menu(), file = create_popup_menu(), recent = create_popup_menu();
    insert_menu_item(file, 0, {MIIM_STRING | MIIM_SUBMENU, 0, 0, recent, 0, "Recent"});
    insert_menu_item(bar, 0, {MIIM_STRING | MIIM_SUBMENU, 0, 0, file, 0, "File"});
    // A menu holding itself is destroyed once, without looping.
    insert_menu_item(recent, 0, {MIIM_STRING | MIIM_SUBMENU, 0, 0, recent, 0, "Again"});
    EXPECT_EQ(menu_count(), 3u);
    EXPECT_TRUE(destroy_menu(bar));
    EXPECT_EQ(menu_count(), 0u);
    EXPECT_FALSE(is_menu(recent));
    EXPECT_FALSE(destroy_menu(bar));
    EXPECT_GT(create_menu(), recent);
}

TEST_F(GuiMenusTest, MenuBarKeepsTheOuterSizeAndShrinksTheClient) {
    HWnd w = create_window("Probe", "", WS_VISIBLE, {100, 100, 400, 300}, 0, 0);
    int bar = backend().menu_bar_height(w);
    HMenu menu = create_menu();
    messages.clear();
    ASSERT_TRUE(set_menu(w, menu));
    EXPECT_EQ(get_menu(w), menu);
    EXPECT_EQ(window_rect(w), (Rect{100, 100, 400, 300}));
    EXPECT_EQ(client_rect(w), (Rect{0, 0, 300, 200 - bar}));
    EXPECT_EQ(client_to_screen(w, {}), (Point{100, 100 + bar}));
    EXPECT_EQ(adjust_window_rect({100, 100 + bar, 400, 300}, true), (Rect{100, 100, 400, 300}));
    bool sized = false;
    for (const Recorded& m : messages)
        if (m.message == WM_SIZE) sized = m.lparam == make_point_param(300, 200 - bar);
    EXPECT_TRUE(sized);
    // Moving the window moves the bar with it.
    set_window_pos(w, {0, 0, 300, 200});
    EXPECT_EQ(client_rect(w), (Rect{0, 0, 300, 200 - bar}));
    ASSERT_TRUE(set_menu(w, 0));
    EXPECT_EQ(client_rect(w), (Rect{0, 0, 300, 200}));
    EXPECT_TRUE(is_menu(menu)); // taken off, not destroyed
    set_menu(w, menu);
    destroy_window(w); // a window's bar goes with it
    EXPECT_EQ(menu_count(), 0u);
}

TEST_F(GuiMenusTest, LabelsInTheUnderscoreForm) {
    struct Case {
        const char* label;
        const char* text;
        const char* hint;
        const char* shown;
    } cases[] = {
        {"&File", "_File", "", "File"},
        {"Save && Quit", "Save & Quit", "", "Save & Quit"},
        {"snake_case", "snake__case", "", "snake_case"},
        {"&Copy\tCtrl+C", "_Copy", "Ctrl+C", "Copy"},
        {"Trailing&", "Trailing&", "", "Trailing&"},
        {"Tab\t", "Tab", "", "Tab"},
    };
    for (const Case& c : cases) {
        UnderscoreLabel l = underscore_label(c.label);
        EXPECT_EQ(l.text, c.text) << c.label;
        EXPECT_EQ(l.hint, c.hint) << c.label;
        EXPECT_EQ(menu_label_text(c.label), c.shown) << c.label;
    }
    // A button's caption keeps what follows a tab.
    EXPECT_EQ(caption_text("Mouse Copy&&Paste"), "Mouse Copy&Paste");
    EXPECT_EQ(caption_text("&Go\tnow&"), "Go\tnow&");
}

TEST_F(GuiMenusTest, PopupReportsWhatTheUserDoes) {
    HWnd owner = create_window("Probe", "", WS_VISIBLE, {0, 0, 200, 200}, 0, 0);
    HMenu popup = create_popup_menu(), more = create_popup_menu();
    insert_menu_item(more, 0, {MIIM_STRING | MIIM_ID, 0, 0, 0, 0, "Dee&p\tCtrl+D"});
    insert_menu_item(popup, 0, {MIIM_STRING | MIIM_ID, 0, 0, 0, 0, "&Copy"});
    insert_menu_item(popup, 1, {MIIM_STRING | MIIM_ID | MIIM_SUBMENU, 0, 1, more, 0, "More"});
    headless().script_popup({"More", "Deep"});
    messages.clear();
    EXPECT_TRUE(track_popup_menu(popup, {50, 60}, owner));
    run_loop();
    std::vector<Recorded> menu_messages;
    for (const Recorded& m : messages)
        if (m.message == WM_ENTERMENULOOP || m.message == WM_EXITMENULOOP ||
            m.message == WM_MENUSELECT || m.message == WM_COMMAND)
            menu_messages.push_back(m);
    EXPECT_EQ(menu_messages,
              (std::vector<Recorded>{
                  {owner, WM_ENTERMENULOOP, 1, 0},
                  {owner, WM_MENUSELECT, menu_closed, 0},
                  {owner, WM_EXITMENULOOP, 1, 0},
                  {owner, WM_MENUSELECT, uint64_t(MF_POPUP) << 16 | 1, popup}, // "More" opens
                  {owner, WM_MENUSELECT, 0, more},                             // "Deep"
                  {owner, WM_MENUSELECT, 0, more},                             // chosen
                  {owner, WM_COMMAND, 0, 0},
              }));
    EXPECT_EQ(headless().last_popup_point(), (Point{50, 60}));

    // Dismissed, and unscripted: no command.
    headless().script_popup({});
    messages.clear();
    EXPECT_FALSE(track_popup_menu(popup, {0, 0}, owner));
    EXPECT_FALSE(track_popup_menu(popup, {0, 0}, owner));
    run_loop();
    for (const Recorded& m : messages) EXPECT_NE(m.message, WM_COMMAND);
    EXPECT_EQ(headless().popups_shown(), 3);
}

TEST_F(GuiMenusTest, MenuBlocksBuildAsTheirItemsSay) {
    struct Case {
        const char* block;
        const char* built;
    } cases[] = {
        {R"(["File" ["Open" open --- "Quit" quit]])", "File>[Open=open|---|Quit=quit]"},
        {R"([popup "Copy" copy "Paste" paste])", "Copy=copy|Paste=paste"},
        {R"(["Size" 12 "Next" next])", "Size|Next=next"}, // a number is no word
        {R"(["A" "B" b %file.txt <tag> "C" 'lit])", "A|B=b|C"},
        {R"(["Sub" ["Deep" ["Deeper" x]] ---])", "Sub>[Deep>[Deeper=x]]|---"},
        {"[]", ""},
    };
    for (const Case& c : cases) {
        HMenu m = build_menu(value(c.block), create_popup_menu());
        EXPECT_EQ(describe(m), c.built) << c.block;
        // Items are numbered by position, separators included.
        std::vector<MenuItemInfo> items = menu_items(m);
        for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].id, i) << c.block;
        destroy_menu(m);
    }
    EXPECT_EQ(build_menu(value("none"), 0), 0u);
    EXPECT_EQ(menu_count(), 0u);
}

TEST_F(GuiMenusTest, MenuBlockInsideItselfStopsWithADiagnostic) {
    Cell outer = value(R"(["Loop" x "After" after])");
    Cell inner = value(R"(["Inner" x])");
    block::rs_head(outer)[1] = inner; // "Loop" opens inner ...
    block::rs_head(inner)[1] = outer; // ... which opens outer again
    ::testing::internal::CaptureStdout();
    HMenu m = build_menu(outer, create_popup_menu());
    std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(describe(m), "Loop>[Inner]|After=after");
    EXPECT_NE(printed.find("menu block contains itself"), std::string::npos) << printed;
}

TEST_F(GuiMenusTest, MenuBarOnlyForWindowsWithoutPopup) {
    struct Case {
        const char* spec;
        bool bar;
    } cases[] = {
        {R"(type: 'window menu: ["File" ["Quit" quit]])", true},
        {R"(type: 'window menu: [popup "Copy" copy])", false},
        {R"(type: 'window menu: [])", false},
        {R"(type: 'window menu: none)", false},
        {R"(type: 'base menu: ["Copy" copy])", false},
    };
    for (const Case& c : cases) {
        Cell f = make_object(load(c.spec));
        EXPECT_EQ(menu_bar_q(*field(f, "menu"), *field(f, "type")), c.bar) << c.spec;
    }
}

TEST_F(GuiMenusTest, ContextMenuChoiceIsAMenuEventOfTheFace) {
    HWnd top = face_window("type: 'window");
    HWnd child = face_window(R"(type: 'base menu: ["Copy" copy "More" ["Deep" deep "None"]])", top,
                             {10, 10, 110, 60});
    headless().script_popup({"More", "Deep"});
    right_click(child, {5, 6});
    EXPECT_EQ(headless().last_popup_point(), client_to_screen(child, {5, 6}));
    EXPECT_EQ(menu_events(), (std::vector<Seen>{{event::menu, child, "deep"}}));
    EXPECT_EQ(menu_count(), 0u); // destroyed once its command was handled

    // A label without a word picks none.
    seen.clear();
    headless().script_popup({"More", "None"});
    right_click(child, {5, 6});
    EXPECT_EQ(menu_events(), (std::vector<Seen>{{event::menu, child, "none"}}));

    // Dismissed, or never scripted: no event, and nothing left alive.
    seen.clear();
    headless().script_popup({});
    right_click(child, {5, 6});
    right_click(child, {5, 6});
    EXPECT_TRUE(menu_events().empty());
    EXPECT_EQ(menu_count(), 0u);
    EXPECT_EQ(headless().popups_shown(), 4);

    // The right button still makes its own events.
    size_t alt_downs = 0;
    for (const Seen& s : seen) alt_downs += s.type == event::alt_down;
    EXPECT_EQ(alt_downs, 2u);
}

TEST_F(GuiMenusTest, WindowWithAMenuBarShowsNoContextMenu) {
    HWnd w = face_window(R"(type: 'window menu: ["File" ["Quit" quit]])");
    right_click(w, {5, 5});
    EXPECT_EQ(headless().popups_shown(), 0);
    HWnd p = face_window(R"(type: 'window menu: [popup "Copy" copy])");
    headless().script_popup({"Copy"});
    right_click(p, {5, 5});
    EXPECT_EQ(menu_events(), (std::vector<Seen>{{event::menu, p, "copy"}}));
}

TEST_F(GuiMenusTest, MenuBarChoiceAndReplacement) {
    HWnd w = face_window(R"(type: 'window menu: ["&File" ["&Open" open "&Quit" quit]])");
    update_menu_bar(w, face(w));
    HMenu first = get_menu(w);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(describe(first), "&File>[&Open=open|&Quit=quit]");
    ASSERT_TRUE(choose_from_menu_bar(w, {"File", "Quit"}));
    run_loop();
    EXPECT_EQ(menu_events(), (std::vector<Seen>{{event::menu, w, "quit"}}));
    EXPECT_FALSE(choose_from_menu_bar(w, {"File", "Missing"}));

    // A new bar replaces the old one, which is destroyed afterwards.
    *field(face(w), "menu") = value(R"(["Edit" ["Copy" copy]])");
    update_menu_bar(w, face(w));
    EXPECT_NE(get_menu(w), first);
    EXPECT_FALSE(is_menu(first));
    EXPECT_EQ(menu_count(), 2u);
    *field(face(w), "menu") = value(R"([popup "Copy" copy])");
    update_menu_bar(w, face(w));
    EXPECT_EQ(get_menu(w), 0u);
    EXPECT_EQ(menu_count(), 0u);
    EXPECT_EQ(client_rect(w), (Rect{0, 0, 300, 200}));
}

TEST_F(GuiMenusTest, CommandWithoutAnItemMakesNoEvent) {
    HWnd w = face_window(R"(type: 'window menu: ["File" ["Quit" quit]])");
    update_menu_bar(w, face(w));
    do_menu(w);
    send_message(w, WM_COMMAND, 0, 0);
    EXPECT_TRUE(menu_events().empty());
    // A left click between the selection and the command forgets the item.
    keep_menu_select(0, get_menu(w));
    clear_pending_menu();
    send_message(w, WM_COMMAND, 0, 0);
    EXPECT_TRUE(menu_events().empty());
}

TEST_F(GuiMenusTest, PickedIsTheWholeWordPastSixteenBits) {
    collector::active = false; // the fillers are no subject of the stress runs
    for (int i = 0; i < 70000; ++i) symbol::intern(("filler-" + std::to_string(i)).c_str());
    collector::active = true;
    HWnd w = face_window(R"(type: 'window menu: [popup "Late" late-word])");
    headless().script_popup({"Late"});
    right_click(w, {1, 1});
    EXPECT_GT(symbol::intern("late-word"), 0xFFFFu);
    EXPECT_EQ(menu_events(), (std::vector<Seen>{{event::menu, w, "late-word"}}));
}

} // namespace
