// Trace events: while `do/trace` runs, the interpreter reports each step
// of the evaluation to a tracer function. The tracer is an ordinary
// function! called with a fixed argument list: the event word, the series
// and the index of the position in it, the value, the reference (the word
// set or called) and the argument-stack frame as a pair. A block of event
// words at the head of its body chooses the events it receives.
//
// Every firing point is one test of `tracing`, which is off unless a
// traced evaluation runs, and off again while the tracer itself runs.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::interpreter {

// Event bits, in the order of the event words.
namespace event {
constexpr uint32_t init = 0x0001;
constexpr uint32_t end = 0x0002;
constexpr uint32_t prolog = 0x0004;
constexpr uint32_t epilog = 0x0008;
constexpr uint32_t enter = 0x0010;
constexpr uint32_t exit = 0x0020;
constexpr uint32_t open = 0x0040;
constexpr uint32_t return_ = 0x0080;
constexpr uint32_t fetch = 0x0100;
constexpr uint32_t push = 0x0200;
constexpr uint32_t set = 0x0400;
constexpr uint32_t call = 0x0800;
constexpr uint32_t error = 0x1000;
constexpr uint32_t throw_ = 0x2000;
constexpr uint32_t catch_ = 0x4000;
constexpr uint32_t expr = 0x8000;
// Used when the tracer names no events.
constexpr uint32_t all = 0x1FFFF;
} // namespace event

// Tracing active: every firing point tests it first.
extern bool tracing;
// On while a traced evaluation runs, off while its tracer runs: what a
// `trace` function switches tracing to for its body.
extern bool traced_mode;

// The events a tracer asks for: the bits of the event words in the block
// that starts its body, or every event when its body starts otherwise.
uint32_t trace_mask(const Cell& tracer);
// The same for any kind of callback: the bits that bit_of gives the
// resolved symbols of the words in the block that starts the function's
// body, or `all` when its body starts otherwise.
uint32_t body_event_mask(const Cell& function, uint32_t all, uint32_t (*bit_of)(uint32_t symbol));

// Delivers one event to the tracer when the mask has it. Each pointer may
// be null: no series, no position, no reference, no value.
void fire_event(uint32_t event, const Cell* series, const Cell* position, const Cell* reference,
                const Cell* value);

// The firing point: one predictable test when tracing is off.
inline void fire(uint32_t event, const Cell* series, const Cell* position,
                 const Cell* reference = nullptr, const Cell* value = nullptr) {
    if (tracing) [[unlikely]]
        fire_event(event, series, position, reference, value);
}

// Events of natives: value = slot 0 of the current frame.
void fire_throw();
void fire_catch();
// Around the interpreted body of a runtime callback: `call` with the
// function, `return` with slot 0.
void fire_enter(const Cell& name, const Cell& function);
void fire_exit(const Cell& name, const Cell& function);

// The callback kinds whose functions are traced (1 lexer, 2 parse, 4 sort,
// 8 on-change*, 16 on-deep-change*, 32 port actor); none by default.
uint32_t traced_callbacks();
void set_traced_callbacks(uint32_t bits);

// Counts the explicit switches of `switch_tracing`.
extern uint32_t tracing_switches;

// `trace` with a logic!: switches event delivery while a traced evaluation
// runs, and for good: the function bodies it returns through keep the
// setting. Outside a traced evaluation (and inside the tracer) nothing
// changes.
void switch_tracing(bool on);

// Sets `tracing` for a scope and restores it at the end, however the
// scope ends, unless tracing was switched explicitly meanwhile.
class TracingSwitch {
  public:
    explicit TracingSwitch(bool on) : saved_(tracing), switches_(tracing_switches) { tracing = on; }
    ~TracingSwitch() {
        if (tracing_switches == switches_) tracing = saved_;
    }
    TracingSwitch(const TracingSwitch&) = delete;
    TracingSwitch& operator=(const TracingSwitch&) = delete;

  private:
    bool saved_;
    uint32_t switches_;
};

// Installs the tracer for a traced evaluation and fires `init`; false
// when one is already running (the tracer stays as it is).
bool trace_begin(const Cell& tracer);
// Ends the traced evaluation: fires `end`, then removes the tracer and
// switches tracing off (also when the tracer raises an error).
void trace_end();

// Wires the tracer into the error raise and `do`, and roots the tracer
// cell. Called by interpreter::init.
void init_trace();

} // namespace kiv::interpreter
