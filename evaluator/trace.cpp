#include "evaluator/trace.h"

#include <iterator>

#include "datatypes/block.h"
#include "datatypes/function.h"
#include "datatypes/none.h"
#include "datatypes/symbol.h"
#include "datatypes/words.h"
#include "evaluator/evaluation.h"
#include "evaluator/interpreter.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/protected_call.h"
#include "runtime/roots.h"
#include "runtime/session.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace kiv::interpreter {

bool tracing = false;
bool traced_mode = false;
uint32_t tracing_switches = 0;

void switch_tracing(bool on) {
    if (!traced_mode) return;
    tracing = on;
    ++tracing_switches;
}

namespace {

// The installed tracer (none! outside a traced evaluation) and the events
// it asked for.
Cell tracer{TYPE_NONE, 0, 0, 0};
uint32_t mask = 0;

// The callback kinds that stay traced. The runtime keeps it here until
// the system object holds it.
uint32_t callback_bits = 0;
[[maybe_unused]] const bool kept_in_snapshot =
    session::keep(tracing, traced_mode, tracing_switches, tracer, mask, callback_bits);

// The event words, event bit 1 << i at index i.
using WordOf = const Cell& (*)();
constexpr WordOf event_words[] = {
    words::word<"init">,   words::symbol_word<"end">, words::word<"prolog">,
    words::word<"epilog">, words::word<"enter">,      words::word<"exit">,
    words::word<"open">,   words::word<"return">,     words::word<"fetch">,
    words::word<"push">,   words::symbol_word<"set">, words::word<"call">,
    words::word<"error">,  words::word<"throw">,      words::word<"catch">,
    words::word<"expr">,
};

// The events that hand the tracer their reference.
constexpr uint32_t with_reference =
    event::set | event::epilog | event::prolog | event::return_ | event::call;

uint32_t event_index(uint32_t event) {
    return uint32_t(__builtin_ctz(event));
}

// The index of position in the series, or -1 when it lies outside.
int32_t index_in(const Cell* series, const Cell* position) {
    if (!series || !position) return -1;
    Buffer* b = memory::buffer_of(series->w2);
    if (position < b->head_cell() || position > b->tail_cell()) return -1;
    return int32_t(position - b->head_cell());
}

const Cell& or_none(const Cell* value) {
    return value && cell::type_of(*value) != 0 ? *value : none::value;
}

// The error event, with the error being raised.
void trace_error(const Cell& error) {
    fire(event::error, nullptr, nullptr, nullptr, &error);
}

void remove_tracer() {
    tracer = none::value;
    tracing = traced_mode = false;
    runtime::trace_error_hook = nullptr;
}

} // namespace

uint32_t body_event_mask(const Cell& function, uint32_t all, uint32_t (*bit_of)(uint32_t symbol)) {
    Cell body = *extras::at(function, extras::body);
    if (cell::type_of(body) != TYPE_BLOCK || block::rs_length(body) == 0) return all;
    Cell events = block::rs_head(body)[0];
    if (cell::type_of(events) != TYPE_BLOCK) return all;
    uint32_t bits = 0;
    int32_t length = block::rs_length(events);
    for (int32_t i = 0; i < length; ++i) {
        const Cell& word = block::rs_head(events)[i];
        if (cell::type_of(word) == TYPE_WORD) bits |= bit_of(symbol::resolve(word.w2));
    }
    return bits;
}

uint32_t trace_mask(const Cell& function) {
    return body_event_mask(function, event::all, [](uint32_t wanted) {
        for (uint32_t e = 0; e < std::size(event_words); ++e)
            if (symbol::resolve(event_words[e]().w2) == wanted) return 1u << e;
        return 0u;
    });
}

void fire_event(uint32_t event, const Cell* series, const Cell* position, const Cell* reference,
                const Cell* value) {
    if (!(mask & event)) return;
    Cell frame{TYPE_PAIR, 0, stack::index_of(stack::state.base), stack::index_of(stack::state.top)};
    int32_t index = index_in(series, position);
    // A fetch tells the value read: the one at the position (none at the
    // tail, where nothing is left to read).
    if (event == event::fetch && !value && index >= 0 &&
        position < memory::buffer_of(series->w2)->tail_cell())
        value = position;
    Rooted<Cell> args[6] = {
        Rooted<Cell>(event_words[event_index(event)]()),
        Rooted<Cell>(or_none(series)),
        Rooted<Cell>(Cell{TYPE_INTEGER, 0, uint32_t(index), 0}),
        Rooted<Cell>(or_none(value)),
        Rooted<Cell>(event & with_reference ? or_none(reference) : none::value),
        Rooted<Cell>(frame),
    };
    Cell values[6];
    for (uint32_t i = 0; i < 6; ++i) values[i] = *args[i];
    Rooted<Cell> function(tracer);
    // Nothing the tracer runs is traced, `trace` functions included. An
    // exit code in flight waits while it runs; a throw, break or exit out
    // of it goes on to its target.
    TracingSwitch off(false);
    struct TracedModeOff {
        bool saved = traced_mode;
        TracedModeOff() { traced_mode = false; }
        ~TracedModeOff() { traced_mode = saved; }
    } mode_off;
    runtime::protected_call(runtime::stops::nothing, [&] {
        call_with_values(*function, values, 6, call_kind::interpreter);
    });
}

void fire_throw() {
    fire(event::throw_, nullptr, nullptr, nullptr, stack::state.base);
}

void fire_catch() {
    fire(event::catch_, nullptr, nullptr, nullptr, stack::state.base);
}

void fire_enter(const Cell& name, const Cell& function) {
    fire(event::call, nullptr, nullptr, &name, &function);
}

void fire_exit(const Cell& name, const Cell&) {
    fire(event::return_, nullptr, nullptr, &name, stack::state.base);
}

uint32_t traced_callbacks() {
    return callback_bits;
}

void set_traced_callbacks(uint32_t bits) {
    callback_bits = bits;
}

bool trace_begin(const Cell& function) {
    if (cell::type_of(tracer) != TYPE_NONE) return false;
    mask = trace_mask(function);
    tracer = function;
    tracing = traced_mode = true;
    runtime::trace_error_hook = trace_error;
    // A tracer that fails on init leaves no traced evaluation behind.
    try {
        fire(event::init, nullptr, nullptr);
    } catch (const runtime::Throw&) {
        remove_tracer();
        throw;
    }
    return true;
}

void trace_end() {
    struct Remove {
        ~Remove() { remove_tracer(); }
    } remove; // also when the end event raises an error
    fire(event::end, nullptr, nullptr);
}

void init_trace() {
    remove_tracer();
    natives::evaluation::hooks.trace_begin = trace_begin;
    natives::evaluation::hooks.trace_end = trace_end;
    static bool marker_added = false;
    if (!marker_added) {
        collector::add_marker([] { collector::mark_values(&tracer, &tracer + 1); });
        marker_added = true;
    }
}

} // namespace kiv::interpreter
