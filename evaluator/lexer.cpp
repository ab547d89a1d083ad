// The scan loop, the structural scanners, the value buffer, chained scans,
// trace events and syntax errors.
#include "evaluator/lexer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <new>
#include <utility>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/map.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/interrupt.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/session.h"
#include "runtime/throw.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv::lexer {

ErrorReport last_report;

namespace {

using P = const uint8_t*;

constexpr uint32_t initial_values = 1000;
constexpr uint32_t utf8_buffer_size = 100000;
constexpr size_t near_limit = 30;

std::vector<Cell> values;
std::vector<uint8_t> utf8_buffer;
size_t utf8_fill = 0;
State* chain_head = nullptr;
[[maybe_unused]] const bool kept_in_snapshot =
    session::keep(last_report, values, utf8_fill, chain_head);

// Unicode spaces: one bit per code point, bit 0x80 >> (cp mod 8) of byte cp / 8.
constexpr std::array<uint8_t, 8290> make_space_bits() {
    std::array<uint8_t, 8290> bits{};
    constexpr uint32_t spaces[] = {0x85,   0xA0,   0x1680, 0x2028, 0x2029,
                                   0x202F, 0x205F, 0x3000, 0x180E, 0x200B};
    for (uint32_t cp : spaces) bits[cp / 8] |= uint8_t(0x80 >> (cp % 8));
    for (uint32_t cp = 0x2000; cp <= 0x200A; ++cp) bits[cp / 8] |= uint8_t(0x80 >> (cp % 8));
    return bits;
}
constexpr auto space_bits = make_space_bits();

constexpr uint8_t final_types[final_count] = {
    0,
    TYPE_ERROR,
    0,
    0,
    0,
    0,
    0,
    TYPE_STRING,
    0,
    0,
    0,
    0,
    0,
    TYPE_STRING,
    TYPE_WORD,
    TYPE_ISSUE,
    TYPE_INTEGER,
    TYPE_REFINEMENT,
    TYPE_CHAR,
    TYPE_FILE,
    TYPE_BINARY,
    TYPE_PERCENT,
    TYPE_FLOAT,
    TYPE_FLOAT,
    TYPE_TUPLE,
    TYPE_DATE,
    TYPE_PAIR,
    TYPE_POINT2D,
    TYPE_TIME,
    TYPE_MONEY,
    TYPE_TAG,
    TYPE_URL,
    TYPE_EMAIL,
    TYPE_INTEGER,
    TYPE_STRING,
    TYPE_REF,
};

// The load entry of a kind whose datatype has not filled it yet.
template <uint32_t Final>
void load_not_done(State&, P, P, uint32_t, bool load) {
    if (load) raise_not_done(final_types[Final - first_final]);
}

template <size_t... I>
constexpr std::array<Entry, final_count> make_not_done_entries(std::index_sequence<I...>) {
    return {&load_not_done<first_final + I>...};
}
constexpr auto not_done_entries = make_not_done_entries(std::make_index_sequence<final_count>{});

std::array<Entry, final_count> load_entries = not_done_entries;

void series_not_done(Cell&, const Cell*, uint32_t, uint32_t type, Cell*) {
    raise_not_done(type);
}
SeriesMaker series_maker = &series_not_done;

// Loads one value token with its kind's entry. A value of a datatype not
// built yet is refused wherever it stands (at top level, in a block, in a
// path), so that no unbuilt value ever reaches the code that handles
// values.
void load_token(State& st, uint32_t final, P start, P end, uint32_t flags) {
    uint32_t before = st.tail;
    load_entries[final - first_final](st, start, end, flags, true);
    if (st.tail == before) return;
    uint32_t type = cell::type_of(values[st.tail - 1]);
    if (built_type && !built_type(type)) {
        st.tail = before;
        raise_not_done(type);
    }
}

bool path_type(uint32_t type) {
    return type >= TYPE_PATH && type <= TYPE_GET_PATH;
}

// Positions in the units the caller sees: characters for string input,
// counted on from the last position asked for (events move forward).
uint32_t units(State& st, P p) {
    if (!st.string_input) return uint32_t(p - st.input_start);
    if (p < st.counted_to) st.counted_to = st.input_start, st.counted = 0;
    st.counted += uint32_t(utf8::count_chars(st.counted_to, p));
    st.counted_to = p;
    return st.counted;
}
P byte_at(const State& st, uint32_t index) {
    if (st.string_input) return utf8::skip_chars(st.input_start, st.input_end, int32_t(index) + 1);
    return std::min(st.input_start + index, st.input_end);
}

bool event_wanted(const State& st, Event event) {
    return st.tracer && (st.tracer->mask & (1u << uint32_t(event)));
}

// Tells the trace callback of a token; an unwanted event answers true. A
// callback that moves the input index makes the scan resume there.
bool fire(State& st, Event event, int32_t type, P start, P end, const Cell* value) {
    if (!event_wanted(st, event)) return true;
    bool at_start = event == Event::open || (event == Event::prescan && type < 0);
    TraceInfo info{event,
                   type,
                   st.line,
                   units(st, start) + 1,
                   units(st, end) + 1,
                   units(st, at_start ? start : end),
                   value};
    uint32_t index = info.index;
    bool answer = st.tracer->on_event(info);
    if (info.index != index) st.position = byte_at(st, info.index);
    return answer;
}

[[noreturn]] void stop() {
    runtime::throw_code(stop_code);
}

Cell* innermost_marker(State& st) {
    return st.level_start > st.head ? &values[st.level_start - 1] : nullptr;
}

uint32_t marker_type(const Cell& marker) {
    return marker.w2 & 0xFFFFu;
}

void push_marker(State& st, uint32_t type, P opener) {
    uint32_t previous = st.level_start;
    Cell& m = grow_buffer(st);
    m = Cell{TYPE_TRIPLE, st.tail - previous, type, uint32_t(opener - st.input_start)};
    st.level_start = st.tail;
}

// Replaces the innermost marker and the cells after it by the series they
// make, or drops them all when not loading.
void pop_series(State& st, uint32_t type, bool load) {
    uint32_t marker = st.level_start - 1;
    uint32_t previous = st.level_start - values[marker].w1;
    if (load) {
        Cell made{cell::unset_header, 0, 0, 0};
        series_maker(made, values.data() + st.level_start, st.tail - st.level_start, type, nullptr);
        made.header |= values[marker].header & cell::new_line_flag;
        values[marker] = made;
        st.tail = marker + 1;
    } else {
        st.tail = marker;
    }
    st.level_start = previous;
    st.type = int32_t(type);
    st.entry_state = entry::normal;
}

void close_path(State& st, bool load) {
    Cell* m = innermost_marker(st);
    uint32_t type = marker_type(*m);
    fire(st, Event::close, int32_t(type), st.token_end, st.token_end, nullptr);
    pop_series(st, type, load);
}

void scan_and_load(State& st, uint32_t final, P start, P end, uint32_t flags);

// The flag bits of the bytes of a text ORed together.
uint32_t token_flags(P from, P to) {
    uint32_t flags = 0;
    for (P q = from; q < to; ++q) flags |= class_table[*q];
    return flags & ~0xFFu;
}

// Structural scanners.

void scan_end(State& st, P, P, uint32_t, bool) {
    st.position = st.input_end;
}

void scan_error(State& st, P start, P, uint32_t, bool) {
    throw_error(st, st.error_at_opener ? nullptr : start, st.error_type ? st.error_type : -1);
}

void scan_open(State& st, P start, P end, uint32_t, bool) {
    uint32_t final = *start == '[' ? block_open : *start == '(' ? paren_open : map_open;
    uint32_t type = final == block_open ? TYPE_BLOCK : final == paren_open ? TYPE_PAREN : TYPE_MAP;
    st.entry_state = entry::normal;
    if (!fire(st, Event::open, structural_code(final), start, end, nullptr)) return;
    push_marker(st, type, start);
}

// Whether the values of the innermost level make a map: key/value pairs
// whose keys are all of a type a map accepts.
bool whole_map(const State& st) {
    if ((st.tail - st.level_start) % 2) return false;
    for (uint32_t i = st.level_start; i < st.tail; i += 2)
        if (!map::valid_key(cell::type_of(values[i]))) return false;
    return true;
}

void scan_close(State& st, P start, P end, uint32_t, bool load) {
    bool bracket = *start == ']';
    Cell* m = innermost_marker(st);
    if (!m) throw_error(st, start, -3);
    uint32_t type = marker_type(*m);
    if (bracket ? type != TYPE_BLOCK && type != TYPE_MAP : type != TYPE_PAREN)
        throw_error(st, nullptr, -4);
    if (!fire(st, Event::close, structural_code(bracket ? block_close : paren_close), start, end,
              nullptr)) {
        st.entry_state = entry::normal;
        return;
    }
    if (type == TYPE_MAP && load && !whole_map(st)) throw_error(st, nullptr, TYPE_MAP);
    pop_series(st, type, load);
    // A paren that is an element of a path: the path goes on after a `/`.
    Cell* outer = innermost_marker(st);
    if (outer && path_type(marker_type(*outer))) {
        if (st.position < st.input_end && *st.position == '/') {
            ++st.position;
            st.entry_state = entry::path;
        } else {
            // A colon right after the paren makes a set-path: a/(i): value
            if (marker_type(*outer) == TYPE_PATH && st.position < st.input_end &&
                *st.position == ':' && delimiter(st.position + 1, st.input_end)) {
                outer->w2 = (outer->w2 & ~0xFFFFu) | TYPE_SET_PATH;
                ++st.position;
            }
            close_path(st, load);
        }
    }
}

void scan_brace_open(State& st, P start, P, uint32_t flags, bool) {
    if (st.brace_depth++ == 0) {
        st.brace_start = start;
        st.brace_flags = 0;
        st.entry_state = entry::braced_string;
    }
    st.brace_flags |= flags;
}

void scan_brace_close(State& st, P, P end, uint32_t flags, bool) {
    st.brace_flags |= flags;
    if (--st.brace_depth > 0) return;
    st.entry_state = entry::normal;
    st.type = TYPE_STRING;
    scan_and_load(st, string, st.brace_start, end, st.brace_flags);
}

void scan_path_start(State& st, P start, P end, uint32_t flags, bool load) {
    P text = start;
    if (st.entry_state != entry::path) {
        uint32_t type = TYPE_PATH;
        if (*start == ':')
            type = TYPE_GET_PATH, ++text;
        else if (*start == '\'')
            type = TYPE_LIT_PATH, ++text;
        if (!fire(st, Event::open, structural_code(path_start), start, end, nullptr)) {
            if (load) load_token(st, st.element, start, end, flags);
            st.entry_state = entry::normal;
            return;
        }
        push_marker(st, type, start);
        st.entry_state = entry::path;
    }
    if (load) load_token(st, st.element, text, end, token_flags(text, end));
}

bool same_name(P s, P e, const char* name) {
    size_t n = std::char_traits<char>::length(name);
    if (size_t(e - s) != n) return false;
    for (size_t i = 0; i < n; ++i)
        if ((s[i] | 0x20) != (uint8_t(name[i]) | 0x20)) return false;
    return true;
}

void scan_construct(State& st, P start, P end, uint32_t, bool load) {
    P s = start + 2;
    P e = end - 1;
    Cell made{};
    if (same_name(s, e, "true") || same_name(s, e, "false")) {
        made = Cell{TYPE_LOGIC, (s[0] | 0x20) == 't' ? 1u : 0u, 0, 0};
    } else if (same_name(s, e, "none")) {
        made = Cell{TYPE_NONE, 0, 0, 0};
    } else if (same_name(s, e, "unset")) {
        made = Cell{cell::unset_header, 0, 0, 0};
    } else {
        uint32_t found = 0;
        for (uint32_t t = 1; t <= datatype::highest_type() && !found; ++t) {
            const char* name = datatype::name_of(t).name;
            if (name && same_name(s, e, name)) found = t;
        }
        if (!found) throw_error(st, start, -2);
        made = datatype::value(found);
    }
    st.type = int32_t(cell::type_of(made));
    if (load) grow_buffer(st) = made;
}

void scan_comment(State&, P, P, uint32_t, bool) {}

void scan_comma(State& st, P start, P, uint32_t, bool) {
    throw_error(st, start, TYPE_POINT2D);
}

// Scan entries by pair; value kinds are checked by the token finder.
constexpr Entry scan_entries[final_count] = {
    &scan_end,       &scan_error,      &scan_open,        &scan_close, &scan_open,
    &scan_close,     &scan_brace_open, &scan_brace_close, &scan_open,  &scan_path_start,
    &scan_construct, &scan_comment,    &scan_comma,
};

// A value token: checked (with a `scan` event), then loaded (with a `load`
// event whose false answer drops the value).
void scan_and_load(State& st, uint32_t final, P start, P end, uint32_t flags) {
    uint32_t pair = final - first_final;
    Entry scan_entry = scan_entries[pair];
    Entry load = load_entries[pair];
    int32_t type = final_types[pair];
    bool answer = true;
    if (!(st.raise_errors && !scan_entry && !event_wanted(st, Event::scan))) {
        (scan_entry ? scan_entry : load)(st, start, end, flags, false);
        if (st.tracer) {
            try {
                answer = fire(st, Event::scan, type, start, end, nullptr);
            } catch (const runtime::Throw& t) {
                if (t.code != stop_code) throw;
                answer = false;
            }
        }
    }
    bool do_load = st.tracer ? answer : !st.prescan && (!st.one_value || st.raise_errors);
    if (!do_load) return;
    uint32_t before = st.tail;
    load_token(st, final, start, end, flags);
    if (st.tracer && st.tail > before &&
        !fire(st, Event::load, type, start, end, &values[st.tail - 1]))
        --st.tail;
}

uint32_t count_lines(P from, P to) {
    return uint32_t(std::count(from, to, uint8_t('\n')));
}

void scan_tokens(State& st) {
    while (st.position < st.input_end) {
        runtime::poll();
        uint32_t entry_before = st.entry_state;
        P from = st.position;
        Token t = next_token(st, from);
        st.line += count_lines(from, t.end);
        st.token_lines = count_lines(t.start, t.end);
        st.position = st.token_end = t.end;
        st.fallback_type = -1;
        st.type = final_types[t.final - first_final];
        st.error_type = t.error_type;
        st.error_at_opener = t.error_at_opener;
        st.element = t.element;
        uint32_t flags = token_flags(t.start, t.text_end);
        Entry scan_entry = scan_entries[t.final - first_final];
        bool structural = t.final < string;
        bool go = true;
        // Inside braced strings and paths the flag of the token that
        // opened them holds.
        uint32_t tail_before = st.tail;
        if (entry_before == entry::normal) st.new_line = std::find(from, t.start, '\n') != t.start;
        if (st.tracer) {
            if (entry_before != entry::braced_string)
                go = fire(st, Event::prescan, st.type ? st.type : structural_code(t.final), t.start,
                          t.end, nullptr);
        } else if (st.prescan) {
            if (structural) scan_entry(st, t.start, t.text_end, flags, false);
            go = false;
        }
        if (go && structural) {
            scan_entry(st, t.start, t.text_end, flags, st.raise_errors);
        } else if (go) {
            P text_end = t.text_end;
            if (entry_before == entry::path && (t.final == word || t.final == integer) &&
                text_end[-1] == ':') {
                Cell* m = innermost_marker(st);
                if (marker_type(*m) != TYPE_PATH)
                    throw_error(st, nullptr, int32_t(marker_type(*m)));
                m->w2 = (m->w2 & ~0xFFFFu) | TYPE_SET_PATH;
                flags = token_flags(t.start, --text_end);
            }
            scan_and_load(st, t.final, t.start, text_end, flags);
        }
        if (st.tail > tail_before) {
            if (st.new_line) values[tail_before].header |= cell::new_line_flag;
            st.new_line = false;
        }
        if (entry_before == entry::path && st.entry_state == entry::path && t.final != path_start &&
            t.final != invalid)
            close_path(st, st.raise_errors);
        bool single_mode = st.one_value || !st.not_scan || st.prescan;
        if (single_mode && st.type > 0 && st.entry_state == entry::normal &&
            st.level_start == st.head) {
            uint32_t n = st.tail - st.head;
            if (n == 0 || (n == 1 && cell::type_of(values[st.head]) != TYPE_TRIPLE)) {
                st.stopped = true;
                break;
            }
        }
        st.previous_type = st.type;
    }
    if (st.entry_state == entry::braced_string && st.type == 0)
        throw_error(st, st.brace_start, TYPE_STRING);
    if (st.entry_state == entry::path) throw_error(st, nullptr, TYPE_PATH);
}

// Links a scan's record behind the running ones and unlinks it on exit.
class Chained {
  public:
    explicit Chained(State& st) : st_(st) {
        State* inner = chain_head;
        while (inner && inner->link) inner = inner->link;
        st.parent = inner;
        if (inner) {
            inner->link = &st;
            st.head = inner->tail;
        } else {
            chain_head = &st;
            st.head = 0;
        }
        st.level_start = st.tail = st.head;
    }
    ~Chained() {
        if (st_.parent)
            st_.parent->link = nullptr;
        else
            chain_head = nullptr;
    }
    Chained(const Chained&) = delete;
    Chained& operator=(const Chained&) = delete;

  private:
    State& st_;
};

char closer_of(const State& st) {
    for (uint32_t level = st.level_start; level > st.head;) {
        const Cell& m = values[level - 1];
        uint32_t type = marker_type(m);
        if (!path_type(type)) return type == TYPE_BLOCK || type == TYPE_MAP ? ']' : ')';
        level -= m.w1;
    }
    return ']';
}

// The end of the values completed at the top level: those ahead of the
// outermost series still open.
uint32_t top_level_end(const State& st) {
    uint32_t end = st.tail;
    for (uint32_t level = st.level_start; level > st.head; level -= values[level - 1].w1)
        end = level - 1;
    return end;
}

int32_t scan_text(Cell& out, P text, uint32_t length, const Options& options, uint32_t* consumed,
                  bool string_input) {
    State st;
    Chained chained(st);
    st.input_start = st.position = st.token_end = st.counted_to = text;
    st.input_end = text + length;
    st.tracer = options.tracer;
    st.string_input = string_input;
    st.prescan = !options.load;
    st.not_scan = options.not_scan;
    st.raise_errors = options.load && options.not_scan;
    st.one_value = options.one_value;
    bool quiet = false;
    // A scan into the caller's block that fails keeps there the values
    // read before the error.
    auto keep_completed = [&] {
        if (options.into && st.not_scan && !st.prescan)
            series_maker(out, values.data() + st.head, top_level_end(st) - st.head, TYPE_BLOCK,
                         options.into);
    };
    try {
        scan_tokens(st);
        if (!st.stopped && innermost_marker(st)) {
            st.open_type = int32_t(marker_type(*innermost_marker(st)));
            throw_error(st, nullptr, -4);
        }
    } catch (const runtime::Throw& t) {
        if (t.code != stop_code) {
            keep_completed();
            throw;
        }
        quiet = st.type == TYPE_ERROR || innermost_marker(st);
    } catch (...) {
        keep_completed();
        throw;
    }
    if (consumed) *consumed = units(st, st.position);
    if (quiet) {
        out = Cell{TYPE_NONE, 0, 0, 0};
        return TYPE_ERROR;
    }
    if (st.not_scan) {
        uint32_t count = st.tail - st.head;
        if (options.one_value && !options.wrap && count >= 1 && !options.into)
            out = values[st.head];
        else
            series_maker(out, values.data() + st.head,
                         options.one_value && !options.wrap && count ? 1 : count, TYPE_BLOCK,
                         options.into);
    }
    return st.type;
}

} // namespace

bool (*built_type)(uint32_t type) = nullptr;

void raise_not_done(uint32_t type) {
    Cell arg = datatype::value(type);
    last_report = ErrorReport{};
    last_report.id = err::internal::not_done;
    last_report.type = int32_t(type);
    runtime::fire_error(runtime::Category::internal, err::internal::not_done, &arg);
}

bool is_unicode_space(uint32_t code_point) {
    return code_point / 8 < space_bits.size() &&
           (space_bits[code_point / 8] & (0x80 >> (code_point % 8)));
}

uint32_t type_of_final(uint32_t final) {
    return final_types[final - first_final];
}

void set_load_entry(uint32_t final, Entry load) {
    load_entries[final - first_final] = load;
}
Entry load_entry(uint32_t final) {
    return load_entries[final - first_final];
}
void reset_load_entries() {
    load_entries = not_done_entries;
    series_maker = &series_not_done;
    word::scan_value = nullptr;
}
void set_series_maker(SeriesMaker maker) {
    series_maker = maker;
}

Cell& grow_buffer(State& st) {
    if (st.tail >= values.size()) {
        try {
            values.resize(std::max<size_t>(values.size() * 2, initial_values));
        } catch (const std::bad_alloc&) {
            runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
        }
    }
    Cell& slot = values[st.tail++];
    slot = Cell{cell::unset_header, 0, 0, 0};
    return slot;
}

Cell& value_at(uint32_t index) {
    return values[index];
}

void throw_error(State& st, const uint8_t* start, int32_t type) {
    if (!st.raise_errors) {
        st.type = TYPE_ERROR;
        stop();
    }
    Cell* opener = innermost_marker(st);
    if (!start) start = st.input_start + (opener ? opener->w3 : 0);
    if (st.tracer) {
        int32_t reported = type > 0               ? type
                           : st.open_type > 0     ? st.open_type
                           : st.type > 0          ? st.type
                           : st.fallback_type > 0 ? st.fallback_type
                                                  : int32_t(TYPE_ERROR);
        if (opener && path_type(marker_type(*opener))) close_path(st, false);
        if (!fire(st, Event::error, reported, start, st.position, nullptr)) {
            st.type = TYPE_ERROR;
            stop();
        }
    }
    st.open_type = 0;
    if (type > 0 && path_type(uint32_t(type))) type = -1;

    ErrorReport report;
    char digits[12];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, st.line);
    (void)ec;
    report.line = "(line " + std::string(digits, end) + ")";
    size_t n = 0;
    while (n < near_limit && start + n < st.input_end && start[n] != '\n') ++n;
    while (n > 0 && start + n < st.input_end && (start[n] & 0xC0) == 0x80) --n;
    report.near.assign(start, start + n);

    // The arguments: the line and near texts as strings, the datatype of
    // an invalid value, the character a missing closer names.
    // Text cut from invalid input may not be UTF-8: a malformed sequence
    // becomes U+FFFD rather than a second error.
    auto text = [](const std::string& t, Rooted<Cell>& out) {
        string::make_at(*out, uint32_t(t.size()));
        auto* p = reinterpret_cast<const uint8_t*>(t.data());
        auto* end = p + t.size();
        while (p < end) {
            int32_t cp;
            p = utf8::decode_step(p, end, cp);
            string::append_char(memory::buffer_of(out->w2), cp < 0 ? 0xFFFD : uint32_t(cp));
        }
    };
    Rooted<Cell> line_arg;
    Rooted<Cell> near_arg;
    text(report.line, line_arg);
    text(report.near, near_arg);
    Rooted<Cell> extra;
    uint32_t id;
    const Cell* args[3] = {&*line_arg, &*near_arg, nullptr};
    if (type == -1 || type == -2) {
        id = type == -1 ? err::syntax::bad_char : err::syntax::malconstruct;
    } else if (type == -3 || type == -4) {
        id = err::syntax::missing;
        char expected = closer_of(st);
        if (type == -3 && *start == ']')
            expected = '[';
        else if (type == -3 && *start == ')')
            expected = '(';
        report.expected = std::string(1, expected);
        *extra = Cell{TYPE_CHAR, 0, uint8_t(expected), 0};
        args[1] = &*extra;
        args[2] = &*near_arg;
    } else {
        id = err::syntax::invalid;
        report.type = type;
        *extra = datatype::value(uint32_t(type));
        args[0] = &*extra;
        args[1] = &*line_arg;
        args[2] = &*near_arg;
    }
    report.id = id;
    last_report = report;
    runtime::fire_error(runtime::Category::syntax, id, args[0], args[1], args[2]);
}

int32_t scan(Cell& out, const uint8_t* text, uint32_t length, const Options& options,
             uint32_t* consumed) {
    return scan_text(out, text, length, options, consumed, false);
}

int32_t load_string(Cell& out, const Cell& str, int32_t length, const Options& options,
                    uint32_t* consumed) {
    uint32_t unit = memory::buffer_of(str.w2)->unit();
    uint32_t have = string::length(str);
    uint32_t count = length < 0 ? have : std::min(have, uint32_t(length));
    size_t room = size_t(count) * (unit == 1 ? 2 : unit == 2 ? 3 : 4);
    std::vector<uint8_t> temporary;
    uint8_t* text;
    size_t saved = utf8_fill;
    if (room + 1 <= utf8_buffer.size() - utf8_fill) {
        text = utf8_buffer.data() + utf8_fill;
    } else {
        temporary.resize(room + 1);
        text = temporary.data();
    }
    uint32_t bytes = utf8::encode_string_part(str, text, int32_t(count), true);
    if (temporary.empty()) utf8_fill += bytes + 1;
    int32_t type;
    try {
        type = scan_text(out, text, bytes, options, consumed, true);
    } catch (...) {
        utf8_fill = saved;
        throw;
    }
    utf8_fill = saved;
    return type;
}

namespace {

void load_text(Cell& out, const Cell& text, bool one_value) {
    Options options;
    options.one_value = one_value;
    load_string(out, text, -1, options);
}

} // namespace

void init() {
    block::hooks.load_text = load_text;
    values.assign(initial_values, Cell{cell::unset_header, 0, 0, 0});
    utf8_buffer.assign(utf8_buffer_size, 0);
    utf8_fill = 0;
    chain_head = nullptr;
    reset_load_entries();
    install_loaders();
    collector::remove_marker(&mark);
    collector::add_marker(&mark);
}

void mark() {
    for (State* st = chain_head; st; st = st->link)
        collector::mark_values(values.data() + st->head, values.data() + st->tail);
}

} // namespace kiv::lexer
