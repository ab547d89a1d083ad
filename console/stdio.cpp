#include "console/stdio.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "datatypes/block.h"
#include "datatypes/string.h"
#include "datatypes/types.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "evaluator/stack.h"
#include "runtime/console.h"
#include "runtime/error_ids.h"
#include "runtime/memory.h"
#include "runtime/output_hooks.h"
#include "runtime/roots.h"
#include "runtime/throw.h"
#include "runtime/words.h"

namespace kiv::console {
namespace {

// Runs `body` inside a try frame, as the try native does: in a frame of
// its own that receives the value (the body writes its caller's slot 0)
// or the error. Both frames are named <body>, so errors do not name them. Returns true when the
// body ended normally.
template <class Body>
bool trap(Body body, Cell& result) {
    stack::mark_native(words::word<"<body>">());
    stack::mark_try(words::word<"<body>">());
    unset::push(); // the result until the body writes one
    bool ok = true;
    try {
        body();
        stack::unwind_last();
    } catch (const runtime::Throw& t) {
        if (t.code != runtime::code::error) throw;
        stack::adjust_post_try();
        ok = false;
    }
    runtime::record.pending = 0;
    result = *stack::state.base;
    stack::unwind();
    stack::reset();
    return ok;
}

void write_string(const Cell& text, bool newline) {
    Buffer* b = memory::buffer_of(text.w2);
    uint8_t* head = b->head + text.w1 * b->unit();
    os_console::write(head, size_t(b->tail - head), b->unit(), newline);
}

// The text of a value: formed (forms and errors) or molded, limited to
// `limit` characters when it is positive.
void text_of(const Cell& value, bool mold, Rooted<Cell>& out) {
    string::make_at(*out, 64);
    if (mold)
        actions::mold(value, *out, false, false, false, nullptr, INT32_MAX, 0);
    else
        actions::form(value, *out, nullptr, INT32_MAX);
}

void print_error(const Cell& error) {
    Rooted<Cell> text;
    text_of(error, false, text);
    write_string(*text, true);
}

int terminal_columns() {
    winsize size{};
    if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col)
        return size.ws_col;
    return 0;
}

// Prints the result of an input: an error and an empty line, nothing for
// unset!, else "== " and the molded value (a float formed), cut to the
// terminal's width.
void print_result(const Cell& value, bool failed) {
    if (failed) {
        print_error(value);
        os_console::write_text("\n", 1);
        return;
    }
    if (cell::type_of(value) == TYPE_UNSET) return;
    Rooted<Cell> v(value);
    Rooted<Cell> text;
    Rooted<Cell> failure;
    bool ok = trap([&] { text_of(*v, cell::type_of(*v) != TYPE_FLOAT, text); }, *failure);
    if (!ok) return print_error(*failure);
    int limit = terminal_columns() - 3;
    if (limit > 0 && string::length(*text) > uint32_t(limit)) {
        uint32_t cut = uint32_t(limit) - 3;
        string::truncate_buffer(memory::buffer_of(text->w2), cut);
        string::append_c_string(*text, "...");
    }
    os_console::write_text("== ", 3);
    write_string(*text, true);
}

// Loads text into a block; false with the error when it does not load.
bool load_text(const std::string& source, Rooted<Cell>& code, Cell& error) {
    return trap(
        [&] {
            lexer::load(*code, reinterpret_cast<const uint8_t*>(source.data()),
                        uint32_t(source.size()));
        },
        error);
}

// Evaluates a block under a try frame; the value or the error.
bool eval_block(const Cell& block, Cell& result) {
    Rooted<Cell> code(block);
    return trap([&] { interpreter::eval(*code, true); }, result);
}

// Where the script's header starts: "Kiv", optionally "/System", white
// space, then "[". npos when there is none.
size_t find_header(const std::string& text) {
    for (size_t at = text.find("Kiv"); at != std::string::npos; at = text.find("Kiv", at + 1)) {
        size_t p = at + 3;
        if (text.compare(p, 7, "/System") == 0) p += 7;
        while (p < text.size() && std::isspace(static_cast<unsigned char>(text[p]))) ++p;
        if (p < text.size() && text[p] == '[') return at;
    }
    return std::string::npos;
}

// The opening character of the series that the last load error found
// unclosed, or 0 when the error is not about input that more lines could
// complete.
char open_delimiter() {
    // A braced string still open at the end of the input.
    const lexer::ErrorReport& report = lexer::last_report;
    if (report.id == err::syntax::invalid && report.type == TYPE_STRING &&
        report.near.starts_with('{'))
        return '{';
    if (!lexer::last_report.expected.size() || lexer::last_report.id != err::syntax::missing)
        return 0;
    switch (lexer::last_report.expected[0]) {
    case ']': return '[';
    case ')': return '(';
    case '}': return '{';
    default: return 0;
    }
}

// The console's print hook: what print and prin hand over goes to
// standard output.
void print_hook(const Cell* value, int new_line) {
    write_string(*value, new_line != 0);
}

} // namespace

void init() {
    output_hooks::register_(print_hook, nullptr);
}

int run_script(const std::string& path, const std::vector<std::string>&) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        os_console::write_c_string(("*** Access Error: cannot open: " + path + "\n").c_str());
        return 1;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t header = find_header(text);
    if (header == std::string::npos) {
        os_console::write_c_string("*** Error: Kiv header not found!\n");
        return 1;
    }
    Rooted<Cell> code;
    Rooted<Cell> result;
    if (!load_text(text.substr(header), code, *result)) {
        print_error(*result);
        return 1;
    }
    Cell* cells = block::rs_head(*code);
    if (block::rs_length(*code) < 2 || cell::type_of(cells[0]) != TYPE_WORD ||
        cell::type_of(cells[1]) != TYPE_BLOCK) {
        os_console::write_c_string("*** Error: not a Kiv program!\n");
        return 1;
    }
    code->w1 += 2;
    if (!eval_block(*code, *result)) {
        print_error(*result);
        return 1;
    }
    return 0;
}

void run() {
    std::string buffer;
    std::string cue;
    std::string line;
    for (;;) {
        const std::string& prompt = cue.empty() ? std::string(">> ") : cue;
        os_console::write_text(prompt.data(), uint32_t(prompt.size()));
        if (!std::getline(std::cin, line)) {
            os_console::write_text("\n", 1);
            return;
        }
        if (line.empty() && cue.empty()) continue;
        if (!line.empty() && line.back() == '\x1b') {
            buffer.clear();
            cue.clear();
            os_console::write_c_string("(escape)\n");
            continue;
        }
        buffer += line;
        buffer += '\n';
        Rooted<Cell> code;
        Rooted<Cell> result;
        if (!load_text(buffer, code, *result)) {
            if (char open = open_delimiter()) {
                cue = std::string(1, open) + "    ";
                continue;
            }
            print_result(*result, true);
        } else if (block::rs_length(*code) > 0) {
            bool ok = eval_block(*code, *result);
            print_result(*result, !ok);
        }
        buffer.clear();
        cue.clear();
    }
}

} // namespace kiv::console
