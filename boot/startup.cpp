#include "boot/startup.h"

#include <cstdlib>
#include <string_view>

#include "boot/init.h"
#include "boot/sources.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/native.h"
#include "datatypes/word.h"
#include "evaluator/comparison.h"
#include "evaluator/conditionals.h"
#include "evaluator/error_text.h"
#include "evaluator/evaluation.h"
#include "evaluator/exits.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "evaluator/loops.h"
#include "evaluator/math_natives.h"
#include "evaluator/natives.h"
#include "evaluator/output.h"
#include "evaluator/sets.h"
#include "evaluator/stack.h"
#include "evaluator/system_natives.h"
#include "evaluator/trap.h"
#include "gui/backend/gui.h"
#include "library/codec_routines.h"
#include "library/core_routines.h"
#include "library/os_routines.h"
#include "library/predicates.h"
#include "library/system_routines.h"
#include "platform/os.h"
#include "runtime/collector.h"
#include "runtime/entry.h"
#include "runtime/errors.h"
#include "runtime/fatal.h"
#include "runtime/roots.h"

namespace kiv::boot {
namespace {

// The modules whose natives the start-up binds, each registering its own.
constexpr void (*native_modules[])() = {
    natives::register_conditionals,   natives::register_evaluation,
    natives::register_comparison,     natives::register_sets,
    natives::register_loops,          natives::register_exits,
    natives::register_output,         math_natives::register_natives,
    system_natives::register_natives,
};

// The modules whose routine bodies the boot sources bind by name.
constexpr void (*routine_modules[])() = {
    core_routines::register_routines, predicates::register_routines,      codecs::register_routines,
    os_routines::register_routines,   system_routines::register_routines,
};

// The natives of the language, numbered 1 to native_count; those whose
// service is not built yet answer internal not-done.
constexpr uint32_t native_count = 107;

// The boot sources after the error catalog, in the order they run.
constexpr const char* boot_order[] = {
    "boot",   "actions", "natives",   "routines", "core",  "predicates", "conversions",
    "series", "collect", "operators", "system",   "paths", "loading",    "math", "console"};

void not_done(bool, const int32_t*) {
    runtime::fire_error(runtime::Category::internal, err::internal::not_done);
}

// `make` is bound first: every other built-in function is made with it.
void bind_make() {
    Rooted<Cell> spec;
    block::make_at(*spec, 2);
    block::append_value(*spec, word::load("type"));
    block::append_value(*spec, word::load("spec"));
    native::push(TYPE_ACTION, *spec, 1);
    Cell make = word::load("make");
    word::set(make, *stack::get_top());
    stack::reset();
}

} // namespace

void run_source(const char* name) {
    const Source* source = find_source(name);
    Rooted<Cell> code;
    lexer::load(*code, reinterpret_cast<const uint8_t*>(source->text), uint32_t(source->size));
    code->w1 = 2; // after the header word and block
    interpreter::eval(*code, false);
    stack::reset();
}

void exit_short_of_memory() {
    constexpr std::string_view text = "*** Runtime Error 94: not enough memory to start\n";
    os::write_all(runtime::std_handles.error, text.data(), text.size());
    std::_Exit(runtime::fatal::out_of_memory);
}

void start() {
    runtime::alert_hook = gui::alert;
    system_natives::do_events = gui::do_events;
    init_modules();
    error_text::init();
    lexer::built_type = datatype::is_registered;
    // The rest runs under a trap: start-up short of memory ends in one
    // line, any other error is shown as an uncaught error.
    Rooted<Cell> failure;
    bool started = trap::run(
        [] {
            const Source* catalog = find_source("errors");
            error::load_catalog(reinterpret_cast<const uint8_t*>(catalog->text),
                                uint32_t(catalog->size));
            for (uint32_t i = 1; i <= native_count; ++i) natives::register_native(i, not_done);
            for (auto* register_natives : native_modules) register_natives();
            bind_make();
            for (auto* register_routines : routine_modules) register_routines();
            // Routines are bound by name while the boot sources run, and
            // never afterwards.
            routine::binding_open = true;
            for (const char* name : boot_order) run_source(name);
            routine::binding_open = false;
        },
        *failure);
    if (!started) {
        if (runtime::last_error.category == runtime::Category::internal &&
            runtime::last_error.id == err::internal::no_memory)
            exit_short_of_memory();
        error_text::report_uncaught(*failure);
        std::_Exit(-2 & 0xFF);
    }
    word::collecting = false;
    collector::active = true;
}

} // namespace kiv::boot
