#include "gui/backend/sync_routines.h"

#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/system_object.h"
#include "evaluator/interpreter.h"
#include "runtime/roots.h"

namespace kiv::gui::sync_routines {
namespace {

Cell* auto_sync() {
    return system_object::field({"view", "auto-sync?"});
}

// Puts the saved switch back when it goes out of scope: after the code's
// value, and while an error, a halt or a throw crosses it. A break, return
// or exit of the code has already landed on its target when the routine
// ends, so nothing is evaluated here: the switch is set directly.
class RestoreAutoSync {
  public:
    explicit RestoreAutoSync(const Cell& saved) : saved_(saved) {}
    ~RestoreAutoSync() {
        if (Cell* field = auto_sync()) *field = *saved_;
    }
    RestoreAutoSync(const RestoreAutoSync&) = delete;
    RestoreAutoSync& operator=(const RestoreAutoSync&) = delete;

  private:
    Rooted<Cell> saved_;
};

// Evaluates the code with system/view/auto-sync? set to `sync` and sets it
// back however the code ends. The code's value is the result; its way out
// (error, halt, break, return, exit, throw with its name) goes on to its
// target as if the code were evaluated in place: a routine is no function
// that a return would end.
void evaluate_with(const Cell& sync, const Cell& code_in) {
    Rooted<Cell> code(code_in);
    Cell* field = auto_sync();
    if (!field) {
        interpreter::eval(*code, true);
        return;
    }
    RestoreAutoSync restore(*field);
    *field = sync;
    interpreter::eval(*code, true);
}

// with-auto-sync sync code
void with_auto_sync(Cell* args) {
    evaluate_with(args[0], args[1]);
}

// do-no-sync code
void do_no_sync(Cell* args) {
    evaluate_with(logic::false_value, args[0]);
}

} // namespace

void register_routines() {
    routine::register_named("with-auto-sync", with_auto_sync);
    routine::register_named("do-no-sync", do_no_sync);
}

} // namespace kiv::gui::sync_routines
