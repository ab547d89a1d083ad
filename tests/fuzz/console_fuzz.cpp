// Fuzz target of a console session: each input is evaluated as the console
// evaluates a typed line, under its error trap. Whatever the input, the
// session must go on: no crash, no sanitizer report, no exit but quit.
//
// Every input meets the same fresh session: the session is started once,
// and each input runs in a child process forked from it, so that what an
// input leaves behind (a global word set, a function replaced) never
// reaches the next one, and a finding shows again from its input alone.
// The child's coverage counters are copied back into this process before
// libFuzzer reads them.
//
// The words that reach outside the process (files, processes, the
// environment, waiting) are unset, a timer stops an evaluation that runs
// longer than a few seconds, and the session's memory has a ceiling.
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/valid_utf8.h"
#include "datatypes/block.h"
#include "evaluator/stack.h"
#include "harness.h"
#include "runtime/collector.h"
#include "runtime/throw.h"

// The coverage counters of the instrumented code, bounds set by the linker.
extern "C" {
extern uint8_t __start___sancov_cntrs[] __attribute__((weak, visibility("hidden")));
extern uint8_t __stop___sancov_cntrs[] __attribute__((weak, visibility("hidden")));
}

namespace {

using namespace kiv;

// Results are cut to a terminal's width, as a session at a terminal cuts
// them: molding a result of hundreds of megabytes whole is slow, not wrong.
constexpr const char* sandbox =
    "foreach w [call browse wait set-env write delete rename create modify open update] "
    "[unset w] system/console/size: 160x50";
constexpr time_t time_limit_seconds = 3;
// One input may still grow a value past libFuzzer's memory limit (which
// watches this process, not the child): past this ceiling it is the
// language's no-memory error instead.
constexpr size_t memory_ceiling = size_t(768) << 20;

// The console's own step for a complete input, bound to the console object
// once: `buffer: INPUT do-command`. An input that replaces system/console
// does not take the next input's way in, as the console's loop keeps its
// functions too.
Cell typed_input{cell::unset_header, 0, 0, 0};

void mark_typed_input() {
    collector::mark_values(&typed_input, &typed_input + 1);
}

// The counters, and a shared copy of them the child writes at its end.
struct Coverage {
    uint8_t* counters = __start___sancov_cntrs;
    size_t size = size_t(__stop___sancov_cntrs - __start___sancov_cntrs);
    uint8_t* shared = nullptr;
};
Coverage coverage;

void start_session() {
    static bool started = [] {
        fuzz::start_once();
        fuzz::evaluate(sandbox);
        collector::add_marker(mark_typed_input);
        fuzz::evaluate("bind [buffer: none do-command] system/console", typed_input);
        memory::os_bytes_limit = memory_ceiling;
        if (coverage.size) {
            void* shared = mmap(nullptr, coverage.size, PROT_READ | PROT_WRITE,
                                MAP_SHARED | MAP_ANONYMOUS, -1, 0);
            if (shared == MAP_FAILED) std::abort();
            coverage.shared = static_cast<uint8_t*>(shared);
        }
        return true;
    }();
    (void)started;
}

// The child's watchdog: past the time limit, an interrupt every tenth of a
// second (the evaluation may clear one) until the evaluation stops.
void on_watchdog(int) {
    stack::interrupt();
}

void start_watchdog() {
    struct sigaction action {};
    action.sa_handler = on_watchdog;
    sigemptyset(&action.sa_mask);
    sigaction(SIGRTMIN, &action, nullptr);
    sigevent event{};
    event.sigev_notify = SIGEV_SIGNAL;
    event.sigev_signo = SIGRTMIN;
    timer_t timer;
    if (timer_create(CLOCK_MONOTONIC, &event, &timer) != 0) std::abort();
    itimerspec period{{0, 100'000'000}, {time_limit_seconds, 0}};
    timer_settime(timer, 0, &period, nullptr);
}

// The child: evaluates the input, hands its coverage over and ends.
[[noreturn]] void run_child(const uint8_t* data, size_t size) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    start_watchdog();
    // Typed bytes that are not UTF-8 read as U+FFFD, as the console reads
    // them.
    std::string typed =
        console::valid_utf8(std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        Rooted<Cell> input;
        string::from_utf8(reinterpret_cast<const uint8_t*>(typed.data()), uint32_t(typed.size()),
                          *input);
        block::rs_head(typed_input)[1] = *input;
        Rooted<Cell> result;
        trap::run([] { interpreter::eval(typed_input, false); }, *result);
    } catch (const runtime::Quit&) {
        // quit ends the session as it would end the console.
    }
    if (coverage.shared) std::memcpy(coverage.shared, coverage.counters, coverage.size);
    _exit(0);
}

} // namespace

// Fontconfig loses some of what it allocates while it loads its
// configuration and while Pango's font-map thread matches fonts (valgrind
// shows the same blocks lost in a plain run), so the first `text` drawn in
// a session would be reported as a leak of ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    start_session();
    pid_t child = fork();
    if (child < 0) std::abort();
    if (child == 0) run_child(data, size);
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) std::abort();
    // A child that failed (a sanitizer report, a crash) fails this input
    // here too, so that libFuzzer keeps it.
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
    if (coverage.shared) std::memcpy(coverage.counters, coverage.shared, coverage.size);
    return 0;
}
