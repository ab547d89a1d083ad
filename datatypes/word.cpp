#include "datatypes/word.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace kiv::word {

bool collecting = false;
bool (*scan_value)(const Cell& text, Cell& out) = nullptr;

namespace {

// What molding adds around the name, by type from word! on.
struct Decoration {
    uint32_t prefix;
    uint32_t suffix;
};
constexpr std::array<Decoration, 6> decorations = {{
    {0, 0},    // word!
    {0, ':'},  // set-word!
    {'\'', 0}, // lit-word!
    {':', 0},  // get-word!
    {'/', 0},  // refinement!
    {'#', 0},  // issue!
}};

// The global word! of a symbol, with its entry index.
Cell global_word(uint32_t symbol) {
    Cell w{TYPE_WORD, context::global, symbol, 0};
    w.w3 = uint32_t(context::add_word(context::global, w));
    return w;
}

// The symbol's name as a string! with head 0.
Cell name_of(uint32_t symbol) {
    return Cell{TYPE_STRING, 0, symbol::get_string(symbol::get(symbol)), 0};
}

void append_char(Cell* buffer, uint32_t cp) {
    string::append_char(memory::buffer_of(buffer->w2), cp);
}

[[noreturn]] void bad_to_arg(uint32_t type, const Cell& spec) {
    Cell target;
    datatype::make_at(target, type);
    Cell arg = spec;
    runtime::fire_error(runtime::Category::script, err::script::bad_to_arg, &target, &arg);
}

// The lexer's single value of a text.
Cell scan(const Cell& text) {
    if (!scan_value) runtime::fire_error(runtime::Category::internal, err::internal::not_done);
    Rooted<Cell> source(text);
    Rooted<Cell> out;
    if (!scan_value(*source, *out)) *out = Cell{cell::unset_header, 0, 0, 0};
    return *out;
}

// Characters that end a word (or make another type of the text) when the
// lexer reads one.
bool ends_word(uint8_t c) {
    return c < 0x20 || c == 0x7F ||
           std::string_view("/\\^,[](){}\"#%$@:;<> ").find(char(c)) != std::string_view::npos;
}

bool plain_word(uint32_t type) {
    return type >= TYPE_WORD && type <= TYPE_GET_WORD;
}

} // namespace

uint32_t symbol_of_whole(std::string_view spelling, uint32_t type) {
    // A copy: the spelling may lie in a series buffer (a symbol's name),
    // which the scan's allocations may move.
    const std::string utf8(spelling);
    auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    auto size = uint32_t(utf8.size());
    if (!size || !utf8::valid(bytes, bytes + size) || !scan_value) return 0;
    // Cheap refusals before the scan: a character that ends a word, and
    // for a word a number's or a lit-word's start, a sign or dot before
    // digits.
    if (std::ranges::any_of(utf8, [](char c) { return ends_word(uint8_t(c)); })) return 0;
    char first = utf8[0];
    bool digits = utf8.find_first_of("0123456789") != std::string::npos;
    if (type == TYPE_WORD && ((first >= '0' && first <= '9') || first == '\'' ||
                              (digits && (first == '+' || first == '-' || first == '.'))))
        return 0;
    std::string source = type == TYPE_ISSUE ? "#" + utf8 : utf8;
    Rooted<Cell> text, read;
    string::load_at(reinterpret_cast<const uint8_t*>(source.data()), uint32_t(source.size()), *text,
                    string::Encoding::utf8);
    if (!scan_value(*text, *read) || cell::type_of(*read) != type) return 0;
    // The scan reads one value: it must be the whole name (a Unicode
    // space, say, ends it early).
    if (std::string_view(symbol::c_name(read->w2)) != utf8) return 0;
    return symbol::intern_bytes(bytes, size);
}

void keep(const Cell& word) {
    Cell copy = word;
    *cell::alloc_tail(context::root) = copy;
}

Cell unresolved(const char* name, uint32_t type, NodeId ctx) {
    return Cell{type, ctx, symbol::intern(name), uint32_t(-1)};
}

Cell load(const char* name, uint32_t type) {
    if (type == TYPE_REFINEMENT) {
        Cell r = unresolved(name, type, 0);
        keep(r);
        return r;
    }
    Cell w = context::add_global(symbol::intern(name), true, true);
    w.header = type;
    if (collecting) keep(w);
    return w;
}

Cell load_symbol(uint32_t symbol) {
    Cell w = context::add_global(symbol, false, false);
    if (collecting) keep(w);
    return w;
}

Cell* make_at(uint32_t symbol, Cell& cell) {
    Cell w = global_word(symbol);
    cell.header = (cell.header & ~cell::type_mask) | TYPE_WORD;
    cell.w1 = w.w1;
    cell.w2 = w.w2;
    cell.w3 = w.w3;
    return &cell;
}

Cell* make_in(uint32_t symbol, Cell& block) {
    Cell w = global_word(symbol);
    Cell* c = cell::alloc_tail(block);
    *c = w;
    return c;
}

Cell* load_in(const char* name, Cell& block, uint32_t type) {
    Cell* c = make_in(symbol::intern(name), block);
    c->header = type;
    return c;
}

Cell* push_new(uint32_t symbol) {
    Cell w = global_word(symbol);
    return stack::push(w);
}

Cell* push_from(const Cell& word, uint32_t type) {
    Cell* c = stack::push(word);
    cell::set_type(*c, type);
    return c;
}

Cell* push_at(NodeId ctx, uint32_t index, uint32_t type) {
    Cell* c = context::push_word_at(ctx, index);
    cell::set_type(*c, type);
    return c;
}

Cell* get_value(const Cell& word) {
    const Cell* value = value_cell(word);
    if (cell::type_of(*value) == TYPE_UNSET) {
        Cell arg = word;
        runtime::fire_error(runtime::Category::script, err::script::no_value, &arg);
    }
    return stack::push(*value);
}

void set_from_arg(bool check_unset) {
    Cell* args = stack::state.base;
    if (check_unset && cell::type_of(args[1]) == TYPE_UNSET)
        runtime::fire_error(runtime::Category::script, err::script::need_value, &args[0]);
    set(args[0], args[1]);
    args[0] = args[1];
}

void get_from_arg(bool push) {
    Cell* args = stack::state.base;
    Cell value = *value_cell(args[0]);
    if (push)
        stack::push(value);
    else
        args[0] = value;
}

Cell* symbol_record(const Cell& word) {
    return symbol::get(word.w2);
}

Cell* push_name(const Cell& word) {
    Cell name = name_of(word.w2);
    return stack::push(name);
}

Cell* make(Cell* result, const Cell* spec, uint32_t type) {
    Rooted<Cell> out(*spec);
    switch (cell::type_of(*spec)) {
    case TYPE_WORD:
    case TYPE_SET_WORD:
    case TYPE_LIT_WORD:
    case TYPE_GET_WORD: break;
    case TYPE_ISSUE:
    case TYPE_REFINEMENT:
        // The name must read as a word; the spec itself is then used.
        if (!plain_word(cell::type_of(scan(name_of(spec->w2))))) bad_to_arg(type, *out);
        bind_to(context::global, *out);
        break;
    case TYPE_CHAR: {
        Rooted<Cell> text;
        string::make_at(*text, 1);
        append_char(&*text, out->w2);
        *out = scan(*text);
        if (!any_word(cell::type_of(*out)))
            runtime::fire_error(runtime::Category::script, err::script::invalid_chars);
        break;
    }
    case TYPE_STRING:
        *out = scan(*out);
        if (!any_word(cell::type_of(*out)))
            runtime::fire_error(runtime::Category::script, err::script::invalid_chars);
        break;
    case TYPE_DATATYPE: *out = load(datatype::name_of(out->w1).name); break;
    case TYPE_LOGIC: *out = load(logic::get(*out) ? "true" : "false"); break;
    default: bad_to_arg(type, *out);
    }
    cell::set_type(*out, type);
    *result = *out;
    return result;
}

int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
    Cell name = name_of(value->w2);
    return string::form(name, *buffer, arg, part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    const Decoration& d = decorations[cell::type_of(*value) - TYPE_WORD];
    if (d.prefix) {
        append_char(buffer, d.prefix);
        --part;
    }
    part = form(value, buffer, arg, part);
    if (d.suffix) {
        append_char(buffer, d.suffix);
        --part;
    }
    return part;
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    uint32_t t1 = cell::type_of(*value1);
    uint32_t t2 = cell::type_of(*value2);
    if ((t2 == TYPE_ISSUE && t1 != TYPE_ISSUE) || !any_word(t2)) return -2;
    uint32_t s1 = value1->w2;
    uint32_t s2 = value2->w2;
    auto equal = [](bool same) { return same ? 0 : 1; };
    switch (op) {
    case 0:
    case 1:
    case 12: return equal(symbol::resolve(s1) == symbol::resolve(s2));
    case 2: return equal(t1 == t2 && s1 == s2);
    case 9: return equal(s1 == s2 && value1->w1 == value2->w1 && t1 == t2);
    case 10:
    case 11: {
        auto id = [op](uint32_t s) { return op == 11 ? symbol::resolve(s) : s; };
        auto word_or_lit = [](uint32_t t) { return t == TYPE_WORD || t == TYPE_LIT_WORD; };
        bool pair = word_or_lit(t1) && word_or_lit(t2);
        return equal((pair || t1 == t2) && id(s1) == id(s2));
    }
    default: {
        Cell a = *symbol::get(s1);
        Cell b = *symbol::get(s2);
        return symbol::compare(&a, &b, op);
    }
    }
}

void index_q() {
    Cell* arg = stack::state.base;
    if (int32_t(arg->w3) < 0)
        none::make_at(*arg);
    else
        *arg = Cell{TYPE_INTEGER, 0, arg->w3 + 1, 0};
}

void init() {
    // The variants take word!'s slots, its mold writing each one's mark;
    // a refinement! has no index.
    datatype::register_type(TYPE_WORD, TYPE_SYMBOL, "word!",
                            {{Slot::make, make},
                             {Slot::to, make},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::compare, compare},
                             {Slot::index_q, index_q}});
    datatype::register_type(TYPE_LIT_WORD, TYPE_WORD, "lit-word!", {});
    datatype::register_type(TYPE_SET_WORD, TYPE_WORD, "set-word!", {});
    datatype::register_type(TYPE_GET_WORD, TYPE_WORD, "get-word!", {});
    datatype::register_type(TYPE_REFINEMENT, TYPE_WORD, "refinement!",
                            {{Slot::index_q, action::no}});
}

} // namespace kiv::word
