#include "library/path_routines.h"

#include <string>

#include "datatypes/block.h"
#include "datatypes/function.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::path_routines {
namespace {

constexpr char32_t slash = U'/';

// The characters of a text from the unit at index `from` to its tail.
std::u32string text_of(const Cell& value, uint32_t from) {
    uint32_t end = string::length_whole(value);
    std::u32string text;
    text.reserve(end - from);
    for (uint32_t i = from; i < end; ++i) text.push_back(string::char_at(value, i));
    return text;
}

// Writes a new text of the type holding the characters into `cell`.
void make_text(Cell& cell, uint32_t type, const std::u32string& text) {
    string::make_at(cell, uint32_t(text.size()));
    cell::set_type(cell, type);
    Buffer* buffer = memory::buffer_of(cell.w2);
    for (char32_t c : text) buffer = string::append_char(buffer, c);
}

// Whether the segment [from, to) of the text is `.` or `..`.
bool is_dots(const std::u32string& text, size_t from, size_t to, size_t dots) {
    if (to - from != dots) return false;
    for (size_t i = from; i < to; ++i)
        if (text[i] != U'.') return false;
    return true;
}

// The cleaned form of a path: a url keeps its scheme and host (the text up
// to the first `/` after `://`) as they are; the rest is walked segment by
// segment. A `.` segment and empty segments (doubled slashes) are dropped;
// `..` drops the last segment kept, or, with none kept, stays as `../` in
// a relative path and is dropped at the root of an absolute one. Every
// segment kept is followed by `/`; the last `/` goes again when the path
// did not end with one.
std::u32string cleaned(const std::u32string& path, bool url) {
    size_t start = 0;
    if (url) {
        size_t scheme = path.find(U"://");
        start = path.find(slash, scheme == std::u32string::npos ? 0 : scheme + 3);
        if (start == std::u32string::npos) start = path.size();
    }
    std::u32string out = path.substr(0, start);
    bool absolute = start < path.size() && path[start] == slash;
    if (absolute) out.push_back(slash);
    size_t root = out.size();
    // Where each segment kept in `out` begins, so that `..` can drop it.
    std::basic_string<size_t> marks;
    size_t pos = start;
    while (pos < path.size()) {
        if (path[pos] == slash) {
            ++pos;
            continue;
        }
        size_t end = path.find(slash, pos);
        if (end == std::u32string::npos) end = path.size();
        if (is_dots(path, pos, end, 2)) {
            if (!marks.empty()) {
                out.resize(marks.back());
                marks.pop_back();
            } else if (!absolute) {
                out += U"../";
            }
        } else if (!is_dots(path, pos, end, 1)) {
            marks.push_back(out.size());
            out.append(path, pos, end - pos);
            out.push_back(slash);
        }
        pos = end;
    }
    if (root < out.size() && (path.size() == start || path.back() != slash)) out.pop_back();
    return out;
}

// clean-path-walk path: a new value of the path's type holding its
// cleaned form.
void clean_path_walk(Cell* args) {
    uint32_t type = cell::type_of(args[0]);
    std::u32string out = cleaned(text_of(args[0], string::head_index(args[0])), type == TYPE_URL);
    make_text(args[0], type, out);
}

// split-path-at target: the block [directory target] of split-path. The
// split point is just after the last `/` before the final character, looked
// for back to the first character of the whole series; the directory is the
// text between the target's head and that point (from the point to the head
// when the point lies before it), or %./ without a `/`. `/`, `.`, `..`, `./`
// and `../` give the target as a directory and none; a target part of `.` or
// `..` gets a `/`.
void split_path_at(Cell* args) {
    uint32_t type = cell::type_of(args[0]);
    uint32_t head = string::head_index(args[0]);
    std::u32string whole = text_of(args[0], 0);
    std::u32string target = whole.substr(head);
    Rooted<Cell> dir;
    Rooted<Cell> file;
    if (target == U"/" || target == U"." || target == U".." || target == U"./" ||
        target == U"../") {
        if (target.back() != slash) target.push_back(slash);
        make_text(*dir, type, target);
        *file = none::value;
    } else {
        size_t end = whole.size();
        if (!target.empty() && target.back() == slash) --end;
        size_t cut = end == 0 ? std::u32string::npos : whole.rfind(slash, end - 1);
        size_t at = head;
        if (cut == std::u32string::npos) {
            make_text(*dir, TYPE_FILE, U"./");
        } else {
            at = cut + 1;
            size_t from = std::min(at, size_t(head));
            make_text(*dir, type, whole.substr(from, std::max(at, size_t(head)) - from));
        }
        std::u32string name = whole.substr(at);
        if (name == U"." || name == U"..") name.push_back(slash);
        make_text(*file, TYPE_FILE, name);
    }
    block::make_at(args[0], 2);
    block::append_value(args[0], *dir);
    block::append_value(args[0], *file);
}

} // namespace

void register_routines() {
    routine::register_named("clean-path-walk", clean_path_walk);
    routine::register_named("split-path-at", split_path_at);
}

} // namespace kiv::path_routines
