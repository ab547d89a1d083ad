// GDK key values as the window layer's virtual keys and scan codes.
#pragma once

#include <cstdint>
#include <gdk/gdk.h>

namespace kiv::gui::gtk {

struct KeyCode {
    uint32_t vk = 0;   // 0: the key has no virtual key
    uint32_t scan = 0; // the PC scan code
    bool extended = false;
};

// The virtual key of the key that the hardware key code stands for (read
// without modifiers, so that Shift+1 is the key 1), its scan code and
// extended bit (right Control and Alt, the navigation block, keypad Enter
// and Divide).
KeyCode key_code(GdkKeymap* keymap, const GdkEventKey& event);

} // namespace kiv::gui::gtk
