// The lexer: turns UTF-8 text into values.
//
// A scan finds one token at a time (its final kind, its extent and the
// flags of the bytes it holds), then calls the token's scan entry (checks,
// structural work such as opening and closing series) and its load entry
// (builds the value) from a dispatch table of 36 pairs indexed by the final
// kind. Values are built in one shared value buffer; open blocks, parens,
// maps and paths are marker cells in that buffer, replaced by the series
// when their closer arrives. Scans nest (a loader or a trace callback may
// scan again): each running scan has a State record chained to the others,
// and its values start at the tail of the scan that encloses it.
//
// The datatypes fill the load entries (set_load_entry) and the series maker
// (set_series_maker); an entry that no datatype has filled raises internal
// `not-done` naming its type when a token of that kind is loaded.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/cell.h"

namespace kiv::lexer {

// Class word of every byte: low 8 bits the class (0-39), upper bits flags
// that a token's bytes OR together.
extern const uint32_t class_table[256];
inline uint32_t class_of(uint8_t byte) {
    return class_table[byte] & 0xFFu;
}

// Classes that end every value token: blanks, line feed, brackets, parens,
// braces, double quote, `;`, control bytes and NUL.
constexpr uint64_t delimiter_classes = (1ull << 0) | (1ull << 1) | (1ull << 4) | (1ull << 5) |
                                       (1ull << 6) | (1ull << 7) | (1ull << 8) | (1ull << 9) |
                                       (1ull << 10) | (1ull << 28) | (1ull << 35) | (1ull << 39);
// Whether the byte at p (or the end of input) ends a value token.
inline bool delimiter(const uint8_t* p, const uint8_t* end) {
    return p >= end || (delimiter_classes >> class_of(*p)) & 1;
}

namespace flag {
constexpr uint32_t greater = 0x00080000u;
constexpr uint32_t percent = 0x00040000u;
constexpr uint32_t less = 0x00100000u;
constexpr uint32_t sign = 0x00200000u;
constexpr uint32_t nul = 0x00400000u;
constexpr uint32_t hash = 0x00800000u;
constexpr uint32_t exponent = 0x01000000u;
constexpr uint32_t quote = 0x02000000u;
constexpr uint32_t colon = 0x04000000u;
constexpr uint32_t comma = 0x08000000u;
constexpr uint32_t dot = 0x10000000u;
constexpr uint32_t caret = 0x20000000u;
constexpr uint32_t utf8_short = 0x40000000u; // lead byte of a 2- or 3-byte character
constexpr uint32_t utf8_long = 0x80000000u;  // lead byte of a 4-byte character
} // namespace flag

// True for the 21 Unicode space code points that are trimmed before words
// and end them.
bool is_unicode_space(uint32_t code_point);

// Final kinds of tokens (66-101); a kind minus 66 is its pair index.
enum Final : uint32_t {
    end_of_input = 66,
    invalid,
    block_open,
    block_close,
    paren_open,
    paren_close,
    brace_open,
    brace_close,
    map_open,
    path_start,
    construct,
    comment,
    comma,
    string,
    word,
    issue,
    integer,
    refinement,
    character,
    file,
    binary,
    percent,
    float_number,
    float_special,
    tuple,
    date,
    pair,
    point,
    time,
    money,
    tag,
    url,
    email,
    hex_integer,
    raw_string,
    ref,
};
constexpr uint32_t first_final = 66;
constexpr uint32_t final_count = 36;

// Datatype id of a token of that final kind, 0 for structural kinds.
uint32_t type_of_final(uint32_t final);

// The code a structural token reports in place of a type: minus its pair
// index plus one.
inline int32_t structural_code(uint32_t final) {
    return -int32_t(final - first_final + 1);
}

// Entry states of the next token.
namespace entry {
constexpr uint32_t normal = 0;
constexpr uint32_t braced_string = 4;
constexpr uint32_t point = 35;
constexpr uint32_t path = 59;
} // namespace entry

// The lexer's internal stop code: ends a scan quietly.
constexpr uint32_t stop_code = 10;

enum class Event : uint32_t { prescan, scan, load, open, close, error };
constexpr uint32_t all_events = 63;

// What a trace callback is told of one token.
struct TraceInfo {
    Event event;
    int32_t type;      // datatype id, or the structural code
    uint32_t line;     // current line, from 1
    uint32_t start;    // 1-based position of the token (characters for string input)
    uint32_t end;      // 1-based position just after the token
    uint32_t index;    // 0-based position of the input series; the callback may move it
    const Cell* value; // the value just built (load events), else null
};

class Tracer {
  public:
    virtual ~Tracer() = default;
    // False to `prescan` skips the token, to `scan` skips its load, to
    // `load` drops the value, to `open` opens nothing, to `close` ignores
    // the closer, to `error` ends the scan quietly.
    virtual bool on_event(TraceInfo& info) = 0;
    uint32_t mask = all_events; // bit (1 << event) for each event wanted
};

// One running scan. Positions are byte pointers into the UTF-8 input;
// value positions are indexes into the shared value buffer.
struct State {
    State* link = nullptr;    // the inner record of a nested scan
    State* parent = nullptr;  // the enclosing scan
    uint32_t head = 0;        // first value cell of this scan
    uint32_t level_start = 0; // first cell of the innermost open series
    uint32_t tail = 0;        // next free cell
    const uint8_t* input_start = nullptr;
    const uint8_t* input_end = nullptr;
    const uint8_t* position = nullptr;
    const uint8_t* token_end = nullptr;
    uint32_t line = 1;
    uint32_t token_lines = 0;
    int32_t fallback_type = -1;
    int32_t type = 0;
    uint32_t entry_state = entry::normal;
    int32_t error_type = 0; // type of the kind being scanned when the token failed
    bool error_at_opener = false;
    int32_t open_type = 0; // type of the series left open at the end of input
    uint32_t element = 0;  // final kind of the element of a path start
    int32_t previous_type = 0;
    const uint8_t* brace_start = nullptr;
    uint32_t brace_depth = 0;
    uint32_t brace_flags = 0;
    Tracer* tracer = nullptr;
    bool string_input = false;           // positions reported in characters
    const uint8_t* counted_to = nullptr; // characters counted up to here
    uint32_t counted = 0;
    bool raise_errors = false; // loading: neither prescan nor scan mode
    bool prescan = false;
    bool one_value = false;
    bool not_scan = true;
    bool stopped = false;
    bool new_line = false; // a line break came before the token being loaded
};

// One token found in the input: its final kind and its extent. `end` is
// where the next token starts; the value text is [start, text_end).
struct Token {
    uint32_t final = end_of_input;
    const uint8_t* start = nullptr;
    const uint8_t* text_end = nullptr;
    const uint8_t* end = nullptr;
    int32_t error_type = 0;       // invalid tokens: the type of the kind being scanned
    bool error_at_opener = false; // invalid tokens: report at the innermost opener
    uint32_t element = 0;         // path starts: the final kind of the element
};
// Finds the token that starts at `from` in the entry state of `state`.
Token next_token(const State& state, const uint8_t* from);

// Scan and load entries: (state, token start, token end, flags, load?).
using Entry = void (*)(State& state, const uint8_t* start, const uint8_t* end, uint32_t flags,
                       bool load);
void set_load_entry(uint32_t final, Entry load);
Entry load_entry(uint32_t final);
// Puts every load entry back to the one that raises `not-done`, and
// takes the lexer's single-value scan away from the word module.
void reset_load_entries();

// Makes a series of `type` from `count` value cells in `out`, or appends
// the cells to the block `into` when it is not null.
using SeriesMaker = void (*)(Cell& out, const Cell* first, uint32_t count, uint32_t type,
                             Cell* into);
void set_series_maker(SeriesMaker maker);

// A fresh slot at the tail of the value buffer (valid until the next one).
Cell& grow_buffer(State& state);
// The value cell at an index of the value buffer.
Cell& value_at(uint32_t index);

struct Options {
    bool one_value = false;
    bool load = true;     // false: prescan
    bool not_scan = true; // false: scan mode (classify, no values)
    bool wrap = false;
    Tracer* tracer = nullptr;
    Cell* into = nullptr;
};

// Scans `length` bytes of UTF-8. Returns the type of the last token (the
// error! id after a quiet failure); `consumed` receives the bytes used.
int32_t scan(Cell& out, const uint8_t* text, uint32_t length, const Options& options,
             uint32_t* consumed = nullptr);
// Scans `length` characters (-1: to the tail) of a string! value from its
// head; `consumed` and trace positions are in characters.
int32_t load_string(Cell& out, const Cell& str, int32_t length, const Options& options,
                    uint32_t* consumed = nullptr);

// Decodes a caret escape; `p` is just after the `^`. Returns the bytes used
// after the caret, 0 when the escape is invalid.
uint32_t decode_escape(const uint8_t* p, const uint8_t* end, uint32_t& code_point);

// Raises the syntax error of a failed token (or stops the scan quietly when
// errors are not raised). `start` null means the innermost opener. A type
// of -1 is a bad character, -2 a bad construction, -3 a stray closer, -4 an
// unclosed series, a datatype id an invalid value of that type.
[[noreturn]] void throw_error(State& state, const uint8_t* start, int32_t type);

// The arguments of the last syntax error raised, as text.
struct ErrorReport {
    uint32_t id = 0;
    int32_t type = 0;     // datatype of an `invalid` error
    std::string line;     // "(line N)"
    std::string near;     // up to 30 bytes of input from the failure
    std::string expected; // the character a `missing` error names
};
extern ErrorReport last_report;

// Fills the load entries of date! and money! tokens (called by
// install_loaders).
void install_date_and_money_loaders();

// Fills the load entries of every kind whose datatype is built and the
// series maker (blocks, parens and paths); called by init.
void install_loaders();

// Whether values of a datatype may be loaded: a value of a datatype that
// is not built yet is refused with internal not-done wherever it stands.
// Set by the start-up program; while null every value is accepted.
extern bool (*built_type)(uint32_t type);
// Raises internal `not-done` naming a datatype that cannot be loaded yet.
[[noreturn]] void raise_not_done(uint32_t type);

// Loads source text into a block! of its values in `out`: UTF-8 bytes (a
// leading byte-order mark skipped), or a string! from its head. A value
// that follows a line break carries the new-line flag. Syntax errors are
// raised.
void load(Cell& out, const uint8_t* text, uint32_t length);
void load(Cell& out, const Cell& text);

void init();
// Marks the values of every running scan (registered with the collector).
void mark();

} // namespace kiv::lexer
