// Window messages through the pre-filter into events, on the headless
// backend: types, keys, flags, picked values and offsets; the answers of
// the handler; nested blocking loops and their endings.
#include "gui_fixture.h"

#include "datatypes/block.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/series.h"
#include "datatypes/tuple.h"
#include "gui/backend/event.h"
#include "gui/backend/headless.h"
#include "gui/backend/live_event.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/stack.h"
#include "tests/unit/words_init.h"

using namespace kiv;
using namespace kiv::testing;
using namespace kiv::gui;

namespace {

// What the handler saw of one event.
struct Seen {
    std::string type, key;
    uint32_t flags;
    std::string picked;
    Cell offset;
};
std::vector<Seen> seen;
std::function<void()> during_awake;
const char* answer = "done";

std::string describe(const Cell& c) {
    switch (cell::type_of(c)) {
    case TYPE_NONE: return "none";
    case TYPE_CHAR: return "char " + std::to_string(c.w2);
    case TYPE_WORD: return symbol::c_name(c.w2);
    case TYPE_INTEGER: return std::to_string(int32_t(c.w2));
    case TYPE_FLOAT: return std::to_string(cell::get_float(c));
    default: return "?";
    }
}

std::string field(const Cell& ev, int index) {
    std::string text = describe(*event::push_field(ev, index));
    stack::pop(1);
    return text;
}

void recording_awake(Cell& ev, Cell& out) {
    Seen s{field(ev, 1), field(ev, 5), ev.w3, field(ev, 6), *event::push_field(ev, 4)};
    stack::pop(1);
    seen.push_back(s);
    if (during_awake) during_awake();
    out = word::load(answer);
}

class GuiEventsTest : public GuiValuesTest {
  protected:
    HeadlessBackend* headless = nullptr;
    HWnd window = 0;
    void SetUp() override {
        DatatypeTest::SetUp();
        start_values(recording_awake);
        seen.clear();
        during_awake = nullptr;
        answer = "done";
        headless = &start_headless();
        register_class({"Face", nullptr, CS_DBLCLKS, 0});
        window = create_window("Face", "", WS_VISIBLE, {100, 100, 400, 300}, 0, 0);
        set_focus(window);
        while (do_events(true)) {
        }
        seen.clear();
    }
    void TearDown() override {
        layer_stop();
        GuiValuesTest::TearDown();
    }

  public:
    // Handles everything queued, one message at a time.
    void pump() {
        while (do_events(true)) {
        }
    }
    void key(uint32_t vk, bool down, uint32_t text = 0, uint32_t scan = 0, bool ext = false) {
        input_key(vk, scan, ext, down, text);
    }
    void tap(uint32_t vk, uint32_t text = 0, uint32_t scan = 0, bool ext = false) {
        key(vk, true, text, scan, ext);
        key(vk, false, 0, scan, ext);
    }
    std::vector<std::string> summary() {
        std::vector<std::string> out;
        for (auto& s : seen) out.push_back(s.type + " " + s.key);
        return out;
    }
};

using Lines = std::vector<std::string>;

} // namespace

TEST_F(GuiEventsTest, KeysBecomeEvents) {
    struct Case {
        const char* name;
        std::function<void(GuiEventsTest&)> input;
        Lines events;
    } cases[] = {
        {"letter",
         [](auto& t) { t.tap('A', 'a'); },
         {"key-down char 65", "key char 97", "key-up char 65"}},
        {"F5", [](auto& t) { t.tap(VK_F5); }, {"key-down F5", "key F5", "key-up F5"}},
        {"left control",
         [](auto& t) { t.tap(VK_CONTROL, 0, 0x1D); },
         {"key-down left-control", "key-up left-control"}},
        {"right control",
         [](auto& t) { t.tap(VK_CONTROL, 0, 0x1D, true); },
         {"key-down right-control", "key-up right-control"}},
        {"right shift",
         [](auto& t) { t.tap(VK_SHIFT, 0, 0x36); },
         {"key-down right-shift", "key-up right-shift"}},
        {"ctrl+a",
         [](auto& t) {
             t.key(VK_CONTROL, true, 0, 0x1D);
             t.tap('A', 'a');
             t.key(VK_CONTROL, false, 0, 0x1D);
         },
         {"key-down left-control", "key-down char 65", "key char 1", "key-up char 65",
          "key-up left-control"}},
        // Ctrl+F5 keeps its key word: no character is made of it.
        {"ctrl+F5",
         [](auto& t) {
             t.key(VK_CONTROL, true, 0, 0x1D);
             t.tap(VK_F5);
             t.key(VK_CONTROL, false, 0, 0x1D);
         },
         {"key-down left-control", "key-down F5", "key F5", "key-up F5", "key-up left-control"}},
        {"astral", [](auto&) { input_char(0x1F600); }, {"key char 128512"}},
        {"lone low surrogate", [](auto&) { input_char(0xDC00); }, {}},
        {"input method at work", [](auto& t) { t.key(VK_PROCESSKEY, true); }, {}},
    };
    for (auto& c : cases) {
        seen.clear();
        c.input(*this);
        pump();
        EXPECT_EQ(summary(), c.events) << c.name;
    }
}

TEST_F(GuiEventsTest, ModifierFlagsOfKeysAndCharacters) {
    key(VK_SHIFT, true, 0, 0x2A);
    key(VK_CONTROL, true, 0, 0x1D);
    tap('Z', 'Z');
    key(VK_CONTROL, false, 0, 0x1D);
    key(VK_SHIFT, false, 0, 0x2A);
    pump();
    ASSERT_GE(seen.size(), 4u);
    const Seen& character = seen[3];
    EXPECT_EQ(character.type, "key");
    EXPECT_EQ(character.key, "char 26");
    EXPECT_EQ(character.flags, event::flag_control | event::flag_shift | 26);
    // A character assembled from a surrogate pair carries no modifiers.
    seen.clear();
    key(VK_SHIFT, true, 0, 0x2A);
    input_char(0x10437);
    pump();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].flags, 0x10437u);
}

TEST_F(GuiEventsTest, MouseEventsCarryPickedFlagsAndOffsets) {
    input_pointer_move({150, 130});
    input_button(Button::left, true, {150, 130});
    input_wheel(120, {150, 130});
    input_wheel(24120, {150, 130}); // a raw delta beyond 24000 wraps
    input_button(Button::left, false, {150, 130});
    pump();
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0].type, "over");
    EXPECT_EQ(seen[1].type, "down");
    EXPECT_EQ(seen[1].picked, "none");
    EXPECT_TRUE(seen[1].flags & event::flag_down);
    EXPECT_EQ(cell::type_of(seen[1].offset), uint32_t(TYPE_POINT2D));
    EXPECT_EQ(point::get(seen[1].offset, 0), 50.0f);
    EXPECT_EQ(point::get(seen[1].offset, 1), 30.0f);
    EXPECT_EQ(seen[2].type, "wheel");
    EXPECT_EQ(seen[2].key, "wheel");
    EXPECT_EQ(seen[2].picked, std::to_string(1.0));
    EXPECT_EQ(point::get(seen[2].offset, 0), 50.0f); // the screen point made client
    EXPECT_EQ(seen[3].picked, std::to_string(-55.0));
    EXPECT_EQ(seen[4].type, "up");
}

TEST_F(GuiEventsTest, DoubleClickGivesDownThenDblClick) {
    for (int i = 0; i < 2; ++i) {
        input_button(Button::left, true, {120, 120});
        input_button(Button::left, false, {120, 120});
    }
    pump();
    EXPECT_EQ(summary(), (Lines{"over none", "down none", "up none", "down none", "dbl-click none",
                                "up none"}));
}

TEST_F(GuiEventsTest, PointerFilterComparesWindowAndPosition) {
    HWnd kid = create_window("Face", "", WS_CHILD | WS_VISIBLE, {0, 0, 50, 50}, window, 0);
    input_pointer_move({160, 160});
    input_pointer_move({160, 160}); // no move: dropped
    pump();
    EXPECT_EQ(summary(), (Lines{"over none"}));
    // A window appearing under a still pointer at the same client point
    // still gets its `over`.
    seen.clear();
    set_window_pos(kid, {60, 60, 110, 110});
    Msg msg{kid, WM_MOUSEMOVE, 0, make_point_param(60, 60), 0, {160, 160}, 0};
    loop_state().last_pointer = msg.lparam;
    EXPECT_EQ(process_mouse(msg), 1);
    EXPECT_EQ(summary(), (Lines{"over none"}));
    // Leaving gives one `over` with the away flag.
    seen.clear();
    input_pointer_move({5, 5});
    pump();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].flags & event::flag_away);
}

TEST_F(GuiEventsTest, StopKeepsKeysFromTheControl) {
    answer = "stop";
    tap('A', 'a');
    pump();
    // The key-down was stopped: no character was made of it.
    EXPECT_EQ(summary(), (Lines{"key-down char 65", "key-up char 65"}));
    Msg msg{window, WM_LBUTTONDOWN, MK_LBUTTON, 0, 0, {}, 0};
    EXPECT_EQ(make_event(msg, 0, event::down), 0);
    answer = "done";
    EXPECT_EQ(make_event(msg, 0, event::down), 1);
}

// A shortcut whose key-down opens a dialog: the dialog's own loop takes
// the key-ups, the modifier's included, and focus moves to the dialog's
// field. The character made of the key afterwards is the one the chord
// typed when it was pressed, not a plain letter for the next field.
TEST_F(GuiEventsTest, AKeyWhoseHandlerRunsAModalLoopTypesItsChord) {
    HWnd dialog = create_window("Face", "", WS_VISIBLE, {150, 150, 300, 250}, 0, 0);
    HWnd field = create_window("Face", "", WS_CHILD | WS_VISIBLE, {10, 10, 100, 30}, dialog, 0);
    struct Case {
        const char* modifier;
        uint32_t vk, scan;
        Lines characters;
    } cases[] = {
        {"alt", VK_MENU, 0x38, {}},
        {"control", VK_CONTROL, 0x1D, {"key char 15"}},
    };
    for (auto& c : cases) {
        set_focus(window);
        pump();
        seen.clear();
        bool opened = false;
        during_awake = [&] {
            if (opened || seen.back().type != "key-down" || seen.back().key != "char 79") return;
            opened = true;
            set_focus(field);
            key('O', false);
            key(c.vk, false, 0, c.scan);
            post_quit_message(0);
            do_events(false); // the dialog's loop
            set_focus(window);
        };
        key(c.vk, true, 0, c.scan);
        key('O', true, 'o');
        pump();
        during_awake = nullptr;
        EXPECT_TRUE(opened) << c.modifier;
        Lines characters;
        for (auto& line : summary())
            if (line.starts_with("key char")) characters.push_back(line);
        EXPECT_EQ(characters, c.characters) << c.modifier;
    }
}

TEST_F(GuiEventsTest, ExitedLoopsNeverDriveTheCountsBelowZero) {
    // Many loops ended from inside a handler, as each console prompt does.
    for (int i = 0; i < 5; ++i) {
        post_message(window, WM_USER, 0, 0);
        during_awake = [] {};
        tap('A', 'a');
        during_awake = [] { post_quit_message(0); };
        EXPECT_EQ(do_events(false), 1);
    }
    EXPECT_EQ(loop_state().loop_level, 0);
    EXPECT_EQ(loop_state().exits_pending, 0);
    // Two nested loops whose windows close at once end once each.
    int stage = 0, outer_ended = 0, inner_ended = 0;
    during_awake = [&] {
        if (stage++ == 0) {
            tap('B', 'b');
            do_events(false); // the inner loop
            ++inner_ended;
        } else if (stage == 2) {
            end_loop_level(); // the inner loop's last window
            end_loop_level(); // and the outer one's
        }
    };
    tap('C', 'c');
    do_events(false); // the outer loop
    ++outer_ended;
    EXPECT_EQ(inner_ended, 1);
    EXPECT_EQ(outer_ended, 1);
    EXPECT_EQ(loop_state().loop_level, 0);
    EXPECT_EQ(loop_state().exits_pending, 0);
}

TEST_F(GuiEventsTest, TimersGiveTimeEvents) {
    set_timer(window, 1, 50, timer_proc);
    headless->advance(60);
    pump();
    EXPECT_EQ(summary(), (Lines{"time none"}));
    destroy_window(window);
    headless->advance(600);
    seen.clear();
    pump();
    EXPECT_TRUE(seen.empty());
}

TEST_F(GuiEventsTest, OneShotLoopOnAnEmptyQueueReturnsAtOnce) {
    EXPECT_EQ(do_events(true), 0);
}
