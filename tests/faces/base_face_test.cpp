// Faces the program draws: painting (colour, image, draw block, drawing
// events), transparency composed over what lies below, mouse capture,
// postponed layered repaints, cursors, and faces as images.
#include "face_fixture.h"

#include "gui/backend/control_messages.h"
#include "gui/backend/faces/base_face.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/faces/face_styles.h"
#include "gui/backend/faces/face_window.h"
#include "gui/backend/headless.h"
#include "gui/backend/live_event.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/types.h"

using namespace kiv;
using namespace kiv::gui;
using namespace kiv::gui::faces;
using namespace kiv::testing;

namespace {

class BaseFaceTest : public FaceTest {
  protected:
    // Pixels of `to image!` of the window, as molded tuples.
    std::string pixels(const std::string& points) {
        return molded(
            eval("shot: to image! win collect [foreach p [" + points + "] [keep pick shot p]]"));
    }
    static void pump_for(double ms) {
        static_cast<HeadlessBackend&>(backend()).advance(ms);
        while (do_events(true)) {
        }
    }
};

} // namespace

TEST_F(BaseFaceTest, FacesDrawOverTheirColoursAndTransparentOnesBlend) {
    HWnd w = window_face("size: 100x80 color: 0.0.255");
    child(w, "solid",
          "type: 'base offset: 10x10 size: 20x20 color: 255.0.0"
          " draw: [pen off fill-pen 0.255.0 box 0x0 10x10]");
    child(w, "glass", "type: 'base offset: 50x10 size: 20x20 color: 255.0.0.128");
    child(w, "button", "type: 'button offset: 10x50 size: 20x20 color: 0.255.0");
    // The window's blue, the draw block over the red base, the red base,
    // half red over blue, and the button over its colour.
    EXPECT_EQ(pixels("1x1 12x12 25x25 55x15 15x55"),
              "[0.0.255.0 0.255.0.0 255.0.0.0 127.0.128.0 0.255.0.0]");
    EXPECT_EQ(molded(eval("to image! make face-template [type: 'base]")), "none");
}

TEST_F(BaseFaceTest, TextIsPaintedInItsFontColourAtItsParaPlaceUnderTheDrawBlock) {
    HWnd w = window_face("size: 300x40 color: 255.255.255 text: \"no title ink\"");
    eval("centred: make object! [origin: none padding: none scroll: none align: 'center "
         "v-align: 'middle wrap?: false parent: none]");
    child(w, "label",
          "type: 'base size: 100x40 color: 255.255.255 text: \"WWW\" para: centred"
          " font: make object! [name: none size: 10 style: none angle: 0 color: 255.0.0"
          " anti-alias?: false shadow: none state: none parent: none]");
    child(w, "plain", "type: 'base offset: 100x0 size: 100x40 color: 255.255.255 text: \"WWW\"");
    child(w, "covered",
          "type: 'base offset: 200x0 size: 100x40 color: 255.255.255 text: \"WWW\""
          " draw: [pen off fill-pen 0.0.255 box 0x0 100x40]");
    // Pixels by kind in columns x1..x2 of every row: red, dark or blue ink.
    eval("shot: to image! win ink: func [x1 x2 /local r d b c] [r: d: b: 0 repeat y 40 ["
         "repeat x x2 - x1 + 1 [c: pick shot as-pair x + x1 - 1 y case ["
         "all [c/1 > 150 c/2 < 100] [r: r + 1] all [c/3 > 150 c/1 < 100] [b: b + 1]"
         "c/1 < 100 [d: d + 1]]]] reduce [r > 0 d > 0 b]]");
    // Centred red: nothing in the label's outer columns or rows.
    EXPECT_EQ(molded(eval("reduce [ink 1 25 ink 35 65 ink 76 100]")),
              "[[false false 0] [true false 0] [false false 0]]");
    // Dark ink without a font colour (its subpixel fringes aside); the draw
    // block covers the text.
    EXPECT_EQ(molded(eval("reduce [second ink 101 130 ink 201 300]")), "[true [false false 4000]]");
}

TEST_F(BaseFaceTest, ButtonsWithAFontObjectShowTheCaptionTheFaceCodeDraws) {
    HWnd w = window_face("size: 300x40 color: 255.255.255");
    eval("red-font: make object! [name: none size: 10 style: none angle: 0 color: 255.0.0"
         " anti-alias?: false shadow: none state: none parent: none]"
         " left: make object! [origin: none padding: none scroll: none align: 'left"
         " v-align: 'middle wrap?: false parent: none]");
    child(w, "plain", "type: 'button size: 100x40 color: 255.255.255 text: \"WWW\"");
    child(w, "inked",
          "type: 'button offset: 100x0 size: 100x40 color: 255.255.255 text: \"WWW\""
          " font: red-font");
    child(w, "boxed",
          "type: 'check offset: 200x0 size: 100x40 color: 255.255.255 text: \"WWW\""
          " font: red-font para: left");
    pump_for(0);
    // Whether columns x1..x2 hold red ink in any row.
    eval("shot: to image! win red?: func [x1 x2 /local c] [repeat y 40 [repeat x x2 - x1 + 1 ["
         "c: pick shot as-pair x + x1 - 1 y if all [c/1 > 150 c/2 < 100] [return true]]] false]");
    // No font object: the control's own caption (none headless). Centred
    // both ways without a para; a check box's caption starts right of its
    // box.
    EXPECT_EQ(molded(eval("reduce [red? 1 100 red? 101 115 red? 130 170 red? 185 200"
                          " red? 201 216 red? 217 240 red? 260 300]")),
              "[false false true false false true false]");
    // The caption follows the face's text.
    change(*Rooted<Cell>(eval("inked")), f_text, "\"\"");
    update(*Rooted<Cell>(eval("inked")));
    pump_for(0);
    EXPECT_EQ(molded(eval("shot: to image! win red? 101 200")), "false");
}

// An input method composing in a rich text shows its pre-edit text in the
// face's font, and meanwhile keys count as characters; other base faces
// leave composition to the default.
TEST_F(BaseFaceTest, ACompositionInARichTextTakesTheFacesFont) {
    HWnd w = window_face("size: 300x100");
    eval("big: make object! [name: \"DejaVu Sans\" size: 30 style: none angle: 0 color: none"
         " anti-alias?: false shadow: none state: none parent: none]");
    HWnd rich = child(w, "notes", "type: 'rich-text size: 200x60 font: big");
    HWnd plain = child(w, "plain", "type: 'base size: 50x20 offset: 0x70");
    uint64_t face_font = uint64_t(send_message(rich, WM_GETFONT, 0, 0));
    ASSERT_NE(face_font, 0u);
    for (HWnd target : {rich, plain}) {
        set_focus(target);
        input_composition(true);
        pump_for(0);
        EXPECT_EQ(get_composition_font(target), target == rich ? face_font : 0u);
        EXPECT_EQ(live::state().ime_composing, target == rich);
        input_composition(false);
        pump_for(0);
        EXPECT_FALSE(live::state().ime_composing);
    }
}

TEST_F(BaseFaceTest, DrawErrorsWhilePaintingAreDropped) {
    HWnd w = window_face("size: 100x80 color: 0.0.255");
    child(w, "broken",
          "type: 'base offset: 0x0 size: 20x20 color: 255.255.255"
          " draw: [pen off fill-pen 0.255.0 box 0x0 5x5 box oops]");
    EXPECT_EQ(pixels("2x2 10x10"), "[0.255.0.0 255.255.255.0]");
}

TEST_F(BaseFaceTest, FacesWithoutADrawBlockGetADrawingEvent) {
    HWnd w = window_face("size: 100x80 color: 0.0.255");
    HWnd b = child(w, "canvas", "type: 'base size: 20x20 color: 255.255.255");
    events.clear();
    invalidate_rect(b, nullptr, false);
    update_window(b);
    EXPECT_EQ(events, std::vector<std::string>{"drawing"});
}

TEST_F(BaseFaceTest, CaptureLastsUntilAsManyUpsAsDowns) {
    HWnd w = window_face("size: 100x80 color: 0.0.255");
    HWnd b = child(w, "pad", "type: 'base size: 20x20 color: 255.255.255");
    send_message(b, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    send_message(b, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_EQ(get_capture(), b);
    send_message(b, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(get_capture(), b);
    send_message(b, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(get_capture(), 0u);
    // A capture lost to another window starts the count again.
    send_message(b, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    set_capture(w);
    EXPECT_EQ(get_window_long(b, slot_capture_count), 0);
    send_message(b, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_EQ(get_capture(), b);
    end_base_capture();
    EXPECT_EQ(get_capture(), 0u);
}

TEST_F(BaseFaceTest, ACaretFaceShowsItsOwnersCaretByInversionWhereItLies) {
    HWnd w = window_face("size: 100x80 color: 0.0.255");
    HWnd pad = child(w, "pad", "type: 'base offset: 10x10 size: 60x40 color: 255.255.255");
    HWnd bar = child(w, "bar",
                     "type: 'base offset: 30x20 size: 4x12 color: 0.0.0.255"
                     " options: reduce ['caret pad]");
    EXPECT_EQ(caret_owner(), pad);
    EXPECT_EQ(get_caret_pos(), (Point{20, 10}));
    // The clear caret face shows the owner's white inverted under it.
    const std::string at_first = "[0.0.0.0 255.255.255.0]", at_second = "[255.255.255.0 0.0.0.0]",
                      none = "[255.255.255.0 255.255.255.0]";
    EXPECT_EQ(pixels("32x25 52x25"), at_first);
    pump_for(600);
    EXPECT_EQ(pixels("32x25 52x25"), none);
    pump_for(600);
    EXPECT_EQ(pixels("32x25 52x25"), at_first);
    Rooted<Cell> caret(eval("bar"));
    // Each change of the caret face: where the caret is then.
    struct Case {
        Facet facet;
        const char* value;
        HWnd owner;
        const std::string& picture;
    } cases[] = {
        {f_offset, "50x20", pad, at_second}, {f_visible, "false", 0, none},
        {f_visible, "true", pad, at_second}, {f_enabled, "false", 0, none},
        {f_enabled, "true", pad, at_second},
    };
    for (const Case& c : cases) {
        change(*caret, c.facet, c.value);
        update(*caret);
        EXPECT_EQ(caret_owner(), c.owner) << c.value;
        EXPECT_EQ(pixels("32x25 52x25"), c.picture) << c.value;
    }
    destroy_window(bar);
    EXPECT_EQ(caret_owner(), 0u);
    EXPECT_EQ(pixels("32x25 52x25"), none);
}

TEST_F(BaseFaceTest, AThrottledLayeredRepaintIsPostponedNotDropped) {
    HWnd w = window_face("size: 100x80 color: 0.0.255");
    child(w, "glass", "type: 'base size: 20x20 color: 255.0.0.128 draw: [pen off]");
    pump_for(100);
    change(*Rooted<Cell>(eval("glass")), f_draw, "[pen off fill-pen 0.255.0 box 0x0 20x20]");
    update(*Rooted<Cell>(eval("glass")));
    change(*Rooted<Cell>(eval("glass")), f_draw, "[pen off fill-pen 255.255.0 box 0x0 20x20]");
    update(*Rooted<Cell>(eval("glass")));
    Cell glass = eval("glass");
    Rooted<Cell> kept(glass);
    HWnd g = face_window(*kept);
    Rect invalid;
    EXPECT_FALSE(get_update_rect(g, invalid));
    pump_for(20); // the next frame paints the last change
    EXPECT_EQ(pixels("5x5"), "[255.255.0.0]");
}

TEST_F(BaseFaceTest, AFaceThatTurnsTransparentBecomesLayered) {
    HWnd w = window_face("size: 100x80 color: 0.0.255");
    HWnd first = child(w, "under", "type: 'base size: 20x20 color: 255.0.0");
    HWnd b = child(w, "pane-face", "type: 'base size: 20x20 color: 255.255.255");
    HWnd last = child(w, "over", "type: 'base size: 20x20 color: 0.0.0");
    EXPECT_FALSE(layered(b));
    Rooted<Cell> f(eval("pane-face"));
    change(*f, f_color, "255.255.255.100");
    update(*f);
    HWnd remade = face_window(*f);
    EXPECT_NE(remade, b);
    EXPECT_TRUE(layered(remade));
    EXPECT_EQ(child_windows(w), (std::vector<HWnd>{first, remade, last})); // same place
    EXPECT_FALSE(is_window(b));
}

TEST_F(BaseFaceTest, CursorsComeFromTheOptions) {
    HWnd w = window_face("size: 100x80 color: 0.0.255");
    struct Case {
        const char* options;
        int32_t cursor;
    } cases[] = {
        {"[cursor: hand]", cursor_hand},
        {"[cursor: I-beam]", cursor_ibeam},
        {"[cursor: resize-we]", cursor_resize_ew},
        {"[cursor: other]", cursor_arrow},
        {"[cursor: hand odd]", cursor_none},
        {"compose [cursor: (make image! 4x4)]", cursor_image},
    };
    for (const Case& c : cases) {
        HWnd b = child(w, "pointer", std::string("type: 'base size: 10x10 options: ") + c.options);
        EXPECT_EQ(get_window_long(b, slot_cursor), c.cursor) << c.options;
        EXPECT_EQ(send_message(b, WM_NCHITTEST, 0, 0), HTCLIENT);
        EXPECT_EQ(send_message(b, WM_SETCURSOR, b, 0), c.cursor ? 1 : 0) << c.options;
    }
}

TEST_F(BaseFaceTest, SizeTextMeasuresLines) {
    // DejaVu Sans at 13 px (10 points): "ab" is 16.22 px wide, a line
    // 15.13 px high.
    Rooted<Cell> f(face("type: 'text text: \"ab\""));
    EXPECT_EQ(molded(routine("size-text", {*f, eval("none")})), "(16.21875, 15.13281)");
    EXPECT_EQ(molded(routine("size-text", {*f, eval("\"ab^/a\"")})), "(16.21875, 30.26562)");
    EXPECT_EQ(molded(routine("size-text", {*f, eval("\"ab  \"")})), "(16.21875, 15.13281)");
    Rooted<Cell> empty(face("type: 'text"));
    EXPECT_EQ(molded(routine("size-text", {*empty, eval("none")})), "none");
    EXPECT_EQ(error_of([&] {
                  routine("size-text", {*f, eval("42")});
              }),
              script_error(err::script::invalid_type));
}

TEST_F(BaseFaceTest, ThePointerPassesWhereATransparentFaceIsClear) {
    HWnd w = window_face("size: 100x80 color: 0.0.255");
    HWnd below = child(w, "below", "type: 'button offset: 10x10 size: 40x40");
    HWnd glass = child(w, "glass",
                       "type: 'base offset: 10x10 size: 40x40"
                       " draw: [pen off fill-pen 255.0.0 box 0x0 20x40]");
    pixels("1x1"); // painted
    Rect r = window_rect(w);
    EXPECT_EQ(window_from_point({r.left + 15, r.top + 20}), glass);
    EXPECT_EQ(window_from_point({r.left + 40, r.top + 20}), below); // clear: to the button
}
