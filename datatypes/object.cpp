#include "datatypes/object.h"

#include <cstring>
#include <string>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/object_rebind.h"
#include "datatypes/ownership.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "runtime/cell_handle.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/protected_call.h"
#include "runtime/roots.h"
#include "runtime/session.h"
#include "runtime/stack.h"
#include "runtime/throw.h"
#include "runtime/types.h"

namespace kiv::object {

Hooks hooks;

namespace {

uint32_t class_counter = first_run_class;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(class_counter);

const Cell none_cell{TYPE_NONE, 0, 0, 0};
const Cell unset_cell{cell::unset_header, 0, 0, 0};
// The results of a get-path on a missing field, and the none of a missing
// field, handed out as cells the caller copies.
Cell unset_result{cell::unset_header, 0, 0, 0};
Cell none_result{TYPE_NONE, 0, 0, 0};
Cell field_result{cell::unset_header, 0, 0, 0};

// Symbols the object routines compare against, interned by init.
struct Symbols {
    uint32_t on_change, on_deep_change, local;
    uint32_t changed, class_, words, values, body, owner, owned, events;
    uint32_t true_, yes, on, false_, no, off, none;
} syms;

uint32_t canonical(uint32_t symbol) {
    return symbol::resolve(symbol);
}

[[noreturn]] void script_error(uint32_t id, const Cell* arg1 = nullptr,
                               const Cell* arg2 = nullptr) {
    runtime::fire_error(runtime::Category::script, id, arg1, arg2);
}

Cell datatype_of(const Cell& value) {
    Cell type;
    datatype::make_at(type, cell::type_of(value));
    return type;
}

Cell* handler_cells(NodeId record) {
    return memory::buffer_of(record)->head_cell();
}

bool is_handler_symbol(uint32_t symbol) {
    uint32_t c = canonical(symbol);
    return c == syms.on_change || c == syms.on_deep_change;
}

uint32_t count_locals(NodeId spec) {
    return uint32_t(function::count_locals(spec, 0, false));
}

bool is_function(const Cell& value) {
    uint32_t type = cell::type_of(value);
    return type == TYPE_FUNCTION || type == TYPE_ROUTINE;
}

// The types whose values a deep copy of an object replaces by copies.
bool deep_copied(uint32_t type) {
    switch (type) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_PATH:
    case TYPE_LIT_PATH:
    case TYPE_SET_PATH:
    case TYPE_GET_PATH:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF: return true;
    default: return false;
    }
}

bool any_block(uint32_t type) {
    switch (type) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_PATH:
    case TYPE_LIT_PATH:
    case TYPE_SET_PATH:
    case TYPE_GET_PATH: return true;
    default: return false;
    }
}

// Replaces the series of the value by a copy of its buffer; with deep, the
// series inside a block are copied too (a block met again inside itself
// stays shared).
void copy_series(Cell& value, bool deep) {
    NodeId copy = memory::copy_series(memory::buffer_of(value.w2));
    uint32_t type = cell::type_of(value);
    if (!any_block(type)) {
        value.w2 = copy;
        if (type != TYPE_BINARY) value.w3 = 0; // no conversion cache yet
        return;
    }
    NodeId source = value.w2;
    value.w2 = copy;
    if (!deep) return;
    cycles::Guard on_stack(source);
    RootedNode kept(copy);
    for (uint32_t i = 0; i < memory::buffer_of(copy)->length(); ++i) {
        CellHandle slot(copy, i); // copying allocates, which may move the buffer
        Cell c = *slot;
        if (!deep_copied(cell::type_of(c)) || cycles::find(c.w2)) continue;
        copy_series(c, true);
        *slot = c;
    }
}

// Copies or re-creates the values of a fresh copy of an object: series of
// the deep-copy types (or of `types`) copied, functions re-created.
// `layout` is the object copied from when ctx has its word list, else 0.
void renew_values(NodeId ctx, bool deep, const Cell* types, NodeId layout) {
    uint32_t n = context::size_of(ctx);
    for (uint32_t i = 0; i < n; ++i) {
        Cell value = *context::slot_at(ctx, i);
        uint32_t type = cell::type_of(value);
        bool copied = types
                          ? typeset::has(*types, type) && (deep_copied(type) || type == TYPE_BINARY)
                          : deep && deep_copied(type);
        if (copied) {
            copy_series(value, deep);
            context::store(ctx, i, value);
        } else if (type == TYPE_FUNCTION) {
            rebind_function(ctx, i, layout);
        }
    }
}

const Cell* field(NodeId ctx, uint32_t index) {
    return context::slot_at(ctx, index);
}

// Word cells of an object context are word! cells bound to it.
Cell bound_word(NodeId ctx, uint32_t index, uint32_t type) {
    Cell w = *context::word_at(ctx, index);
    w.header = type;
    w.w1 = ctx;
    w.w3 = index;
    return w;
}

void append_text(Cell& buffer, const char* text) {
    string::append_c_string(buffer, text);
}

int32_t append_indent(Cell& buffer, int32_t part, int32_t levels) {
    for (int32_t i = 0; i < levels; ++i) append_text(buffer, "    ");
    return part - 4 * levels;
}

// Runs a handler: a function frame for the handler's word, the arguments
// already in `args`, then its local slots (false, then nones). An exit
// out of the handler goes on to its target.
void call_handler(NodeId ctx, uint32_t index, const Cell& function, const Cell* args,
                  uint32_t count, uint32_t locals) {
    Cell name = bound_word(ctx, index, TYPE_WORD);
    runtime::protected_call(
        runtime::stops::nothing,
        [&] {
            stack::mark_func_ctx(name, function.w1);
            for (uint32_t i = 0; i < count; ++i) stack::push(args[i]);
            if (locals >= 1) {
                logic::push(false);
                for (uint32_t i = 1; i < locals; ++i) stack::push(none_cell);
            }
            if (hooks.eval_function) hooks.eval_function(function);
        },
        // Unwinding puts the handler's context values back.
        [] { stack::unwind_func(); });
}

// Refreshes the local count of handler cell `which` when the function now
// in the field has another spec; answers the count.
uint32_t refresh_count(NodeId record, uint32_t which, const Cell& function) {
    Cell& h = handler_cells(record)[which];
    if (h.w3 != function.w2) {
        h.w2 = (h.w2 & 0xFFFF0000u) | (count_locals(function.w2) & 0xFFFFu);
        h.w3 = function.w2;
    }
    return h.w2 & 0xFFFFu;
}

Cell* make(Cell* proto, const Cell* spec, uint32_t) {
    uint32_t spec_type = cell::type_of(*spec);
    if (spec_type != TYPE_BLOCK && spec_type != TYPE_OBJECT)
        runtime::fire_error(runtime::Category::syntax, err::syntax::malconstruct, spec);
    Rooted<Cell> source(*spec);
    bool from_object = cell::type_of(*proto) == TYPE_OBJECT;
    uint32_t proto_class = from_object ? proto->w2 : 0;
    Cell* result = stack::push(unset_cell);
    if (from_object)
        duplicate(*proto, *result, true, nullptr, false);
    else
        make_at(*result, 4);
    NodeId ctx = result->w1;
    uint32_t before = context::size_of(ctx);
    bool grew;
    if (spec_type == TYPE_OBJECT) {
        NodeId from = source->w1;
        for (uint32_t i = 0; i < context::size_of(from); ++i) {
            Cell word = *context::word_at(from, i);
            Cell value = *field(from, i);
            context::put_value(ctx, word, value);
        }
        grew = context::size_of(ctx) != before;
        renew_values(ctx, true, nullptr, 0);
    } else {
        grew = context::collect_set_words(ctx, *source);
        // Blocks copied from the prototype belong to the new object.
        uint32_t n = context::size_of(ctx);
        for (uint32_t i = 0; i < n; ++i) {
            Cell value = *field(ctx, i);
            uint32_t type = cell::type_of(value);
            if (type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH ||
                (type >= TYPE_PATH && type <= TYPE_GET_PATH))
                context::bind_block(value, ctx, true);
        }
        context::bind_block(*source, ctx, true);
        if (hooks.eval) hooks.eval(*source);
        n = context::size_of(ctx);
        for (uint32_t i = 0; i < n; ++i) {
            context::own_word_at(ctx, i)->header &= ~context::flag::set_mark;
            Cell value = *field(ctx, i);
            cell::clear_bit_30(value);
            context::store(ctx, i, value);
        }
        grew = grew || !from_object;
    }
    result->w2 = grew ? new_class_id() : proto_class;
    write_self(*result);
    install_handlers(*result);
    return result;
}

Cell* modify(Cell* object, Cell* field, Cell* value, bool) {
    uint32_t type = cell::type_of(*field);
    if (type < TYPE_WORD || type > TYPE_GET_WORD) return value;
    uint32_t name = canonical(field->w2);
    NodeId ctx = object->w1;
    if (name == syms.changed) {
        if (cell::type_of(*value) != TYPE_NONE) script_error(err::script::invalid_arg, value);
        for (uint32_t i = 0; i < context::size_of(ctx); ++i)
            context::own_word_at(ctx, i)->header &= ~context::flag::set_mark;
    } else if (name == syms.owner) {
        ownership::set(*object, *object, none_cell);
    } else if (name == syms.owned) {
        ownership::modify_owned(*object, *value);
    }
    return value;
}

Cell* reflect(Cell* value, uint32_t field_symbol) {
    NodeId ctx = value->w1;
    uint32_t n = context::size_of(ctx);
    uint32_t name = canonical(field_symbol);
    Cell result;
    if (name == syms.class_) return integer::make_at(*value, int32_t(value->w2));
    if (name == syms.events) return logic::make_at(*value, value->w3 != 0);
    if (name == syms.owner)
        return logic::make_at(*value, context::cell_of(ctx).header & context::flag::owned);
    if (name == syms.words || name == syms.values || name == syms.changed) {
        Rooted<Cell> out;
        block::make_at(*out, int32_t(n));
        for (uint32_t i = 0; i < n; ++i) {
            if (name == syms.values) {
                Cell v = *field(ctx, i);
                block::append_value(*out, v);
            } else if (name == syms.words ||
                       (context::word_at(ctx, i)->header & context::flag::set_mark)) {
                block::append_value(*out, bound_word(ctx, i, TYPE_WORD));
            }
        }
        result = *out;
    } else if (name == syms.body) {
        Rooted<Cell> out;
        block::make_at(*out, int32_t(2 * n));
        for (uint32_t i = 0; i < n; ++i) {
            Cell word = bound_word(ctx, i, TYPE_SET_WORD);
            word.header |= cell::new_line_flag;
            block::append_value(*out, word);
            Cell v = *field(ctx, i);
            if (cell::type_of(v) == TYPE_WORD) cell::set_type(v, TYPE_LIT_WORD);
            if (cell::type_of(v) == TYPE_PATH) cell::set_type(v, TYPE_LIT_PATH);
            block::append_value(*out, v);
        }
        result = *out;
    } else {
        runtime::fire_error(runtime::Category::internal, err::internal::not_done);
    }
    *value = result;
    return value;
}

int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
    return write_fields(*value, *buffer, false, false, false, arg, part, 0, false);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent) {
    return write_fields(*value, *buffer, only, all, flat, arg, part, indent, true);
}

Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types) {
    if (part) {
        Cell refinement = word::unresolved("part", TYPE_REFINEMENT, 0);
        script_error(err::script::invalid_refine_arg, &refinement, part);
    }
    return duplicate(*value, *out, deep, types, true);
}

Cell* put(Cell* object, Cell* key, Cell* value, bool) {
    if (cell::type_of(*key) != TYPE_WORD) {
        Cell type = datatype_of(*key);
        script_error(err::script::invalid_key_type, &type);
    }
    Cell path = *key;
    Cell parent = *object;
    eval_path(&parent, key, value, &path, nullptr, nullptr, 0, false, false, true, false);
    *object = *value;
    return object;
}

Cell* select(Cell* object, const Cell* key, const Cell*, bool, bool, bool, bool, const Cell*,
             const Cell*, bool, bool) {
    uint32_t type = cell::type_of(*key);
    if (!word::any_word(type) || type == TYPE_REFINEMENT || type == TYPE_ISSUE) {
        Cell datatype = datatype_of(*key);
        script_error(err::script::invalid_type, &datatype);
    }
    *object = *find_word(*object, *key);
    return object;
}

// Compares two field values: by value when the types agree (or are both
// words, or both numbers), else by type id.
int32_t compare_values(const Cell& a, const Cell& b, int32_t op) {
    uint32_t ta = cell::type_of(a), tb = cell::type_of(b);
    auto number = [](uint32_t t) {
        return t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT;
    };
    if (ta == tb || (word::any_word(ta) && word::any_word(tb)) || (number(ta) && number(tb)))
        return dispatch::compare_value(a, b, op);
    return (ta > tb) - (ta < tb);
}

} // namespace

Cell* make_at(Cell& c, uint32_t slots) {
    NodeId ctx = context::new_(slots, false, true, 0, context::Kind::object);
    c = Cell{TYPE_OBJECT, ctx, 0, 0};
    write_self(c);
    return &c;
}

Cell* push(NodeId ctx, uint32_t class_id, NodeId handlers) {
    Cell* c = stack::push(Cell{TYPE_OBJECT, ctx, class_id, handlers});
    write_self(*c);
    return c;
}

uint32_t new_class_id() {
    return ++class_counter;
}

void write_self(const Cell& object) {
    context::self_of(object.w1) = object;
}

NodeId make_change_hooks(int32_t change_index, uint32_t change_count, NodeId change_spec,
                         int32_t deep_index, uint32_t deep_count, NodeId deep_spec) {
    NodeId record = memory::alloc_cells(2);
    Buffer* b = memory::buffer_of(record);
    b->tail = b->head + 2 * sizeof(Cell);
    auto entry = [](int32_t index, uint32_t count, NodeId spec) {
        uint32_t i = index < 0 ? no_handler : uint32_t(index) & 0xFFFFu;
        return Cell{TYPE_PAIR, 0, (i << 16) | (count & 0xFFFFu), spec};
    };
    b->head_cell()[0] = entry(change_index, change_count, change_spec);
    b->head_cell()[1] = entry(deep_index, deep_count, deep_spec);
    return record;
}

void install_handlers(Cell& object) {
    NodeId ctx = object.w1;
    int32_t index[2];
    uint32_t count[2] = {0, 0};
    NodeId spec[2] = {0, 0};
    const uint32_t names[2] = {syms.on_change, syms.on_deep_change};
    for (int k = 0; k < 2; ++k) {
        index[k] = context::find_word(ctx, names[k], true);
        if (index[k] < 0) continue;
        const Cell& handler = *field(ctx, uint32_t(index[k]));
        if (!is_function(handler)) {
            Cell name = bound_word(ctx, uint32_t(index[k]), TYPE_WORD);
            Cell type = datatype_of(handler);
            script_error(err::script::bad_field_set, &name, &type);
        }
        spec[k] = handler.w2;
        count[k] = count_locals(spec[k]);
    }
    if (index[0] < 0 && index[1] < 0) return;
    object.w3 = make_change_hooks(index[0], count[0], spec[0], index[1], count[1], spec[1]);
    write_self(object);
    // Changes inside the object's series reach on-deep-change* once it
    // owns them.
    if (index[1] >= 0) ownership::set(object, object, none_cell);
}

const Cell* find_word(const Cell& object, const Cell& word) {
    int32_t index = find_index(object, word);
    if (index < 0) return &none_result;
    return field(object.w1, uint32_t(index));
}

int32_t find_index(const Cell& object, const Cell& word) {
    return context::find_word(object.w1, word.w2, true);
}

uint32_t words_count(const Cell& object) {
    return context::size_of(object.w1);
}

bool field_is_object(NodeId ctx, uint32_t index, uint32_t class_id) {
    const Cell& value = *field(ctx, index);
    return (value.header & cell::type_mask) == TYPE_OBJECT && value.w2 == class_id;
}

bool word_is_object(const Cell& word, NodeId ctx, uint32_t class_id) {
    return field_is_object(ctx, word.w3, class_id);
}

const Cell* get_values(const Cell& object) {
    return field(object.w1, 0);
}

void store_value(const Cell& object, uint32_t index, const Cell& value) {
    context::store(object.w1, index, value);
}

Cell* duplicate(const Cell& source, Cell& target, bool deep, const Cell* types,
                bool fresh_handlers) {
    Rooted<Cell> from(source);
    Cell copy = source;
    NodeId ctx = context::clone_for_object(copy, context::Kind::object);
    RootedNode kept(ctx);
    uint32_t n = context::size_of(from->w1);
    Buffer* values = memory::buffer_of(context::cell_of(ctx).w2);
    for (uint32_t i = 0; i < n; ++i) cell::append_unset(values);
    context::store_range(ctx, 0, field(from->w1, 0), n);
    copy.w3 = fresh_handlers ? 0 : from->w3;
    target = copy;
    write_self(target);
    if (deep) {
        cycles::refuse_cycle(from->w1);
        cycles::Guard on_stack(from->w1);
        renew_values(ctx, deep, types, from->w1);
    } else {
        renew_values(ctx, false, types, from->w1);
    }
    if (fresh_handlers) {
        Rooted<Cell> object(context::self_of(ctx));
        install_handlers(*object);
        target = *object;
    }
    return &target;
}

void set_values(const Cell& object, const Cell& value, bool any, bool only, bool some) {
    Rooted<Cell> target(object);
    Rooted<Cell> source(value);
    NodeId ctx = object.w1;
    uint32_t n = context::size_of(ctx);
    uint32_t type = cell::type_of(value);
    bool from_object = type == TYPE_OBJECT && !only;
    bool from_block = type == TYPE_BLOCK && !only;
    // The value for target field i, and its position in the source (for
    // an object source, -1 when the source lacks the field).
    auto source_value = [&](uint32_t i, int32_t& position) -> Cell {
        position = int32_t(i);
        if (from_object) {
            position = context::find_word(source->w1, context::word_at(ctx, i)->w2, true);
            return position < 0 ? none_cell : *field(source->w1, uint32_t(position));
        }
        if (from_block)
            return int32_t(i) < block::rs_length(*source) ? block::rs_head(*source)[i] : none_cell;
        return *source;
    };
    if ((from_object || from_block) && !some && !any) {
        for (uint32_t i = 0; i < n; ++i) {
            int32_t position;
            if (cell::type_of(source_value(i, position)) != TYPE_UNSET) continue;
            Cell name = bound_word(ctx, i, TYPE_WORD);
            script_error(err::script::need_value, &name);
        }
    }
    for (uint32_t i = 0; i < n; ++i) {
        int32_t position;
        Cell v = source_value(i, position);
        if (position < 0 || (some && cell::type_of(v) == TYPE_NONE)) continue;
        // Marked first: a shared word table is copied, which allocates.
        context::own_word_at(ctx, i)->header |= context::flag::set_mark;
        Cell old = *field(ctx, i);
        context::store(ctx, i, v);
        NodeId record = target->w3;
        if (!record) continue;
        uint32_t handler0 = handler_cells(record)[0].w2 >> 16;
        uint32_t handler1 = handler_cells(record)[1].w2 >> 16;
        if (uint32_t(position) == handler0 || uint32_t(position) == handler1) continue;
        Rooted<Cell> name(bound_word(ctx, i, TYPE_WORD));
        Rooted<Cell> kept_old(old);
        Rooted<Cell> kept_new(v);
        fire_on_change(*target, *name, *kept_old, *kept_new);
    }
}

Cell* construct(const Cell& spec, const Cell* prototype, bool only) {
    Rooted<Cell> source(spec);
    Cell* result = stack::push(unset_cell);
    if (prototype && cell::type_of(*prototype) == TYPE_OBJECT) {
        duplicate(*prototype, *result, true, nullptr, true);
    } else {
        make_at(*result, 4);
        result->w2 = new_class_id();
        write_self(*result);
    }
    NodeId ctx = result->w1;
    int32_t length = block::rs_length(*source);
    for (int32_t i = 0; i < length;) {
        if (cell::type_of(block::rs_head(*source)[i]) != TYPE_SET_WORD) {
            ++i;
            continue;
        }
        int32_t run = i;
        while (i < length && cell::type_of(block::rs_head(*source)[i]) == TYPE_SET_WORD) ++i;
        Cell value = i < length ? block::rs_head(*source)[i] : none_cell;
        if (!only && cell::type_of(value) == TYPE_WORD) {
            uint32_t name = canonical(value.w2);
            if (name == syms.true_ || name == syms.yes || name == syms.on)
                logic::make_at(value, true);
            else if (name == syms.false_ || name == syms.no || name == syms.off)
                logic::make_at(value, false);
            else if (name == syms.none)
                value = none_cell;
        }
        cell::clear_bit_30(value);
        for (; run < i; ++run) {
            Cell word = block::rs_head(*source)[run];
            context::put_value(ctx, word, value);
        }
    }
    return result;
}

void fire_on_change(const Cell& object, const Cell& word, const Cell& old_value,
                    const Cell& new_value) {
    NodeId record = object.w3;
    if (!record) return;
    uint32_t index = handler_cells(record)[0].w2 >> 16;
    if (index == no_handler) return;
    NodeId ctx = object.w1;
    Cell function = *field(ctx, index);
    if (cell::type_of(function) != TYPE_FUNCTION)
        script_error(err::script::invalid_obj_evt, &function);
    uint32_t locals = refresh_count(record, 0, function);
    Cell args[3] = {word, old_value, new_value};
    if (args[0].w1 != ctx) word::bind_to(ctx, args[0]);
    call_handler(ctx, index, function, args, 3, locals);
}

void fire_on_deep_change(const Cell& owner, const Cell& word, const Cell& target,
                         const Cell& action, const Cell* new_value, int32_t index, int32_t part) {
    NodeId record = owner.w3;
    if (!record) script_error(err::script::invalid_obj_evt, &owner);
    uint32_t slot = handler_cells(record)[1].w2 >> 16;
    if (slot == no_handler) return;
    NodeId ctx = owner.w1;
    Cell function = *field(ctx, slot);
    if (cell::type_of(function) != TYPE_FUNCTION) return;
    uint32_t locals = refresh_count(record, 1, function);
    Cell args[7] = {owner,
                    word,
                    target,
                    action,
                    new_value ? *new_value : none_cell,
                    Cell{TYPE_INTEGER, 0, uint32_t(index), 0},
                    Cell{TYPE_INTEGER, 0, uint32_t(part), 0}};
    call_handler(ctx, slot, function, args, 7, locals);
}

int32_t write_fields(const Cell& object, Cell& buffer, bool only, bool all, bool flat,
                     const Cell* arg, int32_t part, int32_t indent, bool mold) {
    NodeId ctx = object.w1;
    if (cycles::met(ctx)) {
        append_text(buffer, "...");
        return part - 3;
    }
    cycles::Guard on_stack(ctx);
    bool wrapped = mold && !only;
    bool indented = wrapped && !flat;
    if (wrapped) {
        const char* opening = cell::type_of(object) == TYPE_ERROR  ? "make error! ["
                              : cell::type_of(object) == TYPE_PORT ? "make port! ["
                                                                   : "make object! [";
        append_text(buffer, opening);
        part -= int32_t(std::strlen(opening));
        if (!flat) {
            append_text(buffer, "\n");
            --part;
        }
    }
    bool first = true;
    for (uint32_t i = 0; i < context::size_of(ctx); ++i) {
        Cell word = *context::word_at(ctx, i);
        if (!all && is_handler_symbol(word.w2)) continue;
        if (arg && part < 1) return part;
        if (!first) {
            append_text(buffer, flat ? " " : "\n");
            --part;
        }
        first = false;
        if (indented) part = append_indent(buffer, part, indent + 1);
        // A copy: appending may collect and move the symbol's name.
        std::string name = symbol::c_name(word.w2);
        append_text(buffer, name.c_str());
        append_text(buffer, ": ");
        part -= int32_t(name.size()) + 2;
        Cell value = *field(ctx, i);
        uint32_t type = cell::type_of(value);
        if (type == 0) value = unset_cell;
        if (type == TYPE_WORD) {
            append_text(buffer, "'");
            --part;
        }
        part = dispatch::mold(value, buffer, false, all, flat, arg, part, indent + 1);
    }
    if (indented && !first) {
        append_text(buffer, "\n");
        --part;
    }
    if (mold) {
        if (!flat) part = append_indent(buffer, part, indent);
        if (!only) {
            append_text(buffer, "]");
            --part;
        }
    }
    return part;
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    if (cell::type_of(*value2) != TYPE_OBJECT) return -2;
    NodeId a = value1->w1, b = value2->w1;
    if (a == b) return 0;
    if (op == 9) return -1;
    if (cycles::find(a)) return cycles::find(b) ? 0 : -1;
    uint32_t na = context::size_of(a), nb = context::size_of(b);
    if (na != nb) return na > nb ? 1 : -1;
    cycles::Guard on_a(a);
    cycles::Guard on_b(b);
    for (uint32_t i = 0; i < na; ++i) {
        uint32_t sa = canonical(context::word_at(a, i)->w2);
        uint32_t sb = canonical(context::word_at(b, i)->w2);
        if (sa != sb) return sa < sb ? -1 : 1;
        Cell va = *field(a, i), vb = *field(b, i);
        int32_t result = compare_values(va, vb, op);
        if (result) return result;
    }
    return 0;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool,
                bool get, bool last, bool) {
    if (!word::any_word(cell::type_of(*element)) || cell::type_of(*element) == TYPE_REFINEMENT ||
        cell::type_of(*element) == TYPE_ISSUE)
        script_error(err::script::invalid_path, path, element);
    NodeId ctx = parent->w1;
    int32_t index = element->w1 == ctx && element->w3 < context::size_of(ctx)
                        ? int32_t(element->w3)
                        : word::bind_to(ctx, *element);
    auto missing = [&]() -> Cell* {
        if (get && last) return &unset_result;
        script_error(last ? err::script::invalid_path : err::script::unset_path, path, element);
    };
    if (index < 0) return missing();
    if (!value) {
        // The caller reads the answer; it never writes a field through it.
        field_result = *field(ctx, uint32_t(index));
        return cell::type_of(field_result) == TYPE_UNSET ? missing() : &field_result;
    }
    Rooted<Cell> new_value(*value);
    Rooted<Cell> object(*parent);
    Cell* saved_top = stack::state.top;
    Cell* old = stack::push(*field(ctx, uint32_t(index)));
    Cell* name = stack::push(cell::type_of(*element) == TYPE_WORD
                                 ? *element
                                 : bound_word(ctx, uint32_t(index), TYPE_WORD));
    word::set_in(*name, *new_value, ctx, false);
    fire_on_change(*object, *name, *old, *new_value);
    stack::state.top = saved_top;
    *value = *new_value;
    return value;
}

void init() {
    syms = {symbol::intern("on-change*"), symbol::intern("on-deep-change*"),
            symbol::intern("local"),      symbol::intern("changed"),
            symbol::intern("class"),      symbol::intern("words"),
            symbol::intern("values"),     symbol::intern("body"),
            symbol::intern("owner"),      symbol::intern("owned"),
            symbol::intern("events?"),    symbol::intern("true"),
            symbol::intern("yes"),        symbol::intern("on"),
            symbol::intern("false"),      symbol::intern("no"),
            symbol::intern("off"),        symbol::intern("none")};
    context::fire_on_change = fire_on_change;
    datatype::register_type(TYPE_OBJECT, 0, "object!",
                            {{Slot::make, make},
                             {Slot::reflect, reflect},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::eval_path, eval_path},
                             {Slot::compare, compare},
                             {Slot::copy, copy},
                             {Slot::put, put},
                             {Slot::select, select},
                             {Slot::modify, modify}});
}

} // namespace kiv::object
