#include "gui/backend/awake.h"

#include "datatypes/context.h"
#include "datatypes/none.h"
#include "datatypes/system_object.h"
#include "datatypes/words.h"
#include "evaluator/interpreter.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

#include <utility>

namespace kiv::gui {

void call_awake(Cell& event, Cell& answer) {
    const Cell* handler = system_object::find({"view", "awake"});
    if (!handler || !context::callable(*handler)) {
        none::make_at(answer);
        return;
    }
    Rooted<Cell> function(*handler);
    Cell* base = stack::state.base;
    Cell* top = stack::state.top;
    stack::Frame* ctop = stack::state.ctop;
    uint32_t pending = std::exchange(runtime::record.pending, 0);
    Cell args[1] = {event};
    bool answered = false;
    // A frame that catches errors and every exit (the console's `<body>`
    // frame kind), so that nothing the handler raises goes further.
    stack::mark_try_all(words::word<"<body>">());
    none::push();
    try {
        interpreter::call_with_values(*function, args, 1, interpreter::call_kind::interpreter);
        answered = runtime::record.pending == 0;
        if (answered) answer = *stack::get_top();
    } catch (const runtime::Throw&) {
        runtime::record.code = 0;
    }
    if (!answered) none::make_at(answer);
    runtime::record.pending = pending;
    stack::state.base = base;
    stack::state.top = top;
    stack::state.ctop = ctop;
}

} // namespace kiv::gui
