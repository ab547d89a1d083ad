#include "console/asking.h"

#include "console/line_editor.h"
#include "datatypes/block.h"
#include "datatypes/function.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/system_object.h"
#include "datatypes/types.h"
#include "datatypes/url.h"
#include "evaluator/stack.h"
#include "platform/stop.h"
#include "runtime/console.h"
#include "runtime/roots.h"

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

// _ask question hide history: shows the question, reads a line and gives
// it as a string (none at the end of input). A line not hidden enters the
// history block; Ctrl-C halts the evaluation.
void ask(Cell* args) {
    std::string question = url::utf8_text(args[0]);
    bool hidden = cell::type_of(args[1]) == TYPE_LOGIC && args[1].w1 != 0;
    Rooted<Cell> history(args[2]);
    if (!shows_prompt(hidden)) os_console::write_text(question.data(), uint32_t(question.size()));
    Line line = read_line(question, history_of(*history), hidden);
    switch (line.end) {
    case LineEnd::interrupted:
        stack::interrupt(true);
        os::check_stop();
        break;
    case LineEnd::closed: none::make_at(args[0]); return;
    case LineEnd::entered: break;
    }
    if (!hidden) remember(*history, line.text);
    string::load_at(reinterpret_cast<const uint8_t*>(line.text.data()), uint32_t(line.text.size()),
                    args[0], string::Encoding::utf8);
}

} // namespace

void register_ask_routines() {
    routine::register_named("ask", ask);
}

} // namespace kiv::console
