#include "datatypes/datatype.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "datatypes/context.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "runtime/fatal.h"
#include "runtime/heap.h"
#include "runtime/memory.h"
#include "runtime/stack.h"

namespace kiv {
namespace datatype {
namespace {

uint32_t highest = 0;
TypeName* names = nullptr;
// Which type ids have registered: a parent must be among them.
bool registered[max_types];

void print_line(const char* label, size_t number) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    std::fprintf(stderr, "%s%.*s\n", label, int(end - digits), digits);
}

// Registration faults are programming errors: report them and end the
// process with a runtime error.
[[noreturn]] void registration_failed(const char* what, uint32_t type, size_t found,
                                      size_t expected) {
    std::fprintf(stderr, "*** Datatype Error: %s: ", what);
    print_line("", type);
    print_line("*** Found: ", found);
    print_line("*** Expected: ", expected);
    runtime::quit_with_error(runtime::fatal::assertion_failed, runtime::caller_address());
}

} // namespace

action::AnyFn* action_table = nullptr;

void init() {
    names = static_cast<TypeName*>(heap::allocate_zeroed(sizeof(TypeName) * max_types));
    action_table = static_cast<action::AnyFn*>(
        heap::allocate_zeroed(sizeof(action::AnyFn) * max_types * row_size));
    highest = 0;
    std::memset(registered, 0, sizeof registered);
}

void release() {
    heap::free(names);
    heap::free(action_table);
    names = nullptr;
    action_table = nullptr;
    highest = 0;
}

namespace {

// The function of an entry for a slot: null when unsupported, else a
// function of the slot's family.
action::AnyFn checked_function(const action::Entry& e, uint32_t type, uint32_t slot) {
    if (e.kind == action::Entry::unsupported) return nullptr;
    if (e.family != action::slot_family[slot - 1])
        registration_failed("action of the wrong kind in slot", type, slot, slot);
    return e.fn;
}

} // namespace

void register_type(uint32_t type, uint32_t parent, const char* name,
                   std::initializer_list<std::pair<Slot, action::Entry>> slots) {
    if (type == 0 || type >= max_types) registration_failed("invalid type id", type, type, 56);
    if (parent >= max_types || (parent != 0 && !registered[parent]))
        registration_failed("parent not registered for type", type, parent, parent);

    if (type > highest) highest = type;
    names[type] = {name, uint32_t(std::strlen(name) - 1), Cell{cell::unset_header, 0, 0, 0}};

    action::AnyFn* row = action_table + type * row_size;
    // Row 0 is never registered: a type without a parent starts empty.
    std::memcpy(row, action_table + parent * row_size, sizeof(action::AnyFn) * slot_count);
    bool named[slot_count + 1] = {};
    for (const auto& [s, e] : slots) {
        auto slot = uint32_t(s);
        if (named[slot]) registration_failed("slot named twice for type", type, slot, slot);
        named[slot] = true;
        row[slot - 1] = checked_function(e, type, slot);
    }
    registered[type] = true;
}

uint32_t highest_type() {
    return highest;
}

bool is_registered(uint32_t type) {
    return type < max_types && registered[type];
}

const TypeName& name_of(uint32_t type) {
    return names[type];
}

Cell* make_at(Cell& c, uint32_t type) {
    c = Cell{TYPE_DATATYPE, type, 0, 0};
    return &c;
}

Cell* push(uint32_t type) {
    return make_at(*stack::push_raw(), type);
}

Cell* make_in(Cell& block, uint32_t type) {
    return make_at(*cell::alloc_tail(block), type);
}

namespace {

// The name of a datatype value. A type whose datatype is not built yet has
// no registered name, but its word exists and its value can be shown.
TypeName printed_name(uint32_t type) {
    const TypeName& n = name_of(type);
    if (n.name) return n;
    const char* name = type <= type_count ? type_names[type] : "datatype!";
    return {name, uint32_t(std::strlen(name) - 1), Cell{}};
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
    TypeName n = printed_name(value->w1);
    string::append_bytes(*buffer, reinterpret_cast<const uint8_t*>(n.name), uint32_t(n.length));
    return part - int32_t(n.length);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part,
             int32_t) {
    TypeName n = printed_name(value->w1);
    if (all) string::append_c_string(*buffer, "#(");
    string::append_bytes(*buffer, reinterpret_cast<const uint8_t*>(n.name), uint32_t(n.length + 1));
    if (all) string::append_c_string(*buffer, ")");
    return part - int32_t(n.length + 1) - (all ? 3 : 0);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    switch (op) {
    case 0:
    case 1:
    case 2:
    case 9:
    case 12: return cell::type_of(*value2) == TYPE_DATATYPE && value2->w1 == value1->w1 ? 0 : 1;
    default: return -2;
    }
}

} // namespace

void register_datatype() {
    register_type(TYPE_DATATYPE, 0, "datatype!",
                  {{Slot::form, form}, {Slot::mold, mold}, {Slot::compare, compare}});
}

void make_type_words() {
    for (uint32_t type = 1; type <= type_count; ++type) {
        Cell word = word::load(type_names[type]);
        Cell value;
        make_at(value, type);
        word::set(word, value);
        if (type < max_types) names[type].word = word;
    }
}

Cell take_pushed() {
    Cell value = *stack::get_top();
    stack::pop(1);
    return value;
}

} // namespace datatype

} // namespace kiv
