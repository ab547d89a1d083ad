// Rich-text metrics by consistency, not pixels: carets, offsets, lines and
// sizes must agree with each other over texts with clusters, astral
// characters, tabs, newlines and right-to-left runs, at several widths.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>

#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/string.h"
#include "gui/backend/text/layouts.h"
#include "gui/backend/text/metrics.h"
#include "gui/backend/text/shared_context.h"
#include "runtime/errors.h"
#include "runtime/text_index.h"
#include "tests/unit/text_fixture_lang.h"

using namespace kiv;
using namespace kiv::gui::text;
using kiv::testing::in_language;
using kiv::testing::kiv_value;

namespace {

struct Pt {
    double x, y;
};

class Metrics {
  public:
    explicit Metrics(const std::string& face_expression)
        : face_(kiv_value(face_expression)), layout_(text_box_layout(*face_)) {}
    ~Metrics() { pango().object_unref(layout_); }
    Cell ask(const Cell& arg, int code) {
        Cell out;
        text_box_metrics(*face_, layout_, arg, code, out);
        return out;
    }
    Pt caret(int index, int code = 0) {
        Cell arg;
        integer::make_at(arg, index);
        Cell p = ask(arg, code);
        return {point::get(p, 0), point::get(p, 1)};
    }
    int offset(double x, double y, int code = 1) {
        Cell arg;
        point2D::make_at(arg, x, y);
        return integer::get(ask(arg, code));
    }
    double line_height(int index) {
        Cell arg;
        integer::make_at(arg, index);
        return float_::get(ask(arg, 2));
    }
    Pt size() {
        Cell p = ask(none::value, 3);
        return {point::get(p, 0), point::get(p, 1)};
    }
    int lines() { return integer::get(ask(none::value, 4)); }

  private:
    Rooted<Cell> face_;
    PangoLayout* layout_;
};

std::string rich_face(const std::string& text, int width, const std::string& data = "") {
    return "make face! [type: 'rich-text text: {" + text + "} size: " + std::to_string(width) +
           "x400 font: make font! [size: 12] para: make para! [wrap?: true] data: [" + data +
           "] handles: none]";
}

} // namespace

TEST(GuiMetricsTest, CaretsOffsetsLinesAndSizesAgree) {
    in_language([] {
        // Cluster starts: index 2 and 6 of the second text sit inside e + U+0301.
        struct Text {
            const char* text;
            std::set<int> inside_clusters;
            bool left_to_right;
        };
        const Text texts[] = {
            {"Hello world, this is some text to wrap", {}, true},
            {"e\xCC\x81"
             "e\xCC\x81 cafe\xCC\x81 done",
             {2, 4, 10},
             true},
            {"\xF0\x9F\x98\x80"
             "a\xF0\x9F\x98\x80"
             "b and more words",
             {},
             true},
            {"a\tb\tc\td", {}, true},
            {"one\ntwo\n\nthree", {}, true},
            {"\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D", {}, false},
        };
        for (const Text& t : texts)
            for (int width : {0, 50, 400}) {
                Metrics m(rich_face(t.text, width));
                int length = int(utf8::char_count(t.text));
                std::map<double, double> line_heights; // caret y -> line height
                Pt previous{-1, -1};
                for (int i = 1; i <= length + 1; ++i) {
                    Pt c = m.caret(i);
                    if (t.left_to_right && c.y == previous.y && !t.inside_clusters.count(i))
                        REQUIRE(c.x >= previous.x - 0.01);
                    if (!t.inside_clusters.count(i)) {
                        previous = c;
                        if (t.left_to_right) REQUIRE(m.offset(c.x + 0.01, c.y + 1) == i);
                    }
                    line_heights[c.y] = m.line_height(i);
                }
                REQUIRE(int(line_heights.size()) == m.lines());
                double sum = 0;
                for (auto& [y, h] : line_heights) sum += h;
                REQUIRE(std::fabs(sum - m.size().y) < 0.01);
                if (width == 400) REQUIRE(m.size().x <= 400);
            }
        // Lines fit the width unless a word does not.
        Metrics narrow(rich_face("aa bb cc dd ee ff", 50));
        REQUIRE(narrow.lines() > 1 && narrow.size().x <= 50);
        Metrics word(rich_face("unbreakableword", 50));
        REQUIRE(word.lines() >= 1);
    });
}

TEST(GuiMetricsTest, EdgesOfTheText) {
    in_language([] {
        Metrics m(rich_face("abc\nxyz", 400));
        Pt end = m.caret(4); // after the c
        Pt last = m.caret(7);
        Pt past = m.caret(8);
        REQUIRE(m.caret(1).x == 0 && m.caret(1).y == 0);
        REQUIRE(m.caret(-5).x == 0 && m.caret(100).x == past.x); // indexes clamped
        REQUIRE(m.offset(past.x - 0.5, past.y + 1) == 8);        // right half of the last
        REQUIRE(m.offset(last.x + 0.5, last.y + 1) == 7);        // left half of it
        REQUIRE(m.offset(end.x + 50, end.y + 1) == 4);           // beyond a line's end
        REQUIRE(m.line_height(100) == m.line_height(5));         // past the text: the last line
        Pt box = m.caret(1, 6);
        REQUIRE(box.x > 0 && std::fabs(box.y - m.line_height(1)) < 0.01);
        REQUIRE(m.offset(1, 1, 5) == 1 && m.offset(end.x - 1, 1, 5) == 3);
    });
}

// A 30-point run on index 3 of "😀a😀b" moves only the carets after it
// and deepens line 1; `border` changes nothing.
TEST(GuiMetricsTest, RunsChangeOnlyWhatFollowsThem) {
    in_language([] {
        const char* text = "\xF0\x9F\x98\x80"
                           "a\xF0\x9F\x98\x80"
                           "b";
        Metrics plain(rich_face(text, 400)), sized(rich_face(text, 400, "3x1 30")),
            bordered(rich_face(text, 400, "1x4 border 255.0.0 'dash"));
        for (int i = 1; i <= 5; ++i) {
            REQUIRE((plain.caret(i).x == sized.caret(i).x) == (i <= 3));
            REQUIRE(plain.caret(i).x == bordered.caret(i).x);
            REQUIRE(plain.caret(i, 6).y == bordered.caret(i, 6).y);
        }
        REQUIRE(sized.line_height(1) > plain.line_height(1));
        REQUIRE(plain.size().x == bordered.size().x && plain.size().y == bordered.size().y);
    });
}

TEST(GuiMetricsTest, TheRoutineLaysOutStaleFaces) {
    in_language([] {
        kiv_value("r: " + rich_face("abc", 400));
        auto call = [&](const char* face, int code) {
            Cell a[3];
            a[0] = kiv_value(face);
            integer::make_at(a[1], 1);
            integer::make_at(a[2], code);
            text_box_metrics_routine(a);
            return a[0];
        };
        REQUIRE(integer::get(call("r", 4)) == 1);
        REQUIRE(logic::get(kiv_value("handle? r/handles/1")));
        kiv_value("r/text: {abc^/def^/ghi} r/handles/4: true");
        REQUIRE(integer::get(call("r", 4)) == 3); // stale: laid out again
        kiv_value("r/text: {one} ");
        REQUIRE(integer::get(call("r", 4)) == 3); // not marked: the cached layout
        kiv_value("r/text: none");
        REQUIRE(cell::type_of(call("r", 4)) == TYPE_NONE);
    });
}
