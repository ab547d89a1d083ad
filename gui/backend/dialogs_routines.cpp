#include "gui/backend/dialogs_routines.h"

#include "datatypes/block.h"
#include "datatypes/compound.h"
#include "datatypes/file.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/url.h"
#include "datatypes/word.h"
#include "gui/backend/dialogs_modal.h"
#include "io/files.h"
#include "runtime/roots.h"
#include "runtime/types.h"

#include <algorithm>
#include <cmath>

namespace kiv::gui::platform {

namespace {

bool is_path_text(const Cell& value) {
    uint32_t type = cell::type_of(value);
    return type == TYPE_FILE || type == TYPE_STRING;
}

std::string text_or_empty(const Cell& value) {
    return cell::type_of(value) == TYPE_STRING ? url::utf8_text(value) : std::string();
}

// A folder as an absolute local path: a relative one is taken from the
// current directory.
std::string absolute_folder(const std::string& folder) {
    if (folder.empty() || folder.front() == '/') return folder;
    return io::current_dir() + folder;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

// Pairs of name and patterns ("*.txt;*.text"); every value a string! or
// file!, and no name without its patterns.
std::vector<FileFilter> filters_of(const Cell& block) {
    int32_t n = block::rs_length(block);
    for (int32_t i = 0; i < n; ++i)
        if (!is_path_text(block::rs_head(block)[i]))
            compound::invalid_arg(block::rs_head(block)[i]);
    if (n % 2) compound::invalid_arg(block::rs_head(block)[n - 1]);
    std::vector<FileFilter> filters;
    for (int32_t i = 0; i < n; i += 2)
        filters.push_back({url::utf8_text(block::rs_head(block)[i]),
                           split(url::utf8_text(block::rs_head(block)[i + 1]), ';')});
    return filters;
}

const std::vector<FileFilter>& default_filters() {
    static const std::vector<FileFilter> filters{{"All files", {"*.*"}},
                                                 {"Kiv scripts", {"*.kiv", "*.kivs"}},
                                                 {"ZUNTO scripts", {"*.r"}},
                                                 {"Text files", {"*.txt"}}};
    return filters;
}

// The answer's paths as file! values, in a block or alone.
void answer_files(const std::vector<std::string>& paths, bool as_block, Cell& out) {
    std::vector<std::string> files;
    for (const std::string& path : paths) files.push_back(io::to_kiv_file(path));
    Rooted<Cell> block;
    string::block_of_texts(files, TYPE_FILE, *block);
    out = as_block || files.empty() ? *block : *block::rs_head(*block);
}

} // namespace

void request_file(Cell* args) {
    FileRequest request;
    request.kind = logic::get(args[3]) ? FileRequest::Kind::save : FileRequest::Kind::open;
    request.multi = logic::get(args[4]);
    request.title = text_or_empty(args[0]);
    if (is_path_text(args[1])) {
        std::string path = file::to_os_string(args[1]);
        size_t slash = path.rfind('/');
        if (slash == std::string::npos) {
            request.name = path;
        } else {
            request.folder = absolute_folder(slash == 0 ? "/" : path.substr(0, slash));
            request.name = path.substr(slash + 1);
        }
    }
    request.filters =
        cell::type_of(args[2]) == TYPE_BLOCK ? filters_of(args[2]) : default_filters();
    FileAnswer answer = ask_file(request);
    if (!answer || answer->empty())
        none::make_at(args[0]);
    else
        answer_files(*answer, request.multi, args[0]);
}

void request_dir(Cell* args) {
    // The folder of the last successful call that kept its answer.
    static std::string kept;
    bool keep = logic::get(args[3]);
    FileRequest request;
    request.kind = FileRequest::Kind::folder;
    request.title = text_or_empty(args[0]);
    if (keep && !kept.empty())
        request.folder = kept;
    else if (is_path_text(args[1]))
        request.folder = absolute_folder(file::to_os_string(args[1]));
    FileAnswer answer = ask_file(request);
    if (!answer || answer->empty()) {
        none::make_at(args[0]);
        return;
    }
    std::string folder = answer->front();
    if (folder.empty() || folder.back() != '/') folder += '/';
    if (keep) kept = folder;
    answer_files({folder}, false, args[0]);
}

namespace {

const Cell& field(const Cell& object, const char* name) {
    return *object::find_word(object, series::word_cell(name));
}

void store(const Cell& object, const char* name, const Cell& value) {
    int32_t index = object::find_index(object, series::word_cell(name));
    if (index >= 0) object::store_value(object, uint32_t(index), value);
}

bool names_word(const Cell& value, const char* name) {
    return word::any_word(cell::type_of(value)) &&
           symbol::resolve(value.w2) == symbol::resolve(symbol::intern(name));
}

// Whether a style facet (a word or a block of words) holds the word.
bool has_style(const Cell& style, const char* name) {
    if (cell::type_of(style) != TYPE_BLOCK) return names_word(style, name);
    for (int32_t i = 0; i < block::rs_length(style); ++i)
        if (names_word(block::rs_head(style)[i], name)) return true;
    return false;
}

// Starts from the selected font object, else from Courier New at 11 pt.
FontRequest font_request(const Cell& selected, bool mono) {
    FontRequest request{"Courier New", 11, 400, false, mono};
    if (cell::type_of(selected) != TYPE_OBJECT) return request;
    const Cell& name = field(selected, "name");
    if (is_path_text(name)) request.family = url::utf8_text(name);
    const Cell& size = field(selected, "size");
    if (cell::type_of(size) == TYPE_INTEGER) request.points = int32_t(size.w2);
    if (cell::type_of(size) == TYPE_FLOAT) request.points = float_::get(size);
    const Cell& style = field(selected, "style");
    request.weight = has_style(style, "bold") ? 700 : 400;
    request.italic = has_style(style, "italic");
    return request;
}

// The style of an answer: `bold` for a weight of 600 or more, `italic`,
// both as a block; none for a regular face (the facet is left).
void store_style(const Cell& font, const FontAnswer& answer) {
    bool bold = answer.weight >= 600;
    if (!bold && !answer.italic) return;
    Rooted<Cell> style;
    if (bold && answer.italic) {
        block::make_at(*style, 2);
        word::load_in("bold", *style);
        word::load_in("italic", *style);
    } else {
        *style = word::load(bold ? "bold" : "italic");
    }
    store(font, "style", *style);
}

} // namespace

void request_font(Cell* args) {
    Rooted<Cell> font(args[0]);
    FontRequest request = font_request(args[1], logic::get(args[2]));
    std::optional<FontAnswer> answer = ask_font(request);
    if (!answer) {
        none::make_at(args[0]);
        return;
    }
    Rooted<Cell> value;
    string::load_at(reinterpret_cast<const uint8_t*>(answer->family.data()),
                    uint32_t(answer->family.size()), *value, string::Encoding::utf8);
    store(*font, "name", *value);
    integer::make_at(*value, int32_t(std::clamp(std::trunc(answer->points), 1.0, 32767.0)));
    store(*font, "size", *value);
    store_style(*font, *answer);
    args[0] = *font;
}

} // namespace kiv::gui::platform
