// The started language for the text tests: each test runs in a child
// process (the language starts once per process), evaluates Kiv text and
// reads the values it made. Fonts come from the tests' fontconfig file.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "boot/image.h"
#include "boot/startup.h"
#include "child_check.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace kiv::testing {

inline void start_language() {
    boot::start_from_image(boot::image_data, boot::image_size);
}

// Evaluates the text (from a clean argument stack) and answers its value.
inline Cell kiv_value(const std::string& text) {
    Rooted<Cell> code, value;
    stack::reset();
    lexer::load(*code, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
    interpreter::eval(*code, false);
    *value = *stack::get_top();
    stack::reset();
    return *value;
}

// font!, para! and face! as the engine lays them out, without handlers.
inline void define_templates() {
    kiv_value("font!: make object! [name: none size: none style: none angle: 0 color: none "
              "anti-alias?: false shadow: none state: none parent: none] "
              "para!: make object! [origin: none padding: none scroll: none align: none "
              "v-align: none wrap?: false parent: none] "
              "face!: make object! [type: 'face offset: none size: none text: none image: none "
              "color: none menu: none data: none enabled?: true visible?: true selected: none "
              "flags: none options: none parent: none pane: none state: none rate: none "
              "edge: none para: none font: none actors: none extra: none draw: none]");
}

// Runs the body in a child with the language started and the templates
// defined; REQUIRE reports a failure. The child is a new run of the test
// program, not a fork: Pango and fontconfig keep threads and locks that a
// forked copy of a process that already used them could wait on forever.
template <class Body>
void in_language(Body body) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            start_language();
            define_templates();
            body();
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace kiv::testing
