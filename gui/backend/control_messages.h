// The messages, styles and notification codes of the built-in controls,
// with the records some of them carry. The numbers are the ones the face
// code is written against; strings travel as UTF-8 (`const char*` in
// lParam), and a text length counts bytes, the buffer a caller needs.
#pragma once

#include <cairo.h>
#include <cstdint>

#include "gui/backend/window_types.h"

namespace kiv::gui {

// Messages every control answers.
enum : uint32_t {
    WM_SETFONT = 0x0030,
    WM_GETFONT = 0x0031,
    WM_STYLECHANGED = 0x007D,
    WM_CTLCOLORBTN = 0x0135,
    WM_CTLCOLORSCROLLBAR = 0x0137,
};

// Buttons.
enum : uint32_t {
    BM_GETCHECK = 0x00F0,
    BM_SETCHECK = 0x00F1,
    BM_GETSTATE = 0x00F2,
    BM_SETSTATE = 0x00F3,
    BM_SETSTYLE = 0x00F4,
    BM_CLICK = 0x00F5,
    BM_GETIMAGE = 0x00F6,
    BM_SETIMAGE = 0x00F7,
    BCM_SETIMAGELIST = 0x1602,
    BCM_GETIMAGELIST = 0x1603,

    BST_UNCHECKED = 0,
    BST_CHECKED = 1,
    BST_INDETERMINATE = 2,
    BST_PUSHED = 4,
    BST_FOCUS = 8,

    BS_PUSHBUTTON = 0x0,
    BS_DEFPUSHBUTTON = 0x1,
    BS_CHECKBOX = 0x2,
    BS_AUTOCHECKBOX = 0x3,
    BS_RADIOBUTTON = 0x4,
    BS_3STATE = 0x5,
    BS_AUTO3STATE = 0x6,
    BS_GROUPBOX = 0x7,
    BS_AUTORADIOBUTTON = 0x9,
    BS_TYPEMASK = 0xF,
    BS_BITMAP = 0x80,
    BS_LEFT = 0x100,
    BS_RIGHT = 0x200,
    BS_CENTER = 0x300,
    BS_TOP = 0x400,
    BS_BOTTOM = 0x800,
    BS_VCENTER = 0xC00,
    BS_PUSHLIKE = 0x1000,
    BS_MULTILINE = 0x2000,
    BS_NOTIFY = 0x4000,
    BS_FLAT = 0x8000,

    BN_CLICKED = 0,
    BN_HILITE = 2,
    BN_UNHILITE = 3,
    BN_DBLCLK = 5,
    BN_SETFOCUS = 6,
    BN_KILLFOCUS = 7,
};

// Edit controls.
enum : uint32_t {
    EM_GETMODIFY = 0x00B8,
    EM_SETMODIFY = 0x00B9,
    EM_GETLINECOUNT = 0x00BA,
    EM_SETLIMITTEXT = 0x00C5,
    EM_SETTABSTOPS = 0x00CB,
    EM_SETPASSWORDCHAR = 0x00CC,
    EM_SETREADONLY = 0x00CF,
    EM_GETPASSWORDCHAR = 0x00D2,
    EM_GETLIMITTEXT = 0x00D5,
    EM_SETCUEBANNER = 0x1501,
    EM_GETCUEBANNER = 0x1502,

    ES_LEFT = 0x0,
    ES_CENTER = 0x1,
    ES_RIGHT = 0x2,
    ES_UPPERCASE = 0x8,
    ES_LOWERCASE = 0x10,
    ES_PASSWORD = 0x20,
    ES_AUTOVSCROLL = 0x40,
    ES_AUTOHSCROLL = 0x80,
    ES_NOHIDESEL = 0x100,
    ES_READONLY = 0x800,
    ES_WANTRETURN = 0x1000,
    ES_NUMBER = 0x2000,

    EN_SETFOCUS = 0x0100,
    EN_KILLFOCUS = 0x0200,
    EN_CHANGE = 0x0300,
};

// Static text: a line that does not fit ends in an ellipsis; no wrapping.
enum : uint32_t {
    SS_ENDELLIPSIS = 0x4000,
};

// List boxes.
enum : uint32_t {
    LB_ADDSTRING = 0x0180,
    LB_INSERTSTRING = 0x0181,
    LB_DELETESTRING = 0x0182,
    LB_RESETCONTENT = 0x0184,
    LB_SETCURSEL = 0x0186,
    LB_GETCURSEL = 0x0188,
    LB_GETTEXT = 0x0189,
    LB_GETTEXTLEN = 0x018A,
    LB_GETCOUNT = 0x018B,
    LB_GETTOPINDEX = 0x018E,
    LB_FINDSTRING = 0x018F,
    LB_GETHORIZONTALEXTENT = 0x0193,
    LB_SETHORIZONTALEXTENT = 0x0194,
    LB_SETTOPINDEX = 0x0197,
    LB_GETITEMDATA = 0x0199,
    LB_SETITEMDATA = 0x019A,
    LB_SETITEMHEIGHT = 0x01A0,
    LB_GETITEMHEIGHT = 0x01A1,
    LB_FINDSTRINGEXACT = 0x01A2,
    LB_ITEMFROMPOINT = 0x01A9,

    LBS_NOTIFY = 0x1,
    LBS_SORT = 0x2,

    LBN_SELCHANGE = 1,
    LBN_DBLCLK = 2,
    LBN_SETFOCUS = 4,
    LBN_KILLFOCUS = 5,
};

// Combo boxes.
enum : uint32_t {
    CB_GETEDITSEL = 0x0140,
    CB_LIMITTEXT = 0x0141,
    CB_SETEDITSEL = 0x0142,
    CB_ADDSTRING = 0x0143,
    CB_DELETESTRING = 0x0144,
    CB_GETCOUNT = 0x0146,
    CB_GETCURSEL = 0x0147,
    CB_GETLBTEXT = 0x0148,
    CB_GETLBTEXTLEN = 0x0149,
    CB_INSERTSTRING = 0x014A,
    CB_RESETCONTENT = 0x014B,
    CB_FINDSTRING = 0x014C,
    CB_SELECTSTRING = 0x014D,
    CB_SETCURSEL = 0x014E,
    CB_SHOWDROPDOWN = 0x014F,
    CB_GETITEMDATA = 0x0150,
    CB_SETITEMDATA = 0x0151,
    CB_GETDROPPEDSTATE = 0x0157,
    CB_FINDSTRINGEXACT = 0x0158,

    CBS_SIMPLE = 0x1,
    CBS_DROPDOWN = 0x2,
    CBS_DROPDOWNLIST = 0x3,
    CBS_SORT = 0x100,

    CBN_SELCHANGE = 1,
    CBN_SETFOCUS = 3,
    CBN_KILLFOCUS = 4,
    CBN_EDITCHANGE = 5,
    CBN_DROPDOWN = 7,
    CBN_CLOSEUP = 8,
};

// Scroll bars: the bar kinds, SCROLLINFO masks, requests, bar messages.
enum : uint32_t {
    SB_HORZ = 0,
    SB_VERT = 1,
    SB_CTL = 2,
    SB_BOTH = 3,

    SIF_RANGE = 0x1,
    SIF_PAGE = 0x2,
    SIF_POS = 0x4,
    SIF_DISABLENOSCROLL = 0x8,
    SIF_TRACKPOS = 0x10,
    SIF_ALL = 0x17,

    SB_LINEUP = 0,
    SB_LINEDOWN = 1,
    SB_PAGEUP = 2,
    SB_PAGEDOWN = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_TOP = 6,
    SB_BOTTOM = 7,
    SB_ENDSCROLL = 8,

    SBM_SETPOS = 0x00E0,
    SBM_GETPOS = 0x00E1,
    SBM_SETRANGE = 0x00E2,
    SBM_GETRANGE = 0x00E3,
    SBM_SETSCROLLINFO = 0x00E9,
    SBM_GETSCROLLINFO = 0x00EA,

    SBS_HORZ = 0x0,
    SBS_VERT = 0x1,

    WS_HSCROLL = 0x00100000,
    WS_VSCROLL = 0x00200000,
};

// A scroll bar's range, page, position and the position a drag has reached.
struct ScrollInfo {
    uint32_t mask = 0;
    int32_t min = 0, max = 0;
    uint32_t page = 0;
    int32_t pos = 0, track_pos = 0;
};

// Trackbars (sliders); their requests are the scroll bar's, TB_ENDTRACK
// the last.
enum : uint32_t {
    TBM_GETPOS = 0x0400,
    TBM_GETRANGEMIN = 0x0401,
    TBM_GETRANGEMAX = 0x0402,
    TBM_SETPOS = 0x0405,
    TBM_SETRANGE = 0x0406,
    TBM_SETRANGEMIN = 0x0407,
    TBM_SETRANGEMAX = 0x0408,
    TBM_SETTICFREQ = 0x0414,
    TBM_SETPAGESIZE = 0x0415,
    TBM_GETPAGESIZE = 0x0416,
    TBM_SETLINESIZE = 0x0417,
    TBM_GETLINESIZE = 0x0418,

    TBS_VERT = 0x2,
    TBS_NOTICKS = 0x10,
    TBS_REVERSED = 0x200,

    TB_LINEUP = 0,
    TB_LINEDOWN = 1,
    TB_PAGEUP = 2,
    TB_PAGEDOWN = 3,
    TB_THUMBPOSITION = 4,
    TB_THUMBTRACK = 5,
    TB_TOP = 6,
    TB_BOTTOM = 7,
    TB_ENDTRACK = 8,
};

// Progress bars.
enum : uint32_t {
    PBM_SETRANGE = 0x0401,
    PBM_SETPOS = 0x0402,
    PBM_DELTAPOS = 0x0403,
    PBM_SETSTEP = 0x0404,
    PBM_STEPIT = 0x0405,
    PBM_SETRANGE32 = 0x0406,
    PBM_GETRANGE = 0x0407,
    PBM_GETPOS = 0x0408,
    PBM_SETBARCOLOR = 0x0409,
    PBM_GETSTEP = 0x040D,
    PBM_GETBKCOLOR = 0x040E,
    PBM_GETBARCOLOR = 0x040F,
    PBM_SETBKCOLOR = 0x2001,

    PBS_VERTICAL = 0x4,
};

// Tab controls.
enum : uint32_t {
    TCM_GETITEMCOUNT = 0x1304,
    TCM_DELETEITEM = 0x1308,
    TCM_DELETEALLITEMS = 0x1309,
    TCM_GETITEMRECT = 0x130A,
    TCM_GETCURSEL = 0x130B,
    TCM_SETCURSEL = 0x130C,
    TCM_ADJUSTRECT = 0x1328,
    TCM_GETITEM = 0x133C,
    TCM_SETITEM = 0x133D,
    TCM_INSERTITEM = 0x133E,

    TCIF_TEXT = 0x1,
    TCIF_IMAGE = 0x2,
    TCIF_PARAM = 0x8,
};

// A tab: which fields count (TCIF_*), its text (UTF-8; filled into
// `buffer` of `buffer_size` bytes by TCM_GETITEM), image and value.
struct TabItem {
    uint32_t mask = 0;
    const char* text = nullptr;
    char* buffer = nullptr;
    int32_t buffer_size = 0;
    int32_t image = -1;
    int64_t param = 0;
};

// Month calendars.
enum : uint32_t {
    MCM_GETCURSEL = 0x1001,
    MCM_SETCURSEL = 0x1002,
    MCM_SETCOLOR = 0x100A,
    MCM_GETCOLOR = 0x100B,
    MCM_SETTODAY = 0x100C,
    MCM_GETTODAY = 0x100D,
    MCM_SETFIRSTDAYOFWEEK = 0x100F,
    MCM_GETFIRSTDAYOFWEEK = 0x1010,

    MCSC_BACKGROUND = 0,
    MCSC_TEXT = 1,
    MCSC_TITLEBK = 2,
    MCSC_TITLETEXT = 3,
    MCSC_MONTHBK = 4,
    MCSC_TRAILINGTEXT = 5,
};

// A calendar day (the time fields are kept, never used).
struct SystemTime {
    uint16_t year = 0, month = 0, day_of_week = 0, day = 0;
    uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// WM_NOTIFY: every record starts with the header; wParam is the
// control's id.
struct NotifyHeader {
    HWnd from = 0;
    uint64_t id = 0;
    int32_t code = 0;
};

// The selection a calendar's MCN_SELCHANGE and MCN_SELECT carry.
struct CalendarSelection {
    NotifyHeader header;
    SystemTime start, end;
};

// NM_CUSTOMDRAW: a control asks its parent to draw a part of it. At the
// pre-paint stage the parent may draw into `cr` (the control's client
// area, device pixels) and answer CDRF_SKIPDEFAULT: the control then
// leaves that part (a button's caption) to the parent's drawing.
struct CustomDraw {
    NotifyHeader header;
    uint32_t stage = 0;
    cairo_t* cr = nullptr;
    Rect rect;
};
enum : uint32_t { CDDS_PREPAINT = 1, CDRF_DODEFAULT = 0, CDRF_SKIPDEFAULT = 4 };

enum : int32_t {
    NM_CUSTOMDRAW = -12,
    NM_SETFOCUS = -7,
    NM_KILLFOCUS = -8,
    TCN_SELCHANGE = -551,
    TCN_SELCHANGING = -552,
    MCN_SELCHANGE = -749,
    MCN_SELECT = -746,
};

// Errors that the list, combo and trackbar messages answer.
inline constexpr int64_t LB_ERR = -1;
inline constexpr int64_t CB_ERR = -1;

} // namespace kiv::gui
