// The process's entry frame and operating-system start-up: fault handlers,
// standard handles, stack bounds and the command line. A quit request ends
// the process quietly; any other throw that reaches the entry is runtime
// error 95.
#pragma once

#include <cstdint>
#include <functional>

namespace kiv::runtime {

// The descriptors of standard input, output and error that the runtime
// writes through.
struct StdHandles {
    int input = 0;
    int output = 1;
    int error = 2;
};
extern StdHandles std_handles;

// Called first of all by the start-up program: stack bounds, fault
// handlers, standard handles, then the command line.
void os_init(int argc, char** argv);

// Copies the arguments (UTF-8) into tracked-heap strings and stores argc
// and a vector of argc + 1 entries, the last null, in the runtime record.
void init_command_line(int argc, char** argv);

// The handler of the entry frame for a throw that nothing caught: the quit
// request is a quiet exit with code 0, any other code runtime error 95.
[[noreturn]] void top_handler(uint32_t code);

// Runs `body` inside the entry frame, then quits with code 0. A Quit ends
// the process quietly with its status; an uncaught Throw goes to
// top_handler; C++ memory exhaustion is runtime error 94 and any other
// escaping exception runtime error 99.
[[noreturn]] void run(const std::function<void()>& body);

} // namespace kiv::runtime
