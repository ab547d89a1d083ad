// The console over standard input and output: what the console is on a
// machine with no display. The engine is the Kiv one of system/console;
// this side only gives it lines (the `ask` routine) and shows what is
// printed.
#pragma once

#include <string>
#include <vector>

namespace kiv::console {

// Registers the print hook that writes printed text to standard output.
void init();

// Registers the routines of this side: the session's start (`init` of
// system/console) and the preprocessor's notice that it stopped the
// evaluation.
void register_routines();

// Runs system/console/launch over standard input and output: the script
// the command line names, or the interactive loop. The exit status: 0, or
// 1 when the script could not be read, is not a Kiv program, ended in an
// error or was stopped by the preprocessor.
int launch(const std::vector<std::string>& args);

} // namespace kiv::console
