// The layer's caret: drawn by inverting its owner's pixels, blinking on
// the layer clock, off the surface while the owner paints, and told to
// the backend wherever it goes.
#include "gui/backend/headless.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

#include <cairo.h>
#include <gtest/gtest.h>

using namespace kiv::gui;

namespace {

class CaretBackend : public HeadlessBackend {
  public:
    void caret_moved(HWnd owner, const Rect& caret) override { moves.push_back({owner, caret}); }
    struct Move {
        HWnd owner;
        Rect caret;
        bool operator==(const Move&) const = default;
    };
    std::vector<Move> moves;
};

constexpr uint32_t grey = 0xFF404040u, inverted_grey = 0xFFBFBFBFu;
int paints = 0;

// Paints its whole client grey.
int64_t grey_proc(HWnd w, uint32_t m, uint64_t wp, int64_t lp) {
    if (m != WM_PAINT) return def_window_proc(w, m, wp, lp);
    PaintStruct ps;
    cairo_t* cr = begin_paint(w, ps);
    cairo_set_source_rgb(cr, 0x40 / 255.0, 0x40 / 255.0, 0x40 / 255.0);
    cairo_paint(cr);
    end_paint(w, ps);
    ++paints;
    return 0;
}

class GuiCaretTest : public ::testing::Test {
  protected:
    CaretBackend* backend_ = nullptr;
    void SetUp() override {
        auto owned = std::make_unique<CaretBackend>();
        backend_ = owned.get();
        layer_start(std::move(owned));
        register_class({"Grey", grey_proc, 0, 0});
        paints = 0;
    }
    void TearDown() override { layer_stop(); }

    HWnd grey_window() {
        HWnd w = create_window("Grey", "", WS_VISIBLE, {0, 0, 100, 100}, 0, 0);
        run_for(0);
        return w;
    }
    static void run_for(double ms) {
        static_cast<HeadlessBackend&>(backend()).advance(ms);
        Msg m;
        while (peek_message(m)) dispatch_message(m);
    }
    static uint32_t pixel(HWnd w, int x, int y) {
        cairo_surface_t* s = window_surface(w);
        cairo_surface_flush(s);
        auto* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
        return reinterpret_cast<uint32_t*>(row)[x];
    }
    // The caret's columns (x 4, 5) and the pixel beside them, at row 4.
    static std::vector<uint32_t> row_at_caret(HWnd w, int x = 4, int y = 4) {
        return {pixel(w, x, y), pixel(w, x + 1, y), pixel(w, x + 2, y), pixel(w, x, y + 9),
                pixel(w, x, y + 10)};
    }
};

const std::vector<uint32_t> caret_shown = {inverted_grey, inverted_grey, grey, inverted_grey, grey};
const std::vector<uint32_t> caret_gone = {grey, grey, grey, grey, grey};

TEST_F(GuiCaretTest, DrawnByInversionWhereItIsAndBlinking) {
    HWnd w = grey_window();
    ASSERT_TRUE(create_caret(w, 2, 10));
    ASSERT_TRUE(set_caret_pos({4, 4}));
    EXPECT_EQ(row_at_caret(w), caret_gone); // made hidden
    ASSERT_TRUE(show_caret(w));
    EXPECT_EQ(row_at_caret(w), caret_shown);
    run_for(600);
    EXPECT_EQ(row_at_caret(w), caret_gone);
    run_for(600);
    EXPECT_EQ(row_at_caret(w), caret_shown);
    // Hides count: two hides need two shows.
    hide_caret(w);
    hide_caret(w);
    EXPECT_EQ(row_at_caret(w), caret_gone);
    show_caret(w);
    run_for(600);
    EXPECT_EQ(row_at_caret(w), caret_gone);
    show_caret(w);
    EXPECT_EQ(row_at_caret(w), caret_shown);
    EXPECT_FALSE(show_caret(w)); // shown already
    // Moved: gone from the old place, drawn at once at the new one.
    set_caret_pos({50, 60});
    EXPECT_EQ(row_at_caret(w), caret_gone);
    EXPECT_EQ(row_at_caret(w, 50, 60), caret_shown);
    EXPECT_EQ(get_caret_pos(), (Point{50, 60}));
    ASSERT_TRUE(destroy_caret());
    EXPECT_EQ(row_at_caret(w, 50, 60), caret_gone);
    EXPECT_EQ(caret_owner(), 0u);
    EXPECT_FALSE(set_caret_pos({1, 1}));
}

TEST_F(GuiCaretTest, APaintOfTheOwnerNeverLeavesItTwiceOrStale) {
    HWnd w = grey_window();
    create_caret(w, 2, 10);
    set_caret_pos({4, 4});
    show_caret(w);
    // The paint draws under the caret, which comes back inverted once.
    invalidate_rect(w, nullptr, true);
    run_for(0);
    ASSERT_EQ(paints, 2);
    EXPECT_EQ(row_at_caret(w), caret_shown);
    // Painted while blinked off: nothing comes back.
    run_for(600);
    invalidate_rect(w, nullptr, true);
    run_for(0);
    EXPECT_EQ(row_at_caret(w), caret_gone);
}

TEST_F(GuiCaretTest, OneCaretOwnedByOneLiveWindow) {
    HWnd a = grey_window(), b = grey_window();
    EXPECT_FALSE(create_caret(0x7777, 2, 10));
    create_caret(a, 2, 10);
    set_caret_pos({4, 4});
    show_caret(a);
    EXPECT_FALSE(show_caret(b)); // not b's
    EXPECT_FALSE(hide_caret(b));
    // A new caret takes the old one off its owner.
    create_caret(b, 2, 10);
    EXPECT_EQ(row_at_caret(a), caret_gone);
    EXPECT_EQ(caret_owner(), b);
    set_caret_pos({4, 4});
    show_caret(b);
    // A destroyed owner takes the caret (and its blink) with it.
    destroy_window(b);
    EXPECT_EQ(caret_owner(), 0u);
    run_for(600);
    EXPECT_EQ(row_at_caret(a), caret_gone);
}

TEST_F(GuiCaretTest, TheBackendHearsWhereTheShownCaretIs) {
    HWnd w = grey_window();
    create_caret(w, 2, 10);
    set_caret_pos({4, 4});
    show_caret(w);
    set_caret_pos({7, 8});
    using Move = CaretBackend::Move;
    EXPECT_EQ(backend_->moves,
              (std::vector<Move>{{w, {4, 4, 6, 14}}, {w, {4, 4, 6, 14}}, {w, {7, 8, 9, 18}}}));
}

} // namespace
