#include "evaluator/error_text.h"

#include <string>

#include "datatypes/context.h"
#include "datatypes/error.h"
#include "datatypes/string.h"
#include "evaluator/trap.h"
#include "runtime/fatal.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv::error_text {
namespace {

// What is left out, step by step, when forming fails.
constexpr error::Parts fallbacks[] = {{true, true}, {false, true}, {false, false}};

std::string utf8_of(const Cell& text) {
    Rooted<Cell> string_(text);
    int32_t length = -1;
    const char* bytes = reinterpret_cast<const char*>(utf8::from_string(*string_, length));
    return std::string(bytes, size_t(length));
}

} // namespace

void form(const Cell& error, Cell& out) {
    Rooted<Cell> value(error);
    Rooted<Cell> text;
    Rooted<Cell> failure;
    for (error::Parts parts : fallbacks) {
        if (cell::type_of(*value) != TYPE_ERROR) break;
        bool formed = trap::run(
            [&] {
                string::make_at(*text, 200);
                error::form_parts(*value, *text, parts, INT32_MAX);
            },
            *failure);
        if (formed) {
            out = *text;
            return;
        }
    }
    string::make_at(*text, 64);
    string::append_c_string(*text, "*** Internal Error: the error message cannot be formed");
    out = *text;
}

void report_uncaught(const Cell& error) {
    Rooted<Cell> text;
    form(error, *text);
    std::string message = utf8_of(*text);
    std::string caption = "Kiv NoName App";
    const Cell& captions = error::caption_object;
    if (cell::type_of(captions) == TYPE_OBJECT) {
        const Cell* first = context::slot_at(captions.w1, 0);
        if (first && cell::type_of(*first) == TYPE_STRING) caption = utf8_of(*first);
    }
    runtime::alert(caption, message);
}

void init() {
    stack::hooks.report_uncaught = report_uncaught;
}

} // namespace kiv::error_text
