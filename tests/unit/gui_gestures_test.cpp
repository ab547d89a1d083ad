// Touch gestures, on the headless backend: the steps a toolkit recognises
// become WM_GESTURE records, and those become events of the face window
// under the fingers.
#include "gui_fixture.h"

#include <numbers>

#include "gui/backend/event.h"
#include "gui/backend/gestures.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "gui/backend/window_proc.h"
#include "runtime/stack.h"

using namespace kiv;
using namespace kiv::testing;
using namespace kiv::gui;

namespace {

constexpr double pi = std::numbers::pi;

// What the handler saw of one event: its type, window, picked value and
// offset.
struct Seen {
    uint32_t type;
    HWnd window;
    std::string picked;
    Point offset;
    bool operator==(const Seen&) const = default;
};
std::vector<Seen> seen;

std::string describe(const Cell& c) {
    switch (cell::type_of(c)) {
    case TYPE_NONE: return "none";
    case TYPE_INTEGER: return std::to_string(int32_t(c.w2));
    case TYPE_FLOAT: return std::to_string(cell::get_float(c));
    default: return "?";
    }
}

void recording_awake(Cell& ev, Cell& out) {
    std::string picked = describe(*event::push_field(ev, 6));
    Cell offset = *event::push_field(ev, 4);
    stack::pop(2);
    seen.push_back({ev.w1,
                    live::state().msg.window,
                    picked,
                    {int(point::get(offset, 0)), int(point::get(offset, 1))}});
    out = word::load("done");
}

class GuiGesturesTest : public GuiValuesTest {
  protected:
    void SetUp() override {
        DatatypeTest::SetUp();
        start_values(recording_awake);
        seen.clear();
        gui::init();
    }
    void TearDown() override {
        gui::cleanup();
        GuiValuesTest::TearDown();
    }
    static HWnd face(Rect r, HWnd parent = 0) {
        uint32_t style = WS_VISIBLE | (parent ? uint32_t(WS_CHILD) : 0u);
        HWnd w = create_window("KivWindow", "", style, r, parent, 0);
        set_window_long(w, wc_offset, 1);
        return w;
    }
    static void feed(std::initializer_list<GestureStep> steps) {
        for (const GestureStep& s : steps) input_gesture_step(s);
        while (do_events(true)) {
        }
    }
};

using G = GestureKind;
using P = GesturePhase;

} // namespace

TEST(GestureTranslation, StepsBecomeFramedRecords) {
    struct Case {
        GestureStep step;
        std::vector<uint32_t> ids;
        uint64_t arguments; // of the step's own record
    };
    Point at{30, 40};
    const Case cases[] = {
        {{G::zoom, P::begin, at, 99.6, 0}, {GID_BEGIN, GID_ZOOM}, 100},
        {{G::zoom, P::update, at, 150.2, 0}, {GID_ZOOM}, 150},
        {{G::zoom, P::end, at, 150, 0}, {GID_END}, 0},
        {{G::pan, P::update, at, 80.4, 0}, {GID_PAN}, 80},
        {{G::rotate, P::begin, at, 0, 0}, {GID_BEGIN, GID_ROTATE}, 32768},
        {{G::rotate, P::update, at, 0, pi / 2}, {GID_ROTATE}, 40959},
        {{G::rotate, P::update, at, 0, -3 * pi}, {GID_ROTATE}, 0}, // beyond a turn: clamped
        {{G::rotate, P::update, at, 0, 2 * pi}, {GID_ROTATE}, 65535},
        {{G::long_press, P::begin, at, 0, 0}, {GID_BEGIN, GID_PRESSANDTAP, GID_END}, 0},
    };
    for (const Case& c : cases) {
        auto records = translate_gesture(c.step);
        std::vector<uint32_t> ids;
        for (const GestureInfo& r : records) {
            ids.push_back(r.id);
            EXPECT_EQ(r.location, at);
        }
        EXPECT_EQ(ids, c.ids) << int(c.step.kind) << " " << int(c.step.phase);
        size_t own = c.ids.size() == 1 ? 0 : 1;
        EXPECT_EQ(records[own].arguments, c.arguments) << int(c.step.kind) << " " << c.step.angle;
    }
}

TEST_F(GuiGesturesTest, GestureRecordsAreKeptForTheirMessages) {
    HWnd top = face({100, 100, 400, 300});
    input_gesture({GID_ZOOM, {120, 130}, 77});
    Msg m;
    ASSERT_TRUE(peek_message(m));
    EXPECT_EQ(m.window, top);
    EXPECT_EQ(m.message, uint32_t(WM_GESTURE));
    EXPECT_EQ(m.wparam, uint64_t(GID_ZOOM));
    auto info = gesture_info(m.lparam);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->arguments, 77u);
    // Only the last ones stay; nothing outside the layer's windows is sent.
    for (uint32_t i = 0; i < kept_gestures; ++i) input_gesture({GID_PAN, {120, 130}, i});
    EXPECT_FALSE(gesture_info(m.lparam));
    EXPECT_FALSE(gesture_info(0));
    input_gesture({GID_PAN, {5, 5}, 0});
    size_t queued = 0;
    while (peek_message(m) && m.message == WM_GESTURE) ++queued;
    EXPECT_EQ(queued, size_t(kept_gestures));
}

TEST_F(GuiGesturesTest, StepsBecomeEventsOfTheFaceUnderTheFingers) {
    HWnd top = face({100, 100, 400, 300});
    HWnd child = face({50, 50, 150, 150}, top);
    Point in_child{200, 170}; // client (50, 20) of the child
    feed({{G::zoom, P::begin, in_child, 100, 0},
          {G::zoom, P::update, in_child, 150, 0},
          {G::zoom, P::update, in_child, 0, 0},
          {G::zoom, P::update, in_child, 50, 0}, // after a zero distance: none
          {G::zoom, P::end, in_child, 50, 0},
          {G::zoom, P::begin, in_child, 200, 0}, // a new gesture starts afresh
          {G::rotate, P::update, {120, 130}, 0, pi / 2},
          {G::long_press, P::begin, {120, 130}, 0, 0}});
    std::vector<Seen> expected = {
        {event::zoom, child, "none", {50, 20}},     {event::zoom, child, "1.500000", {50, 20}},
        {event::zoom, child, "0.000000", {50, 20}}, {event::zoom, child, "none", {50, 20}},
        {event::zoom, child, "none", {50, 20}},     {event::rotate, top, "40959", {20, 30}},
        {event::press_tap, top, "0", {20, 30}},
    };
    EXPECT_EQ(seen, expected);
}
