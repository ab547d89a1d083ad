// The console's signals. Ctrl-C (SIGINT) means by phase: while a script
// runs, the process ends quietly with status 130, the shell's status for
// an interrupted command (so `kiv build.kiv && next` stops); while Kiv
// code runs, the evaluation halts as the halt function does (blocking
// calls included), or once a catch can take the halt when the console's
// own loop runs outside one; while a line is read, the line is given up. SIGTERM and SIGHUP end the
// process with the terminal's echo back on. SIGWINCH notes that the
// terminal changed its size.
#pragma once

namespace kiv::console {

enum class Phase { script, evaluating, reading };

// Installs the handlers (SIGINT without restarting the interrupted call,
// so that a blocking call returns to its caller).
void install_signals();
void set_phase(Phase phase);
Phase current_phase();

// Whether Ctrl-C came while a line was read; forgets it.
bool take_interrupt();
// Whether the terminal changed its size since the last call (true at the
// first); forgets it.
bool take_resize();

} // namespace kiv::console
