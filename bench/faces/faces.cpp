// 2,000 faces in one window through the platform routines of the face
// life cycle, as the engine calls them: made and shown until drawn, then
// the text or data and the offset of each changed and applied by one
// update-view of the block, then destroyed. Prints the seconds of each
// phase. Built on request only (target kiv_faces_bench); bench/faces/run
// times it beside the same work done with GTK directly.
#include "boot/startup.h"
#include "datatypes/block.h"
#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/types.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "evaluator/stack.h"
#include "gui/backend/faces/face.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/platform_routines.h"
#include "gui/backend/window_layer.h"
#include "runtime/faults.h"
#include "runtime/roots.h"
#include "tests/faces/face_template.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using namespace kiv;
using namespace kiv::gui;

// The faces, made from the test template: a window and 2,000 children of five types in turn, 100x24
// each, 20 to a column.
constexpr const char* faces_script = R"(
types: [button check field text slider]
win: make face-template [type: 'window size: 2100x520 text: "faces" pane: make block! 2000]
repeat i 2000 [
    kind: pick types i - 1 // 5 + 1
    append win/pane make face-template [
        type: kind offset: as-pair i - 1 / 20 * 105 i - 1 // 20 * 26 size: 100x24
        text: either kind = 'slider [none] [rejoin ["face " i]] data: either kind = 'slider [0%] [none]
    ]
]
)";

constexpr const char* change_script = R"(
foreach f win/pane [
    either f/type = 'slider [f/data: 50%] [f/text: "changed"]
    f/offset: f/offset + 1x1
]
)";

void run(const char* text) {
    Rooted<Cell> code;
    lexer::load(*code, reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text)));
    stack::reset();
    interpreter::eval(*code, false);
    stack::reset();
}

Cell global(const char* text) {
    Rooted<Cell> code;
    lexer::load(*code, reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text)));
    stack::reset();
    interpreter::eval(*code, true);
    Cell value = *stack::get_top();
    stack::reset();
    return value;
}

Cell routine(const char* name, Cell a, Cell b = {}) {
    Cell args[8] = {a, b};
    platform::call(*platform::find(name), args);
    return args[0];
}

Cell window_handle(HWnd w) {
    Cell h{};
    handle::make_at(h, w, handle::window);
    return h;
}

// make-view and the state block the engine keeps.
HWnd show(const Cell& face, HWnd parent) {
    Rooted<Cell> kept(face);
    Cell made = routine("make-view", *kept, window_handle(parent));
    testing::keep_state(*kept, made);
    return handle::value_of(made);
}

// Runs the loop until nothing is left to do.
void settle() {
    for (int quiet = 0; quiet < 3;) {
        backend().pump();
        bool any = false;
        while (do_events(true)) any = true;
        quiet = any ? 0 : quiet + 1;
        if (!any) backend().wait(1);
    }
}

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main() {
    runtime::install_fault_handlers();
    boot::start();
    init();
    run(testing::face_template_script);
    run(faces_script);
    Rooted<Cell> window(global("win")), pane(global("win/pane"));

    auto start = std::chrono::steady_clock::now();
    HWnd top = show(*window, 0);
    for (int32_t i = 0; i < block::rs_length(*pane); ++i) show(block::rs_head(*pane)[i], top);
    routine("show-window", window_handle(top));
    settle();
    double create = since(start);

    run(change_script);
    for (int32_t i = 0; i < block::rs_length(*pane); ++i) {
        Cell face = block::rs_head(*pane)[i];
        bool slider = faces::face_type(face) == faces::FaceType::slider;
        faces::set_pending_bits(face, faces::bit(faces::f_offset) |
                                          faces::bit(slider ? faces::f_data : faces::f_text));
    }
    start = std::chrono::steady_clock::now();
    routine("update-view", *pane);
    settle();
    double update = since(start);

    start = std::chrono::steady_clock::now();
    routine("destroy-view", *window, Cell{TYPE_LOGIC, 1, 0, 0});
    settle();
    double destroy = since(start);
    cleanup();
    std::printf("%.4f %.4f %.4f\n", create, update, destroy);
    return top_level_windows().empty() ? 0 : 1;
}
