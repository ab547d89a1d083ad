#include "console/test_dump.h"

#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "datatypes/function.h"
#include "datatypes/none.h"
#include "datatypes/string.h"

namespace kiv::console {
namespace {

std::atomic<bool> asked = false;

void on_dump_signal(int) {
    asked.store(true, std::memory_order_relaxed);
}

// console-test-dump: the path KIV_TEST_DUMP names (a string) when a dump
// was asked for since the last call, else none. The console asks between two events.
void test_dump(Cell* args) {
    const char* path = std::getenv("KIV_TEST_DUMP");
    if (!path || !*path || !asked.exchange(false, std::memory_order_relaxed)) {
        none::make_at(args[0]);
        return;
    }
    string::load_at(reinterpret_cast<const uint8_t*>(path), uint32_t(std::strlen(path)), args[0],
                    string::Encoding::utf8);
}

} // namespace

void register_test_dump_routines() {
    routine::register_named("console-test-dump", test_dump);
    const char* path = std::getenv("KIV_TEST_DUMP");
    if (!path || !*path) return;
    struct sigaction action {};
    action.sa_handler = on_dump_signal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);
}

} // namespace kiv::console
