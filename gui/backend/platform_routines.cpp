#include "gui/backend/platform_routines.h"

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/function.h"
#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/ownership.h"
#include "datatypes/pair.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "gui/backend/dialogs_routines.h"
#include "gui/backend/dpi.h"
#include "gui/backend/draw/draw_routines.h"
#include "gui/backend/faces/face_routines.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/text/font_style.h"
#include "gui/backend/text/fonts.h"
#include "gui/backend/text/metrics.h"
#include "gui/backend/text/para.h"
#include "gui/backend/window_layer.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/types.h"

#include <string>
#include <utility>

namespace kiv::gui::platform {

namespace {

constexpr Types bit(uint32_t type) {
    return Types(1) << type;
}
constexpr Types any = 0, object = bit(TYPE_OBJECT), handle_ = bit(TYPE_HANDLE),
                integer = bit(TYPE_INTEGER), logic_ = bit(TYPE_LOGIC), image = bit(TYPE_IMAGE),
                block_ = bit(TYPE_BLOCK),
                word_ =
                    bit(TYPE_WORD) | bit(TYPE_SET_WORD) | bit(TYPE_LIT_WORD) | bit(TYPE_GET_WORD);

void make_null_handle(Cell* args) {
    handle::make_at(args[0], 0, handle::none);
}

// A block of per-monitor blocks: offset, size, scale and the monitor.
void fetch_all_screens(Cell* args) {
    Rooted<Cell> all;
    block::make_at(*all, 4);
    for (const Screen& s : gui::fetch_all_screens()) {
        Rooted<Cell> one;
        block::make_at(*one, 4);
        pair::make_in(*one, s.offset.x, s.offset.y);
        pair::make_in(*one, s.size.x, s.size.y);
        float_::make_at(*cell::alloc_tail(*one), s.scale);
        handle::make_in(*one, s.handle, handle::monitor);
        block::append_value(*all, *one);
    }
    args[0] = *all;
}

void get_current_screen(Cell* args) {
    handle::make_at(args[0], current_screen(), handle::monitor);
}

// The size of a screen by its monitor handle; 0x0 for none.
void get_screen_size(Cell* args) {
    auto m = monitor_info(HMonitor(args[0].w2));
    pair::make_at(args[0], m ? m->area.width() : 0, m ? m->area.height() : 0);
}

void detach_image(Cell* args) {
    ownership::unbind(args[0]);
    unset::make_at(args[0]);
}

void do_event_loop(Cell* args) {
    logic::make_at(args[0], do_events(logic::get(args[0])) == 1);
}

void exit_event_loop(Cell* args) {
    if (layer_running()) post_quit_message(0);
    unset::make_at(args[0]);
}

// The window of a face: its state facet starts with a handle!.
HWnd face_window(const Cell& face) {
    const Cell* state = object::find_word(face, series::word_cell("state"));
    if (cell::type_of(*state) != TYPE_BLOCK || block::rs_length(*state) < 1) return 0;
    const Cell& h = block::rs_head(*state)[0];
    return cell::type_of(h) == TYPE_HANDLE ? handle::value_of(h) : 0;
}

void set_dark_mode_routine(Cell* args) {
    const Cell* type = object::find_word(args[0], series::word_cell("type"));
    bool window_face = word::any_word(cell::type_of(*type)) &&
                       symbol::resolve(type->w2) == symbol::resolve(symbol::intern("window"));
    gui::set_dark_mode(face_window(args[0]), logic::get(args[1]), window_face);
    unset::make_at(args[0]);
}

void support_dark_mode_q(Cell* args) {
    logic::make_at(args[0], gui::support_dark_mode());
}

// Milliseconds between two caret blinks; negative when blinking is off.
void caret_blink_time(Cell* args) {
    integer::make_at(args[0], gui::caret_blink_ms());
}

// The font's native font made again after a change of a field (by index).
void update_font(Cell* args) {
    text::update_font(args[0], integer::get(args[1]));
    args[0] = none::value;
}

void update_para(Cell* args) {
    text::update_para(args[0]);
    args[0] = none::value;
}

// With Cairo there is no graphics device to make again.
void toggle_gpu(Cell* args) {
    unset::make_at(args[0]);
}

const Routine routines[] = {
    {"make-null-handle", 1, 0, {}, {}, make_null_handle},
    {"fetch-all-screens", 2, 0, {}, {}, fetch_all_screens},
    {"get-current-screen", 3, 0, {}, {}, get_current_screen},
    {"get-screen-size", 6, 1, {integer}, {"id"}, get_screen_size},
    {"size-text", 7, 2, {object, any}, {"face", "value"}, faces::routines::size_text},
    {"on-change-facet",
     8,
     7,
     {object, word_, any, bit(TYPE_WORD), any, integer, integer},
     {"owner", "word", "value", "action", "new", "index", "part"},
     faces::routines::on_change_facet},
    {"update-text", 9, 1, {object}, {"face"}, faces::routines::update_text},
    {"update-font", 10, 2, {object, integer}, {"font", "flags"}, update_font},
    {"update-para", 11, 2, {object, integer}, {"face", "flags"}, update_para},
    {"destroy-view", 12, 2, {object, logic_}, {"face", "empty?"}, faces::routines::destroy_view},
    {"detach-image", 13, 1, {image}, {"img"}, detach_image},
    {"update-view", 14, 1, {any}, {"face"}, faces::routines::update_view},
    {"refresh-window", 15, 1, {handle_}, {"h"}, faces::routines::refresh_window},
    {"redraw", 16, 1, {object}, {"face"}, faces::routines::redraw},
    {"show-window", 17, 1, {handle_}, {"id"}, faces::routines::show_window},
    {"make-view", 18, 2, {object, handle_}, {"face", "parent"}, faces::routines::make_view},
    {"draw-image", 19, 2, {image, block_}, {"image", "cmds"}, draw::draw_image},
    {"draw-face", 20, 2, {object, block_}, {"face", "cmds"}, faces::routines::draw_face},
    {"do-event-loop", 21, 1, {logic_}, {"no-wait?"}, do_event_loop},
    {"exit-event-loop", 22, 0, {}, {}, exit_event_loop},
    {"request-font", 23, 3, {object, any, logic_}, {"font", "selected", "mono?"}, request_font},
    {"request-file",
     24,
     5,
     {any, any, any, logic_, logic_},
     {"title", "name", "filter", "save?", "multi?"},
     request_file},
    {"request-dir",
     25,
     5,
     {any, any, any, logic_, logic_},
     {"title", "dir", "filter", "keep?", "multi?"},
     request_dir},
    {"text-box-metrics",
     26,
     3,
     {object, any, integer},
     {"box", "arg0", "type"},
     text::text_box_metrics_routine},
    {"update-scroller",
     27,
     2,
     {object, integer},
     {"scroller", "flags"},
     faces::routines::update_scroller},
    {"set-dark-mode", 28, 2, {object, logic_}, {"face", "dark?"}, set_dark_mode_routine},
    {"support-dark-mode?", 29, 0, {}, {}, support_dark_mode_q},
    {"toggle-GPU", 30, 0, {}, {}, toggle_gpu},
    {"get-caret-blink-time", 31, 0, {}, {}, caret_blink_time},
};

// The default families, by fontconfig's generic names.
constexpr const char* default_families[] = {"monospace", "sans-serif", "serif"};

// Starts the backend (once), sets the default font (into
// system/view/fonts) and answers what the engine keeps of it: the OS
// version as a tuple, its build and product numbers, the DPI and the
// fixed, sans-serif and serif families as fontconfig resolves them.
// The paddings of text controls the backend measures in the default font,
// as [type left x right top x bottom ...] (empty headless).
void append_paddings(Cell& answer) {
    text::Font* font = text::default_font();
    std::string css = font ? text::font_css(*font, scale_factor()) : std::string();
    Rooted<Cell> list;
    block::make_at(*list, 15);
    for (const ControlPadding& p : control_paddings(css)) {
        block::append_value(*list, word::load(p.type));
        pair::make_in(*list, p.left, p.right);
        pair::make_in(*list, p.top, p.bottom);
    }
    block::append_value(answer, *list);
}

void start_backend(Cell* args) {
    gui::init();
    text::set_default_font(0);
    const OsVersion& v = os_version();
    Rooted<Cell> answer;
    block::make_at(*answer, 8);
    uint8_t parts[] = {uint8_t(v.major), uint8_t(v.minor), uint8_t(v.build)};
    tuple::make_at(*cell::alloc_tail(*answer), parts, 3);
    integer::make_in(*answer, int32_t(v.build));
    integer::make_in(*answer, int32_t(v.product));
    float_::make_at(*cell::alloc_tail(*answer), current_dpi());
    for (const char* family : default_families) {
        std::string resolved = text::resolve_family(family);
        string::load_in(reinterpret_cast<const uint8_t*>(resolved.data()),
                        uint32_t(resolved.size()), *answer, string::Encoding::utf8);
    }
    append_paddings(*answer);
    args[0] = *answer;
}

template <size_t I>
void call_routine(Cell* args) {
    call(routines[I], args);
}

template <size_t... I>
void register_table(std::index_sequence<I...>) {
    (routine::register_named(std::string("platform/") + routines[I].name, call_routine<I>), ...);
}

} // namespace

void register_routines() {
    register_table(std::make_index_sequence<std::size(routines)>());
    routine::register_named("platform/start-backend", start_backend);
    routine::register_named("scroll-face", faces::routines::scroll_face);
    routine::register_named("paint-area", faces::routines::paint_area);
}

const Routine* find(std::string_view name) {
    for (auto& r : routines)
        if (name == r.name) return &r;
    return nullptr;
}

void call(const Routine& routine, Cell* args) {
    for (int i = 0; i < routine.arg_count; ++i) {
        Types allowed = routine.args[i];
        uint32_t type = cell::type_of(args[i]);
        if (allowed == 0 || (allowed & bit(type))) continue;
        Cell name = word::load(routine.name), datatype = datatype::value(type),
             argument = word::load(routine.arg_names[i]);
        runtime::fire_error(runtime::Category::script, err::script::expect_arg, &name, &datatype,
                            &argument);
    }
    routine.body(args);
}

} // namespace kiv::gui::platform
