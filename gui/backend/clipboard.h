// The desktop clipboard behind read-clipboard and write-clipboard: the
// values as the backend's clipboard data (a block of file! values, a
// string!, an image!), when a display is set.
#pragma once

#include "runtime/cell.h"

namespace kiv::gui {

// Whether the desktop clipboard serves: starts the GUI at the first call
// when a display is set; false without one (the caller keeps its own).
bool desktop_clipboard();
// The clipboard's value into `out` (none when empty); false when the owner
// does not answer in time.
bool clipboard_read(Cell& out);
// Gives the clipboard a string!, a block of file! values or an image!
// (checked by the caller); none empties it.
bool clipboard_write(Cell& data);

} // namespace kiv::gui
