#include "gui/backend/awake.h"

#include "datatypes/context.h"
#include "datatypes/none.h"
#include "datatypes/system_object.h"
#include "datatypes/words.h"
#include "evaluator/interpreter.h"
#include "runtime/protected_call.h"
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
    Cell args[1] = {event};
    // Errors and every exit stop at the handler: nothing it raises goes
    // further.
    bool answered = runtime::protected_call(
        runtime::stops::everything,
        [&] {
            none::push();
            interpreter::call_with_values(*function, args, 1, interpreter::call_kind::interpreter);
        },
        [&] { answer = *stack::get_top(); });
    if (!answered) none::make_at(answer);
}

} // namespace kiv::gui
