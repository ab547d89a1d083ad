// The console's reading of the command line: options before the script,
// "--catch", and the script's own arguments within the argument text.
#include <gtest/gtest.h>

#include "console/arguments.h"

namespace kiv::console {
namespace {

TEST(ConsoleArguments, ScriptAndOptions) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> kept;
        int script; // -1: none
        bool catch_;
    };
    const Case cases[] = {
        {{}, {}, -1, false},
        {{"a.kiv", "x"}, {"a.kiv", "x"}, 0, false},
        {{"--v", "a.kiv", "--catch"}, {"--v", "a.kiv", "--catch"}, 1, false},
        {{"--catch", "a.kiv"}, {"a.kiv"}, 0, true},
        {{"--catch", "--v"}, {"--v"}, -1, true},
        // A bare "--" ends the options: what follows is the script.
        {{"--", "--catch"}, {"--", "--catch"}, 1, false},
        {{"--catch", "--", "--x.kiv"}, {"--", "--x.kiv"}, 1, true},
        // An empty argument is a script name like any other.
        {{"", "a.kiv"}, {"", "a.kiv"}, 0, false},
    };
    for (const Case& c : cases) {
        Arguments read = read_arguments(c.args);
        EXPECT_EQ(read.args, c.kept);
        EXPECT_EQ(read.script ? int(*read.script) : -1, c.script);
        EXPECT_EQ(read.catch_, c.catch_);
    }
}

TEST(ConsoleArguments, ScriptArgumentsText) {
    struct Case {
        const char* text;
        const char* rest;
    };
    const Case cases[] = {
        {"a.kiv x y", "x y"},
        {"  --v  a.kiv  x", "x"},
        {"--catch \"--quoted switch\" a.kiv \"\" \"b c\"", "\"\" \"b c\""},
        {"-- --x.kiv y", "y"},
        {"\"my script.kiv\" q\"x", "q\"x"},
        {"a.kiv", ""},
        {"", ""},
        {"--only --options", ""},
        {"\"unclosed quote", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(script_args_text(c.text), c.rest) << c.text;
}

} // namespace
} // namespace kiv::console
