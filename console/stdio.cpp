#include "console/stdio.h"

#include "console/arguments.h"
#include "console/asking.h"
#include "console/gather.h"
#include "console/line_editor.h"
#include "console/signals.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <iostream>

#include "datatypes/block.h"
#include "datatypes/error.h"
#include "datatypes/file.h"
#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/pair.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/system_object.h"
#include "datatypes/types.h"
#include "datatypes/unset.h"
#include "datatypes/url.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/error_text.h"
#include "evaluator/exits.h"
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

// The text of a value: molded, or formed (a float), with at most `limit`
// characters asked of the writer. A limit is passed as a part argument, so
// that the writers stop there instead of writing a huge value whole.
void text_of(const Cell& value, bool mold, Rooted<Cell>& out, int32_t limit = INT32_MAX) {
    string::make_at(*out, 64);
    Cell part{TYPE_INTEGER, 0, uint32_t(limit), 0};
    const Cell* arg = limit < INT32_MAX ? &part : nullptr;
    if (mold)
        actions::mold(value, *out, false, false, false, arg, limit, 0);
    else
        actions::form(value, *out, arg, limit);
}

void print_error(const Cell& error) {
    Rooted<Cell> text;
    error_text::form(error, *text);
    write_string(*text, true);
}

const Cell none_cell{TYPE_NONE, 0, 0, 0};

// A field of system/console; null when the console object is missing.
const Cell* setting(const char* name) {
    return system_object::find({"console", name});
}

// The terminal's columns x rows go to system/console/size while output is
// a terminal, at the start and after each change of size; elsewhere the
// size stays as it is (0x0 unless a script set it).
void refresh_size() {
    if (!take_resize()) return;
    note_resize();
    winsize size{};
    if (!isatty(STDOUT_FILENO) || ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return;
    if (Cell* field = system_object::field({"console", "size"}))
        pair::make_at(*field, size.ws_col, size.ws_row);
}

// The width results are cut to: size/x, or 0 (no cut) when unknown.
int32_t console_width() {
    const Cell* size = setting("size");
    return size && cell::type_of(*size) == TYPE_PAIR ? int32_t(size->w2) : 0;
}

// Evaluates a console setting that shapes the display (prompt, result):
// a block is evaluated, any other value evaluated as the one value of a
// block (a function is called, a string stays itself). The text is the
// string it gives, else its form. An error in it is printed with `where`
// naming the setting, and the text is that of `fallback`; false then.
bool setting_text(const char* name, const char* where, const char* fallback, Rooted<Cell>& text) {
    Rooted<Cell> value;
    Rooted<Cell> failure;
    bool ok = trap::run(
        [&] {
            const Cell* field = setting(name);
            Rooted<Cell> code(field ? *field : none_cell);
            if (cell::type_of(*code) != TYPE_BLOCK) {
                Cell one = *code;
                block::make_at(*code, 1);
                block::append_value(*code, one);
            }
            interpreter::eval(*code, true);
        },
        *value);
    if (!ok) {
        *failure = *value;
        Rooted<Cell> place;
        string::load_at(reinterpret_cast<const uint8_t*>(where), uint32_t(std::strlen(where)),
                        *place, string::Encoding::utf8);
        error::store_field(*failure, error::Field::where, *place);
        print_error(*failure);
        const Cell* standard = setting(fallback);
        *value = standard ? *standard : none_cell;
    }
    if (cell::type_of(*value) == TYPE_STRING)
        *text = *value;
    else
        text_of(*value, false, text);
    return ok;
}

// Prints the result of an input: an error and an empty line, nothing for
// unset!, else the result prefix and the molded value (a float formed),
// cut to the console's width when that is known.
void print_result(const Cell& value, bool failed, uint32_t prompt_length) {
    if (failed) {
        print_error(value);
        os_console::write_text("\n", 1);
        return;
    }
    if (cell::type_of(value) == TYPE_UNSET) return;
    Rooted<Cell> v(value);
    Rooted<Cell> failure;
    bool ok = trap::run(
        [&] {
            int32_t limit = console_width() - 3;
            Rooted<Cell> text;
            text_of(*v, cell::type_of(*v) != TYPE_FLOAT, text, limit > 0 ? limit + 5 : INT32_MAX);
            if (limit > 0 && string::length(*text) > uint32_t(limit)) {
                int32_t keep = std::max(limit - int32_t(prompt_length) - 3, 0);
                string::truncate_buffer(memory::buffer_of(text->w2), uint32_t(keep));
                string::append_c_string(*text, "...");
            }
            Rooted<Cell> prefix;
            setting_text("result", "system/console/result", "def-result", prefix);
            write_string(*prefix, false);
            os_console::write_text(" ", 1);
            write_string(*text, true);
        },
        *failure);
    if (!ok) print_error(*failure);
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

// Evaluates a block under a try frame and a catch of throws named
// `console`; the value or the error. A halt (the word halt-request thrown
// to the console) prints "(halted)" and gives unset.
bool eval_block(const Cell& block, Cell& result) {
    Rooted<Cell> code(block);
    bool ok = trap::run([&] { natives::catch_named(*code, words::word<"console">()); }, result);
    if (ok && cell::type_of(result) == TYPE_WORD &&
        symbol::resolve(result.w2) == symbol::resolve(words::word<"halt-request">().w2)) {
        os_console::write_c_string("(halted)\n");
        result = Cell{cell::unset_header, 0, 0, 0};
    }
    return ok;
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

namespace {

// Set when the preprocessor stopped the evaluation (a directive or macro
// error): a script stopped so ends with status 1, as one that failed.
bool preprocessor_stopped = false;

void note_preprocessor_stop(Cell* args) {
    preprocessor_stopped = true;
    args[0] = none_cell;
}

} // namespace

void register_routines() {
    routine::register_named("preprocessor-stopped", note_preprocessor_stop);
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

// Runs the preprocessor over the code from the header word on, as the
// script's evaluation would: false with the error when it raises one.
bool expand_script(const Cell& code, Cell& result) {
    Rooted<Cell> call;
    block::make_at(*call, 2);
    block::append_value(*call, word::load("expand-directives"));
    block::append_value(*call, code);
    return eval_block(*call, result);
}

// Runs the script file from its own folder; the exit status: 0, or 1 when
// the script could not be read, is not a Kiv program, ended in an error or
// was stopped by the preprocessor.
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
    if (!folder.empty() && folder != "./" && os::set_current_dir(folder.c_str())) {
        // The language's active directory follows (the process has moved).
        if (Cell* active = system_object::field({"options", "path"})) {
            Cell& dir = file::current_dir();
            dir.header = (dir.header & ~cell::type_mask) | TYPE_FILE;
            *active = dir;
        }
    }
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
    code->w1 += uint32_t(at);
    preprocessor_stopped = false;
    if (!expand_script(*code, *result)) {
        print_error(*result);
        return 1;
    }
    if (preprocessor_stopped) return 1;
    code->w1 += 2;
    if (!eval_block(*code, *result)) {
        print_error(*result);
        return 1;
    }
    return preprocessor_stopped ? 1 : 0;
}

void text_at(Cell& out, std::string_view text) {
    string::load_at(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), out,
                    string::Encoding::utf8);
}

// Tells the system object what the command line holds for the script:
// system/options/args the arguments after it (all of them, "--catch"
// taken out, when there is no script), /script the script's file, and
// system/script/args the script's arguments as one text.
void publish_arguments(const Arguments& read) {
    size_t first = read.script ? *read.script + 1 : 0;
    Rooted<Cell> list;
    block::make_at(*list, int32_t(read.args.size() - first));
    Rooted<Cell> text;
    for (size_t i = first; i < read.args.size(); ++i) {
        text_at(*text, read.args[i]);
        block::append_value(*list, *text);
    }
    if (Cell* field = system_object::field({"options", "args"})) *field = *list;
    if (read.catch_)
        if (Cell* field = system_object::field({"console", "catch?"})) logic::make_at(*field, true);
    if (!read.script) return;
    std::string file = io::to_kiv_file(read.args[*read.script]);
    Cell& script = file::load(reinterpret_cast<const uint8_t*>(file.data()), uint32_t(file.size()),
                              string::Encoding::utf8);
    if (Cell* field = system_object::field({"options", "script"})) *field = script;
    const Cell* line = system_object::find({"script", "args"});
    if (!line || cell::type_of(*line) != TYPE_STRING) return;
    std::string whole = url::utf8_text(*line);
    text_at(*text, script_args_text(whole));
    if (Cell* field = system_object::field({"script", "args"})) *field = *text;
}

// Whether the console stays for input after the script: the "--catch"
// option, or a script that set system/console/catch?.
bool catching() {
    const Cell* flag = setting("catch?");
    return flag && cell::type_of(*flag) == TYPE_LOGIC && flag->w1 != 0;
}

// The length of the last prompt shown: a cut result leaves room for it.
uint32_t prompt_length = 3;

// The prompt for the next line: the cue while an input is open, else the
// text of system/console/prompt. A prompt in error is shown once: the
// setting goes back to def-prompt.
void prompt_text(const std::string& cue, Rooted<Cell>& text) {
    if (!cue.empty()) return text_at(*text, cue);
    if (setting_text("prompt", "system/console/prompt", "def-prompt", text)) return;
    const Cell* standard = setting("def-prompt");
    if (Cell* field = system_object::field({"console", "prompt"}))
        *field = standard ? *standard : none_cell;
}

void print_banner() {
    constexpr std::string_view banner = "print [\"--== Kiv\" system/version \"==--\" newline "
                                        "\"Type HELP for starting information.\" newline]";
    evaluate(std::string(banner));
}

// Reads the next line at the prompt; Kiv code runs (and Ctrl-C halts it)
// everywhere else. A typed line enters the history when the line editor
// reads it.
Line next_line(const Cell& prompt) {
    if (!shows_prompt(false)) write_string(prompt, false);
    std::vector<std::string> history;
    Cell* block = editing() ? console_history() : nullptr;
    if (block) history = history_of(*block);
    set_phase(Phase::reading);
    Line line = read_line(url::utf8_text(prompt), history, false);
    set_phase(Phase::evaluating);
    stack::clear_interrupt();
    // A Ctrl-C that came after the line ended, before its evaluation,
    // halts that evaluation.
    if (line.end == LineEnd::entered && take_interrupt()) stack::interrupt(true);
    if (line.end == LineEnd::entered && (block = editing() ? console_history() : nullptr))
        remember(*block, line.text);
    return line;
}

// Drops the input gathered so far.
void drop(Gathering& gathering) {
    gathering.clear();
    os_console::write_c_string("(escape)\n");
}

// The interactive loop over standard input; returns at the end of input,
// or at a second Ctrl-C in a row on an empty prompt. Ctrl-C drops what is
// typed and what is gathered.
void run(bool banner) {
    set_phase(Phase::evaluating);
    if (banner) print_banner();
    Gathering gathering;
    bool quit_armed = false;
    for (;;) {
        refresh_size();
        Rooted<Cell> prompt;
        prompt_text(gathering.cue() ? std::string(1, gathering.cue()) + "    " : std::string(),
                    prompt);
        prompt_length = string::length(*prompt);
        Line line = next_line(*prompt);
        if (line.end == LineEnd::closed) {
            if (!shows_prompt(false)) os_console::write_text("\n", 1);
            return;
        }
        if (line.end == LineEnd::interrupted) {
            bool empty = line.text.empty() && !gathering.cue();
            if (empty && quit_armed) return;
            quit_armed = empty;
            if (!shows_prompt(false)) os_console::write_text("\n", 1);
            if (gathering.cue()) drop(gathering);
            continue;
        }
        quit_armed = false;
        if (line.text.empty() && !gathering.cue()) continue;
        if (!line.text.empty() && line.text.back() == '\x1b') {
            drop(gathering);
            continue;
        }
        if (!gathering.add(line.text)) continue;
        evaluate(gathering.input());
        gathering.clear();
    }
}

} // namespace

void evaluate(const std::string& input) {
    Rooted<Cell> code;
    Rooted<Cell> result;
    if (!load_text(input, code, *result)) {
        print_error(*result);
    } else if (block::rs_length(*code) > 0) {
        bool ok = eval_block(*code, *result);
        // A Ctrl-C that came as the evaluation ended halts nothing more.
        stack::clear_interrupt();
        print_result(*result, !ok, prompt_length);
    }
}

int launch(const std::vector<std::string>& args) {
    install_signals();
    Arguments read = read_arguments(args);
    publish_arguments(read);
    if (!read.script) {
        run(true);
        return 0;
    }
    int status = run_script(read.args[*read.script]);
    if (!catching()) return status;
    run(false);
    return 0;
}

} // namespace kiv::console
