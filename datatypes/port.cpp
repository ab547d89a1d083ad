#include "datatypes/port.h"

#include <initializer_list>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/dispatch.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/object.h"
#include "datatypes/series.h"
#include "datatypes/symbol.h"
#include "datatypes/system_object.h"
#include "runtime/errors.h"
#include "runtime/protected_call.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace kiv::port {

Hooks hooks;

namespace {

// The fields of a port, in the order of system/standard/port.
enum Field : uint32_t { spec_field = 0, scheme_field, actor_field };
// The class id every port carries.
constexpr uint32_t port_class = 2;
// The actor of a scheme object is its fourth field.
constexpr uint32_t scheme_actor_field = 3;

std::vector<const ActorTable*> tables;

// The action names from append to write, by slot - 25.
constexpr const char* action_names[actor_slots] = {
    "append", "at",     "back",    "change",  "clear",  "copy",   "find",   "head",
    "head?",  "index?", "insert",  "length?", "move",   "next",   "pick",   "poke",
    "put",    "remove", "reverse", "select",  "sort",   "skip",   "swap",   "tail",
    "tail?",  "take",   "trim",    "create",  "close",  "delete", "modify", "open",
    "open?",  "query",  "read",    "rename",  "update", "write",
};

const Cell none_cell{TYPE_NONE, 0, 0, 0};

[[noreturn]] void access_error(uint32_t id, const Cell* arg = nullptr) {
    runtime::fire_error(runtime::Category::access, id, arg);
}

Cell flag(bool on) {
    Cell c{};
    logic::make_at(c, on);
    return c;
}

Cell given(const Cell* value) {
    return value ? *value : none_cell;
}

// A count passed with its flag: the integer when the flag is set.
Cell count_if(bool set, int32_t n) {
    Cell c{};
    if (!set) return none_cell;
    integer::make_at(c, n);
    return c;
}

Cell action_word(Slot slot) {
    return series::word_cell(action_names[uint32_t(slot) - first_actor_slot]);
}

// The actor object of a port; access invalid-port when the field holds
// anything else.
Cell actor_of(const Cell& port) {
    Cell actor = object::get_values(port)[actor_field];
    if (cell::type_of(actor) != TYPE_OBJECT) access_error(err::access::invalid_port);
    return actor;
}

// Calls the actor's function for the action with the port, then `args`,
// then its local slots (false, then nones); returns the function's result.
// An exit out of the function goes on to its target.
Cell call(const Cell& port, Slot slot, std::initializer_list<Cell> args) {
    Cell actor = actor_of(port);
    Cell word = action_word(slot);
    Cell function = *object::find_word(actor, word);
    if (cell::type_of(function) != TYPE_FUNCTION) access_error(err::access::no_port_action, &word);
    int32_t locals = function::count_locals(function.w2, 0, false);
    Cell result;
    runtime::protected_call(
        runtime::stops::nothing,
        [&] {
            stack::push(function); // kept while it runs, even if the actor drops it
            stack::mark_func_ctx(word, function.w1);
            stack::push(port);
            for (const Cell& a : args) stack::push(a);
            if (locals >= 1) function::push_unused_refinement(locals);
            hooks.eval_function(function);
        },
        [&] {
            // The body's result sits at the frame's base; unwinding puts
            // the function's context values back.
            result = *stack::state.base;
            stack::unwind_func();
        });
    return result;
}

// ------------------------------------------------------------------ make

Cell* make(Cell* proto, const Cell* spec, uint32_t) {
    Rooted<Cell> spec_object(*spec);
    if (cell::type_of(*spec_object) != TYPE_OBJECT) {
        const Cell* parts = system_object::find({"standard", "url-parts"});
        if (!parts) runtime::fire_error(runtime::Category::internal, err::internal::not_done);
        Rooted<Cell> prototype(*parts);
        *spec_object = *dispatch::make(&*prototype, spec, TYPE_OBJECT);
    }
    Cell scheme =
        object::words_count(*spec_object) ? object::get_values(*spec_object)[0] : none_cell;
    if (cell::type_of(scheme) != TYPE_WORD) access_error(err::access::no_scheme, &*spec_object);

    const Cell* standard = system_object::find({"standard", "port"});
    if (!standard) runtime::fire_error(runtime::Category::internal, err::internal::not_done);
    Rooted<Cell> port;
    object::duplicate(*standard, *port, false, nullptr, false);
    port->header = TYPE_PORT;
    port->w2 = port_class;
    port->w3 = 0;
    object::write_self(*port);
    object::store_value(*port, spec_field, *spec_object);
    object::store_value(*port, scheme_field, scheme);

    const Cell* schemes = system_object::find({"schemes"});
    const Cell* found = schemes && series::is_block_type(cell::type_of(*schemes))
                            ? block::select_ptr(*schemes, scheme)
                            : &none_cell;
    if (cell::type_of(*found) != TYPE_OBJECT)
        access_error(err::access::unknown_scheme, &*spec_object);
    Cell actor = object::words_count(*found) > scheme_actor_field
                     ? object::get_values(*found)[scheme_actor_field]
                     : none_cell;
    if (cell::type_of(actor) != TYPE_OBJECT && cell::type_of(actor) != TYPE_HANDLE)
        access_error(err::access::invalid_actor, &*spec_object);
    object::store_value(*port, actor_field, actor);
    *proto = *port;
    return proto;
}

// --------------------------------------------------------- form and mold

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent) {
    // The wrapper stays with /only.
    return object::write_fields(*value, *buffer, false, all, flat, arg, part, indent, true);
}

int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
    return mold(value, buffer, false, false, false, arg, part, 0);
}

// ------------------------------------------------------ forwarded actions

// at and skip pass their second argument; the other navigation actions
// nothing.
template <Slot S>
void navigate() {
    Cell* args = frame_args();
    Rooted<Cell> port(args[0]);
    if constexpr (S == Slot::at || S == Slot::skip)
        args[0] = call(*port, S, {args[1]});
    else
        args[0] = call(*port, S, {});
}

template <Slot S>
Cell* unary(Cell* port) {
    *port = call(*port, S, {});
    return port;
}

int32_t length_q(Cell* port) {
    Cell n = call(*port, Slot::length_q, {});
    if (cell::type_of(n) != TYPE_INTEGER)
        runtime::fire_error(runtime::Category::script, err::script::invalid_arg, &n);
    return integer::get(n);
}

Cell* pick(Cell* port, int32_t index, const Cell* index_cell) {
    *port = call(*port, Slot::pick, {index_cell ? *index_cell : count_if(true, index)});
    return port;
}

Cell* poke(Cell* port, int32_t index, Cell* value, const Cell* index_cell) {
    call(*port, Slot::poke, {index_cell ? *index_cell : count_if(true, index), *value});
    return value;
}

Cell* insert(Cell* port, const Cell* value, int32_t part, bool only, int32_t dup, bool append) {
    Slot slot = append ? Slot::append : Slot::insert;
    *port = call(*port, slot,
                 {*value, flag(part != -1), count_if(part != -1, part), flag(only), flag(dup > 1),
                  count_if(dup > 1, dup)});
    return port;
}

Cell* change(Cell* port, const Cell* value, int32_t part, bool only, int32_t dup) {
    *port = call(*port, Slot::change,
                 {*value, flag(part != -1), count_if(part != -1, part), flag(only), flag(dup > 1),
                  count_if(dup > 1, dup)});
    return port;
}

Cell* copy(Cell* port, Cell* out, const Cell* part, bool deep, const Cell* types) {
    *out =
        call(*port, Slot::copy, {flag(part), given(part), flag(deep), flag(types), given(types)});
    return out;
}

Cell* find(Cell* port, const Cell* value, const Cell* part, bool only, bool case_, bool same,
           bool any, const Cell* with, const Cell* skip, bool last, bool reverse, bool tail,
           bool match) {
    *port = call(*port, Slot::find,
                 {*value, flag(part), given(part), flag(only), flag(case_), flag(same), flag(any),
                  flag(with), given(with), flag(skip), given(skip), flag(last), flag(reverse),
                  flag(tail), flag(match)});
    return port;
}

Cell* select(Cell* port, const Cell* value, const Cell* part, bool only, bool case_, bool same,
             bool any, const Cell* with, const Cell* skip, bool last, bool reverse) {
    *port = call(*port, Slot::select,
                 {*value, flag(part), given(part), flag(only), flag(case_), flag(same), flag(any),
                  flag(with), given(with), flag(skip), given(skip), flag(last), flag(reverse)});
    return port;
}

Cell* sort(Cell* port, bool case_, const Cell* skip, const Cell* compare, const Cell* part,
           bool all, bool reverse, bool stable) {
    *port = call(*port, Slot::sort,
                 {flag(case_), flag(skip), given(skip), flag(compare), given(compare), flag(part),
                  given(part), flag(all), flag(reverse), flag(stable)});
    return port;
}

Cell* move(Cell* port, Cell* target, const Cell* part) {
    *port = call(*port, Slot::move, {*target, flag(part), given(part)});
    return port;
}

Cell* remove(Cell* port, const Cell* part, const Cell*) {
    *port = call(*port, Slot::remove, {flag(part), given(part)});
    return port;
}

Cell* reverse(Cell* port, const Cell* part, const Cell*) {
    *port = call(*port, Slot::reverse, {flag(part), given(part)});
    return port;
}

Cell* take(Cell* port, const Cell* part, bool deep, bool last) {
    *port = call(*port, Slot::take, {flag(part), given(part), flag(deep), flag(last)});
    return port;
}

Cell* trim(Cell* port, bool head, bool tail, bool auto_, bool lines, bool all, const Cell* with) {
    *port = call(
        *port, Slot::trim,
        {flag(head), flag(tail), flag(auto_), flag(lines), flag(all), flag(with), given(with)});
    return port;
}

// put and modify: key (or field), value, /case.
template <Slot S>
Cell* keyed(Cell* port, Cell* key, Cell* value, bool case_) {
    *port = call(*port, S, {*key, *value, flag(case_)});
    return port;
}

// swap and rename: the second argument.
template <Slot S>
Cell* paired(Cell* port, Cell* second) {
    *port = call(*port, S, {*second});
    return port;
}

Cell* open(Cell* port, bool new_, bool read, bool write, bool seek, const Cell* allow) {
    *port =
        call(*port, Slot::open, {flag(new_), flag(read), flag(write), flag(seek), given(allow)});
    return port;
}

// Runs the steps of read or write between the actor's open and close; the
// port is closed also when a step raises, and the error goes on.
template <class Steps>
Cell open_run_close(const Cell& port, bool write, bool seek, Steps steps) {
    call(port, Slot::open, {flag(false), flag(false), flag(write), flag(seek), none_cell});
    Cell result;
    try {
        result = steps();
    } catch (...) {
        call(port, Slot::close, {});
        throw;
    }
    call(port, Slot::close, {});
    return result;
}

Cell* read(Cell* port, const Cell* part, const Cell* seek, bool, bool, bool, const Cell*) {
    Rooted<Cell> held(*port);
    Rooted<Cell> length(given(part));
    *port = open_run_close(*held, false, seek != nullptr, [&] {
        return call(*held, Slot::copy, {flag(part), *length, flag(false), flag(false), none_cell});
    });
    return port;
}

Cell* write(Cell* port, Cell* data, bool, bool, bool, bool append, const Cell* part,
            const Cell* seek, const Cell*, const Cell*) {
    // Appending has no meaning the actor is told of: refused rather than
    // done as a plain write.
    if (append) runtime::fire_error(runtime::Category::script, err::script::bad_refines);
    Rooted<Cell> held(*port);
    Rooted<Cell> value(*data);
    bool counted = part && cell::type_of(*part) == TYPE_INTEGER;
    Rooted<Cell> length(counted ? *part : none_cell);
    *port = open_run_close(*held, true, seek != nullptr, [&] {
        call(*held, Slot::insert,
             {*value, flag(counted), *length, flag(false), flag(false), none_cell});
        return call(*held, Slot::copy,
                    {flag(counted), *length, flag(false), flag(false), none_cell});
    });
    return port;
}

} // namespace

uint32_t register_actors(const ActorTable* table) {
    tables.push_back(table);
    return uint32_t(tables.size() - 1);
}

const ActorTable* native_actors(const Cell& port) {
    const Cell& actor = object::get_values(port)[actor_field];
    if (cell::type_of(actor) != TYPE_HANDLE) return nullptr;
    if (actor.w2 >= tables.size()) access_error(err::access::invalid_port);
    return tables[actor.w2];
}

void init() {
    for (const char* name : action_names) symbol::intern(name);
    datatype::register_type(TYPE_PORT, TYPE_OBJECT, "port!",
                            {{Slot::make, make},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::append, insert},
                             {Slot::at, navigate<Slot::at>},
                             {Slot::back, navigate<Slot::back>},
                             {Slot::change, change},
                             {Slot::clear, unary<Slot::clear>},
                             {Slot::copy, copy},
                             {Slot::find, find},
                             {Slot::head, navigate<Slot::head>},
                             {Slot::head_q, navigate<Slot::head_q>},
                             {Slot::index_q, navigate<Slot::index_q>},
                             {Slot::insert, insert},
                             {Slot::length_q, length_q},
                             {Slot::move, move},
                             {Slot::next, navigate<Slot::next>},
                             {Slot::pick, pick},
                             {Slot::poke, poke},
                             {Slot::put, keyed<Slot::put>},
                             {Slot::remove, remove},
                             {Slot::reverse, reverse},
                             {Slot::select, select},
                             {Slot::sort, sort},
                             {Slot::skip, navigate<Slot::skip>},
                             {Slot::swap, paired<Slot::swap>},
                             {Slot::tail, navigate<Slot::tail>},
                             {Slot::tail_q, navigate<Slot::tail_q>},
                             {Slot::take, take},
                             {Slot::trim, trim},
                             {Slot::create, unary<Slot::create>},
                             {Slot::close, unary<Slot::close>},
                             {Slot::delete_, unary<Slot::delete_>},
                             {Slot::modify, keyed<Slot::modify>},
                             {Slot::open, open},
                             {Slot::query, unary<Slot::query>},
                             {Slot::read, read},
                             {Slot::rename, paired<Slot::rename>},
                             {Slot::update, unary<Slot::update>},
                             {Slot::write, write}});
}

} // namespace kiv::port
