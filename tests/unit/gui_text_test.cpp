// Text layouts: style runs over text with astral characters against the
// same attributes set by hand, backdrop rectangles and their rounding,
// texts Pango would warn about, and the layouts kept for faces laid out
// again.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "datatypes/string.h"
#include "gui/backend/text/fonts.h"
#include "gui/backend/text/layouts.h"
#include "gui/backend/text/shared_context.h"
#include "gui/backend/text/text_format.h"
#include "platform/cairo_api.h"
#include "runtime/text_index.h"
#include "tests/unit/text_fixture_lang.h"

using namespace kiv;
using namespace kiv::gui::text;
using kiv::testing::in_language;
using kiv::testing::kiv_value;

namespace {

// Every character's box, in Pango units.
std::vector<PangoRectangle> boxes(PangoLayout* layout) {
    std::string text = pango().layout_get_text(layout);
    std::vector<PangoRectangle> out;
    for (size_t i = 0; i <= utf8::char_count(text); ++i) {
        PangoRectangle r;
        pango().layout_index_to_pos(layout, int(utf8::byte_offset(text, i)), &r);
        out.push_back(r);
    }
    return out;
}

bool same_boxes(PangoLayout* a, PangoLayout* b) {
    std::vector<PangoRectangle> x = boxes(a), y = boxes(b);
    if (x.size() != y.size()) return false;
    for (size_t i = 0; i < x.size(); ++i)
        if (x[i].x != y[i].x || x[i].y != y[i].y || x[i].width != y[i].width ||
            x[i].height != y[i].height)
            return false;
    return true;
}

} // namespace

// A 30-point run over characters 3 and 4 of "😀a😀b" covers the second
// emoji and the b: bytes 5 to 10, whatever UTF-16 would count.
TEST(GuiTextTest, RunsOverAstralTextMatchHandSetAttributes) {
    in_language([] {
        kiv_value("f: make font! [size: 12] "
                  "r: make face! [type: 'rich-text text: {😀a😀b} size: 400x100 font: f "
                  "data: [3x2 30 bold]]");
        PangoLayout* styled = text_box_layout(kiv_value("r"));
        REQUIRE(styled);
        Font* format = text_format(kiv_value("f"));
        PangoLayout* by_hand = string_layout(*format, kiv_value("r/text"));
        PangoAttrList* list = pango().attr_list_new();
        for (PangoAttribute* a : {pango().attr_size_new_absolute(40 * PANGO_SCALE),
                                  pango().attr_weight_new(PANGO_WEIGHT_BOLD)}) {
            a->start_index = 5;
            a->end_index = 10;
            pango().attr_list_insert(list, a);
        }
        pango().layout_set_attributes(by_hand, list);
        pango().attr_list_unref(list);
        REQUIRE(same_boxes(styled, by_hand));
        // And not the boxes of the run one character off.
        kiv_value("r/data: [2x2 30 bold]");
        PangoLayout* shifted = text_box_layout(kiv_value("r"));
        REQUIRE(!same_boxes(shifted, by_hand));
        for (PangoLayout* l : {styled, by_hand, shifted}) pango().object_unref(l);
    });
}

// Backdrops cover the run's x ranges on each line: left, top and width
// rounded to the nearest pixel (+ 0.5), height up (+ 0.99).
TEST(GuiTextTest, BackdropsFillTheRoundedRangesOfEachLine) {
    in_language([] {
        kiv_value("f: make font! [size: 11] p: make para! [wrap?: true] "
                  "r: make face! [type: 'rich-text text: {abc def ghi} size: 40x100 font: f "
                  "para: p data: [2x7 backdrop 255.0.0]]");
        PangoLayout* layout = text_box_layout(kiv_value("r"));
        REQUIRE(pango().layout_get_line_count(layout) >= 2);
        const CairoApi& c = *cairo_api();
        cairo_surface_t* s = c.image_surface_create(CAIRO_FORMAT_ARGB32, 100, 100);
        cairo_t* cr = c.create(s);
        c.set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        const double ox = 3.3, oy = 1.6;
        paint_backdrops(cr, layout, ox, oy);
        c.destroy(cr);
        c.surface_flush(s);
        // The expected cover, from Pango's own ranges.
        std::vector<uint8_t> expected(100 * 100, 0);
        PangoLayoutIter* iter = pango().layout_get_iter(layout);
        int lines_covered = 0;
        do {
            PangoLayoutLine* line = pango().layout_iter_get_line_readonly(iter);
            PangoRectangle e;
            pango().layout_iter_get_line_extents(iter, nullptr, &e);
            int start = std::max(1, line->start_index),
                end = std::min(8, line->start_index + line->length);
            if (start >= end) continue;
            int* ranges;
            int n;
            pango().layout_line_get_x_ranges(line, start, end, &ranges, &n);
            for (int r = 0; r < n; ++r) {
                int left = int(ox + ranges[2 * r] / double(PANGO_SCALE) + 0.5);
                int width = int((ranges[2 * r + 1] - ranges[2 * r]) / double(PANGO_SCALE) + 0.5);
                int top = int(oy + e.y / double(PANGO_SCALE) + 0.5);
                int height = int(e.height / double(PANGO_SCALE) + 0.99);
                for (int y = top; y < top + height; ++y)
                    for (int x = left; x < left + width; ++x) expected[y * 100 + x] = 1;
            }
            pango().free(ranges);
            ++lines_covered;
        } while (pango().layout_iter_next_line(iter));
        pango().layout_iter_free(iter);
        REQUIRE(lines_covered >= 2);
        const uint8_t* px = c.image_surface_get_data(s);
        int stride = c.image_surface_get_stride(s);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x) {
                uint32_t pixel = *reinterpret_cast<const uint32_t*>(px + y * stride + x * 4);
                REQUIRE((pixel == 0xFFFF0000u) == (expected[y * 100 + x] == 1));
            }
        c.surface_destroy(s);
        pango().object_unref(layout);
    });
}

// Lone surrogates and NUL become U+FFFD one for one: indexes still map,
// and Pango is never given text it warns about.
// How many bytes standard error takes while the code runs (it goes to a
// file meanwhile).
off_t stderr_bytes(const char* code) {
    char path[] = "/tmp/kiv-text-XXXXXX";
    int fd = mkstemp(path);
    int saved = dup(2);
    dup2(fd, 2);
    kiv_value(code);
    dup2(saved, 2);
    close(saved);
    off_t written = lseek(fd, 0, SEEK_END);
    close(fd);
    unlink(path);
    return written;
}

TEST(GuiTextTest, LoneSurrogatesAndNulAreReplacedOneForOne) {
    in_language([] {
        Rooted<Cell> text(kiv_value("t: copy {a} append t to-char 55296 append t {b} "
                                    "append t to-char 0 append t to-char 57343 append t {c} t"));
        std::string utf8 = to_utf8(*text);
        REQUIRE(utf8 == "a\xEF\xBF\xBD"
                        "b\xEF\xBF\xBD\xEF\xBF\xBD"
                        "c");
        REQUIRE(utf8::char_count(utf8) == string::length(*text));
        REQUIRE(stderr_bytes("f: make font! [size: 12] r: make face! [type: 'rich-text text: t "
                             "size: 100x20 font: f data: [1x6 bold]] "
                             "draw 100x20 compose [text 0x0 r text 0x20 (t)]") == 0);
    });
}

// Tab stops and line heights past what Pango's units hold lie beyond any
// text: laid out without a warning.
TEST(GuiTextTest, HugeTabsAndLineSpacingLayOutQuietly) {
    in_language([] {
        REQUIRE(
            stderr_bytes("foreach n [1e10 1e30 1.#INF] [draw 40x20 reduce ['text 0x0 make face! "
                         "[type: 'rich-text size: 40x20 text: {a^-b^/c} tabs: n "
                         "line-spacing: n]]]") == 0);
    });
}

// A face laid out again gets the layout kept from before while nothing it
// is made from changed, and a new one after any of these changes.
TEST(GuiTextTest, LayoutsAreKeptUntilWhatTheyAreMadeFromChanges) {
    in_language([] {
        kiv_value("c: 255.0.0 f: make font! [size: 11] p: make para! [wrap?: true] "
                  "r: make face! [type: 'rich-text text: {abc def} size: 200x40 font: f "
                  "para: p tabs: 30 line-spacing: 15 data: [1x3 bold 5x3 c]]");
        // A change of the font reaches its native font through update_font
        // (the engine's handler, which these templates lack).
        struct Change {
            const char* code;
            int font_field; // -1: none
        };
        const Change changes[] = {
            {"r/text: {abc deg}", -1},  {"r/data: [1x3 bold 4x3 c]", -1},
            {"c: 0.0.255", -1},         {"r/data: [1x3 italic 4x3 c]", -1},
            {"r/size: 150x40", -1},     {"r/tabs: 40", -1},
            {"r/line-spacing: 16", -1}, {"f/size: 12", 1},
            {"f/color: 0.128.0", -1},   {"p/wrap?: false", -1},
        };
        PangoLayout* last = text_box_layout(kiv_value("r"));
        for (const Change& change : changes) {
            PangoLayout* again = text_box_layout(kiv_value("r"));
            REQUIRE(again == last);
            pango().object_unref(again);
            kiv_value(change.code);
            if (change.font_field >= 0) update_font(kiv_value("f"), change.font_field);
            PangoLayout* changed = text_box_layout(kiv_value("r"));
            if (changed == last) std::fprintf(stderr, "the same layout after %s\n", change.code);
            REQUIRE(changed != last);
            pango().object_unref(last);
            last = changed;
        }
        // The opaque windows' layouts are their own.
        PangoLayout* subpixel = text_box_layout(kiv_value("r"), true);
        REQUIRE(subpixel != last);
        for (PangoLayout* l : {subpixel, last}) pango().object_unref(l);
    });
}
