// A snapshot of the session, restored after code that changed the session
// in every way it can: the code's effects are gone and the heap holds
// together. The whole language starts, so the test runs in a child.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "boot/image.h"
#include "boot/startup.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "evaluator/trap.h"
#include "runtime/collector.h"
#include "runtime/roots.h"
#include "runtime/session.h"
#include "runtime/stack.h"
#include "runtime/throw.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

using namespace kiv;

namespace {

// Evaluates the text under a trap: an error ends the code, quit too.
void run(const std::string& text) {
    try {
        Rooted<Cell> code, result;
        trap::run(
            [&] {
                lexer::load(*code, reinterpret_cast<const uint8_t*>(text.data()),
                            uint32_t(text.size()));
                interpreter::eval(*code, false);
            },
            *result);
    } catch (const runtime::Quit&) {
    }
}

// The mold of what the probe gives.
std::string molded(const std::string& probe) {
    Rooted<Cell> code, result;
    std::string text = "mold do [" + probe + "]";
    lexer::load(*code, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
    stack::reset();
    interpreter::eval(*code, false);
    *result = *stack::get_top();
    stack::reset();
    int32_t length = -1;
    const char* bytes = reinterpret_cast<const char*>(utf8::from_string(*result, length));
    return std::string(bytes, size_t(length));
}

// What the session holds when the snapshot is taken.
constexpr const char* setup = R"(s: "abc" b: [1 2] f: func [] [1] o: make object! [a: 1])";

// A change to the session, and a probe whose answer it changes.
struct Case {
    const char* change;
    const char* probe;
};

const Case cases[] = {
    {"fresh-word: 1", "value? 'fresh-word"},
    {"append s {def}", "s"},
    {"append b [3] remove b", "b"},
    {"append body-of :f [+ 1]", "f"},
    {"f: 99 o/a: 2", "reduce [:f o/a]"},
    {"change body-of :collect [changed:]", "first body-of :collect"},
    {"random 10 random 10", "random 1000000"},
    // An error or quit in the middle of the change.
    {"append s {x} 1 / 0", "s"},
    {"append s {x} quit", "s"},
    // Frames, large buffers and the global context's growth, and
    // collections that move the snapshot's values.
    {"big: make block! 200000 loop 200000 [append big 1] recycle", "stats"},
    {"repeat i 3000 [set to word! rejoin [{w} i] i] recycle", "length? words-of system/words"},
    {"s: none b: none recycle loop 50 [make string! 100000] recycle", "reduce [s b]"},
    {"img: make image! 64x64 recycle", "value? 'img"},
};

} // namespace

TEST(SessionTest, RestoreGivesBackTheSnapshotsSession) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            boot::start_from_image(boot::image_data, boot::image_size);
            run(setup);
            collector::collect();
            session::take();
            for (const Case& c : cases) {
                std::string fresh = molded(c.probe);
                session::restore();
                run(c.change);
                if (molded(c.probe) == fresh) {
                    std::fprintf(stderr, "the change shows nothing: %s\n", c.change);
                    std::_Exit(1);
                }
                session::restore();
                std::string again = molded(c.probe);
                session::restore();
                if (again != fresh) {
                    std::fprintf(stderr, "%s left %s, not %s\n", c.change, again.c_str(),
                                 fresh.c_str());
                    std::_Exit(1);
                }
            }
            // The restored heap holds together.
            collector::collect();
            if (molded("1 + 1") != "2") std::_Exit(2);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
