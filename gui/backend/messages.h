// Message codes, virtual-key codes and the flag values of the window layer.
// The numbers are the ones the window procedures and the event translation
// are written against; the layer, its backends and the event code share them.
#pragma once

#include <cstdint>

namespace kiv::gui {

// Window messages.
enum : uint32_t {
    WM_NULL = 0x0000,
    WM_CREATE = 0x0001,
    WM_DESTROY = 0x0002,
    WM_MOVE = 0x0003,
    WM_SIZE = 0x0005,
    WM_ACTIVATE = 0x0006,
    WM_SETFOCUS = 0x0007,
    WM_KILLFOCUS = 0x0008,
    WM_ENABLE = 0x000A,
    WM_SETTEXT = 0x000C,
    WM_GETTEXT = 0x000D,
    WM_GETTEXTLENGTH = 0x000E,
    WM_PAINT = 0x000F,
    WM_CLOSE = 0x0010,
    WM_QUIT = 0x0012,
    WM_ERASEBKGND = 0x0014,
    WM_SHOWWINDOW = 0x0018,
    WM_SETCURSOR = 0x0020,
    WM_GETMINMAXINFO = 0x0024,
    WM_WINDOWPOSCHANGED = 0x0047,
    WM_NOTIFY = 0x004E,
    WM_NCCREATE = 0x0081,
    WM_NCDESTROY = 0x0082,
    WM_NCHITTEST = 0x0084,
    WM_KEYDOWN = 0x0100,
    WM_KEYUP = 0x0101,
    WM_CHAR = 0x0102,
    WM_SYSKEYDOWN = 0x0104,
    WM_SYSKEYUP = 0x0105,
    WM_SYSCHAR = 0x0106,
    WM_IME_STARTCOMPOSITION = 0x010D,
    WM_IME_ENDCOMPOSITION = 0x010E,
    WM_IME_COMPOSITION = 0x010F,
    WM_COMMAND = 0x0111,
    WM_SYSCOMMAND = 0x0112,
    WM_TIMER = 0x0113,
    WM_HSCROLL = 0x0114,
    WM_VSCROLL = 0x0115,
    WM_GESTURE = 0x0119,
    WM_MENUSELECT = 0x011F,
    WM_ENTERMENULOOP = 0x0211,
    WM_EXITMENULOOP = 0x0212,
    WM_CTLCOLOREDIT = 0x0133,
    WM_CTLCOLORLISTBOX = 0x0134,
    WM_CTLCOLORSTATIC = 0x0138,
    WM_MOUSEMOVE = 0x0200,
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONUP = 0x0202,
    WM_LBUTTONDBLCLK = 0x0203,
    WM_RBUTTONDOWN = 0x0204,
    WM_RBUTTONUP = 0x0205,
    WM_RBUTTONDBLCLK = 0x0206,
    WM_MBUTTONDOWN = 0x0207,
    WM_MBUTTONUP = 0x0208,
    WM_MBUTTONDBLCLK = 0x0209,
    WM_MOUSEWHEEL = 0x020A,
    WM_XBUTTONDOWN = 0x020B,
    WM_XBUTTONUP = 0x020C,
    WM_XBUTTONDBLCLK = 0x020D,
    WM_MOUSEHWHEEL = 0x020E,
    WM_CAPTURECHANGED = 0x0215,
    WM_MOVING = 0x0216,
    WM_SIZING = 0x0214,
    WM_ENTERSIZEMOVE = 0x0231,
    WM_EXITSIZEMOVE = 0x0232,
    WM_MOUSELEAVE = 0x02A3,
    WM_DPICHANGED = 0x02E0,
    WM_PASTE = 0x0302,
    WM_THEMECHANGED = 0x031A,
    WM_DISPLAYCHANGE = 0x007E,
    WM_USER = 0x0400,
};

// Edit-control messages of the built-in EDIT model.
enum : uint32_t {
    EM_GETSEL = 0x00B0,
    EM_SETSEL = 0x00B1,
};

// Virtual keys.
enum : uint32_t {
    VK_LBUTTON = 0x01,
    VK_RBUTTON = 0x02,
    VK_MBUTTON = 0x04,
    VK_XBUTTON1 = 0x05,
    VK_XBUTTON2 = 0x06,
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12,
    VK_PAUSE = 0x13,
    VK_CAPITAL = 0x14,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_PRIOR = 0x21,
    VK_NEXT = 0x22,
    VK_END = 0x23,
    VK_HOME = 0x24,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_INSERT = 0x2D,
    VK_DELETE = 0x2E,
    VK_LWIN = 0x5B,
    VK_RWIN = 0x5C,
    VK_NUMPAD0 = 0x60,
    VK_F1 = 0x70,
    VK_F4 = 0x73,
    VK_F5 = 0x74,
    VK_F10 = 0x79,
    VK_F12 = 0x7B,
    VK_NUMLOCK = 0x90,
    VK_SCROLL = 0x91,
    VK_LSHIFT = 0xA0,
    VK_RSHIFT = 0xA1,
    VK_LCONTROL = 0xA2,
    VK_RCONTROL = 0xA3,
    VK_LMENU = 0xA4,
    VK_RMENU = 0xA5,
    VK_PROCESSKEY = 0xE5,
};

// Key state of mouse messages (wParam).
enum : uint32_t {
    MK_LBUTTON = 0x01,
    MK_RBUTTON = 0x02,
    MK_SHIFT = 0x04,
    MK_CONTROL = 0x08,
    MK_MBUTTON = 0x10,
    MK_XBUTTON1 = 0x20,
    MK_XBUTTON2 = 0x40,
};

// Key-message lParam bits.
enum : uint32_t {
    KF_EXTENDED = 1u << 24,
    KF_ALTDOWN = 1u << 29,
    KF_REPEAT = 1u << 30,
    KF_UP = 1u << 31,
};

// Window styles.
enum : uint32_t {
    WS_CHILD = 0x40000000,
    WS_VISIBLE = 0x10000000,
    WS_DISABLED = 0x08000000,
    WS_MINIMIZE = 0x20000000,
    WS_MAXIMIZE = 0x01000000,
    WS_MINIMIZEBOX = 0x00020000,
    WS_MAXIMIZEBOX = 0x00010000,
    ES_MULTILINE = 0x0004,
};

// Class styles.
enum : uint32_t {
    CS_VREDRAW = 0x0001,
    CS_HREDRAW = 0x0002,
    CS_DBLCLKS = 0x0008,
};

// WM_ACTIVATE states, WM_SIZE kinds, ShowWindow commands, hit-test codes.
enum : uint32_t {
    WA_INACTIVE = 0,
    WA_ACTIVE = 1,
    SIZE_RESTORED = 0,
    SIZE_MINIMIZED = 1,
    SIZE_MAXIMIZED = 2,
    SW_HIDE = 0,
    SW_SHOWNORMAL = 1,
    SW_SHOWMINIMIZED = 2,
    SW_SHOWMAXIMIZED = 3,
    SW_SHOW = 5,
    HTCLIENT = 1,
    TME_LEAVE = 0x02,
    WHEEL_DELTA = 120,
};

// WM_NCHITTEST: the pointer passes to what lies below the window.
inline constexpr int64_t HTTRANSPARENT = -1;

// Key, character and mouse messages: what a user's input makes.
inline bool is_input_message(uint32_t message) {
    return (message >= WM_KEYDOWN && message <= WM_SYSCHAR) ||
           (message >= WM_MOUSEMOVE && message <= WM_MOUSEHWHEEL);
}

// Packs client coordinates as mouse messages carry them: signed 16-bit x
// in the low word, y in the high word.
inline int64_t make_point_param(int x, int y) {
    return int64_t(uint32_t(uint16_t(int16_t(x))) | uint32_t(uint16_t(int16_t(y))) << 16);
}
inline int point_param_x(int64_t lparam) {
    return int16_t(uint16_t(lparam & 0xFFFF));
}
inline int point_param_y(int64_t lparam) {
    return int16_t(uint16_t((lparam >> 16) & 0xFFFF));
}

} // namespace kiv::gui
