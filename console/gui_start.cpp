#include "console/gui_start.h"

#include <string>

#include "console/entry.h"
#include "console/gui_print.h"
#include "console/signals.h"
#include "datatypes/logic.h"
#include "datatypes/system_object.h"
#include "platform/os.h"
#include "runtime/entry.h"
#include "runtime/roots.h"

namespace kiv::console {
namespace {

void write_error(const std::string& text) {
    os::write_all(runtime::std_handles.error, text.data(), text.size());
}

} // namespace

int launch_graphical() {
    install_signals();
    if (Cell* gui = system_object::field({"console", "gui?"})) logic::make_at(*gui, true);
    // What is printed before the console's terminal takes the output is
    // kept and shown there once it does.
    keep_early_output();
    Rooted<Cell> result;
    if (run_entry("make-gui-console gui-console-ctx/launch", *result, [](const std::string& line) {
            // No window to show it in: the failed start is told on
            // standard error, after what was printed before it.
            write_error(take_early_output());
            write_error(line);
        }))
        return 0;
    return 1;
}

} // namespace kiv::console
