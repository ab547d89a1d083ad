#include "face_fixture.h"

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/symbol.h"
#include "datatypes/url.h"
#include "datatypes/word.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "evaluator/stack.h"
#include "gui/backend/event.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/live_event.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/platform_routines.h"
#include "gui/backend/window_layer.h"

namespace kiv::testing {

using namespace gui::faces;

std::vector<std::string> FaceTest::events;
std::string FaceTest::answer;

namespace {

void recording_awake(Cell& event, Cell& answer) {
    FaceTest::events.emplace_back(gui::event::type_name(event.w1));
    answer =
        FaceTest::answer.empty() ? Cell{TYPE_NONE, 0, 0, 0} : word::load(FaceTest::answer.c_str());
}

Cell* global_slot(const char* name) {
    int32_t index = context::find_word(context::global, symbol::intern(name), true);
    return index < 0 ? nullptr
                     : const_cast<Cell*>(context::slot_at(context::global, uint32_t(index)));
}

// The template: every field in order, none but the two logic facets and
// the handlers, which do nothing.
constexpr const char* face_template = R"(
face-template: object [
    type: 'face offset: none size: none text: none image: none color: none menu: none
    data: none enabled?: true visible?: true selected: none flags: none options: none
    parent: none pane: none state: none rate: none edge: none para: none font: none
    actors: none extra: none draw: none
    on-change*: func [word old new] []
    on-deep-change*: func [owner word target action new index part] []
]
fixture-value: none
)";

} // namespace

void FaceTest::SetUp() {
    static bool template_made = false;
    if (!template_made) eval(face_template);
    template_made = true;
    gui::init();
    gui::loop_state() = {};
    events.clear();
    answer.clear();
    gui::live::hooks().awake = recording_awake;
}

void FaceTest::TearDown() {
    gui::cleanup();
}

Cell FaceTest::eval(const std::string& text) {
    Rooted<Cell> code;
    lexer::load(*code, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
    stack::reset();
    interpreter::eval(*code, true);
    Cell result = *stack::get_top();
    *global_slot("fixture-value") = result;
    stack::reset();
    return result;
}

Cell FaceTest::face(const std::string& spec) {
    return eval("make face-template [" + spec + "]");
}

Cell FaceTest::routine(const char* name, std::initializer_list<Cell> args) {
    Cell cells[8] = {};
    int i = 0;
    for (const Cell& a : args) cells[i++] = a;
    gui::platform::call(*gui::platform::find(name), cells);
    return cells[0];
}

gui::HWnd FaceTest::show(const Cell& face, gui::HWnd parent) {
    Rooted<Cell> kept(face);
    Cell made = routine("make-view", {*kept, handle_cell(parent)});
    Rooted<Cell> state;
    block::make_at(*state, 4);
    block::append_value(*state, made);
    integer::make_in(*state, 0);
    block::append_value(*state, Cell{TYPE_NONE, 0, 0, 0});
    logic::make_in(*state, false);
    facet(*kept, f_state) = *state;
    return handle::value_of(made);
}

Cell FaceTest::handle_cell(gui::HWnd window) {
    Cell h{};
    handle::make_at(h, window, handle::window);
    return h;
}

void FaceTest::change(const Cell& face, Facet f, const std::string& value) {
    Rooted<Cell> kept(face);
    Rooted<Cell> v(eval(value));
    facet(*kept, f) = *v;
    set_pending_bits(*kept, pending_bits(*kept) | bit(f));
}

void FaceTest::update(const Cell& face) {
    routine("update-view", {face});
}

gui::HWnd FaceTest::window_face(const std::string& spec) {
    eval("win: make face-template [type: 'window pane: copy [] " + spec + "]");
    gui::HWnd w = show(*Rooted<Cell>(eval("win")));
    gui::show_window(w, gui::SW_SHOW);
    return w;
}

gui::HWnd FaceTest::child(gui::HWnd parent, const std::string& name, const std::string& spec) {
    eval(name + ": make face-template [" + spec + "] append win/pane " + name);
    return show(*Rooted<Cell>(eval(name)), parent);
}

std::string FaceTest::molded(const Cell& value) {
    *global_slot("fixture-value") = value;
    return url::utf8_text(eval("mold fixture-value"));
}

} // namespace kiv::testing
