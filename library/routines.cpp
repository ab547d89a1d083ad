#include "library/routines.h"

#include <string_view>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/function.h"
#include "datatypes/string.h"
#include "datatypes/types.h"
#include "datatypes/word.h"
#include "evaluator/stack.h"
#include "library/codec_routines.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/unicode.h"

namespace kiv::routines {
namespace {

struct Named {
    std::string_view name;
    routine::Body body;
    uint32_t index = 0; // in the routine registry, once registered
};

Named table[] = {
    {"kivbin-encode", codecs::kivbin_encode},
    {"kivbin-decode", codecs::kivbin_decode},
};

// routine name [string!] spec [block!]: a routine! of the body registered
// under the name; an unknown name raises script invalid-arg.
void make(Cell* args) {
    int32_t length = -1;
    const char* text = reinterpret_cast<const char*>(utf8::from_string(args[0], length));
    std::string_view name(text, size_t(length));
    for (Named& entry : table) {
        if (entry.name != name) continue;
        if (!entry.index) entry.index = routine::register_body(entry.body);
        args[0] = *routine::push(args[1], nullptr, entry.index, 0, true);
        stack::pop(1);
        return;
    }
    runtime::fire_error(runtime::Category::script, err::script::invalid_arg, &args[0]);
}

} // namespace

void bind_maker() {
    static uint32_t index = routine::register_body(make);
    Rooted<Cell> spec;
    block::make_at(*spec, 4);
    block::append_value(*spec, word::load("name"));
    Rooted<Cell> types;
    block::make_at(*types, 1);
    block::append_value(*types, word::load("string!"));
    block::append_value(*spec, *types);
    block::append_value(*spec, word::load("spec"));
    block::make_at(*types, 1);
    block::append_value(*types, word::load("block!"));
    block::append_value(*spec, *types);
    Cell maker = *routine::push(*spec, nullptr, index, 0, true);
    stack::pop(1);
    Rooted<Cell> kept(maker);
    Cell name = word::load("routine");
    word::set(name, *kept);
}

void unbind_maker() {
    Cell name = word::load("routine");
    word::set(name, Cell{cell::unset_header, 0, 0, 0});
}

} // namespace kiv::routines
