// Fuzz target of a console session: each input is evaluated as the console
// evaluates a typed line, under its error trap. Whatever the input, the
// session must go on: no crash, no sanitizer report, no exit but quit.
//
// Every input meets the same fresh session: the session is started once,
// a snapshot of it is taken, and after each input the snapshot is
// restored, so that what an input leaves behind (a global word set, a
// function replaced, a switch turned) never reaches the next one, and a
// finding shows again from its input alone.
//
// The words that reach outside the process (files, processes, the
// environment, waiting) are unset, a watchdog stops an evaluation that
// runs longer than a few seconds, and the session's memory has a ceiling.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "console/valid_utf8.h"
#include "datatypes/block.h"
#include "harness.h"
#include "runtime/collector.h"
#include "runtime/session.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace {

using namespace kiv;
using Clock = std::chrono::steady_clock;

// Results are cut to a terminal's width, as a session at a terminal cuts
// them: molding a result of hundreds of megabytes whole is slow, not wrong.
constexpr const char* sandbox =
    "foreach w [call browse wait set-env write delete rename create modify open update] "
    "[unset w] system/console/size: 160x50";
constexpr auto time_limit = std::chrono::seconds(3);
// One input may still grow a value past libFuzzer's memory limit; past
// this ceiling it is the language's no-memory error instead.
constexpr size_t memory_ceiling = size_t(768) << 20;

std::atomic<int64_t> started_at{0}; // of the running input; 0 between inputs

// The console's own step for a complete input, bound to the console object
// once: `buffer: INPUT do-command`.
Cell typed_input{cell::unset_header, 0, 0, 0};

void mark_typed_input() {
    collector::mark_values(&typed_input, &typed_input + 1);
}

void watch() {
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        int64_t start = started_at.load();
        if (start && Clock::now().time_since_epoch().count() - start >
                         std::chrono::nanoseconds(time_limit).count())
            stack::interrupt();
    }
}

void start_session() {
    static bool started = [] {
        fuzz::start_once();
        fuzz::evaluate(sandbox);
        collector::add_marker(mark_typed_input);
        fuzz::evaluate("bind [buffer: none do-command] system/console", typed_input);
        memory::os_bytes_limit = memory_ceiling;
        std::thread(watch).detach();
        // The snapshot saves every byte of the heap: compacted first, it
        // holds the session's live values only.
        collector::collect();
        session::take();
        return true;
    }();
    (void)started;
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
    // An interrupt that came after the last input's final check would stop
    // this one at its first: forget it, as the console does before a line.
    stack::clear_interrupt();
    started_at = Clock::now().time_since_epoch().count();
    // Typed bytes that are not UTF-8 read as U+FFFD, as the console reads them.
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
    started_at = 0;
    session::restore();
    return 0;
}
