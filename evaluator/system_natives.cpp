#include "evaluator/system_natives.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/file.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/natives.h"
#include "datatypes/none.h"
#include "datatypes/pair.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/time.h"
#include "datatypes/typeset.h"
#include "datatypes/unset.h"
#include "datatypes/url.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "evaluator/parse.h"
#include "evaluator/trace.h"
#include "io/checksum.h"
#include "io/containers.h"
#include "io/deflate.h"
#include "io/files.h"
#include "io/inflate.h"
#include "platform/os.h"
#include "platform/process.h"
#include "runtime/case.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/memory.h"
#include "runtime/plan_store.h"
#include "runtime/protected_call.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace kiv::system_natives {

int (*do_events)(bool no_wait) = nullptr;

namespace {

using runtime::Category;

Cell* arg(uint32_t i) {
    return stack::state.base + i;
}

bool present(const int32_t* refinements, uint32_t i) {
    return refinements[i] >= 0;
}

// The first argument of a refinement that takes one.
Cell* refinement_arg(const int32_t* refinements, uint32_t i) {
    return arg(uint32_t(refinements[i]));
}

[[noreturn]] void script_error(uint32_t id, const Cell* arg1 = nullptr,
                               const Cell* arg2 = nullptr) {
    runtime::fire_error(Category::script, id, arg1, arg2);
}

[[noreturn]] void not_done() {
    runtime::fire_error(Category::internal, err::internal::not_done);
}

// An integer! when it fits in 32 bits, else a float!.
void make_count(Cell& cell, double value) {
    if (value <= 2147483647.0)
        integer::make_at(cell, int32_t(value));
    else
        float_::make_at(cell, value);
}

void append_count(Cell& block, double value, bool new_line) {
    Cell c{};
    make_count(c, value);
    if (new_line) c.header |= cell::new_line_flag;
    block::append_value(block, c);
}

// The UTF-8 text of a string-family value or the spelling of a word.
std::string name_text(const Cell& value) {
    if (word::any_word(cell::type_of(value))) return symbol::c_name(value.w2);
    return url::utf8_text(value);
}

bool same_series(const Cell& a, const Cell& b) {
    return cell::type_of(a) == cell::type_of(b) && a.w2 == b.w2;
}

// ------------------------------------------------------------------ parse

void eval_paren(const Cell& paren, Cell& out) {
    Cell* top = stack::state.top;
    interpreter::eval(paren, false);
    if (runtime::record.pending) return;
    out = *stack::get_top();
    stack::state.top = top;
}

void get_word(const Cell& word, Cell& out) {
    Cell* top = stack::state.top;
    out = *word::get_value(word);
    stack::state.top = top;
}

void set_word(const Cell& word, const Cell& value) {
    Cell target = word;
    word::set(target, value);
}

// Calls the trace function with the five event arguments as they are; its
// answer read as a condition.
bool call_trace(const Cell& callback, const Cell* args) {
    Cell* top = stack::state.top;
    interpreter::call_with_values(callback, args, 5, interpreter::call_kind::parse);
    if (runtime::record.pending) return true;
    bool go_on = !logic::counts_false(*stack::get_top());
    stack::state.top = top;
    return go_on;
}

// parse input rules /case /part length /trace callback
void parse_native(bool, const int32_t* refinements) {
    const Cell& input = *arg(0);
    int32_t part = -1;
    if (present(refinements, 1)) {
        const Cell& limit = *refinement_arg(refinements, 1);
        uint32_t type = cell::type_of(limit);
        if (type == TYPE_INTEGER)
            part = integer::get(limit);
        else if (type == TYPE_FLOAT || type == TYPE_PERCENT)
            part = int32_t(std::clamp(cell::get_float(limit), -1.0, 2147483647.0));
        else if (same_series(limit, input))
            part = int32_t(limit.w1) - int32_t(input.w1);
        else
            script_error(err::script::invalid_refine_arg, &words::refinement<"part">(), &limit);
        part = std::max(part, 0);
    }
    Cell callback{};
    if (present(refinements, 2))
        callback = *refinement_arg(refinements, 2);
    else
        none::make_at(callback);
    int32_t case_code = present(refinements, 0) ? parse::case_sensitive : parse::case_insensitive;
    Cell* result = parse::process(input, *arg(1), case_code, part, callback);
    // A break, continue, return or exit from a paren action has already
    // moved the stack to its target: pass it on untouched.
    if (!result) return;
    stack::keep_last(*result);
}

// -------------------------------------------------------------- transcode

// Scans the bytes of a binary! from its head (at most `length` when not
// negative), skipping a UTF-8 byte-order mark; `consumed` counts the mark.
int32_t scan_binary(Cell& out, const Cell& src, int32_t length, const lexer::Options& options,
                    uint32_t& consumed) {
    static constexpr uint8_t bom[] = {0xEF, 0xBB, 0xBF};
    uint32_t n = binary::length(src);
    if (length >= 0) n = std::min(n, uint32_t(length));
    // A copy: the scan allocates, and the source buffer may move meanwhile.
    std::vector<uint8_t> text(binary::head_ptr(src), binary::head_ptr(src) + n);
    text.push_back(0);
    uint32_t skipped = n >= 3 && std::equal(bom, bom + 3, text.begin()) ? 3 : 0;
    int32_t type = lexer::scan(out, text.data() + skipped, n - skipped, options, &consumed);
    consumed += skipped;
    return type;
}

// The /trace callback of transcode: called with the event word, the input
// at the token (its start for `open` and the prescan of a structural
// token, just after it otherwise), the token's datatype (none for a
// structural token), the line, and the loaded value or, for the other
// events, the token's 1-based start and end as a pair!. Its answer is read
// as a condition.
// A block of event words at the head of the callback's body chooses the
// events it is called for.
constexpr const char* lexer_events[] = {"prescan", "scan", "load", "open", "close", "error"};

uint32_t lexer_event_bit(uint32_t wanted) {
    for (uint32_t e = 0; e < std::size(lexer_events); ++e)
        if (symbol::resolve(symbol::intern(lexer_events[e])) == wanted) return 1u << e;
    return 0;
}

class TranscodeTracer : public lexer::Tracer {
  public:
    TranscodeTracer(const Cell& callback, const Cell& input) : callback_(callback), input_(input) {
        mask = interpreter::body_event_mask(callback, lexer::all_events, lexer_event_bit);
    }

    bool on_event(lexer::TraceInfo& info) override {
        const auto& events = lexer_events;
        Cell args[5];
        args[0] = word::load(events[uint32_t(info.event)]);
        args[1] = input_;
        args[1].w1 = input_.w1 + info.index;
        if (info.type > 0)
            datatype::make_at(args[2], uint32_t(info.type));
        else
            none::make_at(args[2]);
        integer::make_at(args[3], int32_t(info.line));
        if (info.value)
            args[4] = *info.value;
        else
            pair::make_at(args[4] = Cell{}, int32_t(info.start), int32_t(info.end));
        // An exit out of the callback crosses the lexer as an exception.
        bool go_on = true;
        runtime::protected_call(
            runtime::stops::nothing,
            [&] {
                interpreter::call_with_values(callback_, args, 5, interpreter::call_kind::lexer);
            },
            [&] { go_on = !logic::counts_false(*stack::get_top()); });
        return go_on;
    }

  private:
    const Cell& callback_;
    const Cell& input_;
};

// transcode src /next /one /prescan /scan /part length /into dst /trace fn
void transcode(bool, const int32_t* refinements) {
    const Cell& src = *arg(0);
    bool bytes = cell::type_of(src) == TYPE_BINARY;
    int32_t length = -1;
    if (present(refinements, 4)) {
        // A count, or for binary! input a position in it.
        const Cell& limit = *refinement_arg(refinements, 4);
        if (cell::type_of(limit) == TYPE_INTEGER)
            length = std::max(integer::get(limit), 0);
        else if (bytes && same_series(limit, src))
            length = std::max(int32_t(limit.w1) - int32_t(src.w1), 0);
        else
            script_error(err::script::not_same_type);
    }
    lexer::Options options;
    bool next = present(refinements, 0);
    options.one_value = next || present(refinements, 1) || present(refinements, 3);
    options.load = !present(refinements, 2);
    options.not_scan = !present(refinements, 3);
    if (present(refinements, 5)) options.into = refinement_arg(refinements, 5);
    std::optional<TranscodeTracer> tracer;
    if (present(refinements, 6))
        options.tracer = &tracer.emplace(*refinement_arg(refinements, 6), src);
    Rooted<Cell> out;
    uint32_t consumed = 0;
    int32_t type = bytes ? scan_binary(*out, src, length, options, consumed)
                         : lexer::load_string(*out, src, length, options, &consumed);
    if (!options.not_scan || !options.load) {
        // Scan and prescan modes classify: the datatype of the first
        // token (exact, or guessed from the fast pass), none for an empty
        // input or a structural token.
        if (type > 0)
            datatype::make_at(*out, uint32_t(type));
        else
            none::make_at(*out);
    }
    if (next) {
        // The value and the input after it.
        Rooted<Cell> pair;
        block::make_at(*pair, 2);
        block::append_value(*pair, *out);
        Cell rest = src;
        rest.w1 = std::min(rest.w1 + consumed, memory::buffer_of(src.w2)->length());
        block::append_value(*pair, rest);
        *out = *pair;
    }
    stack::keep_last(*out);
}

// ------------------------------------------------------------------- text

void dehex(bool, const int32_t*) {
    Rooted<Cell> out;
    string::make_at(*out, string::length(*arg(0)));
    url::decode(*arg(0), *out);
    stack::set_last(*out);
}

void enhex(bool, const int32_t*) {
    Rooted<Cell> out;
    string::make_at(*out, string::length(*arg(0)));
    url::encode(*arg(0), *out, url::file_name);
    stack::set_last(*out);
}

template <int Mode>
void change_case(bool, const int32_t* refinements) {
    const Cell* part = present(refinements, 0) ? refinement_arg(refinements, 0) : nullptr;
    string::change_case(*arg(0), part, Mode);
}

// The base of debase and enbase: 64 unless /base names 2, 16, 58 or 64;
// any other is refused.
uint32_t base_of(const int32_t* refinements) {
    if (!present(refinements, 0)) return 64;
    const Cell& base = *refinement_arg(refinements, 0);
    int32_t b = integer::get(base);
    if (b != 64 && b != 58 && b != 16 && b != 2) script_error(err::script::invalid_arg, &base);
    return uint32_t(b);
}

// debase value /base base-value: the bytes, or none when the text is not
// of the base.
void debase(bool, const int32_t* refinements) {
    uint32_t base = base_of(refinements);
    const Cell& text = *arg(0);
    Buffer* b = memory::buffer_of(text.w2);
    std::vector<uint8_t> bytes;
    Rooted<Cell> out;
    if (binary::decode(base, b->head + size_t(series::head_of(text)) * b->unit(),
                       string::length(text), b->unit(), bytes))
        binary::load_at(*out, bytes.data(), uint32_t(bytes.size()));
    else
        none::make_at(*out);
    stack::set_last(*out);
}

// enbase value /base base-value: the text of a binary's bytes, or of a
// string's UTF-8, on one line.
void enbase(bool, const int32_t* refinements) {
    uint32_t base = base_of(refinements);
    const Cell& value = *arg(0);
    bool bytes = cell::type_of(value) == TYPE_BINARY;
    std::string utf8 = bytes ? std::string() : url::utf8_text(value);
    size_t n = bytes ? binary::length(value) : utf8.size();
    size_t size = binary::encoded_size(base, n);
    if (size > 0x7FFFFFF0u) script_error(err::script::too_long);
    Rooted<Cell> out;
    string::make_at(*out, uint32_t(size));
    // The source is read after the allocation, which may move it.
    const uint8_t* source =
        bytes ? binary::head_ptr(value) : reinterpret_cast<const uint8_t*>(utf8.data());
    Buffer* b = memory::buffer_of(out->w2);
    b->tail = reinterpret_cast<uint8_t*>(
        binary::encode(base, reinterpret_cast<char*>(b->head), source, n));
    stack::set_last(*out);
}

// The method word of checksum, compress or decompress must be one of the
// names (compared without case); else invalid-arg naming it.
template <size_t N>
size_t method_index(const Cell& method, const std::array<std::string_view, N>& names) {
    std::string_view spelling = symbol::c_name(method.w2);
    for (size_t i = 0; i < N; ++i) {
        if (std::ranges::equal(spelling, names[i], [](char a, char b) {
                return std::tolower(uint8_t(a)) == std::tolower(uint8_t(b));
            }))
            return i;
    }
    script_error(err::script::invalid_arg, &method);
}

constexpr std::array<std::string_view, 9> checksum_methods = {
    "MD5", "SHA1", "SHA256", "SHA384", "SHA512", "CRC32", "TCP", "ADLER32", "hash"};
enum ChecksumMethod : size_t { crc32_word = 5, tcp_word = 6, adler32_word = 7, hash_word = 8 };

// The bytes a value holds for checksum and compress: a binary! from its
// head, text as UTF-8 from its head, a file! (checksum only) read whole.
// `copy` holds them unless they are a binary's, which are read in place:
// the span is then valid until the next allocation.
std::span<const uint8_t> bytes_of(const Cell& value, std::vector<uint8_t>& copy) {
    switch (cell::type_of(value)) {
    case TYPE_BINARY: return {binary::head_ptr(value), binary::length(value)};
    case TYPE_FILE: {
        io::BytesResult content = io::read_file(file::to_os_string(value));
        if (!content.status.ok()) file::raise_cannot_open(value, content.status.code);
        copy = std::move(content.bytes);
        return copy;
    }
    default: {
        std::string text = url::utf8_text(value);
        copy.assign(text.begin(), text.end());
        return copy;
    }
    }
}

// checksum data method /with spec: an integer! for CRC32, TCP and ADLER32
// (32 bits, so a CRC above 2^31 is negative); the digest as binary! for
// the others, or with a text or binary key their HMAC.
void checksum(bool, const int32_t* refinements) {
    const Cell& method = *arg(1);
    size_t word = method_index(method, checksum_methods);
    const bool keyed = present(refinements, 0);
    const bool integer_result = word == crc32_word || word == tcp_word || word == adler32_word;
    const Cell* key = keyed ? refinement_arg(refinements, 0) : nullptr;
    if (keyed && (integer_result || cell::type_of(*key) == TYPE_INTEGER))
        script_error(err::script::invalid_refine_arg, &words::refinement<"with">(), key);
    if (word == hash_word) not_done();

    std::vector<uint8_t> data_copy, key_copy;
    // A binary's bytes are read in place: nothing below allocates until
    // the digest is made.
    std::span<const uint8_t> data = bytes_of(*arg(0), data_copy);
    Rooted<Cell> out;
    if (integer_result) {
        uint32_t sum = word == crc32_word ? crypto::crc32(data)
                       : word == tcp_word ? crypto::tcp_checksum(data)
                                          : crypto::adler32(data);
        integer::make_at(*out, int32_t(sum));
    } else {
        int number = crypto::method_number(symbol::c_name(method.w2));
        auto digest = keyed ? crypto::hmac(data, bytes_of(*key, key_copy), number)
                            : crypto::get_digest(data, number);
        if (!digest) script_error(err::script::invalid_arg, &method);
        binary::load_at(*out, digest->bytes.data(), uint32_t(digest->size));
    }
    stack::set_last(*out);
}

using Codec = codec::Code (*)(codec::Bytes, std::span<uint8_t>, size_t&);

// Runs a codec over the bytes of `source` into a new binary! of the given
// capacity, and once more into one of the size it asks for when that was
// too small. Any other failure raises invalid-data naming the method.
void run_codec(Codec codec, const Cell& source, size_t capacity, const Cell& method) {
    Rooted<Cell> in(source);
    Rooted<Cell> out;
    std::vector<uint8_t> text;
    for (;;) {
        binary::make_at(*out, memory::series_length(capacity));
        // Read after the allocation, which may move the source's bytes.
        std::span<const uint8_t> input = bytes_of(*in, text);
        Buffer* b = memory::buffer_of(out->w2);
        size_t size = 0;
        codec::Code code = codec(input, {b->head, capacity}, size);
        if (code == codec::Code::done) {
            b->tail = b->head + size;
            stack::set_last(*out);
            return;
        }
        if (code != codec::Code::too_small || size <= capacity)
            script_error(err::script::invalid_data, &method);
        capacity = size;
    }
}

constexpr std::array<std::string_view, 3> compress_methods = {"zlib", "deflate", "gzip"};
constexpr std::array<Codec, 3> compressors = {zlib::compress, deflate::compress, gzip::compress};
constexpr std::array<Codec, 3> decompressors = {zlib::decompress, inflate::decompress,
                                                gzip::decompress};
constexpr std::array<size_t, 3> container_overhead = {zlib::overhead, 0, gzip::overhead};

// compress data method: the zlib, raw DEFLATE or gzip form of a binary's
// bytes or a text's UTF-8.
void compress(bool, const int32_t*) {
    const Cell& method = *arg(1);
    size_t m = method_index(method, compress_methods);
    std::vector<uint8_t> text;
    size_t length = bytes_of(*arg(0), text).size();
    run_codec(compressors[m], *arg(0), deflate::bound(length) + container_overhead[m], method);
}

// decompress data method /size sz: the bytes a binary's zlib, raw DEFLATE
// or gzip data decode to. The size, or the length a gzip trailer records,
// only sizes the first try; neither is trusted beyond what the input could
// decode to.
void decompress(bool, const int32_t* refinements) {
    const Cell& method = *arg(1);
    size_t m = method_index(method, compress_methods);
    const Cell& data = *arg(0);
    const size_t length = binary::length(data);
    // DEFLATE expands at most 1032 times (258 bytes from 2 bits).
    const size_t most = 1032 * length + 64;
    size_t capacity = 4 * length + 64;
    if (present(refinements, 0)) {
        const Cell& size = *refinement_arg(refinements, 0);
        if (integer::get(size) < 0) script_error(err::script::out_of_range, &size);
        capacity = size_t(integer::get(size));
    } else if (compress_methods[m] == "gzip") {
        capacity = gzip::recorded_length({binary::head_ptr(data), length});
    }
    // Only a size the data really needs may be refused as too large.
    capacity = std::min({capacity, most, size_t(memory::max_series_length)});
    run_codec(decompressors[m], data, capacity, method);
}

// ------------------------------------------------------------------- call

// The child's standard input from a /input value: a file! opened, text as
// UTF-8, a binary's bytes as they are. `copy` holds text bytes; a binary is
// read in place, which holds while nothing allocates until the child ends.
os::InputSource input_source(const Cell& in, std::vector<uint8_t>& copy) {
    if (cell::type_of(in) == TYPE_FILE)
        return {os::InputSource::Kind::file, {}, file::to_os_string(in)};
    std::span<const uint8_t> bytes = bytes_of(in, copy);
    return {os::InputSource::Kind::bytes,
            {reinterpret_cast<const char*>(bytes.data()), bytes.size()},
            {}};
}

os::OutputTarget output_target(const Cell& out) {
    if (cell::type_of(out) == TYPE_FILE)
        return {os::OutputTarget::Kind::file, file::to_os_string(out)};
    return {os::OutputTarget::Kind::capture, {}};
}

// Appends captured bytes to the /output or /error value: to a binary! as
// they are, to a string! decoded as UTF-8 (all at once, so that a
// character split between reads comes out whole).
void append_captured(Cell& target, const std::string& bytes) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    if (cell::type_of(target) == TYPE_BINARY)
        return binary::append_bytes(target, data, bytes.size());
    if (cell::type_of(target) != TYPE_STRING || bytes.empty()) return;
    Rooted<Cell> text;
    string::load_at(data, bytes.size(), *text, string::Encoding::utf8);
    string::concatenate(target, *text, -1, false);
}

// call cmd /wait /show /console /shell /input in /output out /error err:
// runs a program (or, with /shell, a command of /bin/sh). A program not
// found is tried once more through the shell. Answers the exit code with
// /wait, else the process id; -1 when nothing could be started. /show has
// no meaning here; /console is not built.
void call(bool, const int32_t* refinements) {
    enum : uint32_t {
        wait_ref,
        show_ref,
        console_ref,
        shell_ref,
        input_ref,
        output_ref,
        error_ref
    };
    if (present(refinements, console_ref)) not_done();
    const Cell& command = *arg(0);
    const bool is_file = cell::type_of(command) == TYPE_FILE;
    const std::string text = is_file ? file::to_os_string(command) : url::utf8_text(command);
    // The OS would end the command or an argument at a NUL and run
    // another command.
    if (text.find('\0') != std::string::npos) script_error(err::script::invalid_arg, &command);
    const bool shell = present(refinements, shell_ref);

    os::ProcessRequest request;
    request.wait = present(refinements, wait_ref);
    if (shell)
        request.argv = {"/bin/sh", "-c", text};
    else
        request.argv = is_file ? std::vector<std::string>{text} : os::split_command(text);
    if (present(refinements, output_ref))
        request.output = output_target(*refinement_arg(refinements, output_ref));
    if (present(refinements, error_ref))
        request.error = output_target(*refinement_arg(refinements, error_ref));
    // Last: a binary's bytes are read in place, so nothing may allocate
    // between here and the end of the child.
    std::vector<uint8_t> input_copy;
    if (present(refinements, input_ref))
        request.input = input_source(*refinement_arg(refinements, input_ref), input_copy);

    os::ProcessResult result = os::run_process(request);
    if (!result.launched && result.not_found && !shell) {
        request.argv = {"/bin/sh", "-c", text};
        result = os::run_process(request);
    }
    if (present(refinements, output_ref))
        append_captured(*refinement_arg(refinements, output_ref), result.output);
    if (present(refinements, error_ref))
        append_captured(*refinement_arg(refinements, error_ref), result.error);
    integer::make_at(*arg(0), result.launched ? result.code : -1);
}

// --------------------------------------------------------------- new-line

// new-line position value /all /skip size: without /all and /skip only the
// value at position; else every value to the tail, the flag equal to
// value at multiples of the step from position and its opposite between.
void new_line(bool, const int32_t* refinements) {
    const Cell& position = *arg(0);
    bool on = logic::get(*arg(1));
    int32_t step = 0;
    if (present(refinements, 1)) {
        const Cell& size = *refinement_arg(refinements, 1);
        step = integer::get(size);
        if (step < 1) script_error(err::script::out_of_range, &size);
    } else if (present(refinements, 0)) {
        step = 1;
    }
    plan_store::touch(position.w2);
    Cell* head = block::rs_head(position);
    Cell* tail = block::rs_tail(position);
    Cell* end = step ? tail : std::min(head + 1, tail);
    for (Cell* c = head; c < end; ++c) {
        bool flag = step ? ((c - head) % step == 0) == on : on;
        if (flag)
            c->header |= cell::new_line_flag;
        else
            cell::clear_bit_30(*c);
    }
}

void new_line_q(bool, const int32_t*) {
    const Cell& position = *arg(0);
    Cell* head = block::rs_head(position);
    bool flag = head < block::rs_tail(position) && (head->header & cell::new_line_flag);
    logic::make_at(*arg(0), flag);
}

// --------------------------------------------------------------------- as

// 1 for the block-like class (hash! excepted: it keeps a hash table), 2
// for the string-like class, 0 otherwise.
int coercion_class(uint32_t type) {
    if (series::is_block_type(type)) return type == TYPE_HASH ? 0 : 1;
    return series::is_text_type(type) ? 2 : 0;
}

// as type spec: the spec series seen as another type of its class; the
// buffer is shared, only the type changes.
void as(bool, const int32_t*) {
    const Cell& type_arg = *arg(0);
    uint32_t target =
        cell::type_of(type_arg) == TYPE_DATATYPE ? type_arg.w1 : cell::type_of(type_arg);
    Cell& spec = *arg(1);
    uint32_t source = cell::type_of(spec);
    int cls = coercion_class(target);
    if (cls == 0 || cls != coercion_class(source)) {
        Cell from;
        Cell to;
        datatype::make_at(from, source);
        datatype::make_at(to, target);
        script_error(err::script::not_same_class, &from, &to);
    }
    Cell result = spec;
    cell::set_type(result, target);
    cell::clear_bit_30(result);
    stack::set_last(result);
}

// ------------------------------------------------------------------ files

void to_local_file(bool, const int32_t* refinements) {
    Rooted<Cell> out;
    string::make_at(*out, string::length(*arg(0)) + 1);
    file::to_local_path(*arg(0), *out, present(refinements, 0));
    stack::set_last(*out);
}

void size_q(bool, const int32_t*) {
    std::optional<int64_t> size = io::file_size(file::to_os_string(*arg(0)));
    if (size)
        make_count(*arg(0), double(*size));
    else
        none::make_at(*arg(0));
}

void browse(bool, const int32_t*) {
    const Cell& target = *arg(0);
    std::string text;
    if (cell::type_of(target) == TYPE_FILE) {
        Rooted<Cell> local;
        string::make_at(*local, string::length(target) + 1);
        file::to_local_path(target, *local, true);
        text = url::utf8_text(*local);
    } else {
        text = url::utf8_text(target);
    }
    os::open_with_shell(text);
    unset::make_at(*arg(0));
}

// ------------------------------------------------------------ environment

void set_env(bool, const int32_t*) {
    std::string name = name_text(*arg(0));
    const Cell& value = *arg(1);
    bool remove = cell::type_of(value) == TYPE_NONE;
    std::string text = remove ? std::string() : url::utf8_text(value);
    if (!os::set_env(name.c_str(), remove ? nullptr : text.c_str()))
        script_error(err::script::invalid_arg, arg(0));
    stack::set_last(value);
}

void get_env(bool, const int32_t*) {
    std::optional<std::string> value = os::get_env(name_text(*arg(0)).c_str());
    if (!value) return (void)none::make_at(*arg(0));
    Rooted<Cell> out;
    string::load_at(reinterpret_cast<const uint8_t*>(value->data()), uint32_t(value->size()), *out,
                    string::Encoding::utf8);
    stack::set_last(*out);
}

// A map! of name and value strings; the names are filed strictly, so that
// names differing only in case stay apart.
void list_env(bool, const int32_t*) {
    auto all = os::list_env();
    Rooted<Cell> pairs;
    block::make_at(*pairs, int32_t(all.size() * 2));
    for (const auto& [name, value] : all) {
        for (const std::string* text : {&name, &value})
            string::load_in(reinterpret_cast<const uint8_t*>(text->data()), uint32_t(text->size()),
                            *pairs, string::Encoding::utf8);
    }
    Rooted<Cell> out;
    map::make_at(*out, &*pairs, 0);
    stack::keep_last(*out);
}

// ------------------------------------------------------------------ clock

// now /year /month /day /time /zone /date /weekday /yearday /precise /utc:
// one reading of the clock, so that the fields never straddle midnight;
// only one field at a time (/time with /precise excepted).
void now(bool, const int32_t* refinements) {
    // Refinement positions: the eight field refinements, then /precise and /utc.
    constexpr uint32_t time = 3, precise = 8, utc = 9;
    // The date! field that each field refinement answers.
    static constexpr int32_t fields[] = {date::year, date::month, date::day,     date::time,
                                         date::zone, date::date,  date::weekday, date::yearday};
    int given = 0;
    for (uint32_t i = 0; i <= precise; ++i) given += present(refinements, i);
    bool precise_time = present(refinements, time) && present(refinements, precise);
    if (given > (precise_time ? 2 : 1)) script_error(err::script::bad_refines);
    os::Clock clock = os::read_clock();
    double fraction = present(refinements, precise) ? clock.nanoseconds * 1e-9 : 0.0;
    Cell& out = *arg(0);
    date::from_epoch(out, clock.seconds, fraction, present(refinements, utc) ? 0 : clock.offset);
    for (uint32_t i = 0; i < std::size(fields); ++i)
        if (present(refinements, i)) out = date::get_field(out, fields[i]);
}

void pass_events(bool no_wait) {
    if (do_events) do_events(no_wait);
}

// wait value: a number or time! is a duration in seconds, slept before
// one pass over the pending events; a block or none runs the event loop.
void wait(bool, const int32_t*) {
    const Cell& value = *arg(0);
    switch (cell::type_of(value)) {
    case TYPE_INTEGER: os::sleep(integer::get(value)); break;
    case TYPE_FLOAT:
    case TYPE_TIME: os::sleep(cell::get_float(value)); break;
    case TYPE_BLOCK:
    case TYPE_NONE: pass_events(false); break;
    default: script_error(err::script::invalid_arg, &value);
    }
    pass_events(true);
    none::make_at(*arg(0));
}

// ------------------------------------------------------ memory, collector

void stats(bool, const int32_t* refinements) {
    if (present(refinements, 0) || present(refinements, 1)) {
        Rooted<Cell> info;
        block::make_at(*info, 5);
        memory_stats(&*info, 2);
        if (present(refinements, 0)) {
            // The library's table printer shows the statistics.
            Cell printer = word::load("show-memory-stats");
            Rooted<Cell> function(*word::get_value(printer));
            Rooted<Cell> arguments;
            block::make_at(*arguments, 1);
            block::append_value(*arguments, *info);
            interpreter::call_with_block(*function, *arguments,
                                         interpreter::mode::literal_arguments);
            if (runtime::record.pending) return;
            unset::make_at(*info);
        }
        stack::keep_last(*info);
        return;
    }
    make_count(*arg(0), memory_stats(nullptr, 1));
    stack::keep();
}

void recycle(bool, const int32_t* refinements) {
    if (present(refinements, 0) || present(refinements, 1)) {
        collector::active = present(refinements, 0);
        unset::make_at(*arg(0));
        stack::keep();
        return;
    }
    collector::collect();
    make_count(*arg(0), memory_stats(nullptr, 1));
    stack::keep();
}

struct Registration {
    uint32_t index;
    natives::Entry entry;
    natives::Arity arity;
};

constexpr Registration table[] = {
    {37, stats, {0, 2}},      {40, parse_native, {2, 3}},   {47, dehex, {1, 0}},
    {48, enhex, {1, 0}},      {71, change_case<1>, {1, 1}}, {72, change_case<0>, {1, 1}},
    {84, debase, {1, 1}},     {85, to_local_file, {1, 1}},  {86, wait, {1, 1}},
    {87, checksum, {2, 1}},   {89, new_line, {2, 2}},       {90, new_line_q, {1, 0}},
    {91, enbase, {1, 1}},     {93, set_env, {2, 0}},        {94, get_env, {1, 0}},
    {95, list_env, {0, 0}},   {96, now, {0, 10}},           {98, as, {2, 0}},
    {99, call, {1, 7}},       {101, size_q, {1, 0}},        {102, browse, {1, 0}},
    {103, compress, {2, 0}},  {104, decompress, {2, 1}},    {105, recycle, {0, 2}},
    {106, transcode, {1, 7}},
};

} // namespace

double memory_stats(Cell* block, int level) {
    bool was_active = collector::active;
    collector::active = false;
    const memory::Record& r = memory::record;
    double in_use = 0;
    double held = 0;
    for (memory::NodeFrame* f = r.n_head; f; f = f->next) {
        in_use += f->used * 4.0;
        held += f->slot_count * 4.0 + 36;
    }
    for (memory::SeriesFrame* f = r.s_head; f; f = f->next) {
        in_use += double(f->next_free - f->start());
        held += f->size + 20.0;
    }
    for (memory::LargeBlock* l = r.l_head; l; l = l->next) {
        in_use += l->request;
        held += l->request + 12.0;
    }
    if (level >= 2 && block) {
        // Each sub-block is appended as soon as it is made, so that it is
        // reachable from the rooted block while the next ones allocate.
        Rooted<Cell> group;
        Rooted<Cell> row;
        block::make_at(*group, 4);
        block::append_value(*block, *group);
        for (memory::NodeFrame* f = r.n_head; f; f = f->next) {
            block::make_at(*row, 3);
            row->header |= cell::new_line_flag;
            block::append_value(*group, *row);
            for (uint32_t n : {f->slot_count - f->used, f->used, f->slot_count})
                append_count(*row, n, false);
        }
        block::make_at(*group, 4);
        block::append_value(*block, *group);
        for (memory::SeriesFrame* f = r.s_head; f; f = f->next) {
            block::make_at(*row, 3);
            row->header |= cell::new_line_flag;
            block::append_value(*group, *row);
            double used = double(f->next_free - f->start());
            for (double n : {double(f->end - f->next_free), used, double(f->size)})
                append_count(*row, n, false);
        }
        block::make_at(*group, 4);
        block::append_value(*block, *group);
        for (memory::LargeBlock* l = r.l_head; l; l = l->next)
            append_count(*group, l->request, true);
        double heap_total = double(heap::total_bytes());
        append_count(*block, held + heap_total, false);
        append_count(*block, heap_total, false);
    }
    collector::active = was_active;
    return in_use;
}

void register_natives() {
    for (const Registration& r : table) natives::register_native(r.index, r.entry, r.arity);
    parse::hooks = {eval_paren, get_word, set_word, typeset::has, bitset::has, call_trace};
}

} // namespace kiv::system_natives
