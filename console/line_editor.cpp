#include "console/line_editor.h"

#include <histedit.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <cstdio>
#include <iostream>

#include "console/signals.h"
#include "platform/os.h"
#include "platform/shared_library.h"
#include "platform/stop.h"

namespace kiv::console {
namespace {

// The functions taken from libedit.
struct Libedit {
    decltype(&el_init) init = nullptr;
    decltype(&el_set) set = nullptr;
    decltype(&el_gets) gets = nullptr;
    decltype(&el_resize) resize = nullptr;
    decltype(&history_init) open_history = nullptr;
    decltype(&history) history_call = nullptr;
    decltype(&el_line) line_info = nullptr;
};

bool bind_libedit(void* library, Libedit& api) {
    return platform::bind(library, "el_init", api.init) &&
           platform::bind(library, "el_set", api.set) &&
           platform::bind(library, "el_gets", api.gets) &&
           platform::bind(library, "el_resize", api.resize) &&
           platform::bind(library, "history_init", api.open_history) &&
           platform::bind(library, "history", api.history_call) &&
           platform::bind(library, "el_line", api.line_info);
}

// Key sequences bound beyond libedit's emacs map, whatever the terminal's
// description says: the usual sequences of Home, End, Delete, the arrows
// and Ctrl+arrows, Ctrl+W deleting the word before the cursor and Ctrl+R
// searching the history.
constexpr const char* key_bindings[][2] = {
    {"\033[A", "ed-prev-history"},      {"\033[B", "ed-next-history"},
    {"\033OA", "ed-prev-history"},      {"\033OB", "ed-next-history"},
    {"\033[C", "ed-next-char"},         {"\033[D", "ed-prev-char"},
    {"\033OC", "ed-next-char"},         {"\033OD", "ed-prev-char"},
    {"\033[H", "ed-move-to-beg"},       {"\033OH", "ed-move-to-beg"},
    {"\033[1~", "ed-move-to-beg"},      {"\033[F", "ed-move-to-end"},
    {"\033OF", "ed-move-to-end"},       {"\033[4~", "ed-move-to-end"},
    {"\033[3~", "ed-delete-next-char"}, {"\033[1;5C", "em-next-word"},
    {"\033[1;5D", "ed-prev-word"},      {"^W", "ed-delete-prev-word"},
    {"^R", "em-inc-search-prev"},       {"^C", "kiv-interrupt"},
};

// The line editor, made at the first prompt.
struct Editor {
    const Libedit* api = nullptr;
    EditLine* line = nullptr;
    History* history = nullptr;
};

Editor& editor();

std::string current_prompt;
bool ctrl_c = false;
std::string line_at_ctrl_c; // what was typed when Ctrl-C ended the line

char* prompt_of(EditLine*) {
    return current_prompt.data();
}

// Bound to Ctrl-C, which the editor receives as a key (the terminal sends
// no signal while a line is edited): ends the line as interrupted.
unsigned char on_ctrl_c(EditLine* line, int) {
    const LineInfo* info = editor().api->line_info(line);
    line_at_ctrl_c.assign(info->buffer, info->lastchar);
    ctrl_c = true;
    return CC_NEWLINE;
}

Editor make_editor() {
    Editor editor;
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return editor;
    const Libedit* api = platform::open_api<Libedit>("libedit.so.2", bind_libedit);
    if (!api) return editor;
    // The editor measures characters by the locale: the console's text is
    // UTF-8 whatever the environment says.
    if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "");
    editor.api = api;
    editor.line = api->init("kiv", stdin, stdout, stderr);
    editor.history = api->open_history();
    HistEvent event;
    api->history_call(editor.history, &event, H_SETSIZE, 1 << 20);
    api->set(editor.line, EL_EDITOR, "emacs");
    api->set(editor.line, EL_PROMPT, prompt_of);
    api->set(editor.line, EL_HIST, api->history_call, editor.history);
    api->set(editor.line, EL_SETTY, "-d", "-isig", nullptr);
    api->set(editor.line, EL_ADDFN, "kiv-interrupt", "End the line as interrupted", on_ctrl_c);
    for (const auto& [keys, function] : key_bindings)
        api->set(editor.line, EL_BIND, keys, function, nullptr);
    return editor;
}

Editor& editor() {
    static Editor made = make_editor();
    return made;
}

// The editor's history becomes `entries` (newest first).
void load_history(const Editor& e, const std::vector<std::string>& entries) {
    HistEvent event;
    e.api->history_call(e.history, &event, H_CLEAR);
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        e.api->history_call(e.history, &event, H_ENTER, entry->c_str());
}

Line edited_line(const std::string& prompt, const std::vector<std::string>& history) {
    Editor& e = editor();
    load_history(e, history);
    current_prompt = prompt;
    ctrl_c = false;
    int count = 0;
    const char* text = e.api->gets(e.line, &count);
    if (ctrl_c) {
        os::write_all(STDOUT_FILENO, "^C\n", 3);
        return {LineEnd::interrupted, line_at_ctrl_c};
    }
    if (!text) {
        // A SIGINT sent by another process interrupts the read itself.
        if (take_interrupt()) return {LineEnd::interrupted, {}};
        os::write_all(STDOUT_FILENO, "\n", 1);
        return {LineEnd::closed, {}};
    }
    std::string line(text, size_t(count));
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return {LineEnd::entered, std::move(line)};
}

// A line of standard input; a read that a signal interrupted raises the
// halt asked for, or ends as interrupted.
Line plain_line() {
    std::string line;
    if (std::getline(std::cin, line)) return {LineEnd::entered, std::move(line)};
    bool stopped = os::stop_requested.load(std::memory_order_relaxed);
    bool interrupted = take_interrupt();
    if (!stopped && !interrupted) return {LineEnd::closed, {}};
    std::cin.clear();
    std::clearerr(stdin);
    os::check_stop();
    return {LineEnd::interrupted, {}};
}

// The terminal's settings while a hidden read has turned its echo off.
termios saved_settings;
std::atomic<bool> echo_off = false;

Line hidden_line() {
    Line line = plain_line();
    // The line feed typed was not echoed.
    if (isatty(STDIN_FILENO)) os::write_all(STDOUT_FILENO, "\n", 1);
    return line;
}

} // namespace

HiddenInput::HiddenInput() {
    if (tcgetattr(STDIN_FILENO, &saved_settings) != 0) return;
    termios quiet = saved_settings;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    echo_off.store(true);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
}

HiddenInput::~HiddenInput() {
    restore_terminal();
}

bool editing() {
    return editor().line != nullptr;
}

bool shows_prompt(bool hidden) {
    return !hidden && editing();
}

Line read_line(const std::string& prompt, const std::vector<std::string>& history, bool hidden) {
    if (hidden) return hidden_line();
    return editing() ? edited_line(prompt, history) : plain_line();
}

void restore_terminal() {
    if (echo_off.exchange(false)) tcsetattr(STDIN_FILENO, TCSANOW, &saved_settings);
}

void note_resize() {
    if (editing()) editor().api->resize(editor().line);
}

} // namespace kiv::console
