#include "gui/backend/gui.h"

#include "runtime/fatal.h"

namespace kiv::gui {

void alert(std::string_view caption, std::string_view text) {
    runtime::alert_on_stderr(caption, text);
}

} // namespace kiv::gui
