#include "gui/backend/gui.h"

#include "gui/backend/window_layer.h"
#include "runtime/fatal.h"
#include "runtime/faults.h"

namespace kiv::gui {

void alert(std::string_view caption, std::string_view text) {
    runtime::alert_on_stderr(caption, text);
    // A message box needs the allocator and GTK, neither safe in a signal
    // handler.
    if (runtime::handling_fault || !layer_running()) return;
    backend().alert(caption, text);
}

} // namespace kiv::gui
