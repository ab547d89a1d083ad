#include "console/stdio.h"

#include "console/entry.h"
#include "console/line_editor.h"
#include "console/signals.h"

#include <unistd.h>

#include <cstring>
#include <string>

#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/system_object.h"
#include "datatypes/url.h"
#include "evaluator/exits.h"
#include "platform/os.h"
#include "runtime/console.h"
#include "runtime/entry.h"
#include "runtime/memory.h"
#include "runtime/output_hooks.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/throw.h"
#include "runtime/types.h"

namespace kiv::console {
namespace {

const Cell none_cell{TYPE_NONE, 0, 0, 0};

// Output that cannot be written (a full disk, a reader gone with SIGPIPE
// ignored) ends the run with status 1 and one line on standard error, as
// the standard tools do: carrying on would lose it and report success.
[[noreturn]] void end_on_write_error(int error) {
    std::string line =
        std::string("*** Error: cannot write to standard output: ") + std::strerror(error) + "\n";
    os::write_all(runtime::std_handles.error, line.data(), line.size());
    throw runtime::Quit{1};
}

// The console's print hook: what print and prin hand over goes to
// standard output.
void print_hook(const Cell* value, int new_line) {
    Buffer* b = memory::buffer_of(value->w2);
    uint8_t* head = b->head + value->w1 * b->unit();
    if (int error = os_console::write(head, size_t(b->tail - head), b->unit(), new_line != 0))
        end_on_write_error(error);
}

// Set when the preprocessor stopped the evaluation (a directive or macro
// error): a script stopped so ends with status 1, as one that failed.
bool preprocessor_stopped = false;

void note_preprocessor_stop(Cell* args) {
    preprocessor_stopped = true;
    args[0] = none_cell;
}

// console-init title: the interactive session begins. A terminal shows
// the title (an xterm title sequence); from now on Ctrl-C halts the
// evaluation under way rather than ending the process, or, when it comes
// while the console's loop stands outside its catch, the next command.
void start_session(Cell* args) {
    set_phase(Phase::evaluating);
    natives::halts_wait = true;
    if (isatty(STDOUT_FILENO)) {
        std::string title = "\033]0;" + url::utf8_text(args[0]) + "\a";
        if (::write(STDOUT_FILENO, title.data(), title.size()) != ssize_t(title.size())) {
            os_console::write_c_string("SetConsoleTitle failed!\n");
            restore_terminal();
            _exit(1);
        }
    }
    args[0] = none_cell;
}

} // namespace

void init() {
    output_hooks::register_(print_hook, nullptr);
}

void register_routines() {
    routine::register_named("preprocessor-stopped", note_preprocessor_stop);
    routine::register_named("console-init", start_session);
}

int launch(const std::vector<std::string>&) {
    install_signals();
    if (Cell* gui = system_object::field({"console", "gui?"})) logic::make_at(*gui, false);
    Rooted<Cell> result;
    // The engine reports errors itself; one that escapes it is shown here,
    // once.
    if (!run_entry("system/console/launch", *result, [](const std::string& line) {
            os_console::write_text(line.data(), uint32_t(line.size()));
        }))
        return 1;
    int status = cell::type_of(*result) == TYPE_INTEGER ? int(integer::get(*result)) : 0;
    return status == 0 && preprocessor_stopped ? 1 : status;
}

} // namespace kiv::console
