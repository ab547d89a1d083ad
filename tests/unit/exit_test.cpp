// The runtime error exit, the entry frame, fault handling and the tracked
// heap's fatal path. Each death test ends a forked child.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cfenv>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <thread>

#include "death_text.h"
#include "runtime/entry.h"
#include "runtime/fatal.h"
#include "runtime/faults.h"
#include "runtime/heap.h"
#include "runtime/throw.h"

using namespace kiv;
using ::testing::ExitedWithCode;

#ifdef __SANITIZE_ADDRESS__
// The heap's exhaustion path needs malloc to fail, not the sanitizer to stop.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif

namespace {

void start() {
    static char program[] = "kiv";
    static char* argv[] = {program, nullptr};
    runtime::os_init(1, argv);
}

volatile int dividend = 7;
volatile int quotient = 0;

// The divisor comes through a volatile so that the division happens at run
// time.
void divide_by(int divisor) {
    volatile int d = divisor;
    quotient = dividend / d;
}

// An 8 MiB stack, whatever the shell's limit, so that an overflow comes
// soon.
void limit_stack() {
    rlimit limit{8 << 20, 8 << 20};
    setrlimit(RLIMIT_STACK, &limit);
}

// Recurses until the stack runs out; the array use keeps every frame alive.
[[gnu::noinline]] int recurse(int depth) {
    volatile char frame[512];
    frame[depth % 512] = char(depth);
    return depth == -1 ? 0 : recurse(depth + 1) + frame[0];
}

} // namespace

TEST(RuntimeErrorExitDeathTest, ReportsCodeMessageAndAddress) {
    struct Case {
        int code;
        uint32_t address;
        const char* text;
    };
    const Case cases[] = {
        {1, 0x401A2B, "*** Runtime Error 1: access violation\n*** at: 00401A2Bh"},
        {34, 0xFFFFFFFF, "*** Runtime Error 34: Bus error\n*** at: FFFFFFFFh"},
        {94, 0, "*** Runtime Error 94: out of memory\n*** at: 00000000h"},
        {101, 16, "*** Runtime Error 101: no value matched in SWITCH\n*** at: 00000010h"},
        {57, 1, "*** Runtime Error 57: unknown error code!\n*** at: 00000001h"},
    };
    for (const Case& c : cases)
        EXPECT_EXIT(runtime::quit_with_error(c.code, c.address), ExitedWithCode(c.code),
                    contains_text(std::string("Kiv App Error\n") + c.text + "\n"))
            << c.code;
}

TEST(RuntimeErrorExitDeathTest, QuietQuitFreesTheTrackedHeapAndWritesNothing) {
    EXPECT_EXIT(
        {
            heap::allocate(64);
            runtime::quit_with_error(0, 0);
        },
        ExitedWithCode(0), "^$");
}

TEST(RuntimeErrorExitDeathTest, FormatCutsAtTheBufferSize) {
    char small[12];
    EXPECT_EQ(runtime::format_fatal(small, sizeof small, 1, 0), 11u);
    EXPECT_STREQ(small, "*** Runtime");
}

TEST(FaultDeathTest, NullWriteIsAccessViolation) {
    EXPECT_EXIT(
        {
            start();
            *static_cast<volatile int*>(nullptr) = 1;
        },
        ExitedWithCode(1),
        contains_text("*** Runtime Error 1: access violation\n*** at: 00000000h"));
}

TEST(FaultDeathTest, IntegerDivideByZero) {
    EXPECT_EXIT(
        {
            start();
            divide_by(0);
        },
        ExitedWithCode(13), contains_text("*** Runtime Error 13: integer divide by zero\n"));
}

TEST(FaultDeathTest, StackOverflowIsStackError) {
    EXPECT_EXIT(
        {
            limit_stack();
            start();
            recurse(0);
        },
        ExitedWithCode(19), contains_text("*** Runtime Error 19: stack error or overflow\n"));
}

TEST(FaultDeathTest, StackOverflowOnAPreparedThreadIsStackError) {
    // The interpreter runs on a thread of its own: its overflow must be
    // reported with that thread's bounds, on that thread's signal stack.
    EXPECT_EXIT(
        {
            start();
            std::thread([] {
                runtime::prepare_thread();
                recurse(0);
            }).join();
        },
        ExitedWithCode(19), contains_text("*** Runtime Error 19: stack error or overflow\n"));
}

TEST(FaultDeathTest, BreakpointTrap) {
    EXPECT_EXIT(
        {
            start();
            std::raise(SIGTRAP);
        },
        ExitedWithCode(3), contains_text("*** Runtime Error 3: breakpoint\n"));
}

TEST(FaultCode, SignalAndCauseMapToRuntimeErrors) {
    runtime::StackBounds stack{0x7f0000100000, 0x7f0000900000};
    struct Case {
        int signal, si_code;
        uintptr_t address;
        int code;
    };
    const Case cases[] = {
        {SIGSEGV, SEGV_MAPERR, 0, 1},
        {SIGSEGV, SEGV_ACCERR, 0x1000, 1},
        {SIGSEGV, SEGV_MAPERR, 0x7f0000100000 - 64, 19}, // just below the stack
        {SIGSEGV, SEGV_MAPERR, 0x7f0000200000, 1},       // inside the stack, above its end
        {SIGFPE, FPE_INTDIV, 0, 13},
        {SIGFPE, FPE_INTOVF, 0, 14},
        {SIGFPE, FPE_FLTDIV, 0, 7},
        {SIGFPE, FPE_FLTRES, 0, 8},
        {SIGFPE, FPE_FLTINV, 0, 9},
        {SIGFPE, FPE_FLTOVF, 0, 10},
        {SIGFPE, FPE_FLTUND, 0, 12},
        {SIGFPE, 0x7777, 0, 33},
        {SIGILL, ILL_ILLOPC, 0, 17},
        {SIGILL, ILL_PRVOPC, 0, 15},
        {SIGBUS, BUS_ADRALN, 0, 2},
        {SIGBUS, BUS_ADRERR, 0, 27},
        {SIGBUS, 0x7777, 0, 34},
        {SIGTRAP, TRAP_BRKPT, 0, 3},
        {SIGTRAP, TRAP_TRACE, 0, 4},
        {SIGUSR1, 0, 0, 99},
    };
    for (const Case& c : cases)
        EXPECT_EQ(runtime::fault_code(c.signal, c.si_code, c.address, stack), c.code)
            << c.signal << "/" << c.si_code;
    // Unknown stack bounds never make a fault a stack overflow.
    EXPECT_EQ(runtime::fault_code(SIGSEGV, SEGV_MAPERR, 16, {}), 1);
}

TEST(EntryDeathTest, QuitEndsQuietly) {
    EXPECT_EXIT(runtime::run([] { runtime::throw_code(runtime::code::quit); }), ExitedWithCode(0),
                "^$");
    EXPECT_EXIT(runtime::run([] { throw runtime::Quit{3}; }), ExitedWithCode(3), "^$");
    EXPECT_EXIT(runtime::run([] {}), ExitedWithCode(0), "^$");
}

// Whatever state the process starts in, the floating-point unit rounds to
// nearest and traps nothing: an overflow or a division by zero gives an
// infinity.
void start_from_odd_floating_point_state() {
    std::fesetround(FE_UPWARD);
    feenableexcept(FE_DIVBYZERO | FE_OVERFLOW);
    runtime::os_init(0, nullptr);
    volatile double zero = 0;
    volatile double big = 1e308;
    bool ok = std::fegetround() == FE_TONEAREST && fegetexcept() == 0 && std::isinf(1 / zero) &&
              std::isinf(big * 10) && 1.0 / 3 * 3 == 1.0;
    std::_Exit(ok ? 0 : 1);
}

TEST(EntryDeathTest, OsInitSetsUpTheFloatingPointUnit) {
    EXPECT_EXIT(start_from_odd_floating_point_state(), ExitedWithCode(0), "");
}

TEST(EntryDeathTest, UncaughtThrowIsRuntimeError95) {
    EXPECT_EXIT(runtime::run([] { runtime::throw_code(runtime::code::brk); }), ExitedWithCode(95),
                contains_text("*** Runtime Error 95: no CATCH for THROW\n*** at: "));
    // Passing through a region that does not catch it changes nothing.
    EXPECT_EXIT(runtime::run([] {
                    runtime::protected_region(
                        runtime::code::cont, [] { runtime::throw_code(runtime::code::error); },
                        [](uint32_t) {});
                }),
                ExitedWithCode(95), contains_text("no CATCH for THROW"));
}

TEST(EntryDeathTest, EscapingCxxExceptionsAreReported) {
    EXPECT_EXIT(runtime::run([] { throw std::bad_alloc(); }), ExitedWithCode(94),
                contains_text("*** Runtime Error 94: out of memory\n"));
    EXPECT_EXIT(runtime::run([] { throw 1; }), ExitedWithCode(99),
                contains_text("*** Runtime Error 99: unknown error\n"));
}

TEST(TrackedHeapDeathTest, ExhaustionIsRuntimeError94) {
    EXPECT_EXIT(heap::allocate(SIZE_MAX), ExitedWithCode(94),
                contains_text("*** Runtime Error 94: out of memory\n"));
    EXPECT_EXIT(heap::resize(heap::allocate(16), SIZE_MAX / 2), ExitedWithCode(94),
                contains_text("out of memory"));
}
