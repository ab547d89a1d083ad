// The engine's handler reached from window messages in the started
// language: its answer, and the catch-all around it. Each test starts the
// whole language, so each runs in a child process.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "boot/image.h"
#include "boot/startup.h"
#include "child_check.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "gui/backend/headless.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

using namespace kiv;
using namespace kiv::gui;

namespace {

void start_language() {
    boot::start_from_image(boot::image_data, boot::image_size);
}

// Evaluates the text; a quit in it ends the child with its status.
void run(const std::string& text) {
    try {
        Rooted<Cell> code;
        lexer::load(*code, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
        stack::reset();
        interpreter::eval(*code, false);
        stack::reset();
    } catch (const runtime::Quit& q) {
        std::_Exit(q.status);
    }
}

// A window with the focus on a fresh headless backend.
HWnd focused_window() {
    start_headless();
    register_class({"Face", nullptr, 0, 0});
    HWnd w = create_window("Face", "", WS_VISIBLE, {0, 0, 100, 100}, 0, 0);
    set_focus(w);
    while (do_events(true)) {
    }
    return w;
}

void type_key() {
    input_key('A', 0x1E, false, true, 'a');
    input_key('A', 0x1E, false, false, 0);
}

} // namespace

TEST(GuiAwakeDeathTest, HandlerSeesEventsAndItsStopKeepsTheCharacter) {
    EXPECT_EXIT(
        {
            start_language();
            run("seen: copy [] system/view: make object! [awake: func [e] ["
                "append seen e/type either e/type = 'key-down ['stop] ['done]]]");
            focused_window();
            type_key();
            while (do_events(true)) {
            }
            run("ok: seen = [key-down key-up]");
            run("if ok [quit/return 0] quit/return 1");
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(GuiAwakeDeathTest, ErrorsAndThrowsStopAtTheHandler) {
    EXPECT_EXIT(
        {
            start_language();
            run("n: 0 system/view: make object! [awake: func [e] ["
                "n: n + 1 switch n [1 [1 / 0] 2 [throw 'away] 3 [exit]] 'done]]");
            focused_window();
            for (int i = 0; i < 2; ++i) type_key(); // six messages, an event each
            int handled = 0;
            while (do_events(true)) ++handled;
            REQUIRE(handled == 6);
            run("quit/return either n = 6 [0] [1]");
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(GuiAwakeDeathTest, QuitFromTheHandlerReachesTheEntry) {
    EXPECT_EXIT(
        {
            start_language();
            run("system/view: make object! [awake: func [e] [quit/return 7]]");
            focused_window();
            type_key();
            try {
                while (do_events(true)) {
                }
            } catch (const runtime::Quit& q) {
                std::_Exit(q.status);
            }
            std::_Exit(1);
        },
        ::testing::ExitedWithCode(7), "");
}
