#include "gui/backend/draw/reporting.h"

#include "datatypes/context.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/system_object.h"
#include "datatypes/words.h"
#include "evaluator/interpreter.h"
#include "gui/backend/draw/dialect.h"
#include "runtime/errors.h"
#include "runtime/protected_call.h"
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

} // namespace

void print_error(const Cell& error) {
    const Cell* print = system_object::find({"words", "print"});
    if (!print || !context::callable(*print)) return;
    Rooted<Cell> function(*print), value(error);
    runtime::protected_call(runtime::stops::everything, [&] {
        none::push();
        Cell args[1] = {*value};
        interpreter::call_with_values(*function, args, 1, interpreter::call_kind::interpreter);
    });
}

void report_errors(Errors errors, const std::function<void()>& body) {
    bool quiet = silent();
    if (errors == Errors::raise && !quiet) return body();
    Rooted<Cell> error;
    // Printing stops every exit here; raising stops errors only, the
    // others pass.
    bool ended = runtime::protected_call(errors == Errors::print ? runtime::stops::everything
                                                                 : runtime::stops::errors,
                                         body, &*error);
    bool failed = !ended && cell::type_of(*error) == TYPE_ERROR;
    if (!failed || (quiet && dialect_error())) return;
    if (errors == Errors::print) return print_error(*error);
    stack::throw_error(*error);
}

void run_draw(Context& ctx, const Cell& block, Errors errors) {
    Rooted<Cell> commands(block);
    report_errors(errors, [&] { parse_draw(ctx, *commands); });
}

} // namespace kiv::gui::draw
