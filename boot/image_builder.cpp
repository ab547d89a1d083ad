// Builds the boot image from the text sources (the stage-0 program and the
// tests call it; the executable only reads the image).
#include <cstring>
#include <iterator>
#include <string>
#include <unordered_map>

#include "boot/image.h"
#include "boot/sources.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/symbol.h"
#include "evaluator/lexer.h"
#include "kivbin/kivbin.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::boot {
namespace {

bool is_word_named(const Cell& value, const char* name) {
    return cell::type_of(value) == TYPE_WORD &&
           std::strcmp(symbol::c_name(symbol::resolve(value.w2)), name) == 0;
}

// Values that stand for themselves in code.
bool is_literal(const Cell& value) {
    uint32_t type = cell::type_of(value);
    return type == TYPE_BLOCK || type == TYPE_HASH ||
           (!is_block_type(type) && !(type >= TYPE_WORD && type <= TYPE_REFINEMENT));
}

using Counts = std::unordered_map<uint32_t, uint32_t>;

// The top-level set-words of a code block, counted by symbol.
void count_set_words(const Cell& code, Counts& counts) {
    const Cell* at = block::rs_head(code);
    for (int32_t i = 0, n = block::rs_length(code); i < n; ++i)
        if (cell::type_of(at[i]) == TYPE_SET_WORD) ++counts[symbol::resolve(at[i].w2)];
}

// The length of a top-level expression that only defines words: one or
// more set-words, then a literal, a word (of a value defined before: the
// value check below refuses functions) or `make TYPE SPEC` with a literal
// spec; 0 for any other.
int32_t definition_length(const Cell* at, int32_t left) {
    int32_t words = 0;
    while (words < left && cell::type_of(at[words]) == TYPE_SET_WORD) ++words;
    if (!words || words == left) return 0;
    if (is_word_named(at[words], "make"))
        return words + 2 < left && cell::type_of(at[words + 1]) == TYPE_WORD &&
                       is_literal(at[words + 2])
                   ? words + 3
                   : 0;
    return is_literal(at[words]) || cell::type_of(at[words]) == TYPE_WORD ? words + 1 : 0;
}

// Whether the global value of a word defined at `at` may stand in for the
// expression: no other source sets the word, it holds no object, and a
// function value is the native or action that `make native! [[spec] N]`
// makes.
bool definable(const Cell* at, int32_t length, const Counts& counts) {
    for (int32_t i = 0; i < length && cell::type_of(at[i]) == TYPE_SET_WORD; ++i) {
        if (counts.at(symbol::resolve(at[i].w2)) != 1) return false;
        Cell word = at[i];
        word.header = TYPE_WORD;
        const Cell* value = word::value_cell(word);
        uint32_t type = cell::type_of(*value);
        if (type != TYPE_NATIVE && type != TYPE_ACTION) {
            // An object's body is code: it may define other words (a
            // function set from inside it) that its value does not show.
            if (type == TYPE_UNSET || type == TYPE_OP || type == TYPE_FUNCTION ||
                type == TYPE_ROUTINE || type == TYPE_OBJECT)
                return false;
            continue;
        }
        const Cell& spec = at[length - 1];
        if (!is_word_named(at[length - 2], type == TYPE_NATIVE ? "native!" : "action!") ||
            cell::type_of(spec) != TYPE_BLOCK || block::rs_length(spec) != 2)
            return false;
        const Cell& index = block::rs_head(spec)[1];
        if (cell::type_of(index) != TYPE_INTEGER || value->w1 != index.w2) return false;
    }
    return true;
}

// Appends a definition per word when every expression of `code` only
// defines words whose values the boot left in place; false (and nothing
// appended) otherwise.
bool append_definitions(Cell& top, const Cell& code, const Counts& counts) {
    int32_t length = block::rs_length(code);
    for (int32_t i = 0; i < length;) {
        const Cell* at = block::rs_head(code) + i;
        int32_t n = definition_length(at, length - i);
        if (!n || !definable(at, n, counts)) return false;
        i += n;
    }
    for (int32_t i = 0; i < length; ++i) {
        Rooted<Cell> word(block::rs_head(code)[i]);
        if (cell::type_of(*word) != TYPE_SET_WORD) continue;
        word->header = TYPE_WORD;
        Rooted<Cell> value(*word::value_cell(*word));
        word->header = TYPE_SET_WORD;
        block::append_value(top, *word);
        block::append_value(top, *value);
    }
    return true;
}

} // namespace

const char* build_image(const char* library_dir, Cell& out) {
    constexpr uint32_t count = std::size(source_names);
    Rooted<Cell> codes, top, code;
    block::make_at(*codes, int32_t(count));
    Counts counts;
    for (size_t i = 0; i < count; ++i) {
        const char* name = source_names[i];
        std::string text;
        if (!read_source(library_dir, name, text)) return name;
        lexer::load(*code, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
        if (i > 0) {
            code->w1 = 2; // after the header word and block
            count_set_words(*code, counts);
        }
        block::append_value(*codes, *code);
    }
    block::make_at(*top, 64);
    for (uint32_t i = 0; i < count; ++i) {
        *code = block::rs_head(*codes)[i];
        if (i && append_definitions(*top, *code, counts)) continue;
        block::append_value(*top, *code);
    }
    kivbin::encode_image(*top, out);
    return nullptr;
}

} // namespace kiv::boot
