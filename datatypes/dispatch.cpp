#include "datatypes/dispatch.h"

#include <array>
#include <climits>

#include "datatypes/error.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/port.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/fatal.h"
#include "runtime/memory.h"
#include "runtime/stack.h"

namespace kiv::dispatch {
namespace {

// The arguments of the current frame and the refinement words of a stack
// entry: a refinement is present when its word is not -1, and its first
// argument is the frame cell at that slot.
Cell* arg(uint32_t i) {
    return stack::state.base + i;
}
bool flag(const int32_t* refs, uint32_t i) {
    return refs[i] >= 0;
}
const Cell* ref_arg(const int32_t* refs, uint32_t i) {
    return refs[i] < 0 ? nullptr : stack::state.base + refs[i];
}

// Stores a typed entry's result as the frame's result unless it wrote it
// there itself.
void result(const Cell* value) {
    if (value && value != stack::state.base) stack::set_last(*value);
}

uint32_t type_argument(const Cell& proto) {
    return cell::type_of(proto) == TYPE_DATATYPE ? proto.w1 : cell::type_of(proto);
}

// The types whose /part argument counts values of a series.
bool is_series_type(uint32_t type) {
    return series::is_series_type(type) || type == TYPE_MAP;
}

int32_t tail_index(const Cell& series) {
    Buffer* b = memory::buffer_of(series.w2);
    return int32_t(b->length());
}

void clamp_to_tail(Cell& series) {
    int32_t tail = tail_index(series);
    if (int32_t(series.w1) > tail) series.w1 = uint32_t(tail);
}

// The count of a /part argument measured in `counted` (which it may move
// back for a negative count), and whether the call has any effect.
struct PartCount {
    int32_t count;
    bool effect;
};

PartCount part_count(Cell& counted, const Cell& part, bool change) {
    uint32_t type = cell::type_of(counted);
    if (!is_series_type(type) || !counted.w2)
        runtime::fire_error(runtime::Category::script, err::script::invalid_part, &part);
    bool positional = type == TYPE_PORT || type == TYPE_IMAGE;
    if (!(change && positional)) clamp_to_tail(counted);
    int32_t count;
    if (cell::type_of(part) == TYPE_INTEGER) {
        count = integer::get(part);
    } else {
        if (cell::type_of(part) != type || part.w2 != counted.w2 || (change && positional))
            series::invalid_refine("part", part);
        int32_t index = std::min(int32_t(part.w1), tail_index(part));
        count = index - int32_t(counted.w1);
    }
    if (count < 0 && change && positional) count = 0;
    if (count == 0 || (count < 0 && counted.w1 == 0)) return {0, false};
    if (count < 0) {
        int32_t back = std::min(-count, int32_t(counted.w1));
        counted.w1 -= uint32_t(back);
        count = back;
    }
    return {count, true};
}

// The stack entries, one per slot.

void entry_make(const int32_t*) {
    result(make(arg(0), arg(1), type_argument(*arg(0))));
}
void entry_to(const int32_t*) {
    result(to(arg(0), arg(1), type_argument(*arg(0))));
}

void entry_random(const int32_t* refs) {
    result(lookup<Slot::random>(*arg(0))(arg(0), flag(refs, 0), flag(refs, 1), flag(refs, 2)));
}

void entry_reflect(const int32_t*) {
    result(lookup<Slot::reflect>(*arg(0))(arg(0), arg(1)->w2));
}

// Makes slot 0 a new string from `write` (which appends the text of the
// value to the buffer it is given), cut to the /part limit when there is one.
template <class Write>
void text_into_result(const Cell* part, Write write) {
    int32_t limit = part ? integer::get(*part) : INT32_MAX;
    if (part && limit <= 0) {
        string::make_at(*arg(0), 1);
        stack::keep();
        return;
    }
    Cell value = *arg(0); // stays reachable in slot 0
    stack::keep();
    Cell* buffer = stack::push_raw();
    string::make_at(*buffer, 16);
    write(value, *buffer, limit);
    if (part) string::truncate_buffer(memory::buffer_of(buffer->w2), uint32_t(limit));
    stack::set_last(*buffer);
    stack::keep();
}

void entry_form(const int32_t* refs) {
    form_into_result(ref_arg(refs, 0));
}

void entry_mold(const int32_t* refs) {
    const Cell* part = ref_arg(refs, 3);
    text_into_result(part, [&](const Cell& value, Cell& buffer, int32_t limit) {
        mold(value, buffer, flag(refs, 0), flag(refs, 1), flag(refs, 2), part, limit, 0);
    });
}

void entry_eval_path(const int32_t* refs) {
    bool set = flag(refs, 0);
    result(eval_path(arg(0), arg(1), set ? arg(2) : nullptr, nullptr, nullptr, nullptr, -1, false,
                     false, true, false));
}

// Arithmetic and navigation: the type's function reads the frame itself.
template <Slot S>
void entry_frame(const int32_t*) {
    lookup<S> (*arg(0))();
}

template <Slot S>
void entry_unary_in_place(const int32_t*) {
    result(lookup<S>(*arg(0))(arg(0)));
}

void entry_round(const int32_t* refs) {
    result(lookup<Slot::round>(*arg(0))(arg(0), ref_arg(refs, 0), flag(refs, 1), flag(refs, 2),
                                        flag(refs, 3), flag(refs, 4), flag(refs, 5),
                                        flag(refs, 6)));
}

template <Slot S>
void entry_predicate(const int32_t*) {
    logic::make_at(*arg(0), lookup<S>(*arg(0))(arg(0)));
    stack::keep();
}

// append and insert: refinements /part /only /dup.
void insert_entry(const int32_t* refs, bool at_tail) {
    Cell* series = arg(0);
    if (!at_tail && cell::type_of(*series) != TYPE_PORT && series->w2) clamp_to_tail(*series);
    int32_t part = -1;
    if (const Cell* p = ref_arg(refs, 0)) {
        PartCount c = part_count(*arg(1), *p, false);
        if (!c.effect) return;
        part = c.count;
    }
    int32_t dup = 1;
    if (const Cell* d = ref_arg(refs, 2)) {
        dup = integer::get(*d);
        if (dup <= 0) return;
    }
    result(lookup<Slot::append>(*series)(series, arg(1), part, flag(refs, 1), dup, at_tail));
}
void entry_append(const int32_t* refs) {
    insert_entry(refs, true);
}
void entry_insert(const int32_t* refs) {
    insert_entry(refs, false);
}

void entry_change(const int32_t* refs) {
    Cell* series = arg(0);
    int32_t part = -1;
    if (const Cell* p = ref_arg(refs, 0)) {
        PartCount c = part_count(*series, *p, true);
        part = c.effect ? c.count : 0;
    }
    int32_t dup = 1;
    if (const Cell* d = ref_arg(refs, 2)) {
        dup = integer::get(*d);
        if (dup <= 0) return;
    }
    result(lookup<Slot::change>(*series)(series, arg(1), part, flag(refs, 1), dup));
}

void entry_copy(const int32_t* refs) {
    const Cell* types = ref_arg(refs, 2);
    if (types && cell::type_of(*types) != TYPE_DATATYPE && cell::type_of(*types) != TYPE_TYPESET)
        runtime::fire_error(runtime::Category::script, err::script::expect_arg, nullptr, types);
    Cell* out = stack::push_raw();
    *out = Cell{cell::unset_header, 0, 0, 0};
    result(copy(arg(0), out, ref_arg(refs, 0), flag(refs, 1), types));
}

void entry_find(const int32_t* r) {
    result(find(arg(0), arg(1), ref_arg(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4),
                ref_arg(r, 5), ref_arg(r, 6), flag(r, 7), flag(r, 8), flag(r, 9), flag(r, 10)));
}

void entry_select(const int32_t* r) {
    result(select(arg(0), arg(1), ref_arg(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4),
                  ref_arg(r, 5), ref_arg(r, 6), flag(r, 7), flag(r, 8)));
}

void entry_length(const int32_t*) {
    int32_t n = length(arg(0));
    if (n < 0)
        none::make_at(*arg(0));
    else
        integer::make_at(*arg(0), n);
    stack::keep();
}

void entry_move(const int32_t* refs) {
    result(lookup<Slot::move>(*arg(0))(arg(0), arg(1), ref_arg(refs, 0)));
}

void entry_pick(const int32_t*) {
    result(pick(arg(0), get_index_argument(), arg(1)));
}

void entry_poke(const int32_t*) {
    Cell value = *arg(2);
    poke(arg(0), get_index_argument(), arg(2), arg(1));
    stack::set_last(value);
}

void entry_put(const int32_t* refs) {
    result(put(arg(0), arg(1), arg(2), flag(refs, 0)));
}

void entry_remove(const int32_t* refs) {
    result(remove(arg(0), ref_arg(refs, 0), ref_arg(refs, 1)));
}

void entry_reverse(const int32_t* refs) {
    result(lookup<Slot::reverse>(*arg(0))(arg(0), ref_arg(refs, 0), ref_arg(refs, 1)));
}

void entry_sort(const int32_t* r) {
    result(lookup<Slot::sort>(*arg(0))(arg(0), flag(r, 0), ref_arg(r, 1), ref_arg(r, 2),
                                       ref_arg(r, 3), flag(r, 4), flag(r, 5), flag(r, 6)));
}

template <Slot S>
void entry_pair(const int32_t*) {
    result(lookup<S>(*arg(0))(arg(0), arg(1)));
}

void entry_take(const int32_t* refs) {
    result(lookup<Slot::take>(*arg(0))(arg(0), ref_arg(refs, 0), flag(refs, 1), flag(refs, 2)));
}

void entry_trim(const int32_t* r) {
    result(lookup<Slot::trim>(*arg(0))(arg(0), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3),
                                       flag(r, 4), ref_arg(r, 5)));
}

void entry_modify(const int32_t* refs) {
    result(lookup<Slot::modify>(*arg(0))(arg(0), arg(1), arg(2), flag(refs, 0)));
}

void entry_open(const int32_t* r) {
    result(lookup<Slot::open>(*arg(0))(arg(0), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3),
                                       ref_arg(r, 4)));
}

void entry_read(const int32_t* r) {
    result(lookup<Slot::read>(*arg(0))(arg(0), ref_arg(r, 0), ref_arg(r, 1), flag(r, 2), flag(r, 3),
                                       flag(r, 4), ref_arg(r, 5)));
}

void entry_write(const int32_t* r) {
    result(lookup<Slot::write>(*arg(0))(arg(0), arg(1), flag(r, 0), flag(r, 1), flag(r, 2),
                                        flag(r, 3), ref_arg(r, 4), ref_arg(r, 5), ref_arg(r, 6),
                                        ref_arg(r, 7)));
}

} // namespace

// The action entry table in slot order; slot 0 and slots 8 and 9 have no
// entry.
const std::array<StackEntry, slot_count + 1> stack_entries = {
    nullptr,
    entry_make,
    entry_random,
    entry_reflect,
    entry_to,
    entry_form,
    entry_mold,
    entry_eval_path,
    nullptr,
    nullptr,
    entry_frame<Slot::absolute>,
    entry_frame<Slot::add>,
    entry_frame<Slot::divide>,
    entry_frame<Slot::multiply>,
    entry_unary_in_place<Slot::negate>,
    entry_frame<Slot::power>,
    entry_frame<Slot::remainder>,
    entry_round,
    entry_frame<Slot::subtract>,
    entry_predicate<Slot::even_q>,
    entry_predicate<Slot::odd_q>,
    entry_frame<Slot::and_>,
    entry_unary_in_place<Slot::complement>,
    entry_frame<Slot::or_>,
    entry_frame<Slot::xor_>,
    entry_append,
    entry_frame<Slot::at>,
    entry_frame<Slot::back>,
    entry_change,
    entry_unary_in_place<Slot::clear>,
    entry_copy,
    entry_find,
    entry_frame<Slot::head>,
    entry_frame<Slot::head_q>,
    entry_frame<Slot::index_q>,
    entry_insert,
    entry_length,
    entry_move,
    entry_frame<Slot::next>,
    entry_pick,
    entry_poke,
    entry_put,
    entry_remove,
    entry_reverse,
    entry_select,
    entry_sort,
    entry_frame<Slot::skip>,
    entry_pair<Slot::swap>,
    entry_frame<Slot::tail>,
    entry_frame<Slot::tail_q>,
    entry_take,
    entry_trim,
    entry_unary_in_place<Slot::create>,
    entry_unary_in_place<Slot::close>,
    entry_unary_in_place<Slot::delete_>,
    entry_modify,
    entry_open,
    entry_unary_in_place<Slot::open_q>,
    entry_unary_in_place<Slot::query>,
    entry_read,
    entry_pair<Slot::rename>,
    entry_unary_in_place<Slot::update>,
    entry_write,
};

uint32_t slot_of(StackEntry e) {
    for (uint32_t i = 1; i <= slot_count; ++i)
        if (e && stack_entries[i] == e) return i;
    return 0;
}

action::AnyFn get_action_ptr_from(uint32_t type, const Cell& value, Slot slot) {
    if (!datatype::is_registered(type)) [[unlikely]]
        runtime::fire_error(runtime::Category::internal, err::internal::not_done);
    // A port whose actor is a handle! runs the native actor of the slot.
    if (type == TYPE_PORT && uint32_t(slot) >= port::first_actor_slot) [[unlikely]] {
        if (const port::ActorTable* actors = port::native_actors(value)) {
            action::AnyFn fn = (*actors)[uint32_t(slot) - port::first_actor_slot];
            if (!fn) runtime::fire_error(runtime::Category::access, err::access::no_port_action);
            return fn;
        }
    }
    action::AnyFn fn = datatype::entry(type, slot);
    if (!fn) [[unlikely]] {
        Cell datatype{};
        datatype::make_at(datatype, type);
        Cell name = error::call_word();
        Cell argument = error::param_word_at(0);
        runtime::fire_error(runtime::Category::script, err::script::expect_arg, &name, &datatype,
                            &argument);
    }
    return fn;
}

int32_t compare_value(const Cell& value1, const Cell& value2, int32_t op) {
    auto fn = lookup<Slot::compare>(value1);
    auto ordered = [](int64_t a, int64_t b) { return a < b ? -1 : a > b ? 1 : 0; };
    switch (cell::type_of(value1)) {
    case TYPE_LOGIC: return int32_t(value1.w1) - int32_t(value2.w1);
    case TYPE_NATIVE:
    case TYPE_ACTION:
    case TYPE_OP: return ordered(int32_t(value1.w1), int32_t(value2.w1));
    case TYPE_FUNCTION:
    case TYPE_ROUTINE: return ordered(int32_t(value1.w3), int32_t(value2.w3));
    default: return fn(&value1, &value2, op);
    }
}

bool compare(const Cell& value1, const Cell& value2, int32_t op) {
    int32_t r = lookup<Slot::compare>(value1)(&value1, &value2, op);
    switch (op) {
    case 0:
    case 2:
    case 9:
    case 10:
    case 11:
    case 12: return r == 0;
    case 1: return r != 0;
    default: break;
    }
    if (r == -2)
        runtime::fire_error(runtime::Category::script, err::script::invalid_compare, &value1,
                            &value2);
    switch (op) {
    case 3: return r < 0;
    case 4: return r <= 0;
    case 5: return r > 0;
    case 6: return r >= 0;
    default: runtime::quit_with_error(runtime::fatal::no_switch_matched, 0);
    }
}

Cell* compare_to_logic(int32_t op) {
    bool truth = compare(*arg(0), *arg(1), op);
    return logic::make_at(*arg(0), truth);
}

Cell* make(Cell* proto, const Cell* spec, uint32_t type) {
    auto fn = get_action_ptr_from(type, *proto, Slot::make);
    return reinterpret_cast<action::SlotFn<Slot::make>>(fn)(proto, spec, type);
}

Cell* to(Cell* proto, const Cell* spec, uint32_t type) {
    auto fn = get_action_ptr_from(type, *proto, Slot::to);
    return reinterpret_cast<action::SlotFn<Slot::to>>(fn)(proto, spec, type);
}

int32_t form(const Cell& value, Cell& buffer, const Cell* argument, int32_t part) {
    return lookup<Slot::form>(value)(&value, &buffer, argument, part);
}

int32_t mold(const Cell& value, Cell& buffer, bool only, bool all, bool flat, const Cell* argument,
             int32_t part, int32_t indent) {
    return lookup<Slot::mold>(value)(&value, &buffer, only, all, flat, argument, part, indent);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* previous, int32_t index, bool case_, bool get, bool last, bool event) {
    action::AnyFn fn = datatype::entry(cell::type_of(*parent), Slot::eval_path);
    if (!fn) [[unlikely]] {
        Cell datatype{};
        datatype::make_at(datatype, cell::type_of(*parent));
        runtime::fire_error(runtime::Category::script, err::script::bad_path_type2, element,
                            &datatype);
    }
    return reinterpret_cast<action::EvalPathFn>(fn)(parent, element, value, path, grand_parent,
                                                    previous, index, case_, get, last, event);
}

Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types) {
    return lookup<Slot::copy>(*value)(value, out, part, deep, types);
}

Cell* find(Cell* series, const Cell* value, const Cell* part, bool only, bool case_, bool same,
           bool any, const Cell* with, const Cell* skip, bool last, bool reverse, bool tail,
           bool match) {
    return lookup<Slot::find>(*series)(series, value, part, only, case_, same, any, with, skip,
                                       last, reverse, tail, match);
}

Cell* select(Cell* series, const Cell* value, const Cell* part, bool only, bool case_, bool same,
             bool any, const Cell* with, const Cell* skip, bool last, bool reverse) {
    return lookup<Slot::select>(*series)(series, value, part, only, case_, same, any, with, skip,
                                         last, reverse);
}

Cell* append(Cell* series, const Cell* value, int32_t part, bool only, int32_t dup) {
    return lookup<Slot::append>(*series)(series, value, part, only, dup, true);
}

Cell* insert(Cell* series, const Cell* value, int32_t part, bool only, int32_t dup) {
    return lookup<Slot::insert>(*series)(series, value, part, only, dup, false);
}

int32_t length(Cell* series) {
    return lookup<Slot::length_q>(*series)(series);
}

Cell* pick(Cell* series, int32_t index, const Cell* index_cell) {
    return lookup<Slot::pick>(*series)(series, index, index_cell);
}

Cell* poke(Cell* series, int32_t index, Cell* value, const Cell* index_cell) {
    return lookup<Slot::poke>(*series)(series, index, value, index_cell);
}

Cell* put(Cell* series, Cell* key, Cell* value, bool case_) {
    return lookup<Slot::put>(*series)(series, key, value, case_);
}

Cell* remove(Cell* series, const Cell* part, const Cell* key) {
    return lookup<Slot::remove>(*series)(series, part, key);
}

Cell* clear(Cell* series) {
    return lookup<Slot::clear>(*series)(series);
}

int32_t get_index_argument() {
    const Cell& index = *arg(1);
    switch (cell::type_of(index)) {
    case TYPE_INTEGER:
    case TYPE_CHAR: return int32_t(index.w2);
    case TYPE_LOGIC: return 2 - int32_t(index.w1);
    default: return 0;
    }
}

void form_into_result(const Cell* part) {
    text_into_result(part, [&](const Cell& value, Cell& buffer, int32_t limit) {
        form(value, buffer, part, limit);
    });
}

} // namespace kiv::dispatch
