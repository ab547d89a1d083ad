#include "console/arguments.h"

namespace kiv::console {

Arguments read_arguments(const std::vector<std::string>& args) {
    Arguments out;
    for (const std::string& arg : args) {
        bool option =
            !out.script && arg.starts_with("--") && (out.args.empty() || out.args.back() != "--");
        if (option && arg == "--catch") {
            out.catch_ = true;
            continue;
        }
        if (!option && !out.script) out.script = out.args.size();
        out.args.push_back(arg);
    }
    return out;
}

namespace {

bool is_white(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

size_t skip_white(std::string_view text, size_t at) {
    while (at < text.size() && is_white(text[at])) ++at;
    return at;
}

// The end of the token at `at`: a double-quoted run to its closing quote
// (or the end), else a run of non-white characters.
size_t token_end(std::string_view text, size_t at) {
    if (at < text.size() && text[at] == '"') {
        size_t close = text.find('"', at + 1);
        return close == std::string_view::npos ? text.size() : close + 1;
    }
    while (at < text.size() && !is_white(text[at])) ++at;
    return at;
}

} // namespace

std::string_view script_args_text(std::string_view text) {
    size_t at = skip_white(text, 0);
    for (;;) {
        size_t end = token_end(text, at);
        std::string_view token = text.substr(at, end - at);
        if (!token.starts_with("--") && !token.starts_with("\"--")) break;
        at = skip_white(text, end);
        if (token == "--") break;
    }
    at = skip_white(text, token_end(text, at));
    return text.substr(at);
}

} // namespace kiv::console
