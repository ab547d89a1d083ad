// One table of user actions on the built-in controls and the notifications
// the parent hears, run headless (input through the layer) and under Xvfb
// (input through XTest to the GTK views); both must agree. A step may have
// the test's loop stop a message, as the face code does when a handler
// answers `stop`: the control must then act as if the input never came.
#pragma once

#include "gui/backend/control_actions.h"
#include "gui/backend/control_models.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace kiv::testing {

using namespace gui;

// The notifications a parent heard: WM_COMMAND's code, WM_NOTIFY's code,
// a scroll message's request.
struct Notice {
    uint32_t message;
    int64_t code;
    bool operator==(const Notice&) const = default;
};

inline std::vector<Notice>& notices() {
    static std::vector<Notice> n;
    return n;
}
inline int64_t& changing_answer() {
    static int64_t answer = 0;
    return answer;
}

inline int64_t notice_parent_proc(HWnd w, uint32_t m, uint64_t wp, int64_t lp) {
    switch (m) {
    case WM_COMMAND: notices().push_back({m, int64_t(wp >> 16)}); return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NotifyHeader*>(lp);
        notices().push_back({m, header->code});
        return header->code == TCN_SELCHANGING ? changing_answer() : 0;
    }
    case WM_HSCROLL:
    case WM_VSCROLL: notices().push_back({m, int64_t(wp & 0xFFFF)}); return 0;
    default: return def_window_proc(w, m, wp, lp);
    }
}

inline constexpr const char* notice_parent_class = "NoticeParent";

// The keys the table presses, with their virtual key, their character and
// their X keysym.
enum class Key { a, b, ret, tab, right, down };
struct KeyInfo {
    uint32_t vk, character;
    unsigned long keysym;
};
inline KeyInfo key_info(Key k) {
    switch (k) {
    case Key::a: return {'A', 'a', 0x61};
    case Key::b: return {'B', 'b', 0x62};
    case Key::ret: return {VK_RETURN, 13, 0xFF0D};
    case Key::tab: return {VK_TAB, 9, 0xFF09};
    case Key::right: return {VK_RIGHT, 0, 0xFF53};
    case Key::down: return {VK_DOWN, 0, 0xFF54};
    }
    return {};
}

// What the table's steps need from a backend's test driver.
class ControlDriver {
  public:
    virtual ~ControlDriver() = default;
    // A click of the left button at a point of a window (client pixels).
    virtual void click(HWnd window, Point client) = 0;
    virtual void press(Key key) = 0;
    // Runs the loop until the parent heard `expected` notices (then a little
    // longer, for any extra one), leaving undispatched the messages `stop`
    // names.
    virtual void settle(size_t expected, const std::function<bool(const Msg&)>& stop) = 0;
};

struct Step {
    enum Kind { click, double_click, typing, focus, click_at } kind;
    Key key = Key::a;
    Point at = {}; // click_at: where (client pixels)
};

struct NotificationRow {
    const char* name;
    const char* cls;
    uint32_t style;
    std::vector<const char*> items; // list, combo and tab items
    std::vector<Step> steps;
    uint32_t stopped = 0; // a message the loop never dispatches (0: none)
    int64_t answer = 0;   // the parent's answer to TCN_SELCHANGING
    std::vector<Notice> heard;
    std::function<void(HWnd)> check = nullptr; // the model after the steps
};

inline Notice cmd(uint32_t code) {
    return {WM_COMMAND, code};
}
inline Notice nm(int32_t code) {
    return {WM_NOTIFY, code};
}

inline std::vector<NotificationRow> notification_rows() {
    using S = Step;
    auto check_is = [](uint32_t state) {
        return [state](HWnd w) { EXPECT_EQ(send_message(w, BM_GETCHECK, 0, 0), state); };
    };
    return {
        {"button", "BUTTON", BS_PUSHBUTTON, {}, {{S::click}}, 0, 0, {cmd(BN_CLICKED)}},
        {"stopped down", "BUTTON", BS_PUSHBUTTON, {}, {{S::click}}, WM_LBUTTONDOWN, 0, {}},
        {"three tri-state clicks",
         "BUTTON",
         BS_AUTO3STATE,
         {},
         {{S::click}, {S::click}, {S::click}},
         0,
         0,
         {cmd(BN_CLICKED), cmd(BN_CLICKED), cmd(BN_CLICKED)},
         check_is(BST_UNCHECKED)},
        {"radio",
         "BUTTON",
         BS_RADIOBUTTON,
         {},
         {{S::click}},
         0,
         0,
         {cmd(BN_CLICKED)},
         check_is(BST_UNCHECKED)},
        {"typing",
         "EDIT",
         ES_AUTOHSCROLL,
         {},
         {{S::click}, {S::typing, Key::a}, {S::typing, Key::ret}, {S::typing, Key::b}},
         0,
         0,
         {cmd(EN_SETFOCUS), cmd(EN_CHANGE), cmd(EN_CHANGE)},
         [](HWnd w) { EXPECT_EQ(get_window_text(w), "ab"); }},
        {"stopped key",
         "EDIT",
         ES_AUTOHSCROLL,
         {},
         {{S::click}, {S::typing, Key::a}},
         WM_CHAR,
         0,
         {cmd(EN_SETFOCUS)},
         [](HWnd w) { EXPECT_EQ(get_window_text(w), ""); }},
        {"list pick twice",
         "ListBox",
         LBS_NOTIFY,
         {"one", "two", "three"},
         {{S::double_click}},
         0,
         0,
         {cmd(LBN_SETFOCUS), cmd(LBN_SELCHANGE), cmd(LBN_SELCHANGE), cmd(LBN_DBLCLK)},
         [](HWnd w) { EXPECT_EQ(send_message(w, LB_GETCURSEL, 0, 0), 0); }},
        {"drop-down list keys",
         "ComboBox",
         CBS_DROPDOWNLIST,
         {"one", "two"},
         {{S::focus}, {S::typing, Key::down}, {S::typing, Key::down}},
         0,
         0,
         {cmd(CBN_SETFOCUS), cmd(CBN_SELCHANGE), cmd(CBN_SELCHANGE)},
         [](HWnd w) { EXPECT_EQ(get_window_text(w), "two"); }},
        {"slider key",
         "msctls_trackbar32",
         0,
         {},
         {{S::focus}, {S::typing, Key::right}},
         0,
         0,
         {{WM_HSCROLL, TB_LINEDOWN}, {WM_HSCROLL, TB_ENDTRACK}},
         [](HWnd w) { EXPECT_EQ(send_message(w, TBM_GETPOS, 0, 0), 1); }},
        {"scroller trough",
         "SCROLLBAR",
         SBS_VERT,
         {},
         {{S::click_at, Key::a, {8, 75}}},
         0,
         0,
         {{WM_VSCROLL, SB_PAGEDOWN}, {WM_VSCROLL, SB_ENDSCROLL}},
         [](HWnd w) { EXPECT_EQ(send_message(w, SBM_GETPOS, 0, 0), 0); }},
        {"tab switch",
         "SysTabControl32",
         0,
         {"first", "second"},
         {{S::focus}, {S::typing, Key::right}},
         0,
         0,
         {nm(TCN_SELCHANGING), nm(TCN_SELCHANGE)},
         [](HWnd w) { EXPECT_EQ(send_message(w, TCM_GETCURSEL, 0, 0), 1); }},
        {"tab switch kept",
         "SysTabControl32",
         0,
         {"first", "second"},
         {{S::focus}, {S::typing, Key::right}},
         0,
         1,
         {nm(TCN_SELCHANGING)},
         [](HWnd w) { EXPECT_EQ(send_message(w, TCM_GETCURSEL, 0, 0), 0); }},
    };
}

// Makes the row's control in `parent`, fills its items, and runs the steps.
inline HWnd run_row(ControlDriver& driver, HWnd parent, const NotificationRow& row, Rect r) {
    bool edit = std::string_view(row.cls) == "EDIT";
    HWnd w = create_window(row.cls, edit ? "" : "Label", WS_CHILD | WS_VISIBLE | row.style, r,
                           parent, 0, 5);
    for (const char* item : row.items) {
        if (control_kind(w) == ControlKind::tabs) {
            TabItem tab{TCIF_TEXT, item};
            send_message(w, TCM_INSERTITEM, 99, reinterpret_cast<int64_t>(&tab));
        } else {
            send_message(w,
                         control_kind(w) == ControlKind::combo ? uint32_t(CB_ADDSTRING)
                                                               : uint32_t(LB_ADDSTRING),
                         0, reinterpret_cast<int64_t>(item));
        }
    }
    if (control_kind(w) == ControlKind::scroll_bar) {
        set_window_pos(w, {r.left, r.top, r.left + 16, r.bottom});
        set_scroll_info(w, SB_CTL, {SIF_ALL, 0, 99, 10, 0, 0}, true);
    }
    changing_answer() = row.answer;
    auto stop = [&](const Msg& m) { return m.window == w && m.message == row.stopped; };
    driver.settle(0, stop);
    notices().clear();
    // A list's first row, the middle of anything else.
    Point at =
        control_kind(w) == ControlKind::list ? Point{10, 6} : Point{r.width() / 2, r.height() / 2};
    for (const Step& s : row.steps) {
        switch (s.kind) {
        case Step::click: driver.click(w, at); break;
        case Step::double_click:
            driver.click(w, at);
            driver.click(w, at);
            break;
        case Step::typing: driver.press(s.key); break;
        case Step::focus: set_focus(w); break;
        case Step::click_at: driver.click(w, s.at); break;
        }
        driver.settle(0, stop);
    }
    driver.settle(row.heard.size(), stop);
    return w;
}

} // namespace kiv::testing

namespace kiv::testing {

// Focus between fields: clicks give each field the focus in order; Tab
// reaches the layer and leaves the focus where it is; a disabled field
// never takes it. Checks with gtest; answers the fields.
inline std::vector<HWnd> check_focus_moves(ControlDriver& driver, HWnd parent) {
    std::vector<HWnd> fields;
    for (int i = 0; i < 3; ++i)
        fields.push_back(create_window("EDIT", "", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL,
                                       {20, 20 + 40 * i, 220, 50 + 40 * i}, parent, 0, 10 + i));
    enable_window(fields[2], false);
    auto never = [](const Msg&) { return false; };
    driver.settle(0, never);
    notices().clear();
    Point middle{100, 15};
    driver.click(fields[0], middle);
    driver.settle(1, never);
    driver.click(fields[1], middle);
    driver.settle(3, never);
    EXPECT_EQ(notices(),
              (std::vector<Notice>{cmd(EN_SETFOCUS), cmd(EN_KILLFOCUS), cmd(EN_SETFOCUS)}));
    EXPECT_EQ(get_focus(), fields[1]);
    notices().clear();
    driver.press(Key::tab);
    driver.click(fields[2], middle);
    driver.settle(0, never);
    EXPECT_EQ(notices(), std::vector<Notice>{});
    EXPECT_EQ(get_focus(), fields[1]);
    return fields;
}

} // namespace kiv::testing
