#include "gui/backend/event.h"

#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/compound.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/pair.h"
#include "datatypes/percent.h"
#include "datatypes/point.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/unit.h"
#include "datatypes/word.h"
#include "gui/backend/conversions.h"
#include "gui/backend/dpi.h"
#include "gui/backend/keys.h"
#include "gui/backend/live_event.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/fatal.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/types.h"

#include <cstring>

namespace kiv::gui::event {

namespace {

constexpr const char* type_names[] = {
    nullptr,     "down",   "up",        "mid-down", "mid-up",   "alt-down", "alt-up",   "aux-down",
    "aux-up",    "click",  "dbl-click", "wheel",    "over",     "key",      "key-down", "key-up",
    "ime",       "focus",  "unfocus",   "enter",    "zoom",     "pan",      "rotate",   "two-tap",
    "press-tap", "select", "change",    "menu",     "close",    "move",     "resize",   "moving",
    "resizing",  "time",   "drawing",   "scroll",   "minimize", "maximize", "restore",
};
static_assert(std::size(type_names) == type_count + 1);

// Flag words in the order a flags block lists them; `command` last.
struct FlagWord {
    const char* name;
    uint32_t bit;
};
constexpr FlagWord flag_words[] = {
    {"away", flag_away},         {"down", flag_down},         {"mid-down", flag_mid_down},
    {"alt-down", flag_alt_down}, {"aux-down", flag_aux_down}, {"control", flag_control},
    {"shift", flag_shift},       {"alt", flag_alt},           {"command", flag_command},
};

enum Field : int32_t {
    f_type = 1,
    f_face,
    f_window,
    f_offset,
    f_key,
    f_picked,
    f_flags,
    f_away_q,
    f_down_q,
    f_mid_down_q,
    f_alt_down_q,
    f_aux_down_q,
    f_ctrl_q,
    f_shift_q,
    f_orientation,
};
constexpr const char* field_names[] = {
    nullptr, "type",  "face",      "window",    "offset",    "key",   "picked", "flags",
    "away?", "down?", "mid-down?", "alt-down?", "aux-down?", "ctrl?", "shift?", "orientation",
};
constexpr int32_t field_count = f_orientation;
// The flag bit each logic field reads.
constexpr uint32_t logic_field_bits[] = {flag_away,     flag_down,    flag_mid_down, flag_alt_down,
                                         flag_aux_down, flag_control, flag_shift};

// Stored values of a made event, by position in its block.
enum Stored : int32_t { s_face, s_window, s_offset, s_picked, s_key, stored_count };

bool is_word(const Cell& c) {
    uint32_t t = cell::type_of(c);
    return t >= TYPE_WORD && t <= TYPE_GET_WORD;
}

// The symbols of the type, field and flag names, interned when the datatype
// registers: reading `event/type` or making an event compares symbol ids
// and makes words from them, with no name looked up in the symbol table.
struct NameSymbols {
    uint32_t types[std::size(type_names)] = {};
    uint32_t fields[std::size(field_names)] = {};
    uint32_t flags[std::size(flag_words)] = {};
};
NameSymbols symbols;

void intern_names() {
    for (uint32_t i = 1; i < std::size(type_names); ++i)
        symbols.types[i] = symbol::intern(type_names[i]);
    for (uint32_t i = 1; i < std::size(field_names); ++i)
        symbols.fields[i] = symbol::intern(field_names[i]);
    for (uint32_t i = 0; i < std::size(flag_words); ++i)
        symbols.flags[i] = symbol::intern(flag_words[i].name);
}

// Whether the word is spelt as the symbol, ignoring case.
bool word_is(const Cell& word, uint32_t symbol) {
    return symbol::resolve(word.w2) == symbol::resolve(symbol);
}

int32_t field_of(const Cell& element) {
    if (cell::type_of(element) == TYPE_INTEGER) return integer::get(element);
    if (!is_word(element)) return -1;
    for (int32_t i = 1; i <= field_count; ++i)
        if (word_is(element, symbols.fields[i])) return i;
    return 0;
}

bool made(const Cell& e) {
    return e.header & cell::event_block_flag;
}

Cell* stored(const Cell& e) {
    Cell block{TYPE_BLOCK, 0, e.w2, 0};
    return block::rs_head(block);
}

Cell* push_word(const char* name) {
    Cell w = word::load(name);
    return stack::push(w);
}

Cell* push_flags_block(uint32_t flags) {
    Cell* out = stack::push(Cell{cell::unset_header, 0, 0, 0});
    block::make_at(*out, 9);
    for (uint32_t i = 0; i < std::size(flag_words); ++i)
        if (flags & flag_words[i].bit) word::make_in(symbols.flags[i], *out);
    return out;
}

// ---- Live fields

const Msg& live_msg() {
    return live::state().msg;
}

Cell* push_logical_point(int x, int y) {
    return point2D::push(dpi_unscale(x), dpi_unscale(y));
}

Cell* push_live_offset(const Cell& e) {
    const Msg& m = live_msg();
    uint32_t type = e.w1;
    if (type == resize || type == resizing)
        return pair::push(truncate_to_int(dpi_unscale(point_param_x(m.lparam))),
                          truncate_to_int(dpi_unscale(point_param_y(m.lparam))));
    if (type == wheel) {
        Point p = screen_to_client(m.window, {point_param_x(m.lparam), point_param_y(m.lparam)});
        return push_logical_point(p.x, p.y);
    }
    if (type == over && (e.w3 & flag_away)) {
        Point p = screen_to_client(m.window, m.pt);
        return push_logical_point(p.x, p.y);
    }
    if (type <= over || type == move || type == moving)
        return push_logical_point(point_param_x(m.lparam), point_param_y(m.lparam));
    if (type == key || type == key_down || type == key_up) {
        Point p = screen_to_client(m.window, m.pt);
        return push_logical_point(p.x, p.y);
    }
    if (type == menu) {
        Point p = live::state().menu_point;
        return push_logical_point(p.x, p.y);
    }
    if (type >= zoom && type <= press_tap) {
        Point p = screen_to_client(m.window, live::state().gesture.location);
        return push_logical_point(p.x, p.y);
    }
    return none::push();
}

Cell* push_live_key(const Cell& e) {
    const Msg& m = live_msg();
    uint32_t type = e.w1;
    if (type == wheel) return push_word("wheel");
    if (type == scroll) {
        static constexpr const char* vertical[] = {
            "up", "down", "page-up", "page-down", nullptr, "track", nullptr, nullptr, "end"};
        static constexpr const char* horizontal[] = {
            "left", "right", "page-left", "page-right", nullptr, "track", nullptr, nullptr, "end"};
        uint32_t request = m.wparam & 0xFFFF;
        const char* const* names = m.message == WM_VSCROLL ? vertical : horizontal;
        const char* name = request < 9 ? names[request] : nullptr;
        return name ? push_word(name) : none::push();
    }
    if (type != key && type != key_down && type != key_up) return none::push();
    uint32_t code = e.w3 & char_mask;
    if (live::state().last_key == -1) return char_::push(code);
    if (const char* name = keys::key_word(code)) return push_word(name);
    return type == key ? none::push() : char_::push(code);
}

Cell* push_live_picked(const Cell& e) {
    const Msg& m = live_msg();
    uint32_t type = e.w1;
    switch (type) {
    case down:
    case mid_down:
    case alt_down:
    case aux_down:
    case dbl_click: {
        auto hook = live::hooks().list_item_at;
        int32_t item = hook ? hook(m.window, m.pt) : 0;
        return item > 0 ? integer::push(item) : none::push();
    }
    case wheel: {
        int32_t delta = int16_t(uint16_t(m.wparam >> 16));
        if (delta < -24000) delta += 30720;
        if (delta > 24000) delta -= 30720;
        return float_::push(delta / 120.0);
    }
    case menu: {
        // The item's word, whole: a symbol id of any size.
        uint32_t symbol = live::state().menu_symbol;
        return symbol == 0xFFFFFFFF ? none::push() : word::push_new(symbol);
    }
    case zoom: {
        double ratio = live::state().zoom_ratio;
        return ratio < 0 ? none::push() : float_::push(ratio);
    }
    case pan:
    case rotate:
    case two_tap:
    case press_tap: return integer::push(int32_t(live::state().gesture.arguments));
    case scroll: {
        auto hook = live::hooks().scroll_position;
        return integer::push(hook ? hook(m.window, m.message == WM_VSCROLL) : 0);
    }
    default: return integer::push(int16_t(uint16_t(e.w3 & 0xFFFF)));
    }
}

Cell* push_live_face(bool root) {
    Rooted<Cell> face;
    if (!live::message_face(*face)) return none::push();
    if (!root) return stack::push(*face);
    auto hook = live::hooks().face_of_window;
    HWnd top = get_root(live_msg().window);
    if (!hook || !top || !hook(top, *face)) return none::push();
    return stack::push(*face);
}

// ---- Made fields

Cell* push_stored(const Cell& e, Stored index) {
    if (made(e)) return stack::push(stored(e)[index]);
    switch (index) {
    case s_offset: return pair::push(0, 0);
    case s_picked: return integer::push(0);
    default: return none::push();
    }
}

// A made key: a character, or a key word (a special key, a scroll request).
Cell* push_made_key(const Cell& e) {
    if (made(e) && cell::type_of(stored(e)[s_key]) == TYPE_WORD)
        return stack::push(stored(e)[s_key]);
    uint32_t code = e.w3 & char_mask;
    return code ? char_::push(code) : none::push();
}

// ---- Actions

void set_type_word(Cell& e, const Cell& word) {
    uint32_t code = type_code(word);
    if (!code) compound::invalid_arg(word);
    e.w1 = code;
}

// The value of a spec entry: a word is evaluated first.
Cell spec_value(const Cell& value) {
    if (cell::type_of(value) != TYPE_WORD) return value;
    Cell got = *word::get_value(value);
    stack::pop(1);
    return got;
}

void store(Cell& e, Stored index, const Cell& value) {
    if (!made(e)) {
        Rooted<Cell> block;
        block::make_at(*block, stored_count);
        none::make_in(*block);
        none::make_in(*block);
        pair::make_in(*block, 0, 0);
        integer::make_at(*cell::alloc_tail(*block), 0);
        none::make_in(*block);
        e.header |= cell::event_block_flag;
        e.w2 = block->w2;
    }
    stored(e)[index] = value;
}

Cell* make(Cell* proto, const Cell* spec, uint32_t) {
    if (cell::type_of(*spec) != TYPE_BLOCK) compound::bad_to_arg(TYPE_EVENT, *spec);
    Rooted<Cell> spec_block(*spec);
    Rooted<Cell> result(Cell{TYPE_EVENT, 0, 0, 0});
    int32_t n = block::rs_length(*spec_block);
    for (int32_t i = 0; i + 1 < n; i += 2) {
        Cell key = block::rs_head(*spec_block)[i];
        if (cell::type_of(key) != TYPE_SET_WORD) compound::malconstruct(*spec_block);
        Rooted<Cell> value(spec_value(block::rs_head(*spec_block)[i + 1]));
        uint32_t type = cell::type_of(*value);
        int32_t field = field_of(key);
        if (field == f_type) {
            if (type != TYPE_WORD && type != TYPE_LIT_WORD) compound::invalid_arg(*value);
            set_type_word(*result, *value);
        } else if (field == f_key) {
            if (type == TYPE_WORD || type == TYPE_LIT_WORD) {
                value->header = (value->header & ~0xFFu) | TYPE_WORD;
                store(*result, s_key, *value);
            } else {
                if (type != TYPE_CHAR) compound::invalid_arg(*value);
                result->w3 |= value->w2 & char_mask;
            }
        } else if (field == f_flags) {
            if (type != TYPE_BLOCK) compound::invalid_arg(*value);
            for (int32_t j = 0, m = block::rs_length(*value); j < m; ++j) {
                Cell w = block::rs_head(*value)[j];
                if (!is_word(w)) continue;
                for (uint32_t f = 0; f < std::size(flag_words); ++f)
                    if (word_is(w, symbols.flags[f])) result->w3 |= flag_words[f].bit;
            }
        } else if (field == f_face || field == f_window) {
            if (type != TYPE_OBJECT && type != TYPE_NONE) compound::invalid_arg(*value);
            store(*result, field == f_face ? s_face : s_window, *value);
        } else if (field == f_offset) {
            if (type != TYPE_PAIR && type != TYPE_POINT2D) compound::invalid_arg(*value);
            store(*result, s_offset, *value);
        } else if (field == f_picked) {
            // A menu item or list index, a wheel distance, a composed text.
            if (type != TYPE_INTEGER && type != TYPE_FLOAT && type != TYPE_STRING &&
                type != TYPE_WORD)
                compound::invalid_arg(*value);
            store(*result, s_picked, *value);
        }
    }
    *proto = *result;
    return proto;
}

int32_t form(const Cell*, Cell* buffer, const Cell*, int32_t part) {
    string::append_c_string(*buffer, "event");
    return part - 5;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    return form(value, buffer, arg, part);
}

// Events are all alike for equality and sorting; nothing else compares.
int32_t compare(const Cell*, const Cell* value2, int32_t op) {
    if (cell::type_of(*value2) != TYPE_EVENT || !unit::compares_under(op)) return -2;
    return 0;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool,
                bool, bool, bool) {
    int32_t field = field_of(*element);
    if (field < 1 || field > field_count) compound::invalid_path(path, *element);
    if (!value) return push_field(*parent, field);
    if (field != f_type || !is_word(*value)) compound::invalid_path(path, *element);
    set_type_word(*parent, *value);
    return value;
}

Cell* pick(Cell* value, int32_t index, const Cell* index_cell) {
    if (index_cell && is_word(*index_cell)) index = field_of(*index_cell);
    if (index < 1 || index > field_count) compound::bad_pick(*value, index, index_cell);
    return push_field(*value, index);
}

} // namespace

const char* type_name(uint32_t code) {
    if (code > type_count) runtime::quit_with_error(101, runtime::caller_address());
    return type_names[code];
}

uint32_t type_code(const Cell& word) {
    for (uint32_t code = 1; code <= type_count; ++code)
        if (word_is(word, symbols.types[code])) return code;
    return 0;
}

Cell* push_field(const Cell& e0, int32_t index) {
    Cell e = e0; // the source may move while fields allocate
    bool live_event = !made(e) && e.w2 == live_marker;
    uint32_t flags = e.w3;
    switch (index) {
    case f_type: return type_name(e.w1) ? word::push_new(symbols.types[e.w1]) : none::push();
    case f_face: return live_event ? push_live_face(false) : push_stored(e, s_face);
    case f_window: return live_event ? push_live_face(true) : push_stored(e, s_window);
    case f_offset: return live_event ? push_live_offset(e) : push_stored(e, s_offset);
    case f_key: return live_event ? push_live_key(e) : push_made_key(e);
    case f_picked: return live_event ? push_live_picked(e) : push_stored(e, s_picked);
    case f_flags: return push_flags_block(flags);
    case f_orientation:
        if (!live_event || e.w1 != scroll) return none::push();
        return push_word(live_msg().message == WM_VSCROLL ? "vertical" : "horizontal");
    default: return logic::push(flags & logic_field_bits[index - f_away_q]);
    }
}

void init() {
    intern_names();
    datatype::register_type(TYPE_EVENT, 0, "event!",
                            {{Slot::make, make},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::eval_path, eval_path},
                             {Slot::compare, compare},
                             {Slot::pick, pick}});
}

} // namespace kiv::gui::event
