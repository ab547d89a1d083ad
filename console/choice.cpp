#include "console/choice.h"

#include <sys/stat.h>
#include <unistd.h>

namespace kiv::console {

namespace {

struct Options {
    bool cli = false;
    bool gui = false;
    bool script = false;
};

// The `--` words before the script are options; the first other argument
// names the script.
Options read_options(const std::vector<std::string>& args) {
    Options options;
    for (const std::string& arg : args) {
        if (arg.rfind("--", 0) != 0) {
            options.script = true;
            break;
        }
        if (arg == "--cli") options.cli = true;
        if (arg == "--gui") options.gui = true;
    }
    return options;
}

} // namespace

Choice choose_console(const StartFacts& facts, const std::function<bool()>& open_display) {
    Options options = read_options(facts.args);
    if (options.cli) return Choice::stdio;
    if (options.gui) {
        if (facts.headless || open_display()) return Choice::graphical;
        return Choice::no_display;
    }
    if (options.script || facts.piped_input || facts.headless) return Choice::stdio;
    return open_display() ? Choice::graphical : Choice::stdio;
}

bool input_is_piped() {
    struct stat info;
    if (fstat(STDIN_FILENO, &info) != 0) return false;
    return S_ISFIFO(info.st_mode) || S_ISREG(info.st_mode);
}

} // namespace kiv::console
