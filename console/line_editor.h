// Reading the console's lines. When standard input and output are both
// terminals, lines come through libedit (opened at the first prompt, so a
// piped or script run never loads it): editing keys, the history on the
// up and down keys, Ctrl-R search, Ctrl-C that ends the line as
// interrupted. Otherwise lines are read from standard input as they come.
#pragma once

#include <string>
#include <vector>

namespace kiv::console {

enum class LineEnd {
    entered,     // a line, with Enter or at the end of the last line
    interrupted, // Ctrl-C
    closed,      // end of input (Ctrl-D on an empty line)
};

struct Line {
    LineEnd end;
    std::string text; // UTF-8, without the line feed; interrupted: what was typed
};

// Whether the line editor serves the console's prompts.
bool editing();
// Whether read_line shows the prompt itself; else the caller shows it
// before the read.
bool shows_prompt(bool hidden);

// Turns the terminal's echo off for its life, when standard input is a
// terminal; it is always turned on again, also when the read is
// interrupted by an error or a halt. Made before a hidden read's prompt is
// shown, so that keys typed as soon as it shows are not echoed.
class HiddenInput {
  public:
    HiddenInput();
    ~HiddenInput();
    HiddenInput(const HiddenInput&) = delete;
    HiddenInput& operator=(const HiddenInput&) = delete;
};

// Reads one line. The editor shows `prompt` itself and offers `history`
// (newest first) to the up and down keys. A `hidden` read (with a
// HiddenInput alive) goes past the editor.
Line read_line(const std::string& prompt, const std::vector<std::string>& history, bool hidden);

// Turns the terminal's echo back on when a hidden read left it off; for
// the process's last moments (async-signal-safe).
void restore_terminal();

// The terminal changed its size: the editor redraws to the new width.
void note_resize();

} // namespace kiv::console
