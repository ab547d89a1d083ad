// port!: an object that stands for an external resource handled by a
// scheme. The datatype does no input or output itself: every series and
// I/O action applied to a port goes to the port's actor, either an object
// whose fields are functions named after the actions (called with the port,
// the action's arguments, then a logic flag and the arguments of each
// refinement, in the order of the action's spec), or a handle! whose value
// is the index of a table of native actor functions registered here, which
// the action dispatcher calls directly.
//
// A port's context is a copy of system/standard/port: spec, scheme, actor,
// awake, state, data, extra.
#pragma once

#include <array>
#include <cstdint>

#include "datatypes/datatype.h"
#include "runtime/cell.h"

namespace kiv::port {

// Actions from append (slot 25) to write (slot 62) go to the actor.
constexpr uint32_t first_actor_slot = 25;
constexpr uint32_t actor_slots = slot_count - first_actor_slot + 1;

// Native actor functions by slot - 25, each of its slot's family; null
// where the scheme does not support the action.
using ActorTable = std::array<action::AnyFn, actor_slots>;

// Registers a table that lives as long as the process; returns the index
// a handle! actor holds.
uint32_t register_actors(const ActorTable* table);
// The native table of a port whose actor is a handle!, or null when the
// actor is anything else. A handle naming no table raises access
// invalid-port.
const ActorTable* native_actors(const Cell& port);

// Runs a function of an object actor whose frame and arguments are pushed;
// set by the interpreter.
struct Hooks {
    void (*eval_function)(const Cell& function) = nullptr;
};
extern Hooks hooks;

// Registers port! (after object!).
void init();

} // namespace kiv::port
