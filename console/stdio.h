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

// Registers the routine through which the preprocessor tells the console
// it stopped the evaluation.
void register_routines();

// Runs what the command-line arguments ask for: the script they name
// (then, with the "--catch" option, the loop without its banner), else
// the loop with its banner. Sets system/options/script, /args and
// system/script/args to the script's. The exit status: 0, or 1 when the
// script could not be read, is not a Kiv program, ended in an error or
// was stopped by the preprocessor.
int launch(const std::vector<std::string>& args);

// Loads and evaluates one complete input as the console does, and prints
// its result or its error; no error escapes.
void evaluate(const std::string& input);

} // namespace kiv::console
