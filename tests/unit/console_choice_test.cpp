// Which console a start runs, from the command line, standard input and
// whether a display opens.
#include <gtest/gtest.h>

#include "console/choice.h"

namespace kiv::console {
namespace {

TEST(ConsoleChoice, OptionsInputAndDisplayChooseTheConsole) {
    struct Case {
        std::vector<std::string> args;
        bool piped, headless, display;
        Choice expected;
        // Whether the display may be asked for at all.
        bool asked;
    };
    const Case cases[] = {
        {{}, false, false, true, Choice::graphical, true},
        {{}, false, false, false, Choice::stdio, true},
        {{}, true, false, true, Choice::stdio, false},
        {{"script.kiv"}, false, false, true, Choice::stdio, false},
        {{"--catch", "script.kiv"}, false, false, true, Choice::stdio, false},
        {{"--catch"}, false, false, true, Choice::graphical, true},
        {{"--cli"}, false, false, true, Choice::stdio, false},
        {{"--cli", "--gui"}, false, false, true, Choice::stdio, false},
        {{"--gui"}, true, false, true, Choice::graphical, true},
        {{"--gui", "script.kiv"}, false, false, true, Choice::graphical, true},
        {{"--gui"}, false, false, false, Choice::no_display, true},
        {{"--gui"}, false, true, false, Choice::graphical, false},
        // Headless models are no display for the default choice.
        {{}, false, true, true, Choice::stdio, false},
        // An option after the script is the script's own.
        {{"script.kiv", "--gui"}, false, false, true, Choice::stdio, false},
    };
    for (const Case& c : cases) {
        bool asked = false;
        StartFacts facts{c.args, c.piped, c.headless};
        Choice got = choose_console(facts, [&] {
            asked = true;
            return c.display;
        });
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        EXPECT_EQ(got, c.expected) << line;
        EXPECT_EQ(asked, c.asked) << line;
    }
}

} // namespace
} // namespace kiv::console
