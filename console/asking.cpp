#include "console/asking.h"

#include "console/line_editor.h"
#include "console/signals.h"
#include "console/valid_utf8.h"

#include <optional>

#include <sys/ioctl.h>
#include <unistd.h>

#include "datatypes/block.h"
#include "datatypes/function.h"
#include "datatypes/none.h"
#include "datatypes/pair.h"
#include "datatypes/string.h"
#include "datatypes/system_object.h"
#include "datatypes/url.h"
#include "platform/stop.h"
#include "runtime/console.h"
#include "runtime/roots.h"
#include "runtime/session.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::console {

std::vector<std::string> history_of(const Cell& block) {
    std::vector<std::string> entries;
    for (const Cell* c = block::rs_head(block); c < block::rs_tail(block); ++c)
        if (cell::type_of(*c) == TYPE_STRING) entries.push_back(url::utf8_text(*c));
    return entries;
}

void remember(const Cell& block, const std::string& line) {
    if (line.empty()) return;
    const Cell* newest = block::rs_head(block);
    if (newest < block::rs_tail(block) && cell::type_of(*newest) == TYPE_STRING &&
        url::utf8_text(*newest) == line)
        return;
    Rooted<Cell> history(block);
    Rooted<Cell> text;
    string::load_at(reinterpret_cast<const uint8_t*>(line.data()), uint32_t(line.size()), *text,
                    string::Encoding::utf8);
    block::insert_value(*history, *text, false, true);
}

Cell* console_history() {
    Cell* field = system_object::field({"console", "history"});
    return field && cell::type_of(*field) == TYPE_BLOCK ? field : nullptr;
}

namespace {

// The terminal's columns x rows go to system/console/size while output is
// a terminal, at the start and after each change of size; elsewhere the
// size stays as it is (0x0 unless a script set it).
void refresh_size() {
    if (!take_resize()) return;
    note_resize();
    winsize size{};
    if (!isatty(STDOUT_FILENO) || ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return;
    if (Cell* field = system_object::field({"console", "size"}))
        pair::make_at(*field, size.ws_col, size.ws_row);
}

// Set by a Ctrl-C on an empty line: a second one in a row ends the input.
bool quit_armed = false;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(quit_armed);

// Reads the line; while the console's session runs, a Ctrl-C in the read
// gives the line up, and one that came after the line ended, before the
// evaluation of what follows, halts that evaluation.
Line read_asked(const std::string& question, const Cell& history, bool hidden) {
    bool session = current_phase() != Phase::script;
    if (session) set_phase(Phase::reading);
    // Only the line editor offers the history.
    Line line =
        read_line(question, editing() ? history_of(history) : std::vector<std::string>{}, hidden);
    if (!session) return line;
    set_phase(Phase::evaluating);
    stack::clear_interrupt();
    if (line.end == LineEnd::entered && take_interrupt()) stack::interrupt(true);
    return line;
}

// _ask question hide history: shows the question, reads a line and gives
// it as a string (a byte that is not UTF-8 read as U+FFFD); none at the
// end of input, or at a second Ctrl-C in a
// row on an empty line. A line not hidden enters the history block; any
// other Ctrl-C halts the evaluation.
void ask(Cell* args) {
    refresh_size();
    std::string question = url::utf8_text(args[0]);
    bool hidden = cell::type_of(args[1]) == TYPE_LOGIC && args[1].w1 != 0;
    Rooted<Cell> history(args[2]);
    bool shown = shows_prompt(hidden);
    std::optional<HiddenInput> hide;
    if (hidden) hide.emplace();
    if (!shown) os_console::write_text(question.data(), uint32_t(question.size()));
    Line line = read_asked(question, *history, hidden);
    hide.reset();
    bool empty = line.text.empty();
    if (line.end == LineEnd::interrupted && !(empty && quit_armed)) {
        quit_armed = empty;
        if (!shown) os_console::write_text("\n", 1);
        stack::interrupt(true);
        os::check_stop();
    }
    quit_armed = false;
    if (line.end != LineEnd::entered) {
        // The line the question began is ended.
        if (!shown) os_console::write_text("\n", 1);
        none::make_at(args[0]);
        return;
    }
    // A line that came with CR LF (a file from another system) ends
    // before its CR.
    if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    std::string text = valid_utf8(line.text);
    if (!hidden) remember(*history, text);
    string::load_at(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), args[0],
                    string::Encoding::utf8);
}

} // namespace

void register_ask_routines() {
    routine::register_named("ask", ask);
}

} // namespace kiv::console
