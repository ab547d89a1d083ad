// Fonts of font! objects: sizes, styles, the `state` block, windows'
// references, freeing, updates, the default font and the CSS of a font.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "gui/backend/control_messages.h"
#include "gui/backend/dpi.h"
#include "gui/backend/headless.h"
#include "gui/backend/messages.h"
#include "gui/backend/text/face_text.h"
#include "gui/backend/text/facets.h"
#include "gui/backend/text/fonts.h"
#include "gui/backend/text/shared_context.h"
#include "gui/backend/window_layer.h"
#include "runtime/collector.h"
#include "runtime/externals.h"
#include "runtime/types.h"
#include "tests/unit/text_fixture_lang.h"

using namespace kiv;
using namespace kiv::gui;
using namespace kiv::gui::text;
using kiv::testing::in_language;
using kiv::testing::kiv_value;

namespace {

bool kiv_true(const char* text) {
    Cell v = kiv_value(text);
    return cell::type_of(v) == TYPE_LOGIC && logic::get(v);
}

int weight(const Font* f) {
    return int(pango().font_description_get_weight(f->description));
}
bool italic(const Font* f) {
    return pango().font_description_get_style(f->description) == PANGO_STYLE_ITALIC;
}
std::string family(const Font* f) {
    return pango().font_description_get_family(f->description);
}

// Font records alive in the externals table.
int font_records() {
    int n = 0;
    for (int32_t i = externals::table.used_head; i != externals::none;
         i = externals::table.records[i].next)
        n += text::font_of(Cell{TYPE_HANDLE, 0, 0, uint32_t(i)}) != nullptr;
    return n;
}

} // namespace

TEST(GuiFontsTest, SizesStylesAndFamilies) {
    in_language([] {
        struct Case {
            const char* spec;
            double dpi;
            int screen_px, dip_px, weight;
            bool italic, underline, strike;
        };
        const Case cases[] = {
            {"size: 12", 144, 24, 16, 400, false, false, false},
            {"size: 12", 96, 16, 16, 400, false, false, false},
            {"size: none", 96, 13, 13, 400, false, false, false}, // the default 10 pt
            {"size: 0", 96, 13, 13, 400, false, false, false},
            {"size: -3", 96, 13, 13, 400, false, false, false},
            {"size: 10 style: [bold italic]", 96, 13, 13, 700, true, false, false},
            {"size: 10 style: 'underline", 96, 13, 13, 400, false, true, false},
            {"size: 10 style: [strike nothing]", 96, 13, 13, 400, false, false, true},
            {"size: 2000000000", 96, 32767, 32767, 400, false, false, false},
        };
        for (const Case& c : cases) {
            set_dpi(c.dpi);
            Rooted<Cell> font(kiv_value(std::string("make font! [") + c.spec + "]"));
            Font* screen = make_font(none::value, *font, true);
            REQUIRE(screen && screen->pixels == c.screen_px);
            Font* dip = font_handle(*font, state_dip);
            REQUIRE(dip && dip->pixels == c.dip_px);
            REQUIRE(font_handle(*font, state_screen) == screen);
            REQUIRE(weight(screen) == c.weight && italic(screen) == c.italic);
            REQUIRE(screen->underline == c.underline && screen->strike == c.strike);
        }
        set_dpi(96);
        std::string long_name(40, 'x');
        Rooted<Cell> named(kiv_value("make font! [name: \"" + long_name + "\"]"));
        REQUIRE(family(make_font(none::value, *named, true)) == long_name); // never cut
        Rooted<Cell> plain(kiv_value("make font! []"));
        REQUIRE(family(make_font(none::value, *plain, true)) == "Sans");
        Rooted<Cell> smooth(kiv_value("make font! [anti-alias?: true angle: 90]"));
        Font* s = make_font(none::value, *smooth, true);
        REQUIRE(s->antialias == CAIRO_ANTIALIAS_GRAY && s->angle == 90);
        Rooted<Cell> clear(kiv_value("make font! [anti-alias?: 'ClearType]"));
        REQUIRE(make_font(none::value, *clear, true)->antialias == CAIRO_ANTIALIAS_SUBPIXEL);
    });
}

TEST(GuiFontsTest, StateBelongsToItsFontAndFacesAreRecordedOnce) {
    in_language([] {
        Rooted<Cell> face(kiv_value("face: make face! [type: 'text]"));
        Rooted<Cell> a(kiv_value("a: make font! [size: 12]"));
        make_font(*face, *a, true);
        make_font(*face, *a, false);
        REQUIRE(kiv_true("same? a a/state/1"));
        REQUIRE(kiv_true("1 = length? a/parent"));
        REQUIRE(kiv_true("same? face a/parent/1"));
        // A copy carries the other font's block: its own is made anew.
        Rooted<Cell> b(kiv_value("b: make a [size: 20]"));
        Font* made = make_font(none::value, *b, true);
        REQUIRE(kiv_true("same? b b/state/1"));
        REQUIRE(font_handle(*b, state_screen) == made && made->pixels == 26);
        REQUIRE(font_handle(*a, state_screen)->pixels == 16);
        REQUIRE(face_font(*face, *a) == font_handle(*a, state_screen)); // reused
        REQUIRE(face_font(*face, kiv_value("1")) == nullptr);
    });
}

TEST(GuiFontsTest, UpdatesRemakeOnlyForTheFieldsThatShapeTheFont) {
    in_language([] {
        Rooted<Cell> f(kiv_value("f: make font! [size: 12]"));
        Font* first = make_font(none::value, *f, true);
        update_font(*f, 4); // color
        REQUIRE(font_handle(*f, state_screen) == first);
        update_font(*f, 6); // shadow
        REQUIRE(font_handle(*f, state_screen) == first);
        kiv_value("f/size: 20");
        update_font(*f, 1);
        Font* second = font_handle(*f, state_screen);
        REQUIRE(second && second != nullptr && second->pixels == 26);
        kiv_value("f/style: 'bold");
        update_font(*f, 2);
        REQUIRE(weight(font_handle(*f, state_screen)) == 700);
        free_font(*f);
        REQUIRE(kiv_true("none? f/state"));
        free_font(*f); // nothing left: nothing happens
    });
}

// Windows hold their own reference: freeing the font object, or a new
// default font, leaves the font a window draws with alive.
TEST(GuiFontsTest, WindowsKeepTheirFonts) {
    in_language([] {
        start_headless();
        register_class({"Face", nullptr, 0, 0});
        HWnd w = create_window("Face", "", WS_VISIBLE, {0, 0, 10, 10}, 0, 0);
        HWnd other = create_window("Face", "", WS_VISIBLE, {0, 0, 10, 10}, 0, 0);
        Rooted<Cell> face(kiv_value("face: make face! [font: make font! [size: 30]]"));
        set_font(w, *face);
        auto* used = reinterpret_cast<Font*>(send_message(w, WM_GETFONT, 0, 0));
        REQUIRE(used && used->pixels == 40 && used->references == 2);
        free_font(kiv_value("face/font"));
        collector::collect();
        REQUIRE(used->references == 1 && used->pixels == 40);

        set_default_font(other);
        auto* old_default = reinterpret_cast<Font*>(send_message(other, WM_GETFONT, 0, 0));
        REQUIRE(old_default == default_font() && old_default->references == 2);
        set_default_font(0);
        REQUIRE(old_default->references == 1); // only the window's reference
        REQUIRE(default_font() != old_default);
        set_font(other, kiv_value("make face! []")); // no font: the default
        REQUIRE(reinterpret_cast<Font*>(send_message(other, WM_GETFONT, 0, 0)) == default_font());
        destroy_window(w);
        destroy_window(other);
        layer_stop();
    });
}

TEST(GuiFontsTest, DpiAndFontSettingChangesRenewTheDefaultFontOfItsWindows) {
    in_language([] {
        start_headless();
        install_face_hooks();
        register_class({"Face", nullptr, 0, 0});
        Rect area{0, 0, 1000, 800};
        set_monitors({{"m", area, area, 1.0, 96}});
        HWnd top = create_window("Face", "", WS_VISIBLE, {0, 0, 10, 10}, 0, 0);
        HWnd inner = create_window("Face", "", WS_VISIBLE | WS_CHILD, {0, 0, 5, 5}, top, 0);
        HWnd own = create_window("Face", "", WS_VISIBLE, {0, 0, 10, 10}, 0, 0);
        set_default_font(top);
        Font* first = default_font();
        send_message(inner, WM_SETFONT, reinterpret_cast<uint64_t>(first), 0);
        set_font(own, kiv_value("make face! [font: make font! [size: 30]]"));
        auto font_of_window = [](HWnd w) {
            return reinterpret_cast<Font*>(send_message(w, WM_GETFONT, 0, 0));
        };
        Font* own_font = font_of_window(own);

        set_monitors({{"m", {0, 0, 900, 800}, area, 1.0, 96}}); // no DPI change
        REQUIRE(default_font() == first && font_of_window(top) == first);
        set_monitors({{"m", area, area, 1.0, 144}});
        Font* second = default_font();
        REQUIRE(second != first);
        REQUIRE(font_of_window(top) == second && font_of_window(inner) == second);
        REQUIRE(font_of_window(own) == own_font); // a face's own font stays
        settings_changed();                       // the desktop's font setting
        REQUIRE(default_font() != second && font_of_window(inner) == default_font());
        for (HWnd w : {inner, top, own}) destroy_window(w);
        layer_stop();
    });
}

TEST(GuiFontsTest, DroppedFontsAreFreedByTheCollector) {
    in_language([] {
        Rooted<Cell> f(kiv_value("make font! [size: 12]"));
        // Every allocation collects under stress: fewer rounds say as much.
        int rounds = std::getenv("KIV_GC_STRESS") ? 300 : 100000;
        for (int i = 0; i < rounds; ++i) {
            make_font(none::value, *f, false);
            free_font(*f);
            make_font(none::value, *f, true);
            set_facet(*f, FontFacet::state, none::value); // dropped, not freed
        }
        collector::collect();
        REQUIRE(font_records() <= 4);
    });
}

TEST(GuiFontsTest, DefaultFontGoesIntoTheViewsFonts) {
    in_language([] {
        kiv_value("system/view: make object! [fonts: make object! [system: none fixed: none "
                  "sans-serif: none serif: none size: none]]");
        set_default_font(0);
        REQUIRE(kiv_true("system/view/fonts/system = \"DejaVu Sans\""));
        REQUIRE(kiv_true("system/view/fonts/size = 10"));
        REQUIRE(default_font_spec().family == "DejaVu Sans");
        kiv_value("system/view/fonts/size: 18");
        REQUIRE(default_font()->pixels == 24); // follows the engine's setting
        Rooted<Cell> f(kiv_value("make font! []"));
        REQUIRE(make_font(none::value, *f, true)->pixels == 24);
    });
}

TEST(GuiFontsTest, CssDeclaration) {
    in_language([] {
        Rooted<Cell> f(
            kiv_value("make font! [name: {Odd \"Name\"} size: 12 style: [bold italic underline]]"));
        set_dpi(192);
        Font* font = make_font(none::value, *f, true);
        std::string css = font_css(*font, 2.0);
        REQUIRE(css == "font-family: \"Odd \\\"Name\\\"\"; font-size: 16px; font-weight: 700; "
                       "font-style: italic; text-decoration-line: underline;");
    });
}
