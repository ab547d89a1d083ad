#include "runtime/entry.h"

#include <cstring>
#include <new>

#include "runtime/fatal.h"
#include "runtime/faults.h"
#include "runtime/heap.h"
#include "runtime/throw.h"

namespace kiv::runtime {

StdHandles std_handles;

void os_init(int argc, char** argv) {
    install_fault_handlers();
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
