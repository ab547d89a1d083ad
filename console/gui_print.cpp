#include "console/gui_print.h"

#include "console/valid_utf8.h"

#include <string>
#include <string_view>
#include <utility>

#include "datatypes/block.h"
#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "evaluator/trace.h"
#include "platform/os.h"
#include "runtime/collector.h"
#include "runtime/entry.h"
#include "runtime/error_ids.h"
#include "runtime/errors.h"
#include "runtime/faults.h"
#include "runtime/output_hooks.h"
#include "runtime/plan_store.h"
#include "runtime/protected_call.h"
#include "runtime/roots.h"
#include "runtime/session.h"
#include "runtime/stack.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv::console {
namespace {

// The room a print needs on the evaluator's stacks: the terminal's own
// calls run on them.
constexpr ptrdiff_t frames_needed = 60;
constexpr ptrdiff_t cells_needed = 80;

// Text kept for the terminal: printed during the start-up, before the
// terminal's hooks were registered, or C text written while no Kiv code may
// run (a fault, a collection, a print inside a print). Shown first at the
// next print; at most 64 KiB, cut at a character's start.
constexpr size_t kept_limit = 64 * 1024;
std::string kept;

void keep(std::string_view text) {
    size_t room = kept_limit - std::min(kept.size(), kept_limit);
    if (text.size() > room) {
        while (room > 0 && (uint8_t(text[room]) & 0xC0) == 0x80) --room;
        text = text.substr(0, room);
    }
    kept.append(text);
}

// gui-console-buffer: the one string C text is decoded into, a root of
// the collector.
Cell buffer{cell::unset_header, 0, 0, 0};
// The call made for each print: gui-console-ctx/terminal/vprint, then the
// text and the line-end flag put in its two last cells.
Cell call{cell::unset_header, 0, 0, 0};
bool printing = false;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(kept, buffer, call, printing);

void mark() {
    collector::mark_values(&buffer, &buffer + 1);
    collector::mark_values(&call, &call + 1);
}

// Runs the terminal's code for a print as a protected call, with tracing
// off and the hook busy, and puts both back however the print ends. The
// stacks are put back when it ends normally; an error or exit out of it
// goes on to its target, where it has moved the stacks already.
template <class Print>
void run_print(Print print) {
    struct Scope {
        bool tracing = interpreter::tracing;
        Scope() {
            interpreter::tracing = false;
            printing = true;
        }
        ~Scope() {
            interpreter::tracing = tracing;
            printing = false;
        }
    } scope;
    runtime::protected_call(runtime::stops::nothing, print);
}

void write_error(std::string_view text, bool new_line) {
    os::write_all(runtime::std_handles.error, text.data(), text.size());
    if (new_line) os::write_all(runtime::std_handles.error, "\n", 1);
}

void vprint(const Cell& text, bool new_line) {
    Cell* cells = block::rs_head(call);
    cells[1] = text;
    logic::make_at(cells[2], new_line);
    plan_store::touch(call.w2);
    interpreter::eval(call, false);
}

// Shows the kept text in the terminal, before what is printed next.
void show_kept() {
    if (kept.empty()) return;
    Rooted<Cell> earlier;
    string::load_at(reinterpret_cast<const uint8_t*>(kept.data()), uint32_t(kept.size()), *earlier,
                    string::Encoding::utf8);
    kept.clear();
    vprint(*earlier, false);
}

void print_hook(const Cell* value, int new_line) {
    if (printing) {
        // A print made by the terminal itself goes to standard error.
        write_error(url::utf8_text(*value), new_line != 0);
        return;
    }
    if (stack::state.cend - stack::state.ctop <= frames_needed ||
        stack::state.end - stack::state.top <= cells_needed)
        runtime::fire_error(runtime::Category::internal, err::internal::stack_overflow);
    Rooted<Cell> text(*value);
    run_print([&] {
        show_kept();
        vprint(*text, new_line != 0);
    });
}

// Whether Kiv code may run now: not in the fault handler, not during a
// collection, not inside a print.
bool may_run_code() {
    return !runtime::handling_fault && !collector::running() && !printing;
}

void cstring_hook(const char* text, uint32_t length, int) {
    std::string valid = valid_utf8(std::string_view(text, length));
    if (!may_run_code()) return keep(valid);
    const auto* bytes = reinterpret_cast<const uint8_t*>(valid.data());
    if (cell::type_of(buffer) == TYPE_STRING) {
        unicode::load_utf8(bytes, uint32_t(valid.size()), buffer.w2, nullptr, false);
        buffer.w1 = 0;
    } else {
        string::load_at(bytes, uint32_t(valid.size()), buffer, string::Encoding::utf8);
    }
    print_hook(&buffer, 0);
}

// The hooks of the start-up, before the terminal takes the output: what
// is printed or written is kept.
void early_print_hook(const Cell* value, int new_line) {
    keep(url::utf8_text(*value));
    if (new_line) keep("\n");
}

void early_cstring_hook(const char* text, uint32_t length, int) {
    keep(valid_utf8(std::string_view(text, length)));
}

// add-gui-print: registers the terminal's hooks in place of the start-up's
// and shows what those kept.
void add_gui_print(Cell* args) {
    args[0] = Cell{TYPE_NONE, 0, 0, 0};
    constexpr std::string_view target = "gui-console-ctx/terminal/vprint none none";
    lexer::load(call, reinterpret_cast<const uint8_t*>(target.data()), uint32_t(target.size()));
    output_hooks::unregister(early_print_hook, early_cstring_hook);
    output_hooks::register_(print_hook, cstring_hook);
    run_print(show_kept);
}

} // namespace

void keep_early_output() {
    output_hooks::register_(early_print_hook, early_cstring_hook);
}

std::string take_early_output() {
    return std::exchange(kept, std::string());
}

void register_gui_print_routines() {
    collector::add_marker(mark);
    routine::register_named("add-gui-print", add_gui_print);
}

} // namespace kiv::console
