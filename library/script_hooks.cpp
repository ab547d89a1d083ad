#include "library/script_hooks.h"

#include "datatypes/context.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/url.h"
#include "datatypes/word.h"
#include "evaluator/evaluation.h"
#include "evaluator/interpreter.h"
#include "runtime/error_ids.h"
#include "runtime/errors.h"
#include "runtime/protected_call.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace kiv::script_hooks {
namespace {

// The function a global word (or a field of the object it holds) names;
// script error no-value naming the word when there is none.
Cell function_named(const char* name, const char* field = nullptr) {
    Cell word = word::load(name);
    const Cell* value = word::get_value(word);
    if (value && field && cell::type_of(*value) == TYPE_OBJECT) {
        Cell key = word::load(field);
        value = object::find_word(*value, key);
        word = key;
    }
    if (!value || !context::callable(*value))
        runtime::fire_error(runtime::Category::script, err::script::no_value, &word);
    return *value;
}

// Calls the function with the values as its arguments in a frame of its
// own; the result goes to the caller's slot 0. A throw or other exit out
// of it goes on to its target.
void call(const Cell& function_value, const Cell* values, uint32_t count, Cell* result) {
    Rooted<Cell> function(function_value);
    Cell value;
    runtime::protected_call(
        runtime::stops::nothing,
        [&] {
            interpreter::call_with_values(*function, values, count,
                                          interpreter::call_kind::interpreter);
        },
        [&] { value = *stack::get_top(); });
    if (result)
        *result = value;
    else
        stack::set_last(value);
}

void do_file(const Cell& target, const Cell& args) {
    Cell values[] = {target, none::value, args};
    call(function_named("do-file"), values, 3, nullptr);
}

// The block is expanded in place; its cell stays as it is.
void expand(Cell& block) {
    Cell values[] = {block, none::value};
    Cell ignored;
    call(function_named("preprocessor", "expand"), values, 2, &ignored);
}

// url-parser/parse-url without /throw-error: an object of the url's
// parts, or none when it does not parse.
void parse_url(const Cell& url, Cell& out) {
    Cell values[] = {url, logic::false_value};
    call(function_named("url-parser", "parse-url"), values, 2, &out);
}

} // namespace

void install() {
    url::hooks.parse_url = parse_url;
    natives::evaluation::hooks.do_file = do_file;
    natives::evaluation::hooks.expand = expand;
}

} // namespace kiv::script_hooks
