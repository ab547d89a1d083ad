// Paragraph styles: the bits of each face type, and a shown face's window
// re-styled after its para changed.
#include <gtest/gtest.h>

#include "datatypes/block.h"
#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "gui/backend/control_messages.h"
#include "gui/backend/headless.h"
#include "gui/backend/messages.h"
#include "gui/backend/text/para.h"
#include "gui/backend/window_layer.h"
#include "tests/unit/text_fixture_lang.h"

using namespace kiv;
using namespace kiv::gui;
using namespace kiv::gui::text;
using kiv::testing::in_language;
using kiv::testing::kiv_value;

TEST(GuiParaTest, BitsByFaceType) {
    in_language([] {
        struct Case {
            const char* type;
            const char* para;
            uint32_t bits;
        };
        const Case cases[] = {
            {"base", "", 0x1 | 0x4 | 0x00},            // wrap? false
            {"base", "wrap?: none", 0x1 | 0x4 | 0x10}, // none wraps
            {"base", "align: 'right v-align: 'bottom wrap?: true", 0x2 | 0x8 | 0x10},
            {"rich-text", "", 0},
            {"rich-text", "align: 'center v-align: 'middle", 0x1 | 0x4},
            {"button", "align: 'right", 0x200 | 0xC00},
            {"toggle", "", 0x300 | 0xC00},
            {"check", "v-align: 'top", 0x100 | 0x400},
            {"radio", "align: 'center v-align: 'bottom", 0x300 | 0x800},
            {"field", "align: 'right", 0x2 | 0xC0},
            {"field", "align: 'right wrap?: true", 0x2},
            {"area", "v-align: 'middle", 0x200 | 0xC0},
            {"text", "align: 'center", 0x1 | 0x4000},
            {"text", "align: 'sideways v-align: 3", 0x4000}, // unknown values count as absent
            {"panel", "align: 'right", 0},
        };
        for (const Case& c : cases) {
            Rooted<Cell> para(kiv_value(std::string("make para! [") + c.para + "]"));
            Rooted<Cell> type(kiv_value(std::string("'") + c.type));
            if (get_para_flags(*type, *para) != c.bits) {
                std::fprintf(stderr, "%s [%s]: %x\n", c.type, c.para, get_para_flags(*type, *para));
                std::_Exit(1);
            }
        }
        REQUIRE(get_para_flags(kiv_value("'base"), kiv_value("none")) == 0);
    });
}

// A text face from `middle` to `top`, then from wrapping to none; bits
// outside the mask stay.
TEST(GuiParaTest, UpdateClearsTheWholeMask) {
    in_language([] {
        start_headless();
        register_class({"Face", nullptr, 0, 0});
        HWnd w = create_window("Face", "", WS_VISIBLE | 0x200 | 0x1, {0, 0, 10, 10}, 0, 0);
        kiv_value("p: make para! [align: 'left v-align: 'top wrap?: true] "
                  "t: make face! [type: 'text para: p state: reduce [none 0 none false]]");
        Rooted<Cell> face(kiv_value("t"));
        Rooted<Cell> h;
        handle::make_at(*h, w, handle::window);
        block::rs_head(kiv_value("t/state"))[0] = *h;
        update_para(*face);
        REQUIRE((get_style(w) & 0x42C3) == 0);
        REQUIRE(get_style(w) & WS_VISIBLE);
        REQUIRE(uint32_t(integer::get(kiv_value("t/state/2"))) == para_changed);
        kiv_value("p/wrap?: false");
        update_para(*face);
        REQUIRE((get_style(w) & 0x42C3) == 0x4000);

        kiv_value("b: make face! [type: 'base para: p state: reduce [none none]]");
        Rooted<Cell> base(kiv_value("b"));
        HWnd v = create_window("Face", "", 0x10 | 0x1, {0, 0, 10, 10}, 0, 0);
        handle::make_at(*h, v, handle::window);
        block::rs_head(kiv_value("b/state"))[0] = *h;
        update_para(*base); // wrap? false: the wrap bit goes
        REQUIRE((get_style(v) & 0x3F) == 0);
        REQUIRE(logic::get(kiv_value("none? b/state/2"))); // no pending mask: none set
        layer_stop();
    });
}
