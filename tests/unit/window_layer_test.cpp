#include "gui/backend/headless.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

#include <gtest/gtest.h>
#include <thread>

using namespace kiv::gui;

namespace {

struct Seen {
    HWnd window;
    uint32_t message;
    uint64_t wparam;
    int64_t lparam;
};
std::vector<Seen> seen;

// Records every message but the creation ones and answers as the default
// procedure would.
int64_t recording_proc(HWnd w, uint32_t m, uint64_t wp, int64_t lp) {
    if (m != WM_NCCREATE && m != WM_CREATE) seen.push_back({w, m, wp, lp});
    return def_window_proc(w, m, wp, lp);
}

class WindowLayerTest : public ::testing::Test {
  protected:
    HeadlessBackend* headless = nullptr;
    void SetUp() override {
        seen.clear();
        headless = &start_headless();
        register_class({"Plain", recording_proc, 0, 0});
        register_class({"Clicks", recording_proc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, 0});
    }
    void TearDown() override { layer_stop(); }

    HWnd top(Rect r = {100, 100, 300, 250}, std::string_view cls = "Plain") {
        return create_window(cls, "top", WS_VISIBLE, r, 0, 0);
    }
    HWnd child(HWnd parent, Rect r, std::string_view cls = "Plain") {
        return create_window(cls, "", WS_CHILD | WS_VISIBLE, r, parent, 0);
    }
    // Retrieves and dispatches what is queued; returns the retrieved messages.
    std::vector<Msg> drain() {
        std::vector<Msg> got;
        Msg m;
        while (peek_message(m)) {
            got.push_back(m);
            if (m.message == WM_QUIT) continue;
            translate_message(m);
            dispatch_message(m);
        }
        return got;
    }
    std::vector<uint32_t> codes_of(const std::vector<Msg>& ms, HWnd only = 0) {
        std::vector<uint32_t> codes;
        for (auto& m : ms)
            if (!only || m.window == only) codes.push_back(m.message);
        return codes;
    }
    // The codes, less the moves that a press at a new point brings first.
    std::vector<uint32_t> without_moves(const std::vector<Msg>& ms) {
        std::vector<uint32_t> codes = codes_of(ms);
        std::erase(codes, WM_MOUSEMOVE);
        return codes;
    }
    std::vector<uint32_t> seen_codes(std::initializer_list<uint32_t> keep) {
        std::vector<uint32_t> codes;
        for (auto& s : seen)
            if (std::find(keep.begin(), keep.end(), s.message) != keep.end())
                codes.push_back(s.message);
        return codes;
    }
};

int timer_calls = 0;
void count_timer(HWnd, uint32_t, uint64_t, uint32_t) {
    ++timer_calls;
}

} // namespace

TEST_F(WindowLayerTest, QueueOrderIsPostedInputQuitPaintTimer) {
    HWnd w = top();
    drain(); // the first paint
    set_timer(w, 7, 10, nullptr);
    headless->advance(20);
    invalidate_rect(w, nullptr, false);
    post_quit_message(3);
    input_pointer_move({150, 150});
    post_message(w, WM_USER, 1, 2);
    Msg m;
    std::vector<uint32_t> order;
    for (int i = 0; i < 5 && peek_message(m); ++i) {
        order.push_back(m.message);
        if (m.message == WM_PAINT) validate_rect(w, nullptr);
    }
    EXPECT_EQ(order, (std::vector<uint32_t>{WM_USER, WM_MOUSEMOVE, WM_QUIT, WM_PAINT, WM_TIMER}));
    EXPECT_EQ(m.wparam, 7u);
}

TEST_F(WindowLayerTest, HandlesAreNeverReusedAndSlotsReadByByteIndex) {
    HWnd a = top();
    set_window_long(a, 60, 0x12345678);
    set_window_long(a, 76, -5);
    EXPECT_EQ(get_window_long(a, 60), 0x12345678);
    EXPECT_EQ(get_window_long(a, 62), 0x1234); // byte index, not slot index
    EXPECT_EQ(get_window_long(a, 76), -5);
    EXPECT_EQ(get_window_long(a, 77), 0); // past the 80 bytes
    EXPECT_EQ(set_window_long(a, -4, 1), 0);
    destroy_window(a);
    HWnd b = top();
    EXPECT_NE(a, b);
    EXPECT_FALSE(is_window(a));
    EXPECT_EQ(get_window_long(b, 60), 0);
}

TEST_F(WindowLayerTest, ChildrenKeepTheirControlIds) {
    HWnd parent = create_window("Plain", "top", 0, {0, 0, 50, 50}, 0, 0, 7);
    HWnd child = create_window("Plain", "child", WS_CHILD, {0, 0, 10, 10}, parent, 0, 0x12345);
    HWnd plain = create_window("Plain", "plain", WS_CHILD, {0, 0, 10, 10}, parent, 0);
    EXPECT_EQ(get_control_id(parent), 0u); // a top-level's id slot holds no id
    EXPECT_EQ(get_control_id(child), 0x12345u);
    EXPECT_EQ(get_control_id(plain), 0u);
    destroy_window(parent);
    EXPECT_EQ(get_control_id(child), 0u);
}

TEST_F(WindowLayerTest, DestroyGoesParentFirstAndDropsQueuedWork) {
    HWnd parent = top();
    HWnd kid = child(parent, {0, 0, 10, 10});
    HWnd grandkid = child(kid, {0, 0, 5, 5});
    HWnd other = top({400, 100, 500, 200});
    drain();
    post_message(kid, WM_USER, 0, 0);
    post_message(other, WM_USER + 1, 0, 0);
    timer_calls = 0;
    set_timer(grandkid, 1, 10, count_timer);
    set_focus(grandkid);
    set_capture(kid);
    seen.clear();
    destroy_window(parent);
    std::vector<std::pair<HWnd, uint32_t>> destroys;
    for (auto& s : seen)
        if (s.message == WM_DESTROY) destroys.push_back({s.window, s.message});
    EXPECT_EQ(destroys, (std::vector<std::pair<HWnd, uint32_t>>{
                            {parent, WM_DESTROY}, {kid, WM_DESTROY}, {grandkid, WM_DESTROY}}));
    headless->advance(100);
    auto got = drain();
    EXPECT_EQ(codes_of(got), (std::vector<uint32_t>{WM_USER + 1}));
    EXPECT_EQ(timer_calls, 0);
    EXPECT_EQ(get_capture(), 0u);
    EXPECT_EQ(get_focus(), 0u);
    EXPECT_FALSE(is_window(grandkid));
}

TEST_F(WindowLayerTest, TimersAreClampedReplacedAndNeverBurst) {
    HWnd w = top();
    drain();
    set_timer(w, 1, 1, nullptr); // clamped to 10 ms
    headless->advance(9);
    EXPECT_TRUE(drain().empty());
    headless->advance(1);
    EXPECT_EQ(codes_of(drain()), (std::vector<uint32_t>{WM_TIMER}));
    // A loop that comes back late gets one WM_TIMER, not one per interval.
    headless->advance(1000);
    EXPECT_EQ(codes_of(drain()), (std::vector<uint32_t>{WM_TIMER}));
    // Setting it again replaces it.
    set_timer(w, 1, 500, nullptr);
    headless->advance(100);
    EXPECT_TRUE(drain().empty());
    EXPECT_TRUE(kill_timer(w, 1));
    EXPECT_FALSE(kill_timer(w, 1));
}

TEST_F(WindowLayerTest, BlockingWaitJumpsToTheNextTimerOrGivesUp) {
    HWnd w = top();
    drain();
    timer_calls = 0;
    set_timer(w, 3, 250, count_timer);
    Msg m;
    ASSERT_EQ(get_message(m), 1);
    EXPECT_EQ(m.message, WM_TIMER);
    EXPECT_EQ(m.time, 250u);
    dispatch_message(m);
    EXPECT_EQ(timer_calls, 1);
    kill_timer(w, 3);
    testing::internal::CaptureStdout();
    EXPECT_EQ(get_message(m), -1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("can never come"), std::string::npos);
    post_quit_message(0);
    EXPECT_EQ(get_message(m), 0);
}

namespace {
HWnd relay_target = 0;
int depth = 0, deepest = 0;
int64_t relay_proc(HWnd w, uint32_t m, uint64_t wp, int64_t lp) {
    if (m != WM_USER) return def_window_proc(w, m, wp, lp);
    ++depth;
    deepest = std::max(deepest, depth);
    int64_t r = wp > 0 ? send_message(relay_target, WM_USER, wp - 1, lp) + 1 : lp;
    --depth;
    return r;
}
} // namespace

TEST_F(WindowLayerTest, SendMessageIsDirectAndReentrant) {
    register_class({"Relay", relay_proc, 0, 0});
    relay_target = create_window("RELAY", "", 0, {}, 0, 0); // class names ignore case
    ASSERT_NE(relay_target, 0u);
    EXPECT_EQ(send_message(relay_target, WM_USER, 4, 100), 104);
    EXPECT_EQ(deepest, 5);
    EXPECT_EQ(send_message(0xDEAD, WM_USER, 0, 0), 0);
}

TEST_F(WindowLayerTest, PostingFromAnotherThreadKeepsOrder) {
    HWnd w = top();
    drain();
    std::thread poster([w] {
        for (int i = 0; i < 2000; ++i) post_message(w, WM_USER, i, 0);
    });
    poster.join();
    auto got = drain();
    ASSERT_EQ(got.size(), 2000u);
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i].wparam, i);
}

TEST_F(WindowLayerTest, KeyStateFollowsRetrievalAndTellsSides) {
    HWnd w = top();
    set_focus(w);
    drain();
    input_key(VK_SHIFT, 0x36, false, true, 0);  // right shift
    input_key(VK_CONTROL, 0x1D, true, true, 0); // right control
    EXPECT_GE(get_key_state(VK_SHIFT), 0);      // nothing retrieved yet
    EXPECT_LT(get_async_key_state(VK_SHIFT), 0);
    Msg m;
    ASSERT_TRUE(peek_message(m));
    EXPECT_LT(get_key_state(VK_SHIFT), 0);
    EXPECT_LT(get_key_state(VK_RSHIFT), 0);
    EXPECT_GE(get_key_state(VK_LSHIFT), 0);
    EXPECT_GE(get_key_state(VK_CONTROL), 0);
    ASSERT_TRUE(peek_message(m));
    EXPECT_LT(get_key_state(VK_RCONTROL), 0);
    EXPECT_TRUE(m.lparam & KF_EXTENDED);
    input_key(VK_SHIFT, 0x36, false, false, 0);
    drain();
    EXPECT_GE(get_key_state(VK_SHIFT), 0);
}

// A key let go once the window it was queued for has gone (a dialog that
// a chord's key closes), or while no window has the keyboard, is not left
// held: the key state follows it all the same, and nothing receives it.
TEST_F(WindowLayerTest, KeyStateFollowsKeysNoWindowTakes) {
    HWnd w = top();
    set_focus(w);
    input_key(VK_CONTROL, 0x1D, false, true, 0);
    drain();
    ASSERT_LT(get_key_state(VK_CONTROL), 0);
    input_key(VK_CONTROL, 0x1D, false, false, 0);
    destroy_window(w);
    seen.clear();
    drain();
    EXPECT_GE(get_key_state(VK_CONTROL), 0);
    for (bool down : {true, false}) {
        input_key(VK_SHIFT, 0x2A, false, down, 0);
        drain();
        EXPECT_EQ(get_key_state(VK_SHIFT) < 0, down);
    }
    EXPECT_TRUE(seen.empty());
}

TEST_F(WindowLayerTest, KeyDownsTypeTheExpectedCharacters) {
    struct Case {
        const char* name;
        std::vector<uint32_t> held; // modifiers held first
        uint32_t vk, text;
        std::vector<uint64_t> chars;
    } cases[] = {
        {"letter", {}, 'A', 'a', {'a'}},
        {"shifted letter", {VK_SHIFT}, 'A', 'A', {'A'}},
        {"ctrl+a", {VK_CONTROL}, 'A', 'a', {1}},
        {"ctrl+shift+z", {VK_CONTROL, VK_SHIFT}, 'Z', 'Z', {26}},
        {"ctrl+backspace", {VK_CONTROL}, VK_BACK, 0, {127}},
        {"ctrl+return", {VK_CONTROL}, VK_RETURN, 0, {10}},
        {"backspace", {}, VK_BACK, 0, {8}},
        {"tab", {}, VK_TAB, 0, {9}},
        {"return", {}, VK_RETURN, 0, {13}},
        {"escape", {}, VK_ESCAPE, 0, {27}},
        {"alt chord", {VK_MENU}, 'A', 'a', {}},
        {"ctrl+digit", {VK_CONTROL}, '1', '1', {}},
        {"F5", {}, VK_F5, 0, {}},
        {"astral", {}, 'A', 0x1F600, {0xD83D, 0xDE00}},
    };
    HWnd w = top();
    set_focus(w);
    for (auto& c : cases) {
        for (uint32_t vk : c.held) input_key(vk, 0, false, true, 0);
        input_key(c.vk, 0x1E, false, true, c.text);
        input_key(c.vk, 0x1E, false, false, 0);
        for (uint32_t vk : c.held) input_key(vk, 0, false, false, 0);
        std::vector<uint64_t> chars;
        for (auto& m : drain())
            if (m.message == WM_CHAR) chars.push_back(m.wparam);
        EXPECT_EQ(chars, c.chars) << c.name;
    }
}

TEST_F(WindowLayerTest, AltMakesSystemKeys) {
    HWnd w = top();
    set_focus(w);
    drain();
    input_key(VK_MENU, 0x38, false, true, 0);
    input_key('X', 0x2D, false, true, 'x');
    input_key('X', 0x2D, false, false, 0);
    input_key(VK_MENU, 0x38, false, false, 0);
    auto got = drain();
    EXPECT_EQ(codes_of(got),
              (std::vector<uint32_t>{WM_SYSKEYDOWN, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_SYSKEYUP}));
    EXPECT_TRUE(got[1].lparam & KF_ALTDOWN);
    EXPECT_TRUE(got[2].lparam & KF_UP);
}

TEST_F(WindowLayerTest, CaptureRoutesEveryPointerMessage) {
    HWnd a = top({0, 0, 100, 100});
    HWnd b = top({200, 0, 300, 100});
    drain();
    set_capture(a);
    input_pointer_move({250, 50});
    input_button(Button::left, true, {250, 50});
    input_wheel(-120, {250, 50});
    auto got = drain();
    ASSERT_EQ(got.size(), 3u);
    for (auto& m : got) EXPECT_EQ(m.window, a);
    EXPECT_EQ(point_param_x(got[0].lparam), 250);
    EXPECT_EQ(got[1].wparam, MK_LBUTTON);
    EXPECT_EQ(int16_t(got[2].wparam >> 16), -120);
    seen.clear();
    release_capture();
    EXPECT_EQ(seen_codes({WM_CAPTURECHANGED}), (std::vector<uint32_t>{WM_CAPTURECHANGED}));
    input_pointer_move({251, 50});
    auto after = drain();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].window, b);
    EXPECT_EQ(point_param_x(after[0].lparam), 51);
}

// Input for a disabled window, or for one inside a disabled window, is
// dropped when taken, the key state following it; a click over a disabled
// child goes to its parent.
TEST_F(WindowLayerTest, DisabledWindowsAndTheirChildrenTakeNoInput) {
    HWnd win = top({0, 0, 200, 200});
    HWnd panel = child(win, {10, 10, 110, 110});
    HWnd button = child(panel, {10, 10, 60, 40});
    set_focus(button);
    input_pointer_move({30, 30});
    drain();
    const std::vector<uint32_t> click{WM_LBUTTONDOWN, WM_LBUTTONUP};
    const std::vector<uint32_t> typed{WM_KEYDOWN, WM_CHAR, WM_KEYUP};
    struct Case {
        HWnd disabled;
        HWnd clicked; // the window a click on the button reaches (0: none)
    };
    for (Case c : {Case{0, button}, Case{button, panel}, Case{panel, win}, Case{win, 0}}) {
        if (c.disabled) enable_window(c.disabled, false);
        input_button(Button::left, true, {30, 30});
        input_button(Button::left, false, {30, 30});
        input_key(VK_SPACE, 0x39, false, true, ' ');
        input_key(VK_SPACE, 0x39, false, false, 0);
        auto got = drain();
        for (HWnd w : {win, panel, button}) {
            std::vector<uint32_t> wanted = w == c.clicked ? click : std::vector<uint32_t>{};
            // The keys reach the focused button only while nothing holding it is disabled.
            if (w == button && !c.disabled) wanted.insert(wanted.end(), typed.begin(), typed.end());
            EXPECT_EQ(codes_of(got, w), wanted) << "disabled " << c.disabled << ", window " << w;
        }
        EXPECT_GE(get_key_state(VK_SPACE), 0); // the dropped key-up was followed
        if (c.disabled) enable_window(c.disabled, true);
    }
}

// A dragged window takes the capture at its press and moves while the
// pointer's later input waits in the queue: each message goes to the
// window and point where they are when it is taken.
TEST_F(WindowLayerTest, PointerMessagesAreReadWhereTheWindowIsWhenTaken) {
    HWnd parent = top({0, 0, 400, 400});
    HWnd dragged = child(parent, {20, 20, 60, 60});
    input_pointer_move({30, 30});
    drain();
    input_button(Button::left, true, {30, 30});
    input_pointer_move({38, 35});
    input_pointer_move({76, 70}); // outside the window where it was
    input_button(Button::left, false, {76, 70});
    std::vector<Point> seen_at;
    Msg m;
    while (peek_message(m)) {
        EXPECT_EQ(m.window, dragged);
        Point at{point_param_x(m.lparam), point_param_y(m.lparam)};
        seen_at.push_back(at);
        if (m.message == WM_LBUTTONDOWN) set_capture(dragged);
        // The window follows the pointer, the pressed point kept under it.
        if (m.message == WM_MOUSEMOVE) {
            Rect r = window_rect(dragged);
            set_window_pos(dragged, {r.left + at.x - 10, r.top + at.y - 10, r.right + at.x - 10,
                                     r.bottom + at.y - 10});
        }
    }
    EXPECT_EQ(seen_at, (std::vector<Point>{{10, 10}, {18, 15}, {48, 45}, {10, 10}}));
    EXPECT_EQ(window_rect(dragged), (Rect{66, 60, 106, 100}));
}

TEST_F(WindowLayerTest, EnteringAChildLeavesTheParent) {
    HWnd parent = top({0, 0, 200, 200});
    HWnd kid = child(parent, {50, 50, 100, 100});
    drain();
    input_pointer_move({10, 10});
    drain();
    track_mouse_event(parent);
    input_pointer_move({20, 10});
    EXPECT_EQ(codes_of(drain()), (std::vector<uint32_t>{WM_MOUSEMOVE}));
    input_pointer_move({60, 60});
    auto got = drain();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, WM_MOUSELEAVE);
    EXPECT_EQ(got[0].window, parent);
    EXPECT_EQ(got[1].window, kid);
    EXPECT_EQ(point_param_x(got[1].lparam), 10);
    // One notice per request; the pointer leaving the layer sends one too.
    track_mouse_event(kid);
    input_pointer_gone();
    input_pointer_gone();
    EXPECT_EQ(codes_of(drain()), (std::vector<uint32_t>{WM_MOUSELEAVE}));
}

TEST_F(WindowLayerTest, DoubleClicksFollowTheLayerRule) {
    top({0, 0, 100, 100}, "Clicks");
    top({200, 0, 300, 100});
    drain();
    auto click_twice = [&](Point p, double gap) {
        input_button(Button::left, true, p);
        input_button(Button::left, false, p);
        headless->advance(gap);
        input_button(Button::left, true, {p.x + 2, p.y});
        input_button(Button::left, false, {p.x + 2, p.y});
        headless->advance(2000);
        return without_moves(drain());
    };
    std::vector<uint32_t> dbl{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP};
    std::vector<uint32_t> two{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP};
    EXPECT_EQ(click_twice({10, 10}, 100), dbl);
    EXPECT_EQ(click_twice({10, 10}, 600), two);  // too slow
    EXPECT_EQ(click_twice({210, 10}, 100), two); // class without double clicks
    // A third press starts a new pair.
    for (int i = 0; i < 3; ++i) {
        input_button(Button::left, true, {10, 10});
        input_button(Button::left, false, {10, 10});
    }
    EXPECT_EQ(without_moves(drain()),
              (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP,
                                     WM_LBUTTONDOWN, WM_LBUTTONUP}));
}

TEST_F(WindowLayerTest, FocusAndActivationSendTheirMessages) {
    HWnd a = top({0, 0, 100, 100});
    HWnd a_field = child(a, {0, 0, 10, 10});
    HWnd b = top({200, 0, 300, 100});
    seen.clear();
    set_focus(a_field);
    set_focus(b);
    std::vector<std::tuple<HWnd, uint32_t, uint64_t>> got;
    for (auto& s : seen)
        if (s.message == WM_ACTIVATE || s.message == WM_SETFOCUS || s.message == WM_KILLFOCUS)
            got.push_back({s.window, s.message, s.wparam});
    using T = std::tuple<HWnd, uint32_t, uint64_t>;
    EXPECT_EQ(got, (std::vector<T>{
                       T{a, WM_ACTIVATE, WA_ACTIVE},
                       T{a, WM_SETFOCUS, 0}, // the default procedure focuses it
                       T{a, WM_KILLFOCUS, a_field},
                       T{a_field, WM_SETFOCUS, a},
                       T{a, WM_ACTIVATE, WA_INACTIVE},
                       T{a_field, WM_KILLFOCUS, 0},
                       T{b, WM_ACTIVATE, WA_ACTIVE},
                       T{b, WM_SETFOCUS, 0},
                   }));
    EXPECT_EQ(get_active_window(), b);
    EXPECT_EQ(get_focus(), b);
}

TEST_F(WindowLayerTest, OnePaintForTheUnionClippedToIt) {
    HWnd w = top({0, 0, 100, 100});
    drain();
    Rect r1{10, 10, 20, 20}, r2{50, 60, 70, 80};
    invalidate_rect(w, &r1, false);
    invalidate_rect(w, &r2, false);
    Msg m;
    ASSERT_TRUE(peek_message(m));
    ASSERT_EQ(m.message, WM_PAINT);
    PaintStruct ps;
    cairo_t* cr = begin_paint(w, ps);
    ASSERT_NE(cr, nullptr);
    EXPECT_EQ(ps.paint, (Rect{10, 10, 70, 80}));
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_paint(cr);
    end_paint(w, ps);
    EXPECT_FALSE(peek_message(m)); // valid again: no second WM_PAINT
    cairo_surface_t* s = window_surface(w);
    cairo_surface_flush(s);
    auto pixel = [&](int x, int y) {
        auto* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
        return reinterpret_cast<uint32_t*>(row)[x];
    };
    EXPECT_EQ(pixel(15, 15), 0xFFFF0000u);
    EXPECT_EQ(pixel(65, 75), 0xFFFF0000u);
    EXPECT_EQ(pixel(30, 30), 0u); // inside the bounds, outside the region
    EXPECT_EQ(pixel(5, 5), 0u);
}

// Each pixel of a 40x30 surface tells where it was drawn: (y << 8) | x.
TEST_F(WindowLayerTest, ScrollMovesPixelsAndLeavesWhatItUncoversToPaint) {
    struct Case {
        Point distance;
        Rect area;      // empty: the whole client area
        Rect uncovered; // the invalid bounds after the move
    };
    const Case cases[] = {
        {{0, 5}, {}, {0, 0, 40, 5}},
        {{0, -7}, {}, {0, 23, 40, 30}},
        {{3, 0}, {}, {0, 0, 3, 30}},
        {{-2, 4}, {}, {0, 0, 40, 30}}, // an L: its bounds are the client area
        {{0, 4}, {10, 10, 30, 20}, {10, 10, 30, 14}},
        {{0, 12}, {0, 0, 40, 10}, {0, 0, 40, 10}}, // further than the area: nothing stays
    };
    HWnd w = top({0, 0, 40, 30});
    drain();
    cairo_surface_t* s = window_surface(w);
    auto pixels = [&] { return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s)); };
    int stride = cairo_image_surface_get_stride(s) / 4;
    auto mark = [](int x, int y) { return 0xFF000000u | uint32_t(y) << 8 | uint32_t(x); };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.distance.x << "," << c.distance.y);
        cairo_surface_flush(s);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) pixels()[y * stride + x] = mark(x, y);
        cairo_surface_mark_dirty(s);
        validate_rect(w, nullptr);
        Rect area = c.area.empty() ? Rect{0, 0, 40, 30} : c.area;
        ASSERT_TRUE(scroll_window(w, c.distance, c.area.empty() ? nullptr : &c.area));
        cairo_surface_flush(s);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                Point from{x - c.distance.x, y - c.distance.y};
                bool moved = area.contains({x, y}) && area.contains(from);
                bool kept = !area.contains({x, y});
                if (moved || kept)
                    ASSERT_EQ(pixels()[y * stride + x], moved ? mark(from.x, from.y) : mark(x, y))
                        << x << "," << y;
            }
        Rect invalid;
        ASSERT_TRUE(get_update_rect(w, invalid));
        EXPECT_EQ(invalid, c.uncovered);
    }
    // What was still to paint moves with the pixels.
    validate_rect(w, nullptr);
    Rect stale{0, 20, 40, 22};
    invalidate_rect(w, &stale, false);
    scroll_window(w, {0, -5}, nullptr);
    Rect invalid;
    ASSERT_TRUE(get_update_rect(w, invalid));
    EXPECT_EQ(invalid, (Rect{0, 15, 40, 30}));
    validate_rect(w, nullptr);
    Rect outside{50, 50, 60, 60};
    EXPECT_FALSE(scroll_window(w, {0, 1}, &outside));
    EXPECT_FALSE(scroll_window(HWnd(9999), {0, 1}, nullptr));
}

// A surface is held only while it shows a drawn pixel: a paint that
// leaves it all clear gives it back, and a layered window painted clear
// lets the pointer through to the window below.
TEST_F(WindowLayerTest, SurfacesAreHeldOnlyWhilePixelsAreDrawn) {
    HWnd below = top({0, 0, 40, 30});
    HWnd w = create_window_ex(WS_EX_LAYERED, "Plain", "", WS_VISIBLE, {0, 0, 40, 30}, 0, 0);
    drain(); // the first paints draw nothing
    EXPECT_EQ(held_surface(below), nullptr);
    EXPECT_EQ(held_surface(w), nullptr);
    EXPECT_EQ(window_from_point({7, 7}), below);
    struct Step {
        Rect area;
        double alpha; // painted over the area with this red
        bool held;
    };
    const Step steps[] = {
        {{5, 5, 10, 10}, 0, false}, // a fresh surface left clear
        {{5, 5, 10, 10}, 1, true},
        {{20, 20, 30, 30}, 0, true}, // clear here, still drawn elsewhere
        {{0, 0, 40, 30}, 0, false},  // the whole surface cleared
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << step.area.left << " alpha " << step.alpha);
        invalidate_rect(w, &step.area, false);
        PaintStruct ps;
        cairo_t* cr = begin_paint(w, ps);
        ASSERT_NE(cr, nullptr);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_rgba(cr, 1, 0, 0, step.alpha);
        cairo_paint(cr);
        end_paint(w, ps);
        EXPECT_EQ(held_surface(w) != nullptr, step.held);
        EXPECT_EQ(window_from_point({7, 7}), step.held ? w : below);
    }
    // Asked for, the surface is made again, clear.
    cairo_surface_t* s = window_surface(w);
    cairo_surface_flush(s);
    EXPECT_EQ(reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s))[0], 0u);
}

TEST_F(WindowLayerTest, EraseComesBeforePaintingWhenAsked) {
    HWnd w = top({0, 0, 50, 50});
    drain();
    seen.clear();
    invalidate_rect(w, nullptr, true);
    drain();
    EXPECT_EQ(seen_codes({WM_PAINT, WM_ERASEBKGND}),
              (std::vector<uint32_t>{WM_PAINT, WM_ERASEBKGND}));
}

TEST_F(WindowLayerTest, MonitorsKeepHandlesAndAnnounceChanges) {
    HWnd w = top({0, 0, 100, 100});
    set_monitors({{"left", {0, 0, 1000, 800}, {0, 0, 1000, 760}, 1.0, 96},
                  {"right", {1000, 0, 2000, 800}, {1000, 0, 2000, 800}, 1.5, 144}});
    auto first = monitors();
    ASSERT_EQ(first.size(), 2u);
    // A rectangle across both belongs to the one holding most of it.
    EXPECT_EQ(monitor_from_rect({900, 0, 1200, 100}), first[1].handle);
    EXPECT_EQ(monitor_from_rect({700, 0, 1050, 100}), first[0].handle);
    EXPECT_EQ(monitor_from_point({5000, 10}), first[1].handle); // nearest
    EXPECT_EQ(monitor_from_window(w), first[0].handle);
    seen.clear();
    set_monitors({{"right", {1000, 0, 2000, 800}, {1000, 0, 2000, 800}, 1.5, 144}});
    EXPECT_EQ(seen_codes({WM_DISPLAYCHANGE}), (std::vector<uint32_t>{WM_DISPLAYCHANGE}));
    EXPECT_EQ(monitors()[0].handle, first[1].handle);
    EXPECT_FALSE(monitor_info(first[0].handle));
    seen.clear();
    set_monitors({{"right", {1000, 0, 2000, 800}, {1000, 0, 2000, 800}, 1.5, 144}});
    EXPECT_TRUE(seen.empty());
    set_monitors({{"left", {0, 0, 1000, 800}, {0, 0, 1000, 760}, 1.0, 96}});
    EXPECT_NE(monitors()[0].handle, first[0].handle); // a handle is never reused
}

TEST_F(WindowLayerTest, GeometryMovesAndSizesWithMessages) {
    HWnd parent = top({100, 100, 300, 300});
    HWnd kid = child(parent, {10, 20, 60, 70});
    EXPECT_EQ(window_rect(kid), (Rect{110, 120, 160, 170}));
    EXPECT_EQ(screen_to_client(kid, {115, 125}), (Point{5, 5}));
    EXPECT_EQ(window_from_point({115, 125}), kid);
    EXPECT_EQ(window_from_point({105, 105}), parent);
    EXPECT_EQ(window_from_point({5, 5}), 0u);
    seen.clear();
    set_window_pos(kid, {10, 20, 90, 70});
    EXPECT_EQ(seen_codes({WM_MOVE, WM_SIZE}), (std::vector<uint32_t>{WM_SIZE}));
    EXPECT_EQ(point_param_x(seen.back().lparam), 80);
    show_window(kid, SW_HIDE);
    EXPECT_EQ(window_from_point({115, 125}), parent);
}
