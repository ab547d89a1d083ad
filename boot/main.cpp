// The entry of the kiv executable: `kiv` reads expressions from standard
// input; `kiv FILE ARGS...` runs a script.
#include <pthread.h>
#include <signal.h>

#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "boot/startup.h"
#include "console/stdio.h"
#include "platform/os.h"
#include "runtime/entry.h"
#include "runtime/fatal.h"
#include "runtime/faults.h"
#include "runtime/throw.h"

namespace {

// The interpreter recurses on the machine stack; it runs on a thread whose
// stack is large enough for the deepest call the call-frame stack allows.
constexpr size_t interpreter_stack = 512u * 1024 * 1024;

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
        kiv::console::init();
        std::vector<std::string> args(run->argv + 1, run->argv + run->argc);
        throw kiv::runtime::Quit{kiv::console::launch(args)};
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
