// The built-in controls' models on the headless backend: every message's
// answer and clamp, and the notifications that user input (and only user
// input) sends to the parent.
#include "gui/backend/control_actions.h"
#include "gui/backend/control_models.h"
#include "gui/backend/headless.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "tests/unit/control_notifications.h"

#include <gtest/gtest.h>

using namespace kiv::gui;

namespace {

// What the parent heard: the message, the notification code (WM_COMMAND's
// high word, WM_NOTIFY's code, a scroll message's request) and the
// position a scroll request carries.
struct Heard {
    uint32_t message;
    int64_t code;
    int32_t pos = 0;
    bool operator==(const Heard&) const = default;
};
std::vector<Heard> heard;
int64_t changing_answer = 0; // what the parent answers TCN_SELCHANGING

int64_t parent_proc(HWnd w, uint32_t m, uint64_t wp, int64_t lp) {
    switch (m) {
    case WM_COMMAND: heard.push_back({m, int64_t(wp >> 16)}); return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NotifyHeader*>(lp);
        heard.push_back({m, header->code});
        return header->code == TCN_SELCHANGING ? changing_answer : 0;
    }
    case WM_HSCROLL:
    case WM_VSCROLL: heard.push_back({m, int64_t(wp & 0xFFFF), int16_t(wp >> 16)}); return 0;
    default: return def_window_proc(w, m, wp, lp);
    }
}

Heard command(uint32_t code) {
    return {WM_COMMAND, code};
}
Heard notice(int32_t code) {
    return {WM_NOTIFY, code};
}

class ControlModelsTest : public ::testing::Test {
  protected:
    HWnd parent = 0;
    HeadlessBackend* headless = nullptr;
    void SetUp() override {
        heard.clear();
        changing_answer = 0;
        headless = &start_headless();
        register_system_controls();
        register_class({"Parent", parent_proc, 0, 0});
        parent = create_window("Parent", "", WS_VISIBLE, {0, 0, 400, 300}, 0, 0);
    }
    void TearDown() override { layer_stop(); }

    HWnd make(std::string_view cls, uint32_t style, Rect r = {10, 10, 110, 40},
              std::string_view text = "") {
        return create_window(cls, text, WS_CHILD | WS_VISIBLE | style, r, parent, 0, 7);
    }
    static void click(HWnd w, int x = 5, int y = 5) {
        send_message(w, WM_LBUTTONDOWN, MK_LBUTTON, make_point_param(x, y));
        send_message(w, WM_LBUTTONUP, 0, make_point_param(x, y));
    }
    static int64_t send_text(HWnd w, uint32_t message, uint64_t wparam, const char* text) {
        return send_message(w, message, wparam, reinterpret_cast<int64_t>(text));
    }
    static std::string item_text(HWnd w, uint32_t message, int index) {
        char buffer[64] = {};
        send_message(w, message, uint64_t(index), reinterpret_cast<int64_t>(buffer));
        return buffer;
    }
};

// ---- Buttons

TEST_F(ControlModelsTest, CheckStatesAreClampedToWhatTheTypeShows) {
    struct Case {
        uint32_t type, set, read;
    } cases[] = {
        {BS_PUSHBUTTON, BST_CHECKED, BST_UNCHECKED},
        {BS_GROUPBOX, BST_CHECKED, BST_UNCHECKED},
        {BS_CHECKBOX, BST_INDETERMINATE, BST_CHECKED},
        {BS_AUTOCHECKBOX, 7, BST_CHECKED},
        {BS_RADIOBUTTON, BST_CHECKED, BST_CHECKED},
        {BS_3STATE, BST_INDETERMINATE, BST_INDETERMINATE},
        {BS_AUTO3STATE, 9, BST_INDETERMINATE},
    };
    for (auto& c : cases) {
        HWnd b = make("BUTTON", c.type);
        send_message(b, BM_SETCHECK, c.set, 0);
        EXPECT_EQ(send_message(b, BM_GETCHECK, 0, 0), c.read) << "type " << c.type;
    }
    EXPECT_TRUE(heard.empty()); // code never notifies
}

TEST_F(ControlModelsTest, ClicksAdvanceAutomaticTypesOnceAndAlwaysTellTheParent) {
    struct Case {
        uint32_t type;
        std::vector<uint32_t> after_each; // the check state after 1, 2, 3 clicks
    } cases[] = {
        {BS_PUSHBUTTON, {0, 0, 0}},      {BS_AUTOCHECKBOX, {1, 0, 1}}, {BS_CHECKBOX, {0, 0, 0}},
        {BS_AUTO3STATE, {1, 2, 0}},      {BS_3STATE, {0, 0, 0}},       {BS_RADIOBUTTON, {0, 0, 0}},
        {BS_AUTORADIOBUTTON, {1, 1, 1}},
    };
    for (auto& c : cases) {
        heard.clear();
        HWnd b = make("BUTTON", c.type);
        std::vector<uint32_t> states;
        for (int i = 0; i < 3; ++i) {
            click(b);
            states.push_back(uint32_t(send_message(b, BM_GETCHECK, 0, 0)));
        }
        EXPECT_EQ(states, c.after_each) << "type " << c.type;
        EXPECT_EQ(heard, std::vector<Heard>(3, command(BN_CLICKED))) << "type " << c.type;
    }
}

TEST_F(ControlModelsTest, ButtonPressesNotifyOnlyWithNotifyStyle) {
    HWnd plain = make("BUTTON", BS_PUSHBUTTON);
    HWnd notifying = make("BUTTON", BS_RADIOBUTTON | BS_NOTIFY);
    click(plain);
    EXPECT_EQ(heard, (std::vector<Heard>{command(BN_CLICKED)}));
    heard.clear();
    send_message(notifying, WM_LBUTTONDOWN, MK_LBUTTON, make_point_param(5, 5));
    // Pushed and focused while held.
    EXPECT_EQ(send_message(notifying, BM_GETSTATE, 0, 0), BST_PUSHED | BST_FOCUS);
    send_message(notifying, WM_LBUTTONUP, 0, make_point_param(500, 5)); // released outside
    send_message(notifying, WM_LBUTTONDBLCLK, MK_LBUTTON, make_point_param(5, 5));
    EXPECT_EQ(heard, (std::vector<Heard>{command(BN_SETFOCUS), command(BN_HILITE),
                                         command(BN_UNHILITE), command(BN_DBLCLK)}));
    EXPECT_EQ(send_message(notifying, BM_GETSTATE, 0, 0), BST_FOCUS);
}

TEST_F(ControlModelsTest, AutomaticRadioButtonsTurnTheirSiblingsOff) {
    HWnd a = make("BUTTON", BS_AUTORADIOBUTTON), b = make("BUTTON", BS_AUTORADIOBUTTON);
    HWnd manual = make("BUTTON", BS_RADIOBUTTON);
    send_message(manual, BM_SETCHECK, BST_CHECKED, 0);
    click(a);
    click(b);
    EXPECT_EQ(send_message(a, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(send_message(b, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(send_message(manual, BM_GETCHECK, 0, 0), BST_CHECKED); // only BM_SETCHECK moves it
}

TEST_F(ControlModelsTest, SpaceClicksAFocusedButton) {
    HWnd b = make("BUTTON", BS_AUTOCHECKBOX);
    send_message(b, WM_KEYDOWN, VK_SPACE, 0);
    send_message(b, WM_KEYUP, VK_SPACE, 0);
    send_message(b, WM_KEYUP, VK_SPACE, 0); // no press: nothing
    EXPECT_EQ(send_message(b, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(heard, (std::vector<Heard>{command(BN_CLICKED)}));
}

// ---- Edits

TEST_F(ControlModelsTest, SelectionsAreClampedAndCountCharacters) {
    HWnd edit = make("EDIT", 0, {10, 10, 110, 40},
                     "a\xF0\x9F\x98\x80"
                     "bc"); // a 😀 b c
    struct Case {
        int64_t start, end;
        Selection read;
    } cases[] = {
        {1, 2, {1, 2}}, {3, 1, {1, 3}}, {0, -1, {0, 4}}, {2, 99, {2, 4}}, {99, 0, {0, 4}},
    };
    for (auto& c : cases) {
        send_message(edit, EM_SETSEL, uint64_t(c.start), c.end);
        EXPECT_EQ(edit_selection(edit), c.read) << c.start << ", " << c.end;
    }
    uint32_t start = 0, end = 0;
    send_message(edit, EM_SETSEL, 1, 2);
    EXPECT_EQ(send_message(edit, EM_GETSEL, reinterpret_cast<uint64_t>(&start),
                           reinterpret_cast<int64_t>(&end)),
              1 | 2 << 16);
    EXPECT_EQ(start, 1u);
    EXPECT_EQ(end, 2u);
    send_message(edit, EM_SETSEL, uint64_t(-1), 0); // -1: no selection, the caret stays
    EXPECT_EQ(edit_selection(edit), (Selection{2, 2}));
    EXPECT_TRUE(heard.empty());
}

TEST_F(ControlModelsTest, SettingTheTextNotifiesOnlyForSingleLineEdits) {
    HWnd field = make("EDIT", 0), area = make("EDIT", ES_MULTILINE);
    send_text(field, WM_SETTEXT, 0, "new");
    send_text(area, WM_SETTEXT, 0, "new");
    EXPECT_EQ(heard, (std::vector<Heard>{command(EN_CHANGE)}));
    EXPECT_EQ(get_window_text(field), "new");
    EXPECT_EQ(edit_selection(field), (Selection{0, 0}));
    EXPECT_EQ(send_message(area, EM_GETMODIFY, 0, 0), 0);
}

TEST_F(ControlModelsTest, TypingAndKeysEditAndNotify) {
    struct Case {
        uint32_t style;
        const char* start;
        std::vector<std::pair<uint32_t, uint64_t>> input; // message, key or character
        const char* text;
        Selection selection;
        size_t changes;
    } cases[] = {
        {0, "", {{WM_CHAR, 'a'}, {WM_CHAR, 'b'}}, "ab", {2, 2}, 2},
        {0, "abc", {{WM_KEYDOWN, VK_HOME}, {WM_KEYDOWN, VK_DELETE}}, "bc", {0, 0}, 1},
        {0, "abc", {{WM_KEYDOWN, VK_LEFT}, {WM_CHAR, 8}}, "ac", {1, 1}, 1},
        {0, "abc", {{WM_CHAR, 1}, {WM_CHAR, 'x'}}, "x", {1, 1}, 1}, // Ctrl+A, then typing
        {ES_MULTILINE, "a", {{WM_CHAR, 13}}, "a\n", {2, 2}, 1},
        {0, "a", {{WM_CHAR, 13}, {WM_CHAR, 27}}, "a", {1, 1}, 0},
        {ES_READONLY, "a", {{WM_CHAR, 'b'}, {WM_KEYDOWN, VK_DELETE}}, "a", {1, 1}, 0},
        {ES_NUMBER, "", {{WM_CHAR, '4'}, {WM_CHAR, 'x'}}, "4", {1, 1}, 1},
        {ES_UPPERCASE, "", {{WM_CHAR, 'q'}}, "Q", {1, 1}, 1},
        {0, "", {{WM_CHAR, 0xD83D}, {WM_CHAR, 0xDE00}}, "\xF0\x9F\x98\x80", {1, 1}, 1},
    };
    for (auto& c : cases) {
        HWnd edit = make("EDIT", c.style, {10, 10, 110, 40}, c.start);
        send_message(edit, EM_SETSEL, uint64_t(-2), -2); // the caret at the end
        heard.clear();
        for (auto [message, value] : c.input) send_message(edit, message, value, 0);
        EXPECT_EQ(get_window_text(edit), c.text) << c.start;
        EXPECT_EQ(edit_selection(edit), c.selection) << c.start;
        EXPECT_EQ(heard, std::vector<Heard>(c.changes, command(EN_CHANGE))) << c.start;
    }
}

TEST_F(ControlModelsTest, ShiftExtendsTheSelectionWithCaretKeys) {
    HWnd edit = make("EDIT", 0, {10, 10, 110, 40}, "abcd");
    send_message(edit, EM_SETSEL, 1, 1);
    set_focus(edit);
    input_key(VK_SHIFT, 0x2A, false, true, 0);
    Msg m;
    while (peek_message(m)) dispatch_message(m);
    send_message(edit, WM_KEYDOWN, VK_END, 0);
    EXPECT_EQ(edit_selection(edit), (Selection{1, 4}));
}

TEST_F(ControlModelsTest, LimitsHintsAndTabStopsAreKept) {
    HWnd field = make("EDIT", 0), area = make("EDIT", ES_MULTILINE);
    EXPECT_EQ(send_message(field, EM_GETLIMITTEXT, 0, 0), 30000);
    send_message(field, EM_SETLIMITTEXT, 0, 0);
    send_message(area, EM_SETLIMITTEXT, 0, 0);
    EXPECT_EQ(send_message(field, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
    EXPECT_EQ(send_message(area, EM_GETLIMITTEXT, 0, 0), 0xFFFFFFFF);
    send_message(field, EM_SETLIMITTEXT, 2, 0);
    for (uint64_t c : {'a', 'b', 'c'}) send_message(field, WM_CHAR, c, 0);
    EXPECT_EQ(get_window_text(field), "ab"); // the third is past the limit
    EXPECT_EQ(send_text(field, EM_SETCUEBANNER, 0, "type here"), 1);
    char cue[5] = {};
    send_message(field, EM_GETCUEBANNER, reinterpret_cast<uint64_t>(cue), sizeof cue);
    EXPECT_STREQ(cue, "type");
    int32_t stops[] = {32};
    send_message(area, EM_SETTABSTOPS, 1, reinterpret_cast<int64_t>(stops));
    EXPECT_EQ(control_model<EditModel>(area)->tab_stops, std::vector<int32_t>{32});
    send_message(area, EM_SETREADONLY, 1, 0);
    EXPECT_TRUE(get_style(area) & ES_READONLY);
    send_text(area, WM_SETTEXT, 0, "a\nb\nc");
    EXPECT_EQ(send_message(area, EM_GETLINECOUNT, 0, 0), 3);
}

// What the user types or pastes goes in as far as the limit (in
// characters) leaves room; text set by code is never cut.
TEST_F(ControlModelsTest, TheTextLimitHoldsWhatTheUserPutsIn) {
    struct Case {
        const char* name;
        uint32_t style, limit;
        const char* text; // set by code
        Selection sel;
        const char* typed;  // characters typed, one by one
        const char* pasted; // the clipboard's text, pasted with Ctrl+V
        const char* expect;
        int32_t caret;
        size_t changes; // EN_CHANGE heard
    } cases[] = {
        {"typing stops at the limit", 0, 3, "ab", {2, 2}, "cde", nullptr, "abc", 3, 1},
        {"typing over a selection", 0, 3, "abc", {1, 2}, "x", nullptr, "axc", 2, 1},
        {"a paste is cut to the room left", 0, 6, "ab", {1, 1}, nullptr, "12345", "a1234b", 5, 1},
        {"a paste over the selection", 0, 4, "abcd", {0, 2}, nullptr, "xyz", "xycd", 2, 1},
        {"no room, no paste", 0, 2, "ab", {2, 2}, nullptr, "xyz", "ab", 2, 0},
        {"a field pastes the first line", 0, 100, "", {0, 0}, nullptr, "one\ntwo", "one", 3, 1},
        {"an area pastes lines", ES_MULTILINE, 6, "", {0, 0}, nullptr, "one\ntwo", "one\ntw", 6, 1},
        {"characters count, not bytes",
         0,
         3,
         "\u00e9",
         {1, 1},
         nullptr,
         "\u20ac\U0001F600x",
         "\u00e9\u20ac\U0001F600",
         3,
         1},
        {"text set past the limit stays", 0, 2, "abcd", {4, 4}, "e", nullptr, "abcd", 4, 0},
        {"and can be shortened", 0, 2, "abcd", {4, 4}, "\b", nullptr, "abc", 3, 1},
        {"read-only takes no paste", ES_READONLY, 10, "ab", {0, 0}, nullptr, "x", "ab", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HWnd edit = make("EDIT", c.style, {10, 10, 110, 40}, c.text);
        send_message(edit, EM_SETLIMITTEXT, c.limit, 0);
        send_message(edit, EM_SETSEL, uint64_t(c.sel.start), c.sel.end);
        if (c.pasted) headless->script_clipboard(c.pasted);
        heard.clear();
        for (const char* t = c.typed; t && *t; ++t) send_message(edit, WM_CHAR, uint8_t(*t), 0);
        if (c.pasted) send_message(edit, WM_CHAR, 22, 0);
        EXPECT_EQ(get_window_text(edit), c.expect);
        EXPECT_EQ(edit_selection(edit), (Selection{c.caret, c.caret}));
        EXPECT_EQ(heard, std::vector<Heard>(c.changes, command(EN_CHANGE)));
        destroy_window(edit);
    }
}

// An edit the backend's own widget made is held to the limit as typing is,
// and Shift+Insert pastes as Ctrl+V does.
TEST_F(ControlModelsTest, NativeEditsAndShiftInsertKeepTheLimit) {
    HWnd edit = make("EDIT", 0, {10, 10, 110, 40}, "ab");
    send_message(edit, EM_SETLIMITTEXT, 4, 0);
    user_edit(edit, "abcdef", {6, 6});
    EXPECT_EQ(get_window_text(edit), "abcd");
    EXPECT_EQ(edit_selection(edit), (Selection{4, 4}));
    send_text(edit, WM_SETTEXT, 0, "a");
    send_message(edit, EM_SETSEL, 1, 1);
    headless->script_clipboard("xyz");
    set_focus(edit);
    input_key(VK_SHIFT, 0x2A, false, true, 0);
    Msg m;
    while (peek_message(m)) dispatch_message(m);
    send_message(edit, WM_KEYDOWN, VK_INSERT, 0);
    EXPECT_EQ(get_window_text(edit), "axyz");
}

// ---- Focus notifications, one per class family

TEST_F(ControlModelsTest, FocusTellsTheParentInEachFamilysCodes) {
    struct Case {
        const char* cls;
        uint32_t style;
        std::vector<Heard> set, kill;
    } cases[] = {
        {"EDIT", 0, {command(EN_SETFOCUS)}, {command(EN_KILLFOCUS)}},
        {"ListBox", 0, {command(LBN_SETFOCUS)}, {command(LBN_KILLFOCUS)}},
        {"ComboBox", CBS_DROPDOWN, {command(CBN_SETFOCUS)}, {command(CBN_KILLFOCUS)}},
        {"BUTTON", BS_NOTIFY, {command(BN_SETFOCUS)}, {command(BN_KILLFOCUS)}},
        {"BUTTON", 0, {}, {}},
        {"msctls_trackbar32", 0, {}, {}},
    };
    for (auto& c : cases) {
        HWnd w = make(c.cls, c.style);
        heard.clear();
        set_focus(w);
        EXPECT_EQ(heard, c.set) << c.cls;
        heard.clear();
        set_focus(parent);
        EXPECT_EQ(heard, c.kill) << c.cls;
    }
}

// ---- Lists and combo boxes

TEST_F(ControlModelsTest, ItemMessagesAnswerAndKeepTheCurrentItem) {
    for (bool combo : {false, true}) {
        HWnd w = make(combo ? "ComboBox" : "ListBox", combo ? uint32_t(CBS_DROPDOWNLIST) : 0u);
        auto msg = [&](uint32_t list, uint32_t box) { return combo ? box : list; };
        EXPECT_EQ(send_text(w, msg(LB_ADDSTRING, CB_ADDSTRING), 0, "b"), 0);
        EXPECT_EQ(send_text(w, msg(LB_ADDSTRING, CB_ADDSTRING), 0, "d"), 1);
        EXPECT_EQ(send_text(w, msg(LB_INSERTSTRING, CB_INSERTSTRING), 0, "a"), 0);
        EXPECT_EQ(send_text(w, msg(LB_INSERTSTRING, CB_INSERTSTRING), 9, "x"), LB_ERR);
        EXPECT_EQ(send_text(w, msg(LB_INSERTSTRING, CB_INSERTSTRING), uint64_t(-1), "e"), 3);
        EXPECT_EQ(send_message(w, msg(LB_SETCURSEL, CB_SETCURSEL), 2, 0), 2); // "d"
        EXPECT_EQ(send_text(w, msg(LB_INSERTSTRING, CB_INSERTSTRING), 1, "c"), 1);
        EXPECT_EQ(send_message(w, msg(LB_GETCURSEL, CB_GETCURSEL), 0, 0), 3); // still "d"
        EXPECT_EQ(send_message(w, msg(LB_DELETESTRING, CB_DELETESTRING), 0, 0), 4);
        EXPECT_EQ(send_message(w, msg(LB_GETCURSEL, CB_GETCURSEL), 0, 0), 2);
        EXPECT_EQ(send_message(w, msg(LB_DELETESTRING, CB_DELETESTRING), 9, 0), LB_ERR);
        EXPECT_EQ(item_text(w, msg(LB_GETTEXT, CB_GETLBTEXT), 2), "d");
        EXPECT_EQ(send_message(w, msg(LB_GETTEXTLEN, CB_GETLBTEXTLEN), 2, 0), 1);
        EXPECT_EQ(send_message(w, msg(LB_GETTEXTLEN, CB_GETLBTEXTLEN), 7, 0), LB_ERR);
        EXPECT_EQ(send_text(w, msg(LB_FINDSTRING, CB_FINDSTRING), uint64_t(-1), "D"), 2);
        EXPECT_EQ(send_text(w, msg(LB_FINDSTRINGEXACT, CB_FINDSTRINGEXACT), 1, "c"), 0); // wraps
        EXPECT_EQ(send_message(w, msg(LB_SETITEMDATA, CB_SETITEMDATA), 1, 42), 1);
        EXPECT_EQ(send_message(w, msg(LB_GETITEMDATA, CB_GETITEMDATA), 1, 0), 42);
        // Deleting the current item leaves none.
        EXPECT_EQ(send_message(w, msg(LB_DELETESTRING, CB_DELETESTRING), 2, 0), 3);
        EXPECT_EQ(send_message(w, msg(LB_GETCURSEL, CB_GETCURSEL), 0, 0), -1);
        // Out of range: an error; a combo box loses its selection, a list keeps it.
        send_message(w, msg(LB_SETCURSEL, CB_SETCURSEL), 0, 0);
        EXPECT_EQ(send_message(w, msg(LB_SETCURSEL, CB_SETCURSEL), 5, 0), LB_ERR);
        EXPECT_EQ(send_message(w, msg(LB_GETCURSEL, CB_GETCURSEL), 0, 0), combo ? -1 : 0);
        EXPECT_EQ(send_message(w, msg(LB_SETCURSEL, CB_SETCURSEL), uint64_t(-1), 0), LB_ERR);
        EXPECT_EQ(send_message(w, msg(LB_GETCURSEL, CB_GETCURSEL), 0, 0), -1);
        send_message(w, msg(LB_RESETCONTENT, CB_RESETCONTENT), 0, 0);
        EXPECT_EQ(send_message(w, msg(LB_GETCOUNT, CB_GETCOUNT), 0, 0), 0);
        EXPECT_TRUE(heard.empty()) << "combo " << combo;
    }
}

TEST_F(ControlModelsTest, SortedListsInsertInOrderWithoutRegardToCase) {
    HWnd list = make("ListBox", LBS_SORT);
    for (const char* s : {"pear", "Apple", "fig", "apple"}) send_text(list, LB_ADDSTRING, 0, s);
    std::vector<std::string> items;
    for (int i = 0; i < 4; ++i) items.push_back(item_text(list, LB_GETTEXT, i));
    EXPECT_EQ(items, (std::vector<std::string>{"Apple", "apple", "fig", "pear"}));
}

TEST_F(ControlModelsTest, ListClicksPickEvenTheSameItemAgain) {
    HWnd list = make("ListBox", LBS_NOTIFY, {10, 10, 110, 70});
    for (const char* s : {"a", "b", "c", "d", "e"}) send_text(list, LB_ADDSTRING, 0, s);
    send_message(list, LB_SETITEMHEIGHT, 0, 20);
    send_message(list, LB_SETTOPINDEX, 1, 0);
    EXPECT_EQ(send_message(list, LB_ITEMFROMPOINT, 0, make_point_param(5, 25)), 2);
    EXPECT_EQ(send_message(list, LB_ITEMFROMPOINT, 0, make_point_param(5, 59)), 3);
    EXPECT_EQ(send_message(list, LB_ITEMFROMPOINT, 0, make_point_param(5, 65)), 4 | 1 << 16);
    set_focus(list);
    heard.clear();
    click(list, 5, 25);
    click(list, 5, 25);
    send_message(list, WM_LBUTTONDBLCLK, MK_LBUTTON, make_point_param(5, 25));
    send_message(list, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(send_message(list, LB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(heard, (std::vector<Heard>{command(LBN_SELCHANGE), command(LBN_SELCHANGE),
                                         command(LBN_SELCHANGE), command(LBN_DBLCLK),
                                         command(LBN_SELCHANGE)}));
}

TEST_F(ControlModelsTest, DropDownListTextIsTheSelectedItem) {
    HWnd combo = make("ComboBox", CBS_DROPDOWNLIST);
    for (const char* s : {"red", "green"}) send_text(combo, CB_ADDSTRING, 0, s);
    send_message(combo, CB_SETCURSEL, 1, 0);
    EXPECT_EQ(get_window_text(combo), "green");
    EXPECT_EQ(send_text(combo, WM_SETTEXT, 0, "RED"), 1);
    EXPECT_EQ(send_message(combo, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(get_window_text(combo), "red");
    EXPECT_EQ(send_text(combo, WM_SETTEXT, 0, "blue"), CB_ERR);
    EXPECT_EQ(get_window_text(combo), "red");
    EXPECT_EQ(send_message(combo, CB_GETEDITSEL, 0, 0), CB_ERR); // no edit
    EXPECT_EQ(send_text(combo, CB_SELECTSTRING, uint64_t(-1), "gr"), 1);
    EXPECT_EQ(get_window_text(combo), "green");
    send_message(combo, CB_DELETESTRING, 1, 0);
    EXPECT_EQ(get_window_text(combo), "");
    EXPECT_TRUE(heard.empty());
}

TEST_F(ControlModelsTest, ComboPicksAndEditsNotifyApart) {
    HWnd combo = make("ComboBox", CBS_DROPDOWN);
    for (const char* s : {"one", "two"}) send_text(combo, CB_ADDSTRING, 0, s);
    send_message(combo, WM_LBUTTONDOWN, MK_LBUTTON, make_point_param(5, 5)); // opens the list
    EXPECT_EQ(send_message(combo, CB_GETDROPPEDSTATE, 0, 0), 1);
    user_pick_item(combo, 1);
    EXPECT_EQ(get_window_text(combo), "two");
    EXPECT_EQ(send_message(combo, CB_GETDROPPEDSTATE, 0, 0), 0);
    uint32_t start = 9, end = 9;
    send_message(combo, CB_GETEDITSEL, reinterpret_cast<uint64_t>(&start),
                 reinterpret_cast<int64_t>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 3u);
    send_message(combo, WM_CHAR, 's', 0); // typing replaces the selected text
    EXPECT_EQ(get_window_text(combo), "s");
    EXPECT_EQ(send_message(combo, CB_GETCURSEL, 0, 0), -1);
    send_message(combo, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(get_window_text(combo), "one");
    send_text(combo, WM_SETTEXT, 0, "typed by code");
    send_message(combo, CB_SETCURSEL, 1, 0);
    EXPECT_EQ(heard, (std::vector<Heard>{command(CBN_SETFOCUS), command(CBN_DROPDOWN),
                                         command(CBN_SELCHANGE), command(CBN_CLOSEUP),
                                         command(CBN_EDITCHANGE), command(CBN_SELCHANGE)}));
}

// ---- Scroll bars

TEST_F(ControlModelsTest, ScrollInfoClampsPageAndPositionAsWindowsDoes) {
    struct Case {
        int32_t min, max;
        uint32_t page;
        int32_t pos;
        uint32_t page_read;
        int32_t pos_read;
    } cases[] = {
        {0, 100, 10, 95, 10, 91}, // the last position is max - page + 1
        {0, 100, 10, -5, 10, 0},  {0, 100, 0, 100, 0, 100}, {0, 100, 500, 50, 101, 0},
        {1, 10, 3, 10, 3, 8},     {5, 5, 1, 9, 1, 5},       {10, 0, 0, 4, 0, 10}, // max below min
    };
    HWnd bar = make("SCROLLBAR", SBS_VERT);
    for (auto& c : cases) {
        int32_t answered =
            set_scroll_info(bar, SB_CTL, {SIF_ALL, c.min, c.max, c.page, c.pos, 0}, true);
        ScrollInfo read{SIF_ALL};
        ASSERT_TRUE(get_scroll_info(bar, SB_CTL, read));
        EXPECT_EQ(read.page, c.page_read) << c.min << ".." << c.max << " page " << c.page;
        EXPECT_EQ(read.pos, c.pos_read) << c.min << ".." << c.max << " page " << c.page;
        EXPECT_EQ(answered, c.pos_read);
    }
    EXPECT_EQ(send_message(bar, SBM_SETPOS, 3, 1), 10);
    EXPECT_EQ(send_message(bar, SBM_GETPOS, 0, 0), 10); // still clamped to the range 10..10
    EXPECT_TRUE(heard.empty());
}

TEST_F(ControlModelsTest, AWindowsBarsShowWhenNeededAndTakeClientSpace) {
    HWnd w = make("Parent", 0, {0, 0, 200, 100});
    EXPECT_EQ(client_rect(w), (Rect{0, 0, 200, 100}));
    set_scroll_info(w, SB_VERT, {SIF_RANGE | SIF_PAGE, 0, 99, 50, 0, 0}, true);
    EXPECT_TRUE(get_style(w) & WS_VSCROLL);
    EXPECT_EQ(client_rect(w), (Rect{0, 0, 184, 100}));
    // Not needed: hidden, unless kept (disabled) by SIF_DISABLENOSCROLL.
    set_scroll_info(w, SB_VERT, {SIF_RANGE | SIF_PAGE, 0, 99, 100, 0, 0}, true);
    EXPECT_FALSE(get_style(w) & WS_VSCROLL);
    set_scroll_info(w, SB_HORZ, {SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL, 0, 9, 20, 0, 0}, true);
    EXPECT_TRUE(control_model<ScrollModel>(w)->disabled[SB_HORZ]);
    EXPECT_EQ(client_rect(w), (Rect{0, 0, 200, 84}));
    show_scroll_bar(w, SB_BOTH, false);
    EXPECT_EQ(client_rect(w), (Rect{0, 0, 200, 100}));
}

TEST_F(ControlModelsTest, ScrollBarInputSendsRequestsAndNeverMovesTheBar) {
    // 16 wide, 116 long: arrows of 16, a trough of 84, a thumb of 42 (half).
    HWnd bar = make("SCROLLBAR", SBS_VERT, {0, 0, 16, 116});
    set_scroll_info(bar, SB_CTL, {SIF_ALL, 0, 99, 50, 0, 0}, true);
    click(bar, 8, 4);   // up arrow
    click(bar, 8, 110); // down arrow
    click(bar, 8, 80);  // the trough below the thumb
    send_message(bar, WM_LBUTTONDOWN, MK_LBUTTON, make_point_param(8, 20)); // the thumb
    send_message(bar, WM_MOUSEMOVE, MK_LBUTTON, make_point_param(8, 41));   // half the way
    send_message(bar, WM_MOUSEMOVE, MK_LBUTTON, make_point_param(8, 300));  // past the end
    send_message(bar, WM_LBUTTONUP, 0, make_point_param(8, 300));
    std::vector<Heard> expected = {
        {WM_VSCROLL, SB_LINEUP},
        {WM_VSCROLL, SB_ENDSCROLL},
        {WM_VSCROLL, SB_LINEDOWN},
        {WM_VSCROLL, SB_ENDSCROLL},
        {WM_VSCROLL, SB_PAGEDOWN},
        {WM_VSCROLL, SB_ENDSCROLL},
        {WM_VSCROLL, SB_THUMBTRACK, 25},
        {WM_VSCROLL, SB_THUMBTRACK, 50},
        {WM_VSCROLL, SB_THUMBPOSITION, 50},
        {WM_VSCROLL, SB_ENDSCROLL},
    };
    EXPECT_EQ(heard, expected);
    EXPECT_EQ(send_message(bar, SBM_GETPOS, 0, 0), 0);
    ScrollInfo read{SIF_TRACKPOS};
    get_scroll_info(bar, SB_CTL, read);
    EXPECT_EQ(read.track_pos, 50);
}

TEST_F(ControlModelsTest, AWindowsOwnBarsTellTheWindowItself) {
    HWnd w = make("Parent", 0, {0, 0, 200, 100});
    set_scroll_info(w, SB_HORZ, {SIF_ALL, 0, 9, 5, 0, 0}, true);
    heard.clear();
    user_scroll(w, SB_HORZ, SB_THUMBTRACK, 99);
    EXPECT_EQ(heard, (std::vector<Heard>{{WM_HSCROLL, SB_THUMBTRACK, 5}}));
}

// ---- Trackbars and progress bars

TEST_F(ControlModelsTest, TrackbarPositionsStayInTheirRange) {
    HWnd slider = make("msctls_trackbar32", 0);
    EXPECT_EQ(send_message(slider, TBM_GETRANGEMAX, 0, 0), 100);
    send_message(slider, TBM_SETPOS, 1, 150);
    EXPECT_EQ(send_message(slider, TBM_GETPOS, 0, 0), 100);
    send_message(slider, TBM_SETRANGE, 1, 10 | 50 << 16);
    EXPECT_EQ(send_message(slider, TBM_GETPOS, 0, 0), 50);
    send_message(slider, TBM_SETRANGEMIN, 1, 60);
    EXPECT_EQ(send_message(slider, TBM_GETPOS, 0, 0), 60); // an empty range holds its minimum
    EXPECT_EQ(send_message(slider, TBM_SETPAGESIZE, 0, 5), 20);
    EXPECT_EQ(send_message(slider, TBM_GETPAGESIZE, 0, 0), 5);
    send_message(slider, TBM_SETRANGE, 1, 0 | 0 << 16); // a 0x0 slider's range
    user_slide(slider, TB_THUMBTRACK, 7);
    EXPECT_EQ(send_message(slider, TBM_GETPOS, 0, 0), 0);
}

TEST_F(ControlModelsTest, TrackbarInputMovesThenTellsTheParentEndingWithEndTrack) {
    // 110 wide: the thumb's centre runs from 5 to 105 over 0..100.
    HWnd slider = make("msctls_trackbar32", 0, {0, 0, 110, 20});
    send_message(slider, TBM_SETPOS, 1, 50);
    click(slider, 90, 10); // the channel past the thumb: a page
    send_message(slider, WM_LBUTTONDOWN, MK_LBUTTON, make_point_param(75, 10)); // the thumb
    send_message(slider, WM_MOUSEMOVE, MK_LBUTTON, make_point_param(30, 10));
    send_message(slider, WM_LBUTTONUP, 0, make_point_param(30, 10));
    send_message(slider, WM_KEYDOWN, VK_END, 0);
    send_message(slider, WM_KEYUP, VK_END, 0);
    std::vector<Heard> expected = {
        {WM_HSCROLL, TB_PAGEDOWN},       {WM_HSCROLL, TB_ENDTRACK},
        {WM_HSCROLL, TB_THUMBTRACK, 25}, {WM_HSCROLL, TB_THUMBPOSITION, 25},
        {WM_HSCROLL, TB_ENDTRACK},       {WM_HSCROLL, TB_BOTTOM},
        {WM_HSCROLL, TB_ENDTRACK},
    };
    EXPECT_EQ(heard, expected);
    EXPECT_EQ(send_message(slider, TBM_GETPOS, 0, 0), 100);
    // Vertical: the minimum at the top.
    HWnd vertical = make("msctls_trackbar32", TBS_VERT, {0, 0, 20, 110});
    heard.clear();
    click(vertical, 10, 100);
    EXPECT_EQ(send_message(vertical, TBM_GETPOS, 0, 0), 20);
    EXPECT_EQ(heard.front(), (Heard{WM_VSCROLL, TB_PAGEDOWN}));
}

TEST_F(ControlModelsTest, ProgressAnswersPreviousValuesAndStepsAround) {
    HWnd bar = make("msctls_progress32", 0);
    EXPECT_EQ(send_message(bar, PBM_SETPOS, 40, 0), 0);
    EXPECT_EQ(send_message(bar, PBM_SETPOS, 400, 0), 40);
    EXPECT_EQ(send_message(bar, PBM_GETPOS, 0, 0), 100);
    EXPECT_EQ(send_message(bar, PBM_SETRANGE32, 0, 50), 0 | 100 << 16);
    EXPECT_EQ(send_message(bar, PBM_GETPOS, 0, 0), 50);
    int32_t range[2] = {};
    EXPECT_EQ(send_message(bar, PBM_GETRANGE, 1, reinterpret_cast<int64_t>(range)), 0);
    EXPECT_EQ(range[1], 50);
    send_message(bar, PBM_SETPOS, 45, 0);
    EXPECT_EQ(send_message(bar, PBM_STEPIT, 0, 0), 45);
    EXPECT_EQ(send_message(bar, PBM_GETPOS, 0, 0), 5); // 55 starts over from the minimum
    EXPECT_EQ(send_message(bar, PBM_DELTAPOS, uint64_t(-10), 0), 5);
    EXPECT_EQ(send_message(bar, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(send_message(bar, PBM_SETBARCOLOR, 0, 0xFF), 0xFF000000);
    EXPECT_EQ(send_message(bar, PBM_GETBARCOLOR, 0, 0), 0xFF);
}

// ---- Tabs

TEST_F(ControlModelsTest, TabsKeepTheirCurrentTabThroughInsertsAndDeletes) {
    HWnd tabs = make("SysTabControl32", 0, {0, 0, 300, 200});
    auto insert = [&](int index, const char* text) {
        TabItem item{TCIF_TEXT, text};
        return send_message(tabs, TCM_INSERTITEM, uint64_t(index),
                            reinterpret_cast<int64_t>(&item));
    };
    EXPECT_EQ(send_message(tabs, TCM_GETCURSEL, 0, 0), -1);
    EXPECT_EQ(insert(0, "b"), 0);
    EXPECT_EQ(send_message(tabs, TCM_GETCURSEL, 0, 0), 0); // the first tab is current
    EXPECT_EQ(insert(9, "c"), 1);                          // past the end: appended
    EXPECT_EQ(insert(0, "a"), 0);
    EXPECT_EQ(send_message(tabs, TCM_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(send_message(tabs, TCM_SETCURSEL, 2, 0), 1);
    EXPECT_EQ(send_message(tabs, TCM_SETCURSEL, 3, 0), -1);
    EXPECT_EQ(send_message(tabs, TCM_DELETEITEM, 0, 0), 1);
    EXPECT_EQ(send_message(tabs, TCM_GETCURSEL, 0, 0), 1);
    char text[8] = {};
    TabItem read{TCIF_TEXT, nullptr, text, sizeof text};
    EXPECT_EQ(send_message(tabs, TCM_GETITEM, 1, reinterpret_cast<int64_t>(&read)), 1);
    EXPECT_STREQ(text, "c");
    EXPECT_EQ(send_message(tabs, TCM_DELETEITEM, 1, 0), 1);
    EXPECT_EQ(send_message(tabs, TCM_GETCURSEL, 0, 0), -1);
    Rect page{0, 0, 300, 200};
    send_message(tabs, TCM_ADJUSTRECT, 0, reinterpret_cast<int64_t>(&page));
    EXPECT_TRUE(page.width() < 300 && page.top > 0);
    send_message(tabs, TCM_ADJUSTRECT, 1, reinterpret_cast<int64_t>(&page));
    EXPECT_EQ(page, (Rect{0, 0, 300, 200}));
    EXPECT_TRUE(heard.empty());
}

TEST_F(ControlModelsTest, AUserSwitchAsksTheParentFirst) {
    HWnd tabs = make("SysTabControl32", 0, {0, 0, 300, 200});
    for (const char* t : {"one", "two"}) {
        TabItem item{TCIF_TEXT, t};
        send_message(tabs, TCM_INSERTITEM, 9, reinterpret_cast<int64_t>(&item));
    }
    Rect second;
    send_message(tabs, TCM_GETITEMRECT, 1, reinterpret_cast<int64_t>(&second));
    changing_answer = 1; // keep the tab
    click(tabs, second.left + 2, second.top + 2);
    EXPECT_EQ(send_message(tabs, TCM_GETCURSEL, 0, 0), 0);
    changing_answer = 0;
    click(tabs, second.left + 2, second.top + 2);
    click(tabs, second.left + 2, second.top + 2); // the current tab: nothing
    EXPECT_EQ(send_message(tabs, TCM_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(heard, (std::vector<Heard>{notice(TCN_SELCHANGING), notice(TCN_SELCHANGING),
                                         notice(TCN_SELCHANGE)}));
}

// ---- Calendars

TEST_F(ControlModelsTest, CalendarsSelectOnlyValidDaysAndOnlyPicksNotify) {
    HWnd cal = make("SysMonthCal32", 0, {0, 0, 224, 136});
    SystemTime day{2024, 2, 0, 29};
    EXPECT_EQ(send_message(cal, MCM_SETCURSEL, 0, reinterpret_cast<int64_t>(&day)), 1);
    SystemTime read;
    send_message(cal, MCM_GETCURSEL, 0, reinterpret_cast<int64_t>(&read));
    EXPECT_EQ(read.day_of_week, 4); // a Thursday
    for (SystemTime bad :
         {SystemTime{2023, 2, 0, 29}, SystemTime{1500, 1, 0, 1}, SystemTime{2024, 13, 0, 1}})
        EXPECT_EQ(send_message(cal, MCM_SETCURSEL, 0, reinterpret_cast<int64_t>(&bad)), 0);
    // The month arrows show another month only.
    click(cal, 220, 5);
    EXPECT_EQ(control_model<CalendarModel>(cal)->shown_month, 3);
    send_message(cal, MCM_GETCURSEL, 0, reinterpret_cast<int64_t>(&read));
    EXPECT_EQ(read.day, 29);
    EXPECT_TRUE(heard.empty());
    // March 2024 starts on a Friday; weeks start on Sunday: the first row
    // runs from Feb 25 to Mar 2, cells 32 wide, 16 high from y 40.
    click(cal, 32 * 5 + 3, 40 + 3); // Friday of the first row
    send_message(cal, MCM_GETCURSEL, 0, reinterpret_cast<int64_t>(&read));
    EXPECT_EQ((std::vector<int>{read.year, read.month, read.day}), (std::vector<int>{2024, 3, 1}));
    click(cal, 3, 40 + 3); // Sunday Feb 25: a day of the month before, shown then
    EXPECT_EQ(control_model<CalendarModel>(cal)->shown_month, 2);
    EXPECT_EQ(heard, (std::vector<Heard>{notice(MCN_SELCHANGE), notice(MCN_SELECT),
                                         notice(MCN_SELCHANGE), notice(MCN_SELECT)}));
    EXPECT_EQ(send_message(cal, MCM_SETCOLOR, MCSC_BACKGROUND, 0x123456), -1);
    EXPECT_EQ(send_message(cal, MCM_GETCOLOR, MCSC_BACKGROUND, 0), 0x123456);
}

TEST_F(ControlModelsTest, DestroyedControlsLeaveNoModel) {
    HWnd b = make("BUTTON", 0), e = make("EDIT", 0), w = make("Parent", 0);
    set_scroll_info(w, SB_VERT, {SIF_ALL, 0, 10, 2, 0, 0}, true);
    destroy_window(parent);
    EXPECT_EQ(control_model<ButtonModel>(b), nullptr);
    EXPECT_EQ(control_model<EditModel>(e), nullptr);
    EXPECT_EQ(control_model<ScrollModel>(w), nullptr);
}

} // namespace

// ---- The notification table, with input through the layer

namespace {

using kiv::testing::ControlDriver;
using kiv::testing::Key;
using kiv::testing::notices;

class HeadlessDriver : public ControlDriver {
  public:
    void click(HWnd window, Point client) override {
        Point at = client_to_screen(window, client);
        input_button(Button::left, true, at);
        input_button(Button::left, false, at);
    }
    void press(Key key) override {
        auto info = kiv::testing::key_info(key);
        input_key(info.vk, 0, false, true, info.character);
        input_key(info.vk, 0, false, false, 0);
    }
    void settle(size_t, const std::function<bool(const Msg&)>& stop) override {
        Msg m;
        while (peek_message(m)) {
            if (stop(m)) continue;
            translate_message(m);
            dispatch_message(m);
        }
    }
};

} // namespace

TEST_F(ControlModelsTest, UserActionsNotifyAsTheTableSays) {
    register_class({kiv::testing::notice_parent_class, kiv::testing::notice_parent_proc, 0, 0});
    HeadlessDriver driver;
    for (const auto& row : kiv::testing::notification_rows()) {
        SCOPED_TRACE(row.name);
        HWnd top = create_window(kiv::testing::notice_parent_class, "table", WS_VISIBLE,
                                 {100, 100, 500, 400}, 0, 0);
        set_active_window(top);
        HWnd w = run_row(driver, top, row, {20, 20, 220, 120});
        EXPECT_EQ(notices(), row.heard);
        if (row.check) row.check(w);
        destroy_window(top);
    }
}

TEST_F(ControlModelsTest, FocusMovesByClicksOnlyToEnabledFields) {
    register_class({kiv::testing::notice_parent_class, kiv::testing::notice_parent_proc, 0, 0});
    HWnd top = create_window(kiv::testing::notice_parent_class, "focus", WS_VISIBLE,
                             {100, 100, 500, 400}, 0, 0);
    set_active_window(top);
    HeadlessDriver driver;
    kiv::testing::check_focus_moves(driver, top);
}

TEST_F(ControlModelsTest, DisabledControlsTakeNoInput) {
    HWnd b = make("BUTTON", BS_AUTOCHECKBOX);
    enable_window(b, false);
    click(b);
    send_message(b, WM_KEYDOWN, VK_SPACE, 0);
    send_message(b, WM_KEYUP, VK_SPACE, 0);
    EXPECT_EQ(send_message(b, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_NE(get_focus(), b);
    EXPECT_TRUE(heard.empty());
}

namespace {

uint32_t asked = 0;
int64_t coloring_parent(HWnd w, uint32_t m, uint64_t wp, int64_t lp) {
    if (m < WM_CTLCOLOREDIT || m > WM_CTLCOLORSTATIC) return def_window_proc(w, m, wp, lp);
    asked = m;
    auto* colors = reinterpret_cast<ControlColors*>(wp);
    colors->text = 0xFF112233;
    colors->has_text = true;
    return 1;
}

} // namespace

TEST_F(ControlModelsTest, ControlsAskTheirParentForColours) {
    register_class({"Coloring", coloring_parent, 0, 0});
    HWnd p = create_window("Coloring", "", WS_VISIBLE, {0, 0, 200, 200}, 0, 0);
    struct Case {
        const char* cls;
        uint32_t style, message;
    } cases[] = {
        {"EDIT", 0, WM_CTLCOLOREDIT},
        {"EDIT", ES_READONLY, WM_CTLCOLORSTATIC},
        {"BUTTON", 0, WM_CTLCOLORBTN},
        {"ListBox", 0, WM_CTLCOLORLISTBOX},
        {"STATIC", 0, WM_CTLCOLORSTATIC},
        {"SCROLLBAR", 0, WM_CTLCOLORSCROLLBAR},
        // Buttons drawn on their parent's background ask as static text.
        {"BUTTON", BS_AUTOCHECKBOX, WM_CTLCOLORSTATIC},
        {"BUTTON", BS_AUTORADIOBUTTON, WM_CTLCOLORSTATIC},
        {"BUTTON", BS_AUTO3STATE, WM_CTLCOLORSTATIC},
        {"BUTTON", BS_GROUPBOX, WM_CTLCOLORSTATIC},
        {"BUTTON", BS_DEFPUSHBUTTON, WM_CTLCOLORBTN},
        {"BUTTON", BS_AUTOCHECKBOX | BS_PUSHLIKE, WM_CTLCOLORBTN},
    };
    for (auto& c : cases) {
        asked = 0;
        HWnd w = create_window(c.cls, "", WS_CHILD | c.style, {0, 0, 10, 10}, p, 0);
        ControlColors colors = control_colors(w);
        EXPECT_EQ(asked, c.message) << c.cls;
        EXPECT_TRUE(colors.has_text && !colors.has_back) << c.cls;
        EXPECT_EQ(colors.text, 0xFF112233u);
    }
    HWnd tabs = create_window("SysTabControl32", "", WS_CHILD, {0, 0, 10, 10}, p, 0);
    asked = 0;
    EXPECT_FALSE(control_colors(tabs).has_text); // tabs ask nothing
    EXPECT_EQ(asked, 0u);
}
