#include "console/stdio.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <iostream>
#include <optional>
#include <sstream>

#include "console/gather.h"
#include "datatypes/block.h"
#include "datatypes/file.h"
#include "datatypes/string.h"
#include "datatypes/types.h"
#include "datatypes/unset.h"
#include "datatypes/url.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/error_text.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "evaluator/stack.h"
#include "evaluator/trap.h"
#include "io/files.h"
#include "platform/os.h"
#include "runtime/console.h"
#include "runtime/error_ids.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/output_hooks.h"
#include "runtime/roots.h"
#include "runtime/throw.h"
#include "runtime/words.h"

namespace kiv::console {
namespace {

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
    error_text::form(error, *text);
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
    bool ok = trap::run([&] { text_of(*v, cell::type_of(*v) != TYPE_FLOAT, text); }, *failure);
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
    return trap::run(
        [&] {
            lexer::load(*code, reinterpret_cast<const uint8_t*>(source.data()),
                        uint32_t(source.size()));
        },
        error);
}

// Evaluates a block under a try frame; the value or the error.
bool eval_block(const Cell& block, Cell& result) {
    Rooted<Cell> code(block);
    return trap::run([&] { interpreter::eval(*code, true); }, result);
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

// The console's print hook: what print and prin hand over goes to
// standard output.
void print_hook(const Cell* value, int new_line) {
    write_string(*value, new_line != 0);
}

} // namespace

void init() {
    output_hooks::register_(print_hook, nullptr);
}

std::optional<std::string> script_argument(const std::vector<std::string>& args) {
    // Options ("--" words) before the script are stepped over, until a
    // bare "--" ends them.
    for (size_t i = 0; i < args.size(); ++i)
        if (!args[i].starts_with("--") || (i > 0 && args[i - 1] == "--")) return args[i];
    return std::nullopt;
}

namespace {

// The script's text; raises access cannot-open naming the file when it
// cannot be read (a directory, a missing file), and no-memory when a
// stream without end (a device, a pipe) outgrows a series.
std::string read_script(const std::string& path) {
    io::BytesResult content = io::read_file(path);
    if (!content.status.ok()) {
        Cell& file = file::load(reinterpret_cast<const uint8_t*>(path.data()),
                                uint32_t(path.size()), string::Encoding::utf8);
        runtime::fire_error(runtime::Category::access, err::access::cannot_open, &file);
    }
    return std::string(content.bytes.begin(), content.bytes.end());
}

} // namespace

int run_script(const std::string& path) {
    // The script runs in its own folder.
    std::string folder = io::to_kiv_file(path);
    folder.erase(folder.find_last_of('/') + 1);
    std::string text;
    Rooted<Cell> failure;
    if (!trap::run([&] { text = read_script(path); }, *failure)) {
        print_error(*failure);
        return 1;
    }
    if (!folder.empty() && folder != "./") os::set_current_dir(folder.c_str());
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
    // The code follows the word Kiv (spelled exactly so) and its header block.
    int32_t length = block::rs_length(*code);
    int32_t at = 0;
    for (Rooted<Cell> spelling; at < length; ++at) {
        const Cell& item = block::rs_head(*code)[at];
        if (cell::type_of(item) != TYPE_WORD) continue;
        text_of(item, false, spelling);
        if (url::utf8_text(*spelling) == "Kiv") break;
    }
    if (at + 1 >= length || cell::type_of(block::rs_head(*code)[at + 1]) != TYPE_BLOCK) {
        os_console::write_c_string(text.find("Kiv/System") != std::string::npos
                                       ? "*** Error: contains Kiv/System code which requires "
                                         "compilation!\n"
                                       : "*** Error: not a Kiv program!\n");
        return 1;
    }
    code->w1 += uint32_t(at) + 2;
    if (!eval_block(*code, *result)) {
        print_error(*result);
        return 1;
    }
    return 0;
}

void evaluate(const std::string& input) {
    Rooted<Cell> code;
    Rooted<Cell> result;
    if (!load_text(input, code, *result)) {
        print_error(*result);
    } else if (block::rs_length(*code) > 0) {
        bool ok = eval_block(*code, *result);
        print_result(*result, !ok);
    }
}

void run() {
    Gathering gathering;
    std::string line;
    for (;;) {
        std::string prompt = gathering.cue() ? std::string(1, gathering.cue()) + "    " : ">> ";
        os_console::write_text(prompt.data(), uint32_t(prompt.size()));
        if (!std::getline(std::cin, line)) {
            os_console::write_text("\n", 1);
            return;
        }
        if (line.empty() && !gathering.cue()) continue;
        if (!line.empty() && line.back() == '\x1b') {
            gathering.clear();
            os_console::write_c_string("(escape)\n");
            continue;
        }
        if (!gathering.add(line)) continue;
        evaluate(gathering.input());
        gathering.clear();
    }
}

} // namespace kiv::console
