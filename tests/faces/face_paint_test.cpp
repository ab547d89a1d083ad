// Drawing on face windows: errors printed once (or not at all while
// system/view/silent? is set), the text of painted faces, subpixel text on
// opaque windows only, and the dialect's units scaled by the window's DPI.
#include "face_fixture.h"

#include "datatypes/url.h"
#include "gui/backend/window_layer.h"
#include "platform/cairo_api.h"
#include "runtime/output_hooks.h"

#include <cairo.h>

#include <cstring>
#include <string>
#include <vector>

using namespace kiv;
using namespace kiv::gui;
using namespace kiv::testing;

namespace {

struct Pixel {
    int a, r, g, b;
    bool gray() const { return r == g && g == b; }
};

class FacePaintTest : public FaceTest {
  protected:
    void TearDown() override {
        eval("system/view/silent?: false");
        FaceTest::TearDown();
    }
    // Paints the window now and reads its backing surface (premultiplied,
    // device pixels).
    static std::vector<Pixel> painted(HWnd window, int& width) {
        invalidate_rect(window, nullptr, false);
        update_window(window);
        const CairoApi& c = *cairo_api();
        cairo_surface_t* s = window_surface(window);
        c.surface_flush(s);
        width = c.image_surface_get_width(s);
        int height = c.image_surface_get_height(s), stride = c.image_surface_get_stride(s);
        std::vector<Pixel> out;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint32_t v;
                std::memcpy(&v, c.image_surface_get_data(s) + y * stride + 4 * x, 4);
                out.push_back({int(v >> 24), int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255)});
            }
        return out;
    }
    static std::vector<Pixel> painted(HWnd window) {
        int width;
        return painted(window, width);
    }
    // What painting the window printed.
    static std::string printed_while_painting(HWnd window) {
        printed().clear();
        output_hooks::register_(record_print, nullptr);
        painted(window);
        output_hooks::unregister(record_print, nullptr);
        return printed();
    }
    static std::string& printed() {
        static std::string text;
        return text;
    }
    static void record_print(const Cell* value, int) { printed() += url::utf8_text(*value); }
    static int count(const std::string& text, const std::string& part) {
        int n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    }
};

} // namespace

TEST_F(FacePaintTest, DrawErrorsArePrintedOnceAndWhatWasDrawnStays) {
    HWnd w = window_face("size: 60x40 color: 0.0.255");
    HWnd b = child(w, "broken",
                   "type: 'base size: 20x20 color: 255.255.255"
                   " draw: [pen off fill-pen 0.255.0 [box 0x0 5x5 [box oops]] box 10x10 20x20]");
    std::string out = printed_while_painting(b);
    EXPECT_EQ(count(out, "DRAW - invalid input at:"), 1) << out;
    EXPECT_NE(out.find("[oops]"), std::string::npos) << out;
    std::vector<Pixel> p = painted(b);
    EXPECT_EQ(p[2 * 20 + 2].g, 255);   // before the error
    EXPECT_EQ(p[15 * 20 + 15].g, 255); // after it nothing: the face's white
    EXPECT_EQ(p[15 * 20 + 15].r, 255);
    // The paint ended normally: nothing is pending, drawing goes on.
    EXPECT_EQ(molded(eval("1 + 1")), "2");
}

TEST_F(FacePaintTest, SilentDropsDialectErrorsOnWindowsAndImages) {
    HWnd w = window_face("size: 60x40 color: 0.0.255");
    HWnd b = child(w, "broken", "type: 'base size: 20x20 draw: [draw-nothing] ");
    eval("system/view/silent?: true");
    EXPECT_EQ(printed_while_painting(b), "");
    // A draw into an image ends quietly with what was drawn, for both of
    // the dialect's errors.
    EXPECT_EQ(molded(eval("pick draw 4x4 [fill-pen 255.0.0 box 0x0 4x4 oops] 2x2")), "255.0.0.0");
    EXPECT_EQ(molded(eval("b: copy [pen red] append/only b b image? draw 4x4 b")), "true");
    eval("system/view/silent?: false");
    EXPECT_EQ(error_of([&] { eval("draw 4x4 [oops]"); }), script_error(err::script::draw_invalid));
}

TEST_F(FacePaintTest, PaintedFacesShowTheirTextInTheFontColour) {
    HWnd w = window_face("size: 120x40 color: 255.255.255 text: \"title\"");
    // A window's text is its title: nothing on its surface.
    for (const Pixel& p : painted(w)) ASSERT_TRUE(p.r == 255 && p.g == 255 && p.b == 255);
    struct Case {
        const char* spec;
        bool red; // else the theme's text colour
    } cases[] = {
        {"text: \"MMM\"", false},
        {"text: \"MMM\" font: make font! [size: 14 color: 255.0.0]", true},
        {"text: \"MMM\" font: make font! [size: 14]", false},
    };
    for (const Case& c : cases) {
        HWnd b =
            child(w, "label", std::string("type: 'base size: 60x30 color: 255.255.255 ") + c.spec);
        // Pixels the glyphs cover whole: red ones, or dark ones.
        int inked = 0, red = 0;
        for (const Pixel& p : painted(b)) {
            if (p.g > 60 || p.b > 60) continue;
            ++inked;
            if (p.r > 200) ++red;
        }
        EXPECT_GT(inked, 8) << c.spec;
        EXPECT_EQ(red > inked / 2, c.red) << c.spec << ": " << red << " of " << inked;
        destroy_window(b);
    }
}

TEST_F(FacePaintTest, TextOnOpaqueWindowsIsAntiAliasedBySubpixels) {
    HWnd w = window_face("size: 120x80 color: 255.255.255");
    eval("font-16: make font! [size: 16]");
    const char* draw = " draw: [pen black font font-16 text 2x2 \"Wwg\"]";
    HWnd opaque =
        child(w, "opaque", std::string("type: 'base size: 60x30 color: 255.255.255") + draw);
    HWnd layered =
        child(w, "layered",
              std::string("type: 'base offset: 0x40 size: 60x30 color: 255.255.255.100") + draw);
    auto colour_fringes = [](const std::vector<Pixel>& pixels) {
        int n = 0;
        for (const Pixel& p : pixels) n += !p.gray();
        return n;
    };
    EXPECT_GT(colour_fringes(painted(opaque)), 10);
    EXPECT_EQ(colour_fringes(painted(layered)), 0);
    // Images are gray too, whatever drew them.
    Rooted<Cell> image(eval(std::string("draw 60x30 [fill-pen white box 0x0 60x30") +
                            " pen black font font-16 text 2x2 \"Wwg\"]"));
    EXPECT_EQ(molded(eval("n: 0 repeat y 30 [repeat x 60 [p: pick fixture-value as-pair x y"
                          " if any [p/1 <> p/2 p/2 <> p/3] [n: n + 1]]] n")),
              "0");
}

TEST_F(FacePaintTest, WindowsAreDrawnInDeviceIndependentPixels) {
    set_monitors({{"hi", {0, 0, 2560, 2048}, {0, 0, 2560, 2048}, 2.0, 192}});
    HWnd w = window_face("size: 60x40 color: 0.0.255");
    HWnd b = child(w, "canvas",
                   "type: 'base size: 20x20 color: 255.255.255"
                   " draw: [pen off fill-pen 255.0.0 box 5x5 10x10"
                   " pen 0.255.0 line (0.0, 15.5) (20.0, 15.5)"
                   " clip 0x0 10x20 [fill-pen 0.0.0 box 0x18 20x20]]");
    int width = 0;
    std::vector<Pixel> p = painted(b, width);
    ASSERT_EQ(width, 40);
    auto at = [&](int x, int y) { return p[size_t(y) * width + x]; };
    // The box: device pixels 10 to 19 on both axes.
    EXPECT_EQ(at(10, 10).r, 255);
    EXPECT_EQ(at(19, 19).r, 255);
    EXPECT_EQ(at(9, 10).g, 255);  // white
    EXPECT_EQ(at(20, 19).b, 255); // white
    // A line one unit wide covers two device rows.
    for (int y : {30, 31}) EXPECT_TRUE(at(5, y).g == 255 && at(5, y).r == 0) << y;
    for (int y : {29, 32}) EXPECT_EQ(at(5, y).r, 255) << y;
    // The clip is scaled too: the black bar stops at device column 20.
    EXPECT_EQ(at(19, 38).r, 0);
    EXPECT_EQ(at(20, 38).r, 255);
}
