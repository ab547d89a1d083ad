// Which console a start of kiv runs: the one over standard input and
// output, or the graphical one. `--cli` and `--gui` choose; otherwise the
// graphical console starts when no script is named, standard input is
// neither a pipe nor a regular file and a display opens.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kiv::console {

enum class Choice {
    stdio,
    graphical,
    // `--gui` without a display: the start fails.
    no_display,
};

struct StartFacts {
    // The command line after the program's name.
    std::vector<std::string> args;
    // Standard input is a pipe, a FIFO or a regular file.
    bool piped_input = false;
    // The windows are only models (KIV_GUI=headless): `--gui` still runs
    // the graphical console.
    bool headless = false;
};

// The console for these facts. `open_display` is asked only when a display
// may be used; it answers whether one opened.
Choice choose_console(const StartFacts& facts, const std::function<bool()>& open_display);

// Whether standard input is a pipe, a FIFO or a regular file.
bool input_is_piped();

} // namespace kiv::console
