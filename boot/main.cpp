// The entry of the kiv executable: `kiv` opens the graphical console when a
// display is there and standard input is a terminal, else reads expressions
// from standard input; `kiv FILE ARGS...` runs a script; `--cli` and
// `--gui` choose the console.
#include <pthread.h>
#include <signal.h>

#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "boot/startup.h"
#include "console/choice.h"
#include "console/gui_start.h"
#include "console/stdio.h"
#include "gui/backend/gui_init.h"
#include "platform/os.h"
#include "runtime/entry.h"
#include "runtime/fatal.h"
#include "runtime/faults.h"
#include "runtime/throw.h"

namespace {

// The interpreter recurses on the machine stack; it runs on a thread whose
// stack is large enough for the deepest call the call-frame stack allows.
constexpr size_t interpreter_stack = 512u * 1024 * 1024;

void write_error(std::string_view line) {
    kiv::os::write_all(kiv::runtime::std_handles.error, line.data(), line.size());
}

// Opens the display the environment names; a named one that does not open
// is told on standard error.
bool open_display() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return false;
    kiv::gui::init();
    if (kiv::gui::on_display()) return true;
    write_error(std::string("*** Warning: cannot open display ") + display +
                "; using the text console\n");
    return false;
}

// Runs the console the command line and the environment choose; answers
// the exit status.
int run_console(const std::vector<std::string>& args) {
    const char* backend = std::getenv("KIV_GUI");
    kiv::console::StartFacts facts{args, kiv::console::input_is_piped(),
                                   backend && std::string_view(backend) == "headless"};
    switch (kiv::console::choose_console(facts, open_display)) {
    case kiv::console::Choice::graphical: return kiv::console::launch_graphical();
    case kiv::console::Choice::no_display:
        write_error("*** Error: the graphical console needs a display (DISPLAY)\n");
        return 1;
    case kiv::console::Choice::stdio: break;
    }
    kiv::console::init();
    return kiv::console::launch(args);
}

struct Run {
    int argc;
    char** argv;
    int status = 0;
};

void* interpret(void* data) {
    auto* run = static_cast<Run*>(data);
    kiv::runtime::prepare_thread();
    kiv::runtime::run([run] {
        try {
            kiv::boot::start();
        } catch (const std::bad_alloc&) {
            kiv::boot::exit_short_of_memory();
        } catch (const kiv::runtime::Throw&) {
            // Raised before errors can be made: the memory manager's own
            // start-up failed.
            kiv::boot::exit_short_of_memory();
        }
        std::vector<std::string> args(run->argv + 1, run->argv + run->argc);
        throw kiv::runtime::Quit{run_console(args)};
    });
}

} // namespace

int main(int argc, char** argv) {
    kiv::runtime::os_init(argc, argv);
    Run run{argc, argv};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, interpreter_stack);
    pthread_t thread;
    if (pthread_create(&thread, &attributes, interpret, &run) != 0) {
        // The machine stack check then keeps to the main stack's bounds:
        // deep recursion ends in the stack-overflow error sooner.
        constexpr std::string_view warning =
            "*** Warning: no room for the interpreter's stack; deep recursion is limited\n";
        kiv::os::write_all(kiv::runtime::std_handles.error, warning.data(), warning.size());
        interpret(&run);
    }
    // The console's signals go to the interpreter's thread, so that they
    // interrupt the calls it blocks in.
    sigset_t console_signals;
    sigemptyset(&console_signals);
    sigaddset(&console_signals, SIGINT);
    sigaddset(&console_signals, SIGWINCH);
    pthread_sigmask(SIG_BLOCK, &console_signals, nullptr);
    pthread_join(thread, nullptr);
    return run.status;
}
