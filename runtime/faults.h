// Processor faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP) end the
// process through the runtime error exit. The handler runs on an alternate
// signal stack, so that a stack overflow can still be reported.
#pragma once

#include <csignal>
#include <cstdint>

namespace kiv::runtime {

// The lowest and highest address of a thread's stack.
struct StackBounds {
    uintptr_t low = 0;
    uintptr_t high = 0;
};

// Reads the current thread's stack bounds; zero bounds when unknown.
StackBounds init_stack_bounds();

// The runtime error code of a fault: the signal, its si_code and the
// faulting address; an access just below or at the bottom of the stack is
// a stack overflow (19).
int fault_code(int signal, int si_code, uintptr_t address, StackBounds stack);

// Installs the fault handlers, and prepares the calling thread.
void install_fault_handlers();

// Gives the calling thread what the handler needs there: an alternate
// signal stack of its own and its stack bounds, so that running off its
// stack is reported as a stack overflow. Every thread that runs Kiv code
// calls it first.
void prepare_thread();

// Set while the fault handler reports, so that the error box uses only
// async-signal-safe means (standard error) then.
extern volatile std::sig_atomic_t handling_fault;

} // namespace kiv::runtime
