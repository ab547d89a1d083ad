#include "gui/backend/draw/reporting.h"

#include "datatypes/context.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/system_object.h"
#include "datatypes/words.h"
#include "evaluator/interpreter.h"
#include "gui/backend/draw/dialect.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/throw.h"
#include "runtime/types.h"

namespace kiv::gui::draw {

namespace {

// False while system/view is missing.
bool silent() {
    const Cell* value = system_object::find({"view", "silent?"});
    return value && cell::type_of(*value) == TYPE_LOGIC && logic::get(*value);
}

bool dialect_error() {
    const runtime::ErrorSite& e = runtime::last_error;
    return e.category == runtime::Category::script &&
           (e.id == err::script::draw_invalid || e.id == err::script::draw_infinite);
}

// The stacks as they were before a frame of our own was marked.
struct SavedStacks {
    Cell* base = stack::state.base;
    Cell* top = stack::state.top;
    stack::Frame* ctop = stack::state.ctop;
    void restore() const {
        stack::state.base = base;
        stack::state.top = top;
        stack::state.ctop = ctop;
    }
};

} // namespace

void print_error(const Cell& error) {
    const Cell* print = system_object::find({"words", "print"});
    if (!print || !context::callable(*print)) return;
    Rooted<Cell> function(*print), value(error);
    SavedStacks saved;
    stack::mark_try_all(words::word<"<body>">());
    none::push();
    try {
        Cell args[1] = {*value};
        interpreter::call_with_values(*function, args, 1, interpreter::call_kind::interpreter);
    } catch (const runtime::Throw&) {
        runtime::record.code = 0;
    }
    saved.restore();
}

void report_errors(Errors errors, const std::function<void()>& body) {
    bool quiet = silent();
    if (errors == Errors::raise && !quiet) return body();
    Rooted<Cell> error;
    SavedStacks saved;
    // Printing stops every exit here; raising stops errors only, the
    // others pass this frame.
    if (errors == Errors::print)
        stack::mark_try_all(words::word<"<body>">());
    else
        stack::mark_try(words::word<"<body>">());
    bool failed = false;
    try {
        body();
    } catch (const runtime::Throw& t) {
        if (errors == Errors::raise && t.code != runtime::code::error) throw;
        runtime::record.code = 0;
        // An error left its value last on the stack.
        failed = t.code == runtime::code::error && cell::type_of(*stack::get_top()) == TYPE_ERROR;
        if (failed) *error = *stack::get_top();
    }
    saved.restore();
    if (!failed || (quiet && dialect_error())) return;
    if (errors == Errors::print) return print_error(*error);
    stack::throw_error(*error);
}

void run_draw(Context& ctx, const Cell& block, Errors errors) {
    Rooted<Cell> commands(block);
    report_errors(errors, [&] { parse_draw(ctx, *commands); });
}

} // namespace kiv::gui::draw
