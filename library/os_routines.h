// The routines that give Kiv code the operating system's services:
// os-info, read-clipboard and write-clipboard.
#pragma once

#include "runtime/cell.h"

namespace kiv::os_routines {

// The desktop clipboard, when the GUI backend gives one (set at start-up):
// `ready` answers whether it serves now, else the routines keep a
// clipboard of this process; `read` answers false when the clipboard's
// owner does not answer in time.
struct DesktopClipboard {
    bool (*ready)() = nullptr;
    bool (*read)(Cell& out) = nullptr;
    bool (*write)(Cell& data) = nullptr;
};
DesktopClipboard& desktop_clipboard();

// Registers the bodies under their routine names.
void register_routines();

} // namespace kiv::os_routines
