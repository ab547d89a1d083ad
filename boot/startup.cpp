#include "boot/startup.h"

#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>

#include "boot/image.h"
#include "boot/init.h"
#include "boot/sources.h"
#include "console/asking.h"
#include "console/clusters.h"
#include "console/config_file.h"
#include "console/evaluation.h"
#include "console/gui_print.h"
#include "console/stdio.h"
#include "console/test_dump.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/image.h"
#include "datatypes/native.h"
#include "datatypes/natives.h"
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
#include "evaluator/output.h"
#include "evaluator/sets.h"
#include "evaluator/system_natives.h"
#include "evaluator/trap.h"
#include "gui/backend/awake.h"
#include "gui/backend/clipboard.h"
#include "gui/backend/draw/draw_routines.h"
#include "gui/backend/event_routines.h"
#include "gui/backend/faces/face_free.h"
#include "gui/backend/gui.h"
#include "gui/backend/live_event.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/platform_routines.h"
#include "gui/backend/sync_routines.h"
#include "kivbin/kivbin.h"
#include "library/cache_routines.h"
#include "library/codec_routines.h"
#include "library/core_routines.h"
#include "library/handler_routines.h"
#include "library/json_routines.h"
#include "library/os_routines.h"
#include "library/path_routines.h"
#include "library/predicates.h"
#include "library/script_hooks.h"
#include "library/system_routines.h"
#include "platform/os.h"
#include "runtime/collector.h"
#include "runtime/entry.h"
#include "runtime/errors.h"
#include "runtime/fatal.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

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
    core_routines::register_routines,
    predicates::register_routines,
    codecs::register_routines,
    json_routines::register_routines,
    cache_routines::register_routines,
    os_routines::register_routines,
    path_routines::register_routines,
    system_routines::register_routines,
    handler_routines::register_routines,
    gui::event_routines::register_routines,
    gui::sync_routines::register_routines,
    gui::draw::register_routines,
    gui::platform::register_routines,
    console::register_routines,
    console::register_ask_routines,
    console::register_evaluation_routines,
    console::register_config_routines,
    console::register_gui_print_routines,
    console::register_test_dump_routines,
    console::register_cluster_routines,
};

// The natives of the language, numbered 1 to native_count; those whose
// service is not built yet answer internal not-done.
constexpr uint32_t native_count = 107;

// A failing boot load or boot program ends the process with this status.
constexpr int boot_failure = -2 & 0xFF;

// The boot values: the image's values, kept for the whole run.
Cell boot_values{};

void mark_boot_values() {
    if (boot_values.w2) collector::mark_block(boot_values.w2);
}

[[noreturn]] void fail_boot(const std::string& message) {
    std::string line = message + "\n";
    os::write_all(runtime::std_handles.error, line.data(), line.size());
    std::_Exit(boot_failure);
}

void evaluate(Cell& code) {
    interpreter::eval(code, false);
    stack::reset();
}

// Development: the catalog and the sources read from their folder.
void boot_from_sources(const char* library_dir) {
    Rooted<Cell> code;
    for (size_t i = 0; i < std::size(source_names); ++i) {
        const char* name = source_names[i];
        std::string text;
        if (!read_source(library_dir, name, text))
            fail_boot(std::string("Error: cannot read the boot source ") + library_dir + "/" +
                      name + ".kiv");
        auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
        lexer::load(*code, bytes, uint32_t(text.size()));
        if (i == 0) {
            error::load_catalog(*code);
            continue;
        }
        code->w1 = 2; // after the header word and block
        evaluate(*code);
    }
}

// The image built in: its catalog, then its code blocks in order (its
// definitions are made by the load).
void boot_from_image(const uint8_t* data, size_t size) {
    block::make_at(boot_values, 64);
    kivbin::BootLoad loaded = kivbin::boot_load(data, size, boot_values);
    if (!loaded.failure.empty()) fail_boot(loaded.failure);
    Rooted<Cell> code;
    uint32_t count = memory::buffer_of(boot_values.w2)->length();
    for (uint32_t i = loaded.base; i < count; ++i) {
        *code = block::rs_head(boot_values)[i];
        if (cell::type_of(*code) != TYPE_BLOCK) fail_boot("Error: the boot image holds no code");
        if (i == loaded.base) {
            error::load_catalog(*code);
        } else {
            evaluate(*code);
        }
    }
}

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

void exit_short_of_memory() {
    constexpr std::string_view text = "*** Runtime Error 94: not enough memory to start\n";
    os::write_all(runtime::std_handles.error, text.data(), text.size());
    std::_Exit(runtime::fatal::out_of_memory);
}

namespace {

// Starts every module, binds the built-in functions, then boots the
// language with `boot`.
template <class Boot>
void start_with(const Boot& boot) {
    runtime::alert_hook = gui::alert;
    os_routines::desktop_clipboard() = {gui::desktop_clipboard, gui::clipboard_read,
                                        gui::clipboard_write};
    system_natives::do_events = gui::do_events;
    gui::live::hooks().awake = gui::call_awake;
    // A face is drawn into an image also before the GUI has started.
    image::face_to_image = gui::faces::to_image;
    script_hooks::install();
    init_modules();
    collector::add_marker(mark_boot_values);
    error_text::init();
    lexer::built_type = datatype::is_registered;
    // The rest runs under a trap: start-up short of memory ends in one
    // line, any other error is shown as an uncaught error.
    Rooted<Cell> failure;
    bool started = trap::run(
        [&boot] {
            for (uint32_t i = 1; i <= native_count; ++i) natives::register_native(i, not_done);
            for (auto* register_natives : native_modules) register_natives();
            bind_make();
            for (auto* register_routines : routine_modules) register_routines();
            // Routines are bound by name while the boot sources run, and
            // never afterwards.
            routine::binding_open = true;
            boot();
            routine::binding_open = false;
            interpreter::note_library();
        },
        *failure);
    if (!started) {
        if (runtime::last_error.category == runtime::Category::internal &&
            runtime::last_error.id == err::internal::no_memory)
            exit_short_of_memory();
        error_text::report_uncaught(*failure);
        std::_Exit(boot_failure);
    }
    word::collecting = false;
    collector::active = true;
}

} // namespace

void start() {
    if (const char* library_dir = std::getenv("KIV_BOOT_SOURCES")) {
        start_from_sources(library_dir);
    } else {
        start_from_image(image_data, image_size);
    }
}

void start_from_sources(const char* library_dir) {
    start_with([library_dir] { boot_from_sources(library_dir); });
}

void start_from_image(const uint8_t* data, size_t size) {
    start_with([data, size] { boot_from_image(data, size); });
}

} // namespace kiv::boot
