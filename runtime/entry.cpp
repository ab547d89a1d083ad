#include "runtime/entry.h"

#include <cfenv>
#include <csignal>
#include <cstring>
#include <new>

#include "runtime/fatal.h"
#include "runtime/faults.h"
#include "runtime/heap.h"
#include "runtime/throw.h"

#if defined(__x86_64__) || defined(__i386__)
#include <fpu_control.h>
#endif

namespace kiv::runtime {

StdHandles std_handles;

namespace {

// The floating-point unit as the language computes with it: the default
// environment (round to nearest, every exception masked, so that overflow
// and division by zero give infinities the language checks for), and on
// x86 the x87 unit at double precision (control word 0x027F).
void set_up_floating_point() {
    std::fesetenv(FE_DFL_ENV);
#if defined(__x86_64__) || defined(__i386__)
    fpu_control_t word = 0x027F;
    _FPU_SETCW(word);
#endif
}

} // namespace

void os_init(int argc, char** argv) {
    set_up_floating_point();
    install_fault_handlers();
    // A write past the file-size limit then fails with an error the script
    // is given, instead of the signal ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    std_handles = StdHandles{};
    init_command_line(argc, argv);
}

void init_command_line(int argc, char** argv) {
    if (!argv || argc < 0) argc = 0;
    auto** vector = static_cast<char**>(heap::allocate(sizeof(char*) * (size_t(argc) + 1)));
    for (int i = 0; i < argc; ++i) {
        size_t size = std::strlen(argv[i]) + 1;
        vector[i] = static_cast<char*>(std::memcpy(heap::allocate(size), argv[i], size));
    }
    vector[argc] = nullptr;
    record.argc = argc;
    record.argv = vector;
}

void top_handler(uint32_t code) {
    if (code == code::quit) quit_with_error(0, 0);
    quit_with_error(fatal::no_catch_for_throw,
                    caller_address(reinterpret_cast<void*>(&top_handler)));
}

void run(const std::function<void()>& body) {
    const void* here = reinterpret_cast<void*>(&run);
    try {
        body();
    } catch (const Quit& q) {
        quit(q.status);
    } catch (const Throw& t) {
        top_handler(t.code);
    } catch (const std::bad_alloc&) {
        quit_with_error(fatal::out_of_memory, caller_address(here));
    } catch (...) {
        quit_with_error(fatal::unknown_error, caller_address(here));
    }
    quit_with_error(0, 0);
}

} // namespace kiv::runtime
