// A halt asked for by another thread (a watchdog, Ctrl-C's handler) while
// one native runs a long loop of its own: the loop stops at its next poll,
// the native never finishes, and the language goes on. Each test starts the
// whole language, so it runs in a child process.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "boot/image.h"
#include "boot/startup.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "runtime/cell.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/types.h"

using namespace kiv;

namespace {

// Evaluates loaded code from a clean argument stack and answers its value.
Cell eval(const Cell& code) {
    Rooted<Cell> block(code), value;
    stack::reset();
    interpreter::eval(*block, false);
    *value = *stack::get_top();
    stack::reset();
    return *value;
}

Cell run(const std::string& text) {
    Rooted<Cell> code;
    lexer::load(*code, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
    return eval(*code);
}

// Code that runs the work under a catch of the halt, then tells whether the
// halt came and the check holds. `done` is set only if the work ran to its
// end: the halt came back at the interpreter's check, too late.
Cell load_halt_test(const std::string& work, const std::string& check) {
    std::string test = "done: none outcome: catch/name [" + work +
                       " done: true] 'console all [outcome = 'halt-request  none? done " + check +
                       "]";
    Cell code;
    lexer::load(code, reinterpret_cast<const uint8_t*>(test.data()), uint32_t(test.size()));
    return code;
}

// Ends the process unless the test gave true and the language goes on.
void expect_stopped(const char* name, const Cell& outcome) {
    if (cell::type_of(outcome) != TYPE_LOGIC || !logic::get(outcome)) {
        std::fprintf(stderr, "not stopped: %s\n", name);
        std::_Exit(1);
    }
    Cell sum = run("1 + 1");
    if (cell::type_of(sum) != TYPE_INTEGER || integer::get(sum) != 2) std::_Exit(2);
}

// Work that takes seconds inside one native, and the input it needs.
struct Case {
    const char* name;
    const char* input;
    const char* work;
};

const Case cases[] = {
    {"load", R"(s: append/dup copy "" "1 " 20000000)", "load s"},
    {"copy/deep", "b: append/dup copy [] [[1]] 5000000", "copy/deep b"},
    {"load-json", R"(s: append append/dup copy "[" "1," 20000000 "1]")", "load-json s"},
    {"mold", R"(s: append/dup copy "" "^-" 50000000)", "mold s"},
};

TEST(InterruptTest, WatchdogHaltStopsTheLoopOfOneNative) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            boot::start_from_image(boot::image_data, boot::image_size);
            for (const Case& c : cases) {
                run(c.input);
                Rooted<Cell> code(load_halt_test(c.work, "true"));
                std::thread watchdog([] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    stack::interrupt(true);
                });
                Cell stopped = eval(*code);
                watchdog.join();
                expect_stopped(c.name, stopped);
            }
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

// Loops that write many copies, or checksum a long input, with a halt
// asked for just after they began: the code that follows tells that the
// loop stopped at its first poll (`done` stays none) and that the series
// holds whole copies, with what followed the insertion still after them.
struct PollCase {
    const char* name;
    const char* setup;
    const char* work;
    const char* check;
};

const PollCase poll_cases[] = {
    {"insert/dup string", R"(s: copy "<>")", R"(insert/dup next s "ab" 100000)",
     R"(all [#">" = last s  even? length? s  200002 > length? s  "abab" = copy/part next s 4])"},
    {"insert/dup block", "b: copy [x y]", "insert/dup next b [1 2] 100000",
     "all ['y = last b  even? length? b  200002 > length? b  [x 1 2 1] = copy/part b 4]"},
    {"append/dup block of one", "b: copy []", "append/dup b 7 10000000",
     "all [10000000 > length? b  7 = last b]"},
    {"change/dup string", R"(s: copy "1234")", R"(change/dup/part s "xyz" 100000 2)",
     R"(all ["34" = skip tail s -2  0 = mod (length? s) - 2 3  300002 > length? s])"},
    {"append/dup binary", "x: copy #{FF}", "append/dup x #{0102} 1000000",
     "all [2000001 > length? x  #{FF0102} = copy/part x 3  #{02} = skip tail x -1]"},
    {"append/dup vector", "v: make vector! [1 2]", "append/dup v [3 4] 1000000",
     "all [2000002 > length? v  even? length? v  4 = last v]"},
    {"checksum crc32", "big: append/dup copy #{} #{00} 5000000", "checksum big 'crc32", "true"},
    {"checksum adler32", "", "checksum big 'adler32", "true"},
    {"checksum tcp", "", "checksum big 'tcp", "true"},
    {"checksum sha256", "", "checksum big 'sha256", "true"},
};

TEST(InterruptTest, HaltStopsLongFillsAndChecksumsAtTheirPolls) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            boot::start_from_image(boot::image_data, boot::image_size);
            for (const PollCase& c : poll_cases) {
                run(c.setup);
                Rooted<Cell> code(load_halt_test(c.work, c.check));
                // A halt that only the polls of native loops see: the
                // evaluator's own check stays as it was.
                uintptr_t limit = stack::machine_limit.load();
                stack::interrupt(true);
                stack::machine_limit.store(limit);
                Cell stopped = eval(*code);
                stack::clear_interrupt();
                expect_stopped(c.name, stopped);
            }
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
