// Differential fuzz target of the two evaluators: the input bytes choose a
// small Kiv program (functions with arguments, refinements and locals,
// recursion, conditionals, loops, operators that overflow or divide by
// zero, paths, caught errors and throws, exits, code that changes blocks
// while they run, rebinding, functions and operators redefined inside
// their own calls), which runs once through the recursive walker and once
// through the flat core, each time in the same fresh session. What the two
// runs print, and the result or the error with its near and where, must be
// the same; a difference aborts with both transcripts and the program.
//
// Every program ends soon: a global `fuel` counter is spent by each
// function entry, each `do` of the code block and each change that grows
// running code; nothing the program may redefine (`+`, `*`, its own
// functions) is used by those guards or by loop counters; loops count to
// three at most, and the one data block that grows stops at fifty values.
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "datatypes/dispatch.h"
#include "harness.h"
#include "runtime/cell.h"
#include "runtime/collector.h"
#include "runtime/session.h"
#include "runtime/stack.h"

namespace {

using namespace kiv;
using Clock = std::chrono::steady_clock;

// Choices read from the input, one byte each; once the input is used up
// every choice is the first, which always ends the construct being built.
class Choices {
  public:
    Choices(const uint8_t* data, size_t size) : data(data), size(size) {}
    unsigned below(unsigned n) { return at < size && n > 1 ? data[at++] % n : 0; }
    template <class T, size_t N>
    const T& one_of(const std::array<T, N>& table) {
        return table[below(N)];
    }

  private:
    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

constexpr std::array<std::string_view, 12> literals = {
    "1", "0", "2", "-1", "7", "3", "2147483647", "-2147483648", "1000000", "\"s\"", "none", "true"};
constexpr std::array<std::string_view, 9> operators = {"+", "-", "*", "/", "//",
                                                       "<", ">", "=", "<>"};
// The only operators a program redefines (one of them again inside its own
// call), and never to code that uses them: the guards and loop counters
// use `-`, `<` and `>=` alone.
constexpr std::array<std::string_view, 6> operator_changes = {
    "+: make op! :subtract",
    "+: make op! func [p q] [p - q]",
    "+: make op! func [p q] [+: :plus p - q]",
    "*: make op! :add",
    "+: :plus",
    "*: :times"};
constexpr std::array<std::string_view, 5> paths = {"o/a", "o/b/2", "o/sub/c", "blk/3", "o/b/9"};
constexpr std::array<std::string_view, 3> function_names = {"f0", "f1", "f2"};

// The arguments a function takes besides `n`; a redefinition keeps them,
// so that the calls written for the function still fit it.
struct Signature {
    bool x = false;          // a second argument
    bool refinement = false; // /r y
    bool local = false;      // /local t
};
constexpr std::string_view guard = "if (fuel: fuel - 1) < 1 [return n] ";
// Cells of the guard in a function body: changes of a running body start
// after them, so that the guard stays.
constexpr int guard_cells = 5;

class Generator {
  public:
    explicit Generator(Choices& in) : in(in) {}

    std::string program() {
        out = "fuel: 40 a: 100 g0: 1 g1: \"t\" blk: [1 2 3 4 5] plus: :+ times: :*\n"
              "o: make object! [a: 1 b: [10 20 30] sub: make object! [c: 5] m: func [x] [x * 2]]\n"
              "code: ";
        scope = {"a", "g0", "g1"};
        for (Signature& signature : signatures)
            signature = {in.below(2) == 1, in.below(2) == 1, in.below(2) == 1};
        block(2);
        out += '\n';
        for (unsigned f = 0; f < function_names.size(); f++) {
            out += function_names[f];
            out += ": ";
            function(f, 2);
            out += '\n';
        }
        // Each call from the top is tried on its own, its result or error
        // printed, so that one error does not end the program; the last
        // statement's result or error ends it.
        for (unsigned i = 0, n = 1 + in.below(4); i < n; i++) {
            out += "print mold try [";
            call(3);
            out += "]\n";
        }
        statements(3);
        return out;
    }

  private:
    Choices& in;
    std::string out;
    std::array<Signature, function_names.size()> signatures;
    std::vector<std::string> scope; // the words that code here may read and set
    int budget = 60;                // constructs left to make
    int loops = 0;                  // loops around the code being made

    bool spend() { return budget-- > 0; }

    void statements(int depth) {
        unsigned count = 1 + in.below(4);
        for (unsigned i = 0; i < count && budget > 0; i++) {
            statement(depth);
            out += ' ';
        }
    }

    void block(int depth) {
        out += '[';
        statements(depth);
        out += ']';
    }

    void function(unsigned f, int depth) {
        const Signature& signature = signatures[f];
        out += "func [n";
        if (signature.x) out += " x";
        if (signature.refinement) out += " /r y";
        if (signature.local) out += " /local t";
        out += "] [";
        out += guard;
        std::vector<std::string> outer = scope;
        scope.push_back("n");
        if (signature.x) scope.push_back("x");
        if (signature.refinement) scope.push_back("y");
        if (signature.local) scope.push_back("t");
        int outer_loops = loops;
        loops = 0;
        statements(depth);
        loops = outer_loops;
        scope = outer;
        out += ']';
    }

    // A call fits the function's signature, but for a few that pass a
    // refinement it does not have, or one argument too few.
    void call(int depth) {
        unsigned f = in.below(unsigned(function_names.size()));
        const Signature& signature = signatures[f];
        out += function_names[f];
        bool refinement = in.below(3) == 0 && (signature.refinement || in.below(8) == 0);
        if (refinement) out += "/r";
        unsigned arguments = 1 + signature.x + refinement - (in.below(16) == 0);
        for (unsigned i = 0; i < arguments; i++) {
            taking(" ", depth - 1);
        }
    }

    const std::string& word() { return scope[in.below(unsigned(scope.size()))]; }

    // Code that takes one value: the words, then an expression.
    void taking(std::string_view words, int depth) {
        out += words;
        expression(depth);
    }

    void expression(int depth) {
        if (depth <= 0 || !spend()) {
            out += in.below(3) ? std::string(in.one_of(literals)) : word();
            return;
        }
        switch (in.below(18)) {
        case 0: out += in.one_of(literals); break;
        case 1: out += word(); break;
        case 2:
            expression(depth - 1);
            out += ' ';
            out += in.one_of(operators);
            taking(" ", depth - 1);
            break;
        case 3:
            taking("(", depth - 1);
            out += ')';
            break;
        case 4:
        case 15:
        case 16: call(depth); break;
        case 5:
            taking("either ", depth - 1);
            out += ' ';
            block(depth - 1);
            out += ' ';
            block(depth - 1);
            break;
        case 6:
            taking(in.below(2) ? "if " : "unless ", depth - 1);
            out += ' ';
            block(depth - 1);
            break;
        case 7:
            out += "case [";
            for (unsigned i = 0, n = 1 + in.below(3); i < n; i++) {
                expression(depth - 1);
                out += ' ';
                block(depth - 1);
                out += ' ';
            }
            out += ']';
            break;
        case 8:
            out += std::array{"try ", "attempt ", "catch "}[in.below(3)];
            block(depth - 1);
            break;
        case 9:
            if (in.below(4)) {
                out += in.one_of(paths);
            } else {
                taking("o/m ", depth - 1);
            }
            break;
        case 10: loop(depth); break;
        case 11: taking(in.below(2) ? "pick blk " : "length? skip blk ", depth - 1); break;
        case 12:
            // A native that calls back into code.
            out += "sort/compare copy [3 1 2] func [p q] [";
            scope.insert(scope.end(), {"p", "q"});
            statements(depth - 1);
            scope.resize(scope.size() - 2);
            out += " p < q]";
            break;
        case 13:
            out += "parse [1 2 x] [some [set v integer! (";
            scope.push_back("v");
            statements(depth - 1);
            scope.pop_back();
            out += ") | word!]]";
            break;
        case 14: out += "if (fuel: fuel - 1) > 0 [do code]"; break;
        default:
            taking("reduce [", depth - 1);
            taking(" ", depth - 1);
            out += ']';
        }
    }

    // Loop counts are small literals; a `while` counts down a word of its
    // own nesting level that nothing else in the loop sets, except a call,
    // which spends fuel.
    void loop(int depth) {
        std::string counter = "w" + std::to_string(loops);
        loops++;
        switch (in.below(4)) {
        case 0:
            out += "loop ";
            out += std::to_string(in.below(4));
            out += ' ';
            block(depth - 1);
            break;
        case 1: {
            std::string index = "i" + counter;
            out += "repeat " + index + ' ' + std::to_string(in.below(4)) + ' ';
            scope.push_back(index);
            block(depth - 1);
            scope.pop_back();
            break;
        }
        case 2: {
            std::string item = "v" + counter;
            out += "foreach " + item + " [1 \"a\" none 2147483647] ";
            scope.push_back(item);
            block(depth - 1);
            scope.pop_back();
            break;
        }
        default:
            out += counter + ": " + std::to_string(in.below(4)) + " while [(" + counter + ": " +
                   counter + " - 1) >= 0] ";
            block(depth - 1);
        }
        loops--;
    }

    void target_body() {
        out += "body-of :";
        out += in.one_of(function_names);
    }

    void statement(int depth) {
        if (depth <= 0 || !spend()) {
            expression(0);
            return;
        }
        switch (in.below(18)) {
        case 0:
        case 1: expression(depth); break;
        case 2: taking(word() + ": ", depth - 1); break;
        case 3: taking("print ", depth - 1); break;
        case 4: taking("return ", depth - 1); break;
        case 5: out += in.below(2) ? "exit" : "break"; break;
        case 6: taking("throw ", depth - 1); break;
        case 7:
            // Grows the code block, perhaps while it runs.
            out += "if (fuel: fuel - 1) > 0 [append code ";
            block(depth - 1);
            out += ']';
            break;
        case 8:
            // Changes a function body, perhaps while it runs, after its guard.
            out += "change at ";
            target_body();
            out += ' ' + std::to_string(guard_cells + 1 + in.below(4)) + ' ';
            block(depth - 1);
            break;
        case 9:
            out += "poke ";
            if (in.below(2)) {
                target_body();
                out += ' ' + std::to_string(guard_cells + 1 + in.below(4)) + ' ';
            } else {
                out += in.below(2) ? "code " : "blk ";
                out += std::to_string(1 + in.below(5)) + ' ';
            }
            expression(depth - 1);
            break;
        case 10:
            // Appending blk to itself doubles it: past a few dozen values it
            // stops growing. The length is read after the value is made,
            // which may have appended too.
            if (in.below(2)) {
                taking("item: ", depth - 1);
                out += " if 50 > length? blk [append blk :item]";
            } else {
                taking("remove at blk ", depth - 1);
            }
            break;
        case 11: {
            // A function redefined, perhaps inside its own call.
            unsigned f = in.below(unsigned(function_names.size()));
            out += function_names[f];
            out += ": ";
            function(f, depth - 1);
            break;
        }
        case 12: out += in.one_of(operator_changes); break;
        case 13:
            out += "bind ";
            if (in.below(2))
                target_body();
            else
                out += "code";
            out += " o";
            break;
        case 14: taking(in.below(2) ? "o/a: " : "blk/2: ", depth - 1); break;
        case 15:
            // Cuts short a block that may be running, perhaps inside the
            // statement that cuts it.
            out += "clear at ";
            if (in.below(2)) {
                target_body();
                out += ' ' + std::to_string(guard_cells + 1 + in.below(6));
            } else {
                out += "code " + std::to_string(1 + in.below(6));
            }
            break;
        default: expression(depth); break;
        }
    }
};

// What the program prints goes to a memory file, read back after each run.
int output_file = -1;

std::string take_output() {
    std::string text;
    off_t size = lseek(output_file, 0, SEEK_END);
    text.resize(size_t(size));
    if (size > 0 && pread(output_file, text.data(), size_t(size), 0) != size) text = "<unreadable>";
    if (ftruncate(output_file, 0) != 0) std::abort();
    lseek(output_file, 0, SEEK_SET);
    return text;
}

// The mold of a value, or the console's form of an error (with its near
// and where), cut to a few thousand characters.
std::string text_of(const Cell& value, bool error) {
    constexpr int32_t limit = 4000;
    Rooted<Cell> held(value);
    Rooted<Cell> buffer;
    string::make_at(*buffer, 64);
    if (error)
        dispatch::form(*held, *buffer, nullptr, limit);
    else
        dispatch::mold(*held, *buffer, false, true, false, nullptr, limit, 0);
    return fuzz::utf8_of(*buffer);
}

// A program that still runs after this long (under the sanitizers, on a
// loaded machine) is stopped and its runs are not compared: the stop comes
// at a moment that differs between runs.
constexpr auto time_limit = std::chrono::seconds(20);
std::atomic<int64_t> started_at{0}; // of the running program; 0 between runs
std::atomic<bool> stopped{false};

void watch() {
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        int64_t start = started_at.load();
        if (start && Clock::now().time_since_epoch().count() - start >
                         std::chrono::nanoseconds(time_limit).count()) {
            stopped = true;
            stack::interrupt();
        }
    }
}

// Past this ceiling a program meets the language's no-memory error rather
// than libFuzzer's memory limit.
constexpr size_t memory_ceiling = size_t(768) << 20;

bool default_core = false;

void start_session() {
    static bool started = [] {
        fuzz::start_once();
        output_file = memfd_create("kiv-core-diff-output", 0);
        if (output_file < 0) std::abort();
        runtime::std_handles.output = output_file;
        memory::os_bytes_limit = memory_ceiling;
        default_core = interpreter::flat_core;
        std::thread(watch).detach();
        collector::collect();
        session::take();
        return true;
    }();
    (void)started;
}

// One run of the program in a fresh session: what it printed, its result
// or error, and the globals it may have changed.
std::string run(const std::string& program, bool flat) {
    interpreter::flat_core = flat;
    stack::clear_interrupt();
    started_at = Clock::now().time_since_epoch().count();
    std::string transcript;
    { // what is rooted here is let go before the restore
        Rooted<Cell> result;
        bool ok = fuzz::evaluate(program, *result);
        transcript = take_output();
        transcript += ok ? "\n== " : "\n";
        transcript += text_of(*result, !ok);
        Rooted<Cell> state;
        // Get-words: a global may hold a function, which is not called.
        bool read = fuzz::evaluate("reduce [:fuel :a :g0 :g1 :blk :o]", *state);
        transcript += "\nstate: " + text_of(*state, !read) + take_output();
    }
    started_at = 0;
    session::restore();
    interpreter::flat_core = default_core;
    return transcript;
}

// Whether a run met the stack-overflow error (caught or not): the depth at
// which the machine stack runs out depends on how much of it each
// evaluator takes per level, so where the error lands differs between
// them, and such runs are not compared.
bool overflowed(const std::string& transcript) {
    return transcript.find("stack-overflow") != std::string::npos ||
           transcript.find("stack overflow") != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    start_session();
    Choices choices(data, size);
    std::string program = Generator(choices).program();
    // KIV_CORE_DIFF_SHOW=1 shows each program and its transcript, to see
    // what the inputs make or what one input does.
    static const bool show = std::getenv("KIV_CORE_DIFF_SHOW") != nullptr;
    if (show) std::fprintf(stderr, "--- program\n%s\n", program.c_str());
    stopped = false;
    std::string walker = run(program, false);
    if (show) std::fprintf(stderr, "--- run\n%s\n", walker.c_str());
    std::string core = run(program, true);
    if (walker != core && !stopped && !overflowed(walker) && !overflowed(core)) {
        std::fprintf(stderr,
                     "The evaluators differ.\n--- program\n%s\n--- walker\n%s\n--- flat core\n%s\n",
                     program.c_str(), walker.c_str(), core.c_str());
        std::abort();
    }
    return 0;
}
