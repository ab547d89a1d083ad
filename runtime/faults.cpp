#include "runtime/faults.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "runtime/fatal.h"

namespace kiv::runtime {
namespace {

struct CodeMap {
    int signal;
    int si_code;
    int code;
};

// Faults whose si_code names the cause more precisely than the signal.
constexpr CodeMap precise_codes[] = {
    {SIGFPE, FPE_INTDIV, 13}, {SIGFPE, FPE_INTOVF, 14},    {SIGFPE, FPE_FLTDIV, 7},
    {SIGFPE, FPE_FLTOVF, 10}, {SIGFPE, FPE_FLTUND, 12},    {SIGFPE, FPE_FLTRES, 8},
    {SIGFPE, FPE_FLTINV, 9},  {SIGFPE, FPE_FLTSUB, 5},     {SIGILL, ILL_ILLOPC, 17},
    {SIGILL, ILL_ILLOPN, 23}, {SIGILL, ILL_ILLADR, 24},    {SIGILL, ILL_ILLTRP, 25},
    {SIGILL, ILL_PRVOPC, 15}, {SIGILL, ILL_PRVREG, 31},    {SIGILL, ILL_COPROC, 26},
    {SIGILL, ILL_BADSTK, 19}, {SIGBUS, BUS_ADRALN, 2},     {SIGBUS, BUS_ADRERR, 27},
    {SIGBUS, BUS_OBJERR, 28}, {SIGBUS, BUS_MCEERR_AR, 29}, {SIGBUS, BUS_MCEERR_AO, 30},
    {SIGTRAP, TRAP_TRACE, 4},
};

// The code of each handled signal when its si_code is not listed above.
constexpr CodeMap signal_codes[] = {
    {SIGSEGV, 0, 1}, {SIGBUS, 0, 34}, {SIGFPE, 0, 33}, {SIGILL, 0, 17}, {SIGTRAP, 0, 3},
};

// Addresses this far below the stack's lowest page still count as running
// off the stack (the kernel keeps a gap of this size below a growing stack).
constexpr uintptr_t guard_gap = 1 << 20;

// Room for the handler, whatever the size of the thread's own stack: each
// thread that runs Kiv code has its own, as it has its own stack bounds.
alignas(16) thread_local char alternate_stack[1 << 16];
thread_local StackBounds stack_bounds;

bool in_stack_guard(uintptr_t address, StackBounds stack) {
    if (stack.low == 0) return false;
    uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    return address + guard_gap >= stack.low && address < stack.low + page;
}

void on_fault(int signal, siginfo_t* info, void*) {
    handling_fault = 1;
    auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    int code = fault_code(signal, info->si_code, address, stack_bounds);
    // Only async-signal-safe work here: the tracked heap is left to the
    // process exit, as the fault may have struck inside the allocator.
    report_fatal(code, uint32_t(address));
    std::_Exit(code);
}

} // namespace

volatile std::sig_atomic_t handling_fault = 0;

StackBounds init_stack_bounds() {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return {};
    void* base = nullptr;
    size_t size = 0;
    StackBounds bounds;
    if (pthread_attr_getstack(&attributes, &base, &size) == 0)
        bounds = {reinterpret_cast<uintptr_t>(base), reinterpret_cast<uintptr_t>(base) + size};
    pthread_attr_destroy(&attributes);
    return bounds;
}

int fault_code(int signal, int si_code, uintptr_t address, StackBounds stack) {
    if ((signal == SIGSEGV || signal == SIGBUS) && in_stack_guard(address, stack)) return 19;
    for (const CodeMap& m : precise_codes)
        if (m.signal == signal && m.si_code == si_code) return m.code;
    for (const CodeMap& m : signal_codes)
        if (m.signal == signal) return m.code;
    return fatal::unknown_error;
}

void prepare_thread() {
    stack_bounds = init_stack_bounds();
    stack_t alternate{};
    alternate.ss_sp = alternate_stack;
    alternate.ss_size = sizeof alternate_stack;
    sigaltstack(&alternate, nullptr);
}

void install_fault_handlers() {
    prepare_thread();
    struct sigaction action {};
    action.sa_sigaction = on_fault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const CodeMap& m : signal_codes) sigaction(m.signal, &action, nullptr);
}

} // namespace kiv::runtime
