// A camera window on the X server: the frames of a synthetic camera, posted
// by its capture thread, wake the GTK loop and reach the screen fitted on
// black bars.
#include "x11_fixture.h"

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "gui/backend/camera/camera.h"
#include "gui/backend/camera/synthetic.h"
#include "runtime/symbol.h"
#include "tests/unit/fresh_globals.h"

namespace kiv::testing {

using namespace gui;

namespace {

class X11CameraTest : public X11Test {
  protected:
    void SetUp() override {
        X11Test::SetUp();
        // The values the device list is made of.
        test::reset_globals();
        symbol_table::init();
        stack::init(0, 0);
        datatype::init();
        datatype::register_datatype();
        none::init();
        integer::init();
        series::init();
        block::init();
        string::init();
    }
    void TearDown() override {
        X11Test::TearDown();
        camera::set_provider(nullptr);
        test::release_globals();
    }
    // Whether the screen pixel shows the pixel of some synthetic frame.
    static bool shows_a_frame(uint32_t screen, uint32_t x, uint32_t y) {
        for (int k = 0; k < 400; ++k)
            if ((camera::synthetic::picture(k)[y * camera::synthetic::width + x] & 0xFFFFFF) ==
                screen)
                return true;
        return false;
    }
};

TEST_F(X11CameraTest, PreviewReachesTheScreen) {
    camera::set_provider(camera::provider_from_setting("synthetic"));
    HWnd top = make_window("camera", {100, 100, 500, 340});
    HWnd view = create_window("KivCamera", "", WS_VISIBLE | WS_CHILD, {0, 0, 400, 240}, top, 0);
    set_window_proc(view, camera::window_proc);
    Rooted<Cell> data, selected;
    integer::make_at(*selected, 1);
    camera::init(view, *data, *selected, nullptr);
    ASSERT_EQ(cell::type_of(*data), TYPE_BLOCK);
    settle();
    // 320x240 in 400x240: bars of 40 pixels on the left and right.
    uint32_t first = 0;
    ASSERT_TRUE(pump_until([&] {
        first = pixel(100 + 40 + 160, 100 + 120);
        return first != 0 && shows_a_frame(first, 160, 120);
    }));
    EXPECT_EQ(pixel(100 + 20, 100 + 120), 0u);
    EXPECT_EQ(pixel(100 + 380, 100 + 120), 0u);
    // Later frames keep coming while the loop only waits.
    EXPECT_TRUE(pump_until([&] {
        uint32_t now = pixel(100 + 40 + 160, 100 + 120);
        return now != first && shows_a_frame(now, 160, 120);
    }));
    destroy_window(top);
}

} // namespace

} // namespace kiv::testing
