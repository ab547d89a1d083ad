#include "datatypes/error.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/integer.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/system_object.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/binding.h"
#include "runtime/collector.h"
#include "runtime/console.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/session.h"
#include "runtime/stack.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv::error {

const Cell* near_source = nullptr;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(near_source);
Cell caption_object{TYPE_NONE, 0, 0, 0};

namespace {

Cell catalog_object{TYPE_NONE, 0, 0, 0};
Cell standard_object{TYPE_NONE, 0, 0, 0};

const Cell none_cell{TYPE_NONE, 0, 0, 0};
const Cell unset_cell{cell::unset_header, 0, 0, 0};

constexpr const char* field_names[field_count] = {"code", "type", "id",    "arg1",  "arg2",
                                                  "arg3", "near", "where", "stack", "files"};
constexpr uint32_t syntax_category = 2;
constexpr uint32_t user_category = 8;
constexpr uint32_t internal_category = 9;
// Field index of `message` in `user` and of `invalid-error` in `internal`.
constexpr uint32_t message_index = 2;
constexpr uint32_t invalid_error_index = err::internal::invalid_error;
// The part limits of arguments and of `near` in a formed message.
constexpr int32_t argument_limit = 80;
constexpr int32_t near_limit = 40;

// The errors raised when there is no room left to make one: made with the
// catalog, and thrown as they are, so that raising them allocates nothing.
struct Reserved {
    uint32_t id;
    Cell value;
};
Reserved reserved[] = {
    {err::internal::no_memory, none_cell},
    {err::internal::stack_overflow, none_cell},
};

void mark_roots() {
    if (cell::type_of(catalog_object) == TYPE_OBJECT) collector::mark_context(catalog_object.w1);
    if (cell::type_of(standard_object) == TYPE_OBJECT) collector::mark_context(standard_object.w1);
    collector::mark_values(&caption_object, &caption_object + 1);
    for (Reserved& r : reserved) collector::mark_values(&r.value, &r.value + 1);
}

Cell name_word(const char* name) {
    return word::unresolved(name, TYPE_WORD, 0);
}

[[noreturn]] void spec_field_error(const char* name) {
    Cell word = name_word(name);
    runtime::fire_error(runtime::Category::script, err::script::invalid_spec_field, &word);
}

// How the "*** Stack:" line lists calls: system/state/stack-trace when it
// is a positive integer (1 the functions, 2 and above every named call),
// else 0: no line.
int32_t stack_trace_level() {
    static system_object::CachedPath setting;
    const Cell* level = setting.find({words::sym<"state">(), words::sym<"stack-trace">()});
    return level && cell::type_of(*level) == TYPE_INTEGER ? std::max(integer::get(*level), 0) : 0;
}

NodeId category_context(uint32_t index) {
    return context::slot_at(catalog_object.w1, index)->w1;
}

// The value of a field found by symbol in an object, or null.
const Cell* lookup(NodeId ctx, uint32_t symbol) {
    int32_t index = context::find_word(ctx, symbol, true);
    return index < 0 ? nullptr : context::slot_at(ctx, uint32_t(index));
}

// Whether an error can share the standard prototype's words and take its
// values as they are: unless a script put a function in it, which a copy
// binds to the copy. The answer holds while the binding epoch stays:
// storing or replacing a function moves it.
struct PlainPrototype {
    uint64_t epoch = 0;
    NodeId prototype = 0; // 0: nothing remembered
    bool plain = false;
};
PlainPrototype plain_known;
[[maybe_unused]] const bool plain_known_kept = session::keep(plain_known);

bool plain_prototype() {
    if (plain_known.prototype == standard_object.w1 && plain_known.epoch == binding::epoch)
        return plain_known.plain;
    Buffer* values = memory::buffer_of(context::cell_of(standard_object.w1).w2);
    bool plain = std::none_of(values->head_cell(), values->tail_cell(), [](const Cell& value) {
        return cell::type_of(value) == TYPE_FUNCTION;
    });
    plain_known = {binding::epoch, standard_object.w1, plain};
    return plain;
}

// The value cells of an error: good until the next allocation. Fields are
// written there directly when the values written are never functions, or
// the error is new: no cached resolution of a word can then need the
// binding epoch moved.
Cell* fields_of(const Cell& error) {
    return memory::buffer_of(context::cell_of(error.w1).w2)->head_cell();
}

// A new error in the cell: a shallow copy of the standard prototype,
// sharing its word table until either changes its words.
Cell* new_error(Cell& result) {
    if (plain_prototype())
        result = Cell{TYPE_ERROR, context::share_object(standard_object.w1), class_id, 0};
    else
        object::duplicate(standard_object, result, false, nullptr, false);
    result.header = TYPE_ERROR;
    result.w2 = class_id;
    result.w3 = 0;
    object::write_self(result);
    if (near_source && cell::type_of(*near_source) != TYPE_UNSET)
        fields_of(result)[near] = *near_source;
    return &result;
}

// Fills code, type and id from catalog positions.
void fill(const Cell& error, uint32_t category, uint32_t id_index) {
    NodeId category_ctx = category_context(category);
    Cell* fields = fields_of(error);
    fields[code] = Cell{TYPE_INTEGER, 0, category * 100 + id_index - 2, 0};
    fields[type] = *context::word_at(catalog_object.w1, category);
    fields[id] = *context::word_at(category_ctx, id_index);
}

// The catalog positions of a category word and an id word; each -1 when
// absent (code and type are not ids).
int32_t category_index(const Cell& word) {
    if (cell::type_of(word) != TYPE_WORD) return -1;
    return context::find_word(catalog_object.w1, word.w2, true);
}
int32_t id_index(uint32_t category, const Cell& word) {
    if (cell::type_of(word) != TYPE_WORD) return -1;
    int32_t index = context::find_word(category_context(category), word.w2, true);
    return index < 2 ? -1 : index;
}

// Checks the type and id words of an error spec and fills the error.
void fill_from_words(const Cell& error, const Cell& category, const Cell* id) {
    int32_t c = category_index(category);
    if (c < 0) spec_field_error("type");
    if (!id) spec_field_error("id");
    if (cell::type_of(*id) != TYPE_WORD)
        runtime::fire_error(runtime::Category::script, err::script::invalid_arg, id);
    int32_t i = id_index(uint32_t(c), *id);
    if (i < 0) spec_field_error("id");
    fill(error, uint32_t(c), uint32_t(i));
}

Cell* make(Cell*, const Cell* spec, uint32_t) {
    // Without a catalog no error can be made: the raise throws the bare code.
    if (!has_catalog()) runtime::fire_error(runtime::Category::internal, err::internal::not_done);
    Rooted<Cell> source(*spec);
    Cell* result = stack::push(unset_cell);
    new_error(*result);
    switch (cell::type_of(*source)) {
    case TYPE_INTEGER: {
        int32_t value = integer::get(*source);
        uint32_t category = uint32_t(value / 100);
        uint32_t position = uint32_t(value % 100) + 2;
        if (value < 0 || category >= context::size_of(catalog_object.w1) ||
            position >= context::size_of(category_context(category)))
            runtime::fire_error(runtime::Category::script, err::script::out_of_range, &*source);
        fill(*result, category, position);
        return result;
    }
    case TYPE_BLOCK: {
        int32_t length = block::rs_length(*source);
        Cell first = length > 0 ? block::rs_head(*source)[0] : none_cell;
        if (cell::type_of(first) == TYPE_WORD) {
            Cell second = length > 1 ? block::rs_head(*source)[1] : none_cell;
            fill_from_words(*result, first, length > 1 ? &second : nullptr);
            return result;
        }
        if (cell::type_of(first) == TYPE_SET_WORD) {
            Rooted<Cell> error(*result);
            context::bind_block(*source, error->w1, true);
            if (object::hooks.eval) object::hooks.eval(*source);
            Cell category = *context::slot_at(error->w1, type);
            Cell id_word = *context::slot_at(error->w1, id);
            fill_from_words(*error, category, &id_word);
            return result;
        }
        runtime::fire_error(runtime::Category::internal, err::internal::invalid_error);
    }
    case TYPE_STRING: {
        Cell text = *source;
        stack::pop(1);
        return create_at(user_category, message_index, &text, nullptr, nullptr);
    }
    default: {
        Cell type;
        datatype::make_at(type, TYPE_ERROR);
        runtime::fire_error(runtime::Category::script, err::script::bad_make_arg, &type, &*source);
    }
    }
}

void append_text(Cell& buffer, std::string_view text) {
    string::append_bytes(buffer, reinterpret_cast<const uint8_t*>(text.data()),
                         uint32_t(text.size()));
}

bool control_char(uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

// Writes the characters from `from` on again with their control
// characters escaped as mold escapes them (^[ for ESC): a formed
// argument is text cut from outside input, which must not reach a
// terminal raw.
void escape_controls(Cell& buffer, uint32_t from) {
    std::u32string written;
    for (uint32_t i = from; i < string::length_whole(buffer); ++i)
        written.push_back(string::char_at(buffer, i));
    if (std::ranges::none_of(written, control_char)) return;
    string::truncate_buffer(memory::buffer_of(buffer.w2), from);
    for (char32_t cp : written) {
        if (control_char(cp))
            string::append_escaped_char(buffer, cp, false);
        else
            string::append_char(memory::buffer_of(buffer.w2), cp);
    }
}

// Writes a value formed (control characters escaped) or molded flat
// (only), with a part limit, cut to exactly that many characters.
int32_t write_limited(const Cell& value, Cell& buffer, bool formed, bool only, int32_t limit,
                      int32_t part) {
    Cell count{TYPE_INTEGER, 0, uint32_t(limit), 0};
    uint32_t before = string::length_whole(buffer);
    if (formed) {
        dispatch::form(value, buffer, &count, limit);
        escape_controls(buffer, before);
    } else {
        dispatch::mold(value, buffer, only, false, true, &count, limit, 0);
    }
    uint32_t written = string::length_whole(buffer) - before;
    if (written > uint32_t(limit)) {
        string::truncate_buffer(memory::buffer_of(buffer.w2), before + uint32_t(limit));
        written = uint32_t(limit);
    }
    return part - int32_t(written);
}

// What the message is made from: the category, the template and arg1,
// which for an error that the catalog does not describe are those of
// internal/invalid-error, without changing the error.
struct Message {
    uint32_t category;
    Cell template_;
    Cell arg1;
};

Message message_of(const Cell& error) {
    NodeId ctx = error.w1;
    Cell type_word = *context::slot_at(ctx, type);
    Cell id_word = *context::slot_at(ctx, id);
    Message m{internal_category, none_cell, type_word};
    int32_t c = category_index(type_word);
    if (c >= 0) {
        m.arg1 = id_word;
        int32_t i = id_index(uint32_t(c), id_word);
        if (i >= 0) {
            Cell found = *context::slot_at(category_context(uint32_t(c)), uint32_t(i));
            if (cell::type_of(found) == TYPE_WORD) {
                const Cell* value = lookup(ctx, found.w2);
                found = value ? *value : none_cell;
            }
            uint32_t t = cell::type_of(found);
            if (t == TYPE_STRING || t == TYPE_BLOCK)
                return {uint32_t(c), found, *context::slot_at(ctx, arg1)};
        }
    }
    m.template_ = *context::slot_at(category_context(internal_category), invalid_error_index);
    return m;
}

// The message from its template; with `arguments` off, every argument it
// names is written as none.
int32_t write_template(const Message& m, const Cell& error, bool arguments, Cell& buffer,
                       int32_t part) {
    if (cell::type_of(m.template_) == TYPE_STRING)
        return string::form(m.template_, buffer, nullptr, part);
    uint32_t arg1_symbol = symbol::resolve(symbol::intern("arg1"));
    bool first = true;
    for (int32_t i = 0; i < block::rs_length(m.template_); ++i) {
        Cell element = block::rs_head(m.template_)[i];
        uint32_t t = cell::type_of(element);
        if (t != TYPE_STRING && t != TYPE_WORD && t != TYPE_GET_WORD) continue;
        if (!first) {
            append_text(buffer, " ");
            --part;
        }
        first = false;
        if (t == TYPE_STRING) {
            part = string::form(element, buffer, nullptr, part);
            continue;
        }
        Cell value = none_cell;
        if (symbol::resolve(element.w2) == arg1_symbol) {
            value = m.arg1;
        } else if (const Cell* found = arguments ? lookup(error.w1, element.w2) : nullptr) {
            value = *found;
        }
        part = write_limited(value, buffer, m.category == syntax_category, false, argument_limit,
                             part);
    }
    return part;
}

} // namespace

void set_catalog(const Cell& errors_object) {
    catalog_object = errors_object;
    for (Reserved& r : reserved) {
        r.value = none_cell;
        if (Cell* made = create_at(internal_category, r.id, nullptr, nullptr, nullptr)) {
            r.value = *made;
            stack::pop(1);
        }
    }
}

bool has_catalog() {
    return cell::type_of(catalog_object) == TYPE_OBJECT;
}

const Cell& catalog() {
    return catalog_object;
}

const Cell& standard() {
    return standard_object;
}

Cell build_catalog(const Cell& source) {
    Rooted<Cell> text(source);
    Rooted<Cell> errors;
    object::make_at(*errors, 10);
    Rooted<Cell> category;
    int32_t length = block::rs_length(*text);
    for (int32_t i = 0; i + 2 < length; ++i) {
        Cell name = block::rs_head(*text)[i];
        Cell body = block::rs_head(*text)[i + 2];
        if (cell::type_of(name) != TYPE_SET_WORD || cell::type_of(body) != TYPE_BLOCK) continue;
        object::make_at(*category, uint32_t(block::rs_length(body) / 2));
        for (int32_t j = 0; j + 1 < block::rs_length(body); j += 2) {
            Cell key = block::rs_head(body)[j];
            Cell value = block::rs_head(body)[j + 1];
            cell::set_type(key, TYPE_WORD);
            cell::clear_bit_30(key);
            cell::clear_bit_30(value);
            context::put_value(category->w1, key, value);
        }
        category->w2 = object::new_class_id();
        object::write_self(*category);
        cell::set_type(name, TYPE_WORD);
        cell::clear_bit_30(name);
        context::put_value(errors->w1, name, *category);
        i += 2;
    }
    errors->w2 = object::new_class_id();
    object::write_self(*errors);
    return *errors;
}

void load_catalog(const Cell& source) {
    set_catalog(build_catalog(source));
}

Cell* create(const Cell& category, const Cell& id, const Cell* arg1_, const Cell* arg2_,
             const Cell* arg3_) {
    int32_t c = category_index(category);
    int32_t i = c < 0 ? -1 : id_index(uint32_t(c), id);
    if (i < 0) {
        // Raises the error that make gives for these words.
        Cell* result = stack::push(unset_cell);
        new_error(*result);
        fill_from_words(*result, category, &id);
    }
    return create_at(uint32_t(c), uint32_t(i), arg1_, arg2_, arg3_);
}

Cell* create_at(uint32_t category, uint32_t id_index_, const Cell* arg1_, const Cell* arg2_,
                const Cell* arg3_) {
    if (!has_catalog() || category >= context::size_of(catalog_object.w1) || id_index_ < 2 ||
        id_index_ >= context::size_of(category_context(category)))
        return nullptr;
    Rooted<Cell> args[3];
    const Cell* given[3] = {arg1_, arg2_, arg3_};
    for (int k = 0; k < 3; ++k) *args[k] = given[k] ? *given[k] : none_cell;
    Cell* result = stack::push(unset_cell);
    new_error(*result);
    fill(*result, category, id_index_);
    Cell* fields = fields_of(*result);
    for (int k = 0; k < 3; ++k) fields[arg1 + k] = *args[k];
    return result;
}

namespace {

// The reserved error of (category, id), cleared of what its last raise
// recorded; null when the error is not a reserved one.
Cell* reserved_error(runtime::Category category, uint32_t id) {
    if (uint32_t(category) != internal_category) return nullptr;
    for (Reserved& r : reserved) {
        if (r.id != id || cell::type_of(r.value) != TYPE_ERROR) continue;
        for (Field f : {near, where, stack}) store_field(r.value, f, none_cell);
        if (near_source && cell::type_of(*near_source) != TYPE_UNSET)
            store_field(r.value, near, *near_source);
        return &r.value;
    }
    return nullptr;
}

// Builds the error from the catalog (or takes the reserved one) and moves
// the stack to the nearest try frame with it. Does nothing, and answers
// false, when the catalog has no such error.
bool raise(runtime::Category category, uint32_t id, const Cell* arg1_, const Cell* arg2_,
           const Cell* arg3_) {
    Cell* error = reserved_error(category, id);
    if (!error) error = create_at(uint32_t(category), id, arg1_, arg2_, arg3_);
    if (!error) return false;
    if (runtime::trace_error_hook) [[unlikely]]
        runtime::trace_error_hook(*error);
    stack::land_error(*error);
    return true;
}

} // namespace

uint32_t get_type(const Cell& error) {
    const Cell& c = *field(error, type);
    return cell::type_of(c) == TYPE_WORD ? c.w2 : 0;
}

uint32_t get_id(const Cell& error) {
    const Cell& c = *field(error, id);
    return cell::type_of(c) == TYPE_WORD ? c.w2 : 0;
}

Cell call_word() {
    const stack::Frame* f = stack::get_call_frame();
    return f ? Cell{TYPE_WORD, f->word_context, f->symbol, uint32_t(-1)} : words::word<"<anon>">();
}

Cell param_word_at(uint32_t i) {
    const stack::Frame* f = stack::get_call_frame();
    const Cell* function = f ? context::value_of(f->symbol, f->word_context) : nullptr;
    switch (function ? cell::type_of(*function) : TYPE_UNSET) {
    case TYPE_NATIVE:
    case TYPE_ACTION:
    case TYPE_OP:
    case TYPE_FUNCTION:
    case TYPE_ROUTINE: break;
    default: return words::word<"<anon>">();
    }
    Cell spec{TYPE_BLOCK, 0, function->w2, 0};
    int32_t length = block::rs_length(spec);
    for (int32_t k = 0; k < length; ++k) {
        Cell entry = memory::buffer_of(spec.w2)->head_cell()[k];
        switch (cell::type_of(entry)) {
        case TYPE_WORD:
        case TYPE_LIT_WORD:
        case TYPE_GET_WORD:
        case TYPE_REFINEMENT:
            if (i-- == 0) {
                cell::set_type(entry, TYPE_WORD);
                return entry;
            }
            break;
        default: break;
        }
    }
    return words::word<"<anon>">();
}

void set_where(Cell& error, const Cell& value) {
    if (cell::type_of(*field(error, where)) == TYPE_NONE) store_field(error, where, value);
}

const Cell* field(const Cell& error, Field f) {
    return context::slot_at(error.w1, f);
}

void store_field(const Cell& error, Field f, const Cell& value) {
    context::store(error.w1, f, value);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
    return form_parts(*value, *buffer, Parts{}, part);
}

int32_t form_parts(const Cell& value, Cell& buffer, Parts parts, int32_t part) {
    Rooted<Cell> error(value);
    Message m = message_of(*error);
    if (!parts.arguments) m.arg1 = none_cell;
    append_text(buffer, "*** ");
    part -= 4;
    // Values read from contexts are copied: writing the message allocates,
    // and a collection may then move the context a reference points into.
    Cell type_text = *context::slot_at(category_context(m.category), 1);
    part = dispatch::form(type_text, buffer, nullptr, part);
    append_text(buffer, ": ");
    part = write_template(m, *error, parts.arguments, buffer, part - 2);

    append_text(buffer, "\n*** Where: ");
    part -= 12;
    Cell where_ = *field(*error, where);
    switch (cell::type_of(where_)) {
    case TYPE_WORD:
    case TYPE_STRING: part = dispatch::form(where_, buffer, nullptr, part); break;
    default: append_text(buffer, "???"); part -= 3;
    }

    append_text(buffer, "\n*** Near : ");
    Cell near_ = parts.near ? *field(*error, near) : none_cell;
    part = write_limited(near_, buffer, false, true, near_limit, part - 12);

    // Only calls named when the error was raised are listed: the frames a
    // depth points at may be gone or reused. The label is written whenever
    // the trace is asked for, with nothing after it when no call is named.
    if (stack_trace_level() > 0) {
        append_text(buffer, "\n*** Stack: ");
        part -= 12;
        Cell calls = *field(*error, stack);
        if (cell::type_of(calls) == TYPE_BLOCK) part = dispatch::form(calls, buffer, nullptr, part);
    }

    Cell files_ = *field(*error, files);
    if (cell::type_of(files_) == TYPE_BLOCK) {
        append_text(buffer, "\n*** Files: ");
        part = write_limited(files_, buffer, false, true, near_limit, part - 12);
    }
    return part;
}

namespace {

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent) {
    return object::write_fields(*value, *buffer, only, all, flat, arg, part, indent, true);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    if (cell::type_of(*value2) != TYPE_ERROR) return -2;
    Cell as_object = *value2;
    cell::set_type(as_object, TYPE_OBJECT);
    return object::compare(value1, &as_object, op);
}

bool is_reserved(const Cell& error) {
    for (const Reserved& r : reserved)
        if (cell::type_of(r.value) == TYPE_ERROR && r.value.w1 == error.w1) return true;
    return false;
}

// Whether the word of a call (its context and symbol) holds a function!,
// remembered for as long as the binding epoch stays: a slot that gets or
// loses a function moves it, and so does every collection, which may
// reuse a context's node. Every raise asks this of each call under way.
struct FunctionWord {
    uint64_t epoch = 0;
    NodeId context = 0; // 0: nothing remembered
    uint32_t symbol = 0;
    bool function = false;
};
std::array<FunctionWord, 64> function_words;
[[maybe_unused]] const bool function_words_kept = session::keep(function_words);

[[gnu::always_inline]] inline bool holds_function(NodeId ctx, uint32_t symbol) {
    FunctionWord& known = function_words[(symbol * 31 + ctx) % function_words.size()];
    if (known.context == ctx && known.symbol == symbol && known.epoch == binding::epoch)
        return known.function;
    const Cell* value = context::value_of(symbol, ctx);
    bool function = value && cell::type_of(*value) == TYPE_FUNCTION;
    known = {binding::epoch, ctx, symbol, function};
    return function;
}

// Calls `named` with the symbol of each named call under way, outermost
// first: at level 1 those whose word holds a function!, at 2 and above
// every one.
template <class Named>
void each_traced_call(int32_t level, Named named) {
    // Frames never move: the walk survives the callback's allocations.
    const stack::Frame* floor =
        std::max<const stack::Frame*>(stack::state.cbottom, stack::state.input_floor);
    for (const stack::Frame* f = floor; f < stack::state.ctop; ++f) {
        if (f->symbol == stack::state.body_symbol || f->symbol == stack::state.anon_symbol)
            continue;
        if (level < 2 && !(f->word_context && holds_function(f->word_context, f->symbol))) continue;
        named(f->symbol);
    }
}

// A new block of the words of the named calls under way (see
// each_traced_call), each bound in the global context, made no larger than
// they need: a raise allocates as little as it can. The symbols are read
// in one walk when they are few.
void trace_calls(int32_t level, Cell& block) {
    constexpr int32_t kept = 32;
    uint32_t symbols[kept];
    int32_t count = 0;
    each_traced_call(level, [&](uint32_t symbol) {
        if (count < kept) symbols[count] = symbol;
        ++count;
    });
    block::make_at(block, count);
    if (count <= kept) {
        for (int32_t i = 0; i < count; ++i)
            block::append_value(block, word::load_symbol(symbols[i]));
        return;
    }
    each_traced_call(level, [&block](uint32_t symbol) {
        block::append_value(block, word::load_symbol(symbol));
    });
}

// Completes an error as it is thrown: the word of the failing function,
// and in `stack` the words of the calls under way (or, when the stack line
// is off, the depth of the call stack). Only fields still none are
// written, never with a function: straight into the values.
void tag_error(Cell& error) {
    if (const stack::Frame* f = stack::get_call_frame()) {
        Cell& where_ = fields_of(error)[where];
        if (cell::type_of(where_) == TYPE_NONE)
            where_ = Cell{TYPE_WORD, f->word_context, f->symbol, uint32_t(-1)};
    }
    if (cell::type_of(fields_of(error)[stack]) != TYPE_NONE) return;
    int32_t level = stack_trace_level();
    // The calls are named now, while their frames live: by the time the
    // error is shown they are gone. The reserved errors are shared and
    // must not allocate.
    if (level <= 0 || is_reserved(error)) {
        fields_of(error)[stack] = Cell{TYPE_INTEGER, 0, stack::depth(), 0};
        return;
    }
    Rooted<Cell> kept(error);
    Rooted<Cell> calls;
    trace_calls(level, *calls);
    fields_of(*kept)[stack] = *calls;
}

} // namespace

void init() {
    Rooted<Cell> prototype;
    object::make_at(*prototype, field_count);
    for (const char* name : field_names)
        context::put_value(prototype->w1, name_word(name), none_cell);
    prototype->w2 = class_id;
    object::write_self(*prototype);
    standard_object = *prototype;
    collector::add_marker(mark_roots);
    stack::hooks.tag_error = tag_error;
    runtime::raiser = raise;
    using namespace action;
    datatype::register_type(TYPE_ERROR, TYPE_OBJECT, "error!",
                            {{Slot::make, make},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::compare, compare},
                             {Slot::put, no},
                             {Slot::modify, no}});
}

} // namespace kiv::error
