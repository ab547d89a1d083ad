// The console engine over standard input and output: what the console
// does on a machine with no display. It runs a script named on the
// command line, or reads expressions line by line, evaluates them and
// prints their results.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kiv::console {

// Registers the print hook that writes printed text to standard output.
void init();

// The script named by the command-line arguments: the first that is not an
// option ("--" word before a bare "--"), or nothing.
std::optional<std::string> script_argument(const std::vector<std::string>& args);

// Runs the script file from its own folder; the exit status: 0, or 1 when
// the script could not be read, is not a Kiv program or ended in an error.
int run_script(const std::string& path);

// Loads and evaluates one complete input as the console does, and prints
// its result or its error; no error escapes.
void evaluate(const std::string& input);

// The interactive loop over standard input; returns at the end of input.
void run();

} // namespace kiv::console
