#include "console/gather.h"

#include <algorithm>
#include <string_view>

#include "datatypes/types.h"
#include "evaluator/lexer.h"
#include "evaluator/trap.h"
#include "runtime/roots.h"

namespace kiv::console {
namespace {

// The opening characters not yet closed in a text, and the text of each
// opener, kept by a trace of the lexer over it. `mendable` tells whether
// more lines may complete the input or it holds an error that no line can
// mend. A token left open at the end (a braced or raw string, a tag, a
// binary) is named by where it starts.
class DelimiterCheck : public lexer::Tracer {
  public:
    std::string open;                 // the stack of opening characters
    std::vector<std::string> openers; // the text of each opener, in step with `open`
    bool mendable = true;
    size_t token_start = std::string::npos; // the token left open, if any
    bool token_braced = false;              // that token is a braced string

    explicit DelimiterCheck(const std::string& input) : input_(input) {
        mask = (1u << uint32_t(lexer::Event::open)) | (1u << uint32_t(lexer::Event::close)) |
               (1u << uint32_t(lexer::Event::error));
    }

    bool on_event(lexer::TraceInfo& info) override {
        if (done_) return false;
        switch (info.event) {
        case lexer::Event::open:
            open += opener_of(info.type);
            openers.push_back(input_.substr(info.start - 1, info.end - info.start));
            return true;
        case lexer::Event::close:
            if (open.empty() || opener_of(info.type) != open.back()) return finish(false);
            open.pop_back();
            openers.pop_back();
            return true;
        default: return finish(more_lines(info));
        }
    }

  private:
    const std::string& input_;
    bool done_ = false;

    bool finish(bool more) {
        mendable = more;
        done_ = true;
        return false;
    }

    // The opening character of a series: structural codes of the openers
    // and closers, and the datatypes of series an error names.
    static char opener_of(int32_t type) {
        using namespace lexer;
        if (type == structural_code(block_open) || type == structural_code(block_close) ||
            type == structural_code(map_open) || type == TYPE_BLOCK || type == TYPE_MAP)
            return '[';
        if (type == structural_code(paren_open) || type == structural_code(paren_close) ||
            type == TYPE_PAREN || type == TYPE_POINT2D)
            return '(';
        if (type == structural_code(path_start) || type == TYPE_PATH || type == TYPE_LIT_PATH ||
            type == TYPE_GET_PATH || type == TYPE_SET_PATH)
            return '/';
        return 0;
    }

    // Notes the token that is left open at the end of the input.
    bool open_token(char opener, const lexer::TraceInfo& info, bool braced) {
        open += opener;
        token_start = info.start - 1;
        token_braced = braced;
        return true;
    }

    // Whether the input that failed at this token can still be completed
    // by further lines; pushes the opener that stays open.
    bool more_lines(const lexer::TraceInfo& info) {
        int32_t type = info.type;
        std::string_view rest =
            std::string_view(input_).substr(std::min<size_t>(info.index, input_.size()));
        std::string_view token =
            std::string_view(input_).substr(std::min<size_t>(info.start - 1, input_.size()));
        char last = open.empty() ? 0 : open.back();
        if (type == TYPE_ERROR) return false;
        if ((type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_MAP ||
             type == TYPE_POINT2D) &&
            opener_of(type) == last && rest.find_first_of(")]") == std::string_view::npos)
            return true;
        if (type == TYPE_PAREN && open.size() >= 2 && open[open.size() - 2] == '/') {
            open.erase(open.size() - 2, 1);
            openers.erase(openers.end() - 2);
            return true;
        }
        if (type == TYPE_TAG) return open_token('<', info, false);
        if (type == TYPE_BINARY && (input_.size() < 2 || input_[input_.size() - 2] != '}'))
            return open_token('{', info, false);
        if (type != TYPE_STRING) return false;
        if (token.starts_with('%')) {
            // A raw string stays open while its closing fence has fewer
            // percent signs than its opening one (the input ends with a
            // line feed).
            size_t begin = token.find_first_not_of('%');
            std::string_view body = std::string_view(input_).substr(0, input_.size() - 1);
            size_t end = body.size() - (body.find_last_not_of('%') + 1);
            if (begin == std::string_view::npos || begin <= end) return false;
            return open_token('{', info, false);
        }
        if (!token.starts_with('{')) return false;
        return open_token('{', info, true);
    }
};

// Scans a text with the check; false when the scan raised (a value that
// does not load).
bool scan(const std::string& text, DelimiterCheck& check) {
    lexer::Options options;
    options.tracer = &check;
    Rooted<Cell> values;
    Rooted<Cell> failure;
    return trap::run(
        [&] {
            lexer::scan(*values, reinterpret_cast<const uint8_t*>(text.data()),
                        uint32_t(text.size()), options);
        },
        *failure);
}

} // namespace

bool Gathering::add(const std::string& line) {
    input_ += line;
    input_ += '\n';
    const auto* bytes = reinterpret_cast<const uint8_t*>(input_.data());
    size_t from = resume_;
    if (braces_) {
        const uint8_t* closed =
            lexer::follow_braced_string(bytes + from, bytes + input_.size(), braces_);
        resume_ = input_.size();
        if (!closed) return false;
        from = size_t(closed - bytes);
    }
    // The open series are opened again in front of the new text.
    std::string text;
    for (const std::string& opener : openers_) text += opener;
    size_t prefix = text.size();
    text.append(input_, from);
    DelimiterCheck check(text);
    if (!scan(text, check) || !check.mendable || check.open.empty()) return true;
    cue_ = check.open.back();
    openers_ = std::move(check.openers);
    resume_ = input_.size();
    if (check.token_start == std::string::npos) return false;
    size_t token = from + (check.token_start - prefix);
    if (check.token_braced) {
        braces_ = 0;
        lexer::follow_braced_string(bytes + token, bytes + input_.size(), braces_);
    } else {
        resume_ = token;
    }
    return false;
}

void Gathering::clear() {
    input_.clear();
    resume_ = 0;
    openers_.clear();
    braces_ = 0;
    cue_ = 0;
}

} // namespace kiv::console
