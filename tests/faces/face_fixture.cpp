#include "face_fixture.h"
#include "face_template.h"

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
#include "gui/backend/event.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/live_event.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/platform_routines.h"
#include "gui/backend/window_layer.h"
#include "runtime/stack.h"

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

} // namespace

void FaceTest::SetUp() {
    static bool template_made = false;
    if (!template_made) {
        eval(face_template_script);
        eval("fixture-value: none");
    }
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
    if (Cell* kept = global_slot("fixture-value")) *kept = result;
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
    keep_state(*kept, made);
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
