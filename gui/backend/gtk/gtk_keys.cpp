#include "gui/backend/gtk/gtk_keys.h"

#include "gui/backend/messages.h"

namespace kiv::gui::gtk {

namespace {

// Keys that are not letters, digits, function or keypad digit keys. A scan
// code of 0 is taken from the hardware key code (X key codes are the PC
// scan codes plus 8 for the main block).
struct KeyRow {
    guint keyval;
    uint32_t vk;
    uint32_t scan;
    bool extended;
};
constexpr KeyRow key_rows[] = {
    {GDK_KEY_BackSpace, VK_BACK, 0, false},
    {GDK_KEY_Tab, VK_TAB, 0, false},
    {GDK_KEY_ISO_Left_Tab, VK_TAB, 0, false},
    {GDK_KEY_Return, VK_RETURN, 0, false},
    {GDK_KEY_KP_Enter, VK_RETURN, 0x1C, true},
    {GDK_KEY_Shift_L, VK_SHIFT, 0x2A, false},
    {GDK_KEY_Shift_R, VK_SHIFT, 0x36, false},
    {GDK_KEY_Control_L, VK_CONTROL, 0x1D, false},
    {GDK_KEY_Control_R, VK_CONTROL, 0x1D, true},
    {GDK_KEY_Alt_L, VK_MENU, 0x38, false},
    {GDK_KEY_Meta_L, VK_MENU, 0x38, false},
    {GDK_KEY_Alt_R, VK_MENU, 0x38, true},
    {GDK_KEY_ISO_Level3_Shift, VK_MENU, 0x38, true},
    {GDK_KEY_Pause, VK_PAUSE, 0x45, false},
    {GDK_KEY_Caps_Lock, VK_CAPITAL, 0x3A, false},
    {GDK_KEY_Escape, VK_ESCAPE, 0, false},
    {GDK_KEY_space, VK_SPACE, 0, false},
    {GDK_KEY_Page_Up, VK_PRIOR, 0x49, true},
    {GDK_KEY_Page_Down, VK_NEXT, 0x51, true},
    {GDK_KEY_End, VK_END, 0x4F, true},
    {GDK_KEY_Home, VK_HOME, 0x47, true},
    {GDK_KEY_Left, VK_LEFT, 0x4B, true},
    {GDK_KEY_Up, VK_UP, 0x48, true},
    {GDK_KEY_Right, VK_RIGHT, 0x4D, true},
    {GDK_KEY_Down, VK_DOWN, 0x50, true},
    {GDK_KEY_Print, 0x2C, 0x37, true},
    {GDK_KEY_Insert, VK_INSERT, 0x52, true},
    {GDK_KEY_Delete, VK_DELETE, 0x53, true},
    {GDK_KEY_Super_L, VK_LWIN, 0x5B, true},
    {GDK_KEY_Super_R, VK_RWIN, 0x5C, true},
    {GDK_KEY_Menu, 0x5D, 0x5D, true},
    {GDK_KEY_KP_Multiply, 0x6A, 0, false},
    {GDK_KEY_KP_Add, 0x6B, 0, false},
    {GDK_KEY_KP_Subtract, 0x6D, 0, false},
    {GDK_KEY_KP_Decimal, 0x6E, 0, false},
    {GDK_KEY_KP_Divide, 0x6F, 0x35, true},
    {GDK_KEY_Num_Lock, VK_NUMLOCK, 0x45, true},
    {GDK_KEY_Scroll_Lock, VK_SCROLL, 0x46, false},
    {GDK_KEY_semicolon, 0xBA, 0, false},
    {GDK_KEY_equal, 0xBB, 0, false},
    {GDK_KEY_comma, 0xBC, 0, false},
    {GDK_KEY_minus, 0xBD, 0, false},
    {GDK_KEY_period, 0xBE, 0, false},
    {GDK_KEY_slash, 0xBF, 0, false},
    {GDK_KEY_grave, 0xC0, 0, false},
    {GDK_KEY_dead_grave, 0xC0, 0, false},
    {GDK_KEY_bracketleft, 0xDB, 0, false},
    {GDK_KEY_backslash, 0xDC, 0, false},
    {GDK_KEY_bracketright, 0xDD, 0, false},
    {GDK_KEY_apostrophe, 0xDE, 0, false},
    {GDK_KEY_dead_acute, 0xDE, 0, false},
    {GDK_KEY_less, 0xE2, 0, false},
};

// The virtual key of a key value read without modifiers.
KeyCode code_of(guint keyval) {
    if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z) return {uint32_t('A' + keyval - GDK_KEY_a)};
    if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) return {uint32_t('A' + keyval - GDK_KEY_A)};
    if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9) return {uint32_t('0' + keyval - GDK_KEY_0)};
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F24) return {VK_F1 + (keyval - GDK_KEY_F1)};
    if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9)
        return {VK_NUMPAD0 + (keyval - GDK_KEY_KP_0)};
    for (const KeyRow& row : key_rows)
        if (row.keyval == keyval) return {row.vk, row.scan, row.extended};
    return {};
}

} // namespace

KeyCode key_code(GdkKeymap* keymap, const GdkEventKey& event) {
    guint plain = event.keyval;
    gdk_keymap_translate_keyboard_state(keymap, event.hardware_keycode, GdkModifierType(0),
                                        event.group, &plain, nullptr, nullptr, nullptr);
    KeyCode code = code_of(plain);
    if (!code.vk) code = code_of(event.keyval);
    if (!code.scan && event.hardware_keycode >= 8 && event.hardware_keycode < 8 + 0x80)
        code.scan = event.hardware_keycode - 8u;
    return code;
}

} // namespace kiv::gui::gtk
