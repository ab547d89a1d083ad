#include "evaluator/exits.h"

#include "datatypes/block.h"
#include "datatypes/error.h"
#include "datatypes/natives.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "datatypes/words.h"
#include "evaluator/interpreter.h"
#include "evaluator/trace.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/session.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace kiv::natives {

bool halts_wait = false;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(halts_wait);

namespace {

using runtime::record;

bool same_name(uint32_t a, uint32_t b) {
    return symbol::resolve(a) == symbol::resolve(b);
}

// Whether a catch named `name` (a word, or a block of words) takes a throw
// named `thrown` (a word!, or unset! for an unnamed throw).
bool catches(const Cell& name, const Cell& thrown) {
    if (cell::type_of(thrown) != TYPE_WORD) return false;
    if (cell::type_of(name) != TYPE_BLOCK) return same_name(name.w2, thrown.w2);
    Cell names = name;
    Buffer* b = memory::buffer_of(names.w2);
    for (const Cell* c = b->head_cell() + names.w1; c < b->tail_cell(); ++c) {
        if (cell::type_of(*c) != TYPE_WORD)
            runtime::fire_error(runtime::Category::script, err::script::invalid_refine_arg,
                                &words::word<"name">(), &names);
        if (same_name(c->w2, thrown.w2)) return true;
    }
    return false;
}

} // namespace

void break_(bool, const int32_t* refinements) {
    stack::throw_break(refinements[0] >= 0, false);
}

void continue_(bool, const int32_t*) {
    stack::throw_break(false, true);
}

void exit_(bool, const int32_t*) {
    stack::throw_exit(false, false);
}

void return_(bool, const int32_t*) {
    stack::throw_exit(true, false);
}

void throw_(bool, const int32_t* refinements) {
    interpreter::fire_throw();
    // The catch reads the name from the cell after the value.
    if (refinements[0] < 0) {
        stack::state.top = stack::state.base + 1;
        unset::push();
    }
    stack::throw_throw(runtime::code::thrw);
}

namespace {

// Ends a catch frame: a throw that landed on it gives its value, a throw
// of another name goes on to the next catch.
bool land_catch(bool named, const Cell& name) {
    if (record.pending == runtime::code::thrw) {
        // The throw landed here: its value in slot 0, its name in slot 1.
        record.pending = 0;
        if (named && !catches(name, stack::state.base[1])) {
            stack::throw_throw(runtime::code::thrw);
            return false;
        }
        // The throw reached its target: the call top it saved for naming
        // the thrower in a "no catch" error must not outlive it, or a later
        // error would walk frames that are gone.
        stack::state.saved_ctop = nullptr;
        stack::keep();
        interpreter::fire_catch();
        stack::unwind_last();
        return true;
    }
    if (!record.pending) stack::unwind_last();
    return false;
}

// Evaluates the block of a catch. A throw raised where no native call
// stands between it and the catch (a halt at a check point) arrives as an
// exception and becomes the pending code it would have been.
void eval_caught(const Cell& block) {
    try {
        interpreter::eval(block, true);
    } catch (const runtime::Throw& t) {
        if (t.code != runtime::code::thrw) throw;
        record.pending = t.code;
    }
}

// The halt an interrupt asked for: what `halt` throws. In a session, where
// nothing could catch it, it waits for the next catch.
void raise_halt() {
    const Cell& console = words::word<"console">();
    if (halts_wait && !stack::catch_stands(console)) {
        stack::hold_halt();
        return;
    }
    stack::throw_from_here(words::word<"halt-request">(), console);
}

} // namespace

void catch_(bool, const int32_t* refinements) {
    Cell block = stack::state.base[0];
    bool named = refinements[0] >= 0;
    Cell name = named ? stack::state.base[refinements[0]] : Cell{TYPE_NONE, 0, 0, 0};
    stack::mark_catch(words::word<"<body>">());
    eval_caught(block);
    land_catch(named, name);
}

bool catch_named(const Cell& code, const Cell& name) {
    Cell block = code;
    stack::mark_named_catch(words::word<"<body>">(), name.w2);
    eval_caught(block);
    return land_catch(false, name);
}

void try_(bool, const int32_t* refinements) {
    Cell block = stack::state.base[0];
    Cell* base = stack::state.base;
    stack::Frame* ctop = stack::state.ctop;
    if (refinements[0] >= 0)
        stack::mark_try_all(words::word<"try">());
    else
        stack::mark_try(words::word<"try">());
    bool failed = false;
    runtime::protected_region(
        runtime::code::error, [&] { interpreter::eval_trying(block); },
        [&](uint32_t code) {
            if (code != runtime::code::error) runtime::throw_code(code);
            failed = true;
        });
    if (record.pending == runtime::code::error) {
        record.pending = 0;
        failed = true;
    }
    if (failed) {
        // The raise left the stack at this native's frame with the error
        // pushed last; a raise without an error value left it anywhere.
        stack::state.base = base;
        stack::state.ctop = ctop;
        *base = Cell{TYPE_NONE, 0, 0, 0};
        stack::adjust_post_try();
        return;
    }
    // break, continue, return, exit and throw go on to their targets.
    if (record.pending) return;
    stack::unwind_last();
    stack::keep();
}

void check_try(bool) {
    Cell error = *stack::get_top();
    uint32_t throw_symbol = words::word<"throw">().w2;
    if (cell::type_of(error) == TYPE_ERROR && same_name(error::get_type(error), throw_symbol) &&
        same_name(error::get_id(error), throw_symbol))
        stack::throw_error(error);
    stack::adjust_post_try();
}

void register_exits() {
    stack::hooks.raise_halt = raise_halt;
    register_native(70, try_, {1, 2});
    register_native(77, break_, {0, 1});
    register_native(78, continue_, {0, 0});
    register_native(79, exit_, {0, 0});
    register_native(80, return_, {1, 0});
    register_native(81, throw_, {1, 1});
    register_native(82, catch_, {1, 1});
}

} // namespace kiv::natives
