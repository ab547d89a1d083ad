// The backend's start-up, window classes, control front procedures, the
// window procedure of faces and the platform routines, on the headless
// backend.
#include "gui_fixture.h"

#include "datatypes/block.h"
#include "datatypes/handle.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/series.h"
#include "datatypes/tuple.h"
#include "gui/backend/classes.h"
#include "gui/backend/control_models.h"
#include "gui/backend/dpi.h"
#include "gui/backend/event.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/live_event.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/platform_routines.h"
#include "gui/backend/window_layer.h"
#include "gui/backend/window_proc.h"
#include "runtime/stack.h"
#include "runtime/text_index.h"
#include "tests/unit/words_init.h"

using namespace kiv;
using namespace kiv::testing;
using namespace kiv::gui;

namespace {

std::vector<uint32_t> event_types;
const char* answer = "done";

void recording_awake(Cell& ev, Cell& out) {
    event_types.push_back(ev.w1);
    out = word::load(answer);
}

class GuiPlatformTest : public GuiValuesTest {
  protected:
    void SetUp() override {
        DatatypeTest::SetUp();
        start_values(recording_awake);
        event_types.clear();
        answer = "done";
        gui::init();
    }
    void TearDown() override {
        gui::cleanup();
        GuiValuesTest::TearDown();
    }
    static HWnd control(std::string_view cls, uint32_t style = 0) {
        return create_window(cls, "", style, {0, 0, 50, 20}, 0, 0);
    }
    static std::string text(HWnd w) { return get_window_text(w); }
    static Cell routine(const char* name, std::initializer_list<Cell> args = {}) {
        Cell cells[8] = {};
        int i = 0;
        for (const Cell& a : args) cells[i++] = a;
        platform::call(*platform::find(name), cells);
        return cells[0];
    }
};

} // namespace

TEST_F(GuiPlatformTest, ClassesRegisterOnceAndAgainAfterCleanup) {
    for (const char* name :
         {"KivWindow", "KivPanel", "KivBase", "KivBaseInternal", "KivCamera", "KivButton",
          "KivListBox", "KivProgress", "KivSlider", "KivScroller", "KivTabPanel", "KivCombo",
          "KivFace", "KivCalendar", "KivArea", "kivfield"})
        EXPECT_TRUE(class_info(name)) << name;
    gui::cleanup();
    gui::init(); // a second start-up registers every class again
    EXPECT_TRUE(class_info("KivScroller"));
    EXPECT_TRUE(class_info("KivField"));
}

TEST_F(GuiPlatformTest, FailedSuperclassRegistersNothing) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(superclass_control("KivNothing", "NoSuchControl", nullptr), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "*** Error in GetClassInfoEx\n");
    EXPECT_FALSE(class_info("KivNothing"));
}

TEST_F(GuiPlatformTest, FieldsAndAreasFilterCharacters) {
    HWnd field = control("KivField");
    HWnd area = control("KivArea", ES_MULTILINE);
    for (uint64_t c : {uint64_t('a'), uint64_t(13), uint64_t(9), uint64_t('b')})
        send_message(field, WM_CHAR, c, 0);
    EXPECT_EQ(text(field), "ab"); // return and tab never reach the control
    for (uint64_t c : {uint64_t('x'), uint64_t(13), uint64_t('y')})
        send_message(area, WM_CHAR, c, 0);
    EXPECT_EQ(text(area), "x\ny");
    EXPECT_EQ(send_message(area, WM_CHAR, 1, 0), 1); // Ctrl+A selects all
    Selection all = edit_selection(area);
    EXPECT_EQ(all.start, 0);
    EXPECT_EQ(all.end, 3);
    send_message(area, WM_CHAR, 0xD83D, 0); // typing replaces the selection
    send_message(area, WM_CHAR, 0xDE00, 0);
    EXPECT_EQ(text(area), "\xF0\x9F\x98\x80");
    EXPECT_EQ(edit_selection(area).start, 1);
    // A single-line field takes Ctrl+A as no character.
    send_message(field, WM_CHAR, 1, 0);
    EXPECT_EQ(text(field), "ab");
}

TEST_F(GuiPlatformTest, KeysAndClicksInAFieldMakeSelectEvents) {
    HWnd field = control("KivField");
    send_message(field, WM_KEYUP, 'A', 0);
    send_message(field, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(event_types, (std::vector<uint32_t>{event::select, event::select}));
}

TEST_F(GuiPlatformTest, StaticTextCapturesTheMouseWhileHeld) {
    HWnd label = control("KivFace");
    EXPECT_EQ(send_message(label, WM_NCHITTEST, 0, 0), HTCLIENT);
    send_message(label, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_EQ(get_capture(), label);
    send_message(label, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(get_capture(), 0u);
}

TEST_F(GuiPlatformTest, WindowFacesTurnCloseIntoAnEvent) {
    HWnd plain = create_window("KivWindow", "", WS_VISIBLE, {0, 0, 100, 100}, 0, 0);
    send_message(plain, WM_CLOSE, 0, 0); // no face: closed by default
    EXPECT_FALSE(is_window(plain));
    HWnd face = create_window("KivWindow", "", WS_VISIBLE, {0, 0, 100, 100}, 0, 0);
    set_window_long(face, wc_offset, 1);
    event_types.clear();
    send_message(face, WM_CLOSE, 0, 0);
    EXPECT_TRUE(is_window(face)); // the engine unviews it
    ASSERT_FALSE(event_types.empty());
    EXPECT_EQ(event_types.back(), uint32_t(event::close));
    answer = "stop";
    send_message(face, WM_CLOSE, 0, 0);
    Msg m;
    EXPECT_TRUE(peek_message(m));
    EXPECT_EQ(m.message, WM_QUIT);
    // Closed by the engine: the default procedure destroys it.
    set_window_long(face, slot_widget_extra, -1);
    send_message(face, WM_CLOSE, 0, 0);
    EXPECT_FALSE(is_window(face));
}

TEST_F(GuiPlatformTest, WindowFacesReportMovesSizesAndActivation) {
    HWnd face = create_window("KivWindow", "", WS_VISIBLE, {0, 0, 100, 100}, 0, 0);
    set_window_long(face, wc_offset, 1);
    event_types.clear();
    set_window_pos(face, {10, 10, 210, 110});
    set_active_window(face);
    EXPECT_EQ(event_types, (std::vector<uint32_t>{event::move, event::resize, event::focus}));
}

TEST_F(GuiPlatformTest, TextIndexesAgainstUtf8Offsets) {
    std::string text = "a\xF0\x9F\x98\x80\xC3\xA9z"; // a, U+1F600, é, z
    EXPECT_EQ(utf8::char_count(text), 4u);
    struct Case {
        size_t index, offset;
    } cases[] = {{0, 0}, {1, 1}, {2, 5}, {3, 7}, {4, 8}, {9, 8}};
    for (auto& c : cases) EXPECT_EQ(utf8::byte_offset(text, c.index), c.offset) << c.index;
    EXPECT_EQ(utf8::char_index(text, 3), 1u); // inside the astral character
    EXPECT_EQ(utf8::char_index(text, 5), 2u);
    EXPECT_EQ(utf8::char_index(text, 100), 4u);
    EXPECT_EQ(utf8::of_char(0x1F600), "\xF0\x9F\x98\x80");
}

TEST_F(GuiPlatformTest, StartUpReadsTheKernelVersionAndHasOneVirtualMonitor) {
    EXPECT_GE(os_version().major, 2u);
    EXPECT_EQ(os_version().product, 1u);
    auto screens = fetch_all_screens();
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].size.x, 1280);
    EXPECT_EQ(screens[0].size.y, 1024);
    EXPECT_EQ(screens[0].scale, 1.0);
    EXPECT_EQ(current_screen(), screens[0].handle);
    EXPECT_FALSE(support_dark_mode());
    Metrics m = system_metrics();
    EXPECT_EQ(m.dpi, 96);
    EXPECT_EQ(m.window, 0xFFFFFFu);
}

TEST_F(GuiPlatformTest, DpiOfARectangleAcrossTwoMonitors) {
    set_monitors({{"a", {0, 0, 1000, 800}, {0, 0, 1000, 800}, 1.0, 96},
                  {"b", {1000, 0, 2500, 1200}, {1000, 0, 2500, 1200}, 1.5, 144}});
    // Mostly on the second monitor once scaled: it settles on 144.
    EXPECT_EQ(dpi_for_rect({900, 0}, 300, 100), 144.0);
    EXPECT_EQ(dpi_for_rect({10, 10}, 100, 100), 96.0);
    set_dpi(96);
}

TEST_F(GuiPlatformTest, PlatformRoutines) {
    Cell null_handle = routine("make-null-handle");
    EXPECT_EQ(cell::type_of(null_handle), uint32_t(TYPE_HANDLE));
    EXPECT_EQ(handle::kind_of(null_handle), uint32_t(handle::none));
    set_monitors({{"a", {0, 0, 1000, 800}, {0, 0, 1000, 800}, 1.0, 96},
                  {"b", {1000, 0, 2500, 1200}, {1000, 0, 2500, 1200}, 1.5, 144}});
    Cell screens = test::hold(routine("fetch-all-screens"));
    ASSERT_EQ(block::rs_length(screens), 2);
    Cell second = block::rs_head(screens)[1];
    EXPECT_EQ(molded(second, true).substr(0, 22), "[1000x0 1500x1200 1.5 ");
    Cell size = routine("get-screen-size", {int_cell(int32_t(block::rs_head(second)[3].w2))});
    EXPECT_EQ(pair::x_of(size), 1500);
    Cell no_wait{TYPE_LOGIC, 1, 0, 0};
    EXPECT_EQ(routine("do-event-loop", {no_wait}).w1, 0u); // nothing queued
    EXPECT_EQ(error_of([&] { routine("do-event-loop", {int_cell(1)}); }),
              script(err::script::expect_arg));
    EXPECT_EQ(error_of([&] { routine("get-screen-size", {no_wait}); }),
              script(err::script::expect_arg));
    EXPECT_EQ(error_of([&] { routine("toggle-GPU"); }), no_error);
    // An object that is no face has no para to apply.
    EXPECT_EQ(error_of([&] {
                  routine("update-para", {Cell{TYPE_OBJECT, 0, 0, 0}, int_cell(0)});
              }),
              no_error);
    routine("exit-event-loop");
    Msg m;
    EXPECT_TRUE(peek_message(m));
    EXPECT_EQ(m.message, WM_QUIT);
}
