// The console engine over standard input and output: what the console
// does on a machine with no display. It runs a script named on the
// command line, or reads expressions line by line, evaluates them and
// prints their results.
#pragma once

#include <string>
#include <vector>

namespace kiv::console {

// Registers the print hook that writes printed text to standard output.
void init();

// Runs the script file with its arguments; the exit status: 0, or 1 when
// the script could not be read or ended in an error.
int run_script(const std::string& path, const std::vector<std::string>& args);

// The interactive loop over standard input; returns at the end of input.
void run();

} // namespace kiv::console
