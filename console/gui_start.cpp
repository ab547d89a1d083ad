#include "console/gui_start.h"

#include <string>
#include <string_view>

#include "console/signals.h"
#include "datatypes/logic.h"
#include "datatypes/system_object.h"
#include "datatypes/url.h"
#include "evaluator/error_text.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "evaluator/trap.h"
#include "platform/os.h"
#include "runtime/entry.h"
#include "runtime/roots.h"

namespace kiv::console {

int launch_graphical() {
    install_signals();
    if (Cell* gui = system_object::field({"console", "gui?"})) logic::make_at(*gui, true);
    constexpr std::string_view start = "make-gui-console gui-console-ctx/launch";
    Rooted<Cell> code;
    lexer::load(*code, reinterpret_cast<const uint8_t*>(start.data()), uint32_t(start.size()));
    Rooted<Cell> result;
    if (trap::run([&] { interpreter::eval(*code, true); }, *result)) return 0;
    // No window to show it in: the failed start is told on standard error.
    Rooted<Cell> text;
    error_text::form(*result, *text);
    std::string line = url::utf8_text(*text) + "\n";
    os::write_all(runtime::std_handles.error, line.data(), line.size());
    return 1;
}

} // namespace kiv::console
