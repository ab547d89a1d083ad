#include "library/handler_routines.h"

#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/symbol.h"
#include "evaluator/trace.h"
#include "runtime/float_text.h"

namespace kiv::handler_routines {
namespace {

// set-traced-callbacks bits: the callback kinds whose functions are traced.
void set_traced_callbacks(Cell* args) {
    interpreter::set_traced_callbacks(uint32_t(integer::get(args[0])));
}

// The float-format fields and the runtime switch each one drives.
struct FloatSwitch {
    const char* field;
    bool* flag;
};

constexpr FloatSwitch float_switches[] = {
    {"pretty?", &float_::pretty_print},
    {"full?", &float_::full_support},
};

// set-float-switch field on: sets the switch of a float-format field; a
// field without one changes nothing.
void set_float_switch(Cell* args) {
    uint32_t field = symbol::resolve(args[0].w2);
    for (const FloatSwitch& entry : float_switches)
        if (symbol::resolve(symbol::intern(entry.field)) == field)
            *entry.flag = !logic::counts_false(args[1]);
}

} // namespace

void register_routines() {
    routine::register_named("set-traced-callbacks", set_traced_callbacks);
    routine::register_named("set-float-switch", set_float_switch);
}

} // namespace kiv::handler_routines
