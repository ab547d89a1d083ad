#include "library/core_routines.h"

#include <cerrno>
#include <string>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/file.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "datatypes/word.h"
#include "evaluator/math_natives.h"
#include "evaluator/output.h"
#include "evaluator/trace.h"
#include "io/files.h"
#include "platform/os.h"
#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/entry.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/throw.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv::core_routines {
namespace {

using runtime::Category;

[[noreturn]] void script_error(uint32_t id, const Cell* a = nullptr, const Cell* b = nullptr,
                               const Cell* c = nullptr) {
    runtime::fire_error(Category::script, id, a, b, c);
}

// script expect-arg naming the routine, the datatype (`shown`) and the
// argument.
[[noreturn]] void expect_arg(const char* routine, uint32_t shown, const char* argument) {
    Cell name = word::load(routine);
    Cell type;
    datatype::make_at(type, shown);
    Cell arg = word::load(argument);
    script_error(err::script::expect_arg, &name, &type, &arg);
}

void set_logic(Cell* args, bool value) {
    logic::make_at(args[0], value);
}

// quit-return status: ends the process quietly. Linux keeps the low 8 bits
// of an exit status only, so a status outside 0-255 exits with 255 rather
// than passing for another (256 would read as success).
void quit_return(Cell* args) {
    int32_t status = integer::get(args[0]);
    throw runtime::Quit{status >= 0 && status <= 255 ? status : 255};
}

void set_quiet(Cell* args) {
    if (!word::any_word(cell::type_of(args[0])) || cell::type_of(args[0]) > TYPE_GET_WORD)
        expect_arg("set-quiet", cell::type_of(args[0]), "word");
    word::value_cell(args[0]); // raises for a word without a value slot
    if (int32_t(args[0].w3) >= 0)
        context::store(args[0].w1, args[0].w3, args[1]);
    else
        context::self_of(args[0].w1) = args[1];
    args[0] = args[1];
}

void set_slot_quiet(Cell* args) {
    uint32_t type = cell::type_of(args[0]);
    bool list = type == TYPE_BLOCK || type == TYPE_PAREN;
    bool path = type == TYPE_PATH || type == TYPE_LIT_PATH || type == TYPE_SET_PATH ||
                type == TYPE_GET_PATH;
    if (!list && !path) expect_arg("set-slot-quiet", TYPE_BLOCK, "series");
    if (block::rs_length(args[0]) > 0) block::written_cell(args[0], 0) = args[1];
}

template <math_natives::Shift How>
void shift(Cell* args) {
    integer::make_at(args[0],
                     math_natives::shift_bits(integer::get(args[0]), integer::get(args[1]), How));
}

void last_lf_q(Cell* args) {
    set_logic(args, natives::last_new_line == 1);
}

void get_current_dir(Cell* args) {
    Cell& dir = file::current_dir();
    dir.header = (dir.header & ~cell::type_mask) | TYPE_FILE;
    args[0] = dir;
}

void set_current_dir(Cell* args) {
    if (!os::set_current_dir(file::to_os_string(args[0]).c_str()))
        file::raise_cannot_open(args[0], errno);
    args[0] = Cell{cell::unset_header, 0, 0, 0};
}

void create_dir(Cell* args) {
    if (!file::make_dir(args[0]))
        runtime::fire_error(Category::access, err::access::no_create, &args[0]);
    args[0] = Cell{cell::unset_header, 0, 0, 0};
}

void exists_q(Cell* args) {
    set_logic(args, io::file_attributes(file::to_os_string(args[0])) != io::FileKind::none);
}

// The components as integers; the first negative one raises invalid-arg.
template <int N>
void components(const Cell* args, int32_t (&out)[N]) {
    for (int i = 0; i < N; ++i) {
        out[i] = integer::get(args[i]);
        if (out[i] < 0) script_error(err::script::invalid_arg, &args[i]);
    }
}

// A tuple of the components, each reduced modulo 256.
template <int N>
void color_tuple(Cell* args) {
    int32_t values[N];
    components(args, values);
    uint8_t bytes[N];
    for (int i = 0; i < N; ++i) bytes[i] = uint8_t(values[i] & 0xFF);
    tuple::make_at(args[0], bytes, N);
}

// a, b, c, d as the bytes of one 32-bit value: a component above 255
// carries into the following bytes.
void as_ipv4(Cell* args) {
    int32_t values[4];
    components(args, values);
    uint32_t whole = 0;
    for (int i = 0; i < 4; ++i) whole |= uint32_t(values[i]) << (8 * i);
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(whole >> (8 * i));
    tuple::make_at(args[0], bytes, 4);
}

// count-chars start pos: the UTF-8 characters from start to pos in one
// binary, counted by their lead bytes, so no decode runs past pos.
void count_chars(Cell* args) {
    if (args[0].w2 != args[1].w2) script_error(err::script::invalid_arg, &args[1]);
    int32_t bytes = int32_t(args[1].w1) - int32_t(args[0].w1);
    int32_t available = int32_t(binary::length(args[0]));
    bytes = std::min(bytes, available);
    const uint8_t* p = binary::head_ptr(args[0]);
    int32_t count = 0;
    for (int32_t i = 0; i < bytes; ++i) count += (p[i] & 0xC0) != 0x80;
    integer::make_at(args[0], count);
}

void stack_size_q(Cell* args) {
    integer::make_at(args[0], int32_t(stack::state.top - stack::state.bottom));
}

void pick_stack(Cell* args) {
    int32_t index = integer::get(args[0]);
    int32_t size = int32_t(stack::state.top - stack::state.bottom);
    args[0] = index > 0 && index < size ? stack::state.bottom[index - 1] : none::value;
}

void frame_index_q(Cell* args) {
    integer::make_at(args[0], int32_t(stack::state.base - stack::state.bottom));
}

// collect-calls blk: from its caller's frame down, every frame not named
// <body> or <anon> appends its word (bound in its function context, or in
// the global context without one) and its saved frame base.
void collect_calls(Cell* args) {
    Rooted<Cell> calls(args[0]);
    for (stack::Frame* f = stack::state.ctop - 2; f > stack::state.cbottom; --f) {
        if (f->symbol == stack::state.body_symbol || f->symbol == stack::state.anon_symbol)
            continue;
        Cell name = word::load_symbol(f->symbol);
        if (f->function_context) {
            int32_t index = context::find_word(f->function_context, f->symbol, false);
            if (index >= 0) {
                name.w1 = f->function_context;
                name.w3 = uint32_t(index);
            }
        }
        block::append_value(*calls, name);
        Cell base;
        integer::make_at(base, int32_t(f->saved_base));
        block::append_value(*calls, base);
    }
    args[0] = *calls;
}

void tracing_q(Cell* args) {
    set_logic(args, interpreter::tracing);
}

// set-tracing on: switches the delivery of trace events while a traced
// evaluation runs; outside one nothing changes.
void set_tracing(Cell* args) {
    interpreter::switch_tracing(logic::get(args[0]));
    args[0] = Cell{cell::unset_header, 0, 0, 0};
}

// write-stdout data: a string as UTF-8, a binary as its bytes, any other
// value formed.
void write_stdout(Cell* args) {
    Rooted<Cell> data(args[0]);
    uint32_t type = cell::type_of(*data);
    if (type == TYPE_BINARY) {
        os::write_all(runtime::std_handles.output, binary::head_ptr(*data), binary::length(*data));
    } else {
        if (type != TYPE_STRING) {
            Rooted<Cell> text;
            string::make_at(*text, 16);
            dispatch::form(*data, *text, nullptr, 0x7FFFFFFF);
            *data = *text;
        }
        int32_t length = -1;
        const uint8_t* bytes = utf8::from_string(*data, length);
        os::write_all(runtime::std_handles.output, bytes, size_t(length));
    }
    args[0] = Cell{cell::unset_header, 0, 0, 0};
}

// system-words: the global context as an object! (class id -1, no change
// handler), also stored as the context's own self value.
void system_words(Cell* args) {
    args[0] = Cell{TYPE_OBJECT, context::global, 0xFFFFFFFFu, 0};
    object::write_self(args[0]);
}

void gc_active_q(Cell* args) {
    set_logic(args, collector::active);
}

void gc_cycles(Cell* args) {
    integer::make_at(args[0], int32_t(collector::stats.collections));
}

// The text `save` writes: the value molded (args: value, /only, /all as
// logic!), refused with internal no-cycle when it holds itself, since a
// cycle marker would not load back as the value.
void save_mold(Cell* args) {
    Rooted<Cell> value(args[0]);
    bool only = logic::get(args[1]), all = logic::get(args[2]);
    Rooted<Cell> text;
    string::make_at(*text, 64);
    cycles::Refusal refusal;
    dispatch::mold(*value, *text, only, all, false, nullptr, INT32_MAX, 0);
    args[0] = *text;
}

// The node a series, object or function lives in (a function's or an
// object's context node, a series' node) as an integer!, 0 for any other
// value: a key that finds a value by identity in a hash!, where the value
// itself hashes by content.
void identity_key(Cell* args) {
    uint32_t type = cell::type_of(args[0]);
    NodeId node = type == TYPE_OBJECT || type == TYPE_FUNCTION ? args[0].w1
                  : series::is_series_type(type)               ? args[0].w2
                                                               : 0;
    integer::make_at(args[0], int32_t(node));
}

struct Entry {
    const char* name;
    routine::Body body;
};

constexpr Entry entries[] = {
    {"quit-return", quit_return},
    {"set-quiet", set_quiet},
    {"set-slot-quiet", set_slot_quiet},
    {"shift-right", shift<math_natives::Shift::right>},
    {"shift-left", shift<math_natives::Shift::left>},
    {"shift-logical", shift<math_natives::Shift::logical>},
    {"last-lf?", last_lf_q},
    {"get-current-dir", get_current_dir},
    {"set-current-dir", set_current_dir},
    {"create-dir", create_dir},
    {"exists?", exists_q},
    {"as-color", color_tuple<3>},
    {"as-ipv4", as_ipv4},
    {"as-rgba", color_tuple<4>},
    {"count-chars", count_chars},
    {"stack-size?", stack_size_q},
    {"pick-stack", pick_stack},
    {"frame-index?", frame_index_q},
    {"collect-calls", collect_calls},
    {"tracing?", tracing_q},
    {"set-tracing", set_tracing},
    {"write-stdout", write_stdout},
    {"gc-active?", gc_active_q},
    {"gc-series-cycles", gc_cycles},
    {"gc-nodes-cycles", gc_cycles},
    {"system-words", system_words},
    {"save-mold", save_mold},
    {"identity-key", identity_key},
};

} // namespace

void register_routines() {
    for (const Entry& entry : entries) routine::register_named(entry.name, entry.body);
}

} // namespace kiv::core_routines
