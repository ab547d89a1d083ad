// Common dialogs shown modal for the active top-level: any mouse capture
// is released first, and the owner takes no input while the dialog is
// open, though its messages (timers, painting) keep being dispatched.
#pragma once

#include "gui/backend/dialogs.h"

namespace kiv::gui {

FileAnswer ask_file(const FileRequest& request);
std::optional<FontAnswer> ask_font(const FontRequest& request);

} // namespace kiv::gui
