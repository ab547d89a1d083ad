#include "console/signals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "console/line_editor.h"
#include "runtime/stack.h"

namespace kiv::console {
namespace {

std::atomic<Phase> phase = Phase::script;
std::atomic<bool> interrupted = false;
std::atomic<bool> resized = true;

// The exit status of a script that Ctrl-C ended: 128 + SIGINT, as a shell
// reports a command that SIGINT ended.
constexpr int interrupted_status = 128 + SIGINT;

void on_interrupt(int) {
    switch (phase.load(std::memory_order_relaxed)) {
    case Phase::script: restore_terminal(); _exit(interrupted_status);
    case Phase::evaluating: stack::interrupt(true); break;
    case Phase::reading: interrupted.store(true, std::memory_order_relaxed); break;
    }
}

// SIGTERM and SIGHUP end the process as they would have, with the
// terminal's echo back first (a hidden read may have turned it off).
void on_termination(int signal) {
    restore_terminal();
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void on_resize(int) {
    resized.store(true, std::memory_order_relaxed);
}

void handle(int signal, void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

} // namespace

void install_signals() {
    handle(SIGINT, on_interrupt, 0);
    handle(SIGWINCH, on_resize, SA_RESTART);
    handle(SIGTERM, on_termination, 0);
    handle(SIGHUP, on_termination, 0);
}

void set_phase(Phase next) {
    phase.store(next, std::memory_order_relaxed);
}

Phase current_phase() {
    return phase.load(std::memory_order_relaxed);
}

bool take_interrupt() {
    return interrupted.exchange(false, std::memory_order_relaxed);
}

bool take_resize() {
    return resized.exchange(false, std::memory_order_relaxed);
}

} // namespace kiv::console
