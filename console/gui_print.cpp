#include "console/gui_print.h"

#include "console/valid_utf8.h"

#include <string>
#include <string_view>

#include "datatypes/block.h"
#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/string.h"
#include "datatypes/types.h"
#include "datatypes/url.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "evaluator/stack.h"
#include "evaluator/trace.h"
#include "platform/os.h"
#include "runtime/collector.h"
#include "runtime/entry.h"
#include "runtime/error_ids.h"
#include "runtime/errors.h"
#include "runtime/faults.h"
#include "runtime/output_hooks.h"
#include "runtime/roots.h"
#include "runtime/unicode.h"

namespace kiv::console {
namespace {

// The room a print needs on the evaluator's stacks: the terminal's own
// calls run on them.
constexpr ptrdiff_t frames_needed = 60;
constexpr ptrdiff_t cells_needed = 80;

// C text kept for the terminal, written while no Kiv code may run (a
// fault, a collection, a print inside a print): shown at the next print.
constexpr size_t kept_limit = 64 * 1024;
std::string kept;

void keep(std::string_view text) {
    kept.append(text.substr(0, kept_limit - std::min(kept.size(), kept_limit)));
}

// gui-console-buffer: the one string C text is decoded into, a root of
// the collector.
Cell buffer{cell::unset_header, 0, 0, 0};
// The call made for each print: gui-console-ctx/terminal/vprint, then the
// text and the line-end flag put in its two last cells.
Cell call{cell::unset_header, 0, 0, 0};
bool printing = false;

void mark() {
    collector::mark_values(&buffer, &buffer + 1);
    collector::mark_values(&call, &call + 1);
}

// Puts everything back however the print ends: the argument stack at the
// level it was found, tracing as it was, the hook free again.
class PrintScope {
  public:
    PrintScope() : top_(stack::state.top), tracing_(interpreter::tracing) {
        interpreter::tracing = false;
        printing = true;
    }
    ~PrintScope() {
        stack::state.top = top_;
        interpreter::tracing = tracing_;
        printing = false;
    }

  private:
    Cell* top_;
    bool tracing_;
};

void write_error(std::string_view text, bool new_line) {
    os::write_all(runtime::std_handles.error, text.data(), text.size());
    if (new_line) os::write_all(runtime::std_handles.error, "\n", 1);
}

void vprint(const Cell& text, bool new_line) {
    Cell* cells = block::rs_head(call);
    cells[1] = text;
    logic::make_at(cells[2], new_line);
    interpreter::eval(call, false);
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
    PrintScope scope;
    if (!kept.empty()) {
        Rooted<Cell> earlier;
        string::load_at(reinterpret_cast<const uint8_t*>(kept.data()), uint32_t(kept.size()),
                        *earlier, string::Encoding::utf8);
        kept.clear();
        vprint(*earlier, false);
    }
    vprint(*text, new_line != 0);
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

// add-gui-print: registers the terminal's hooks.
void add_gui_print(Cell* args) {
    constexpr std::string_view target = "gui-console-ctx/terminal/vprint none none";
    lexer::load(call, reinterpret_cast<const uint8_t*>(target.data()), uint32_t(target.size()));
    output_hooks::register_(print_hook, cstring_hook);
    args[0] = Cell{TYPE_NONE, 0, 0, 0};
}

} // namespace

void register_gui_print_routines() {
    collector::add_marker(mark);
    routine::register_named("add-gui-print", add_gui_print);
}

} // namespace kiv::console
