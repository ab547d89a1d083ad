// Camera faces over synthetic cameras: the device list in `data`, the
// first frame in `image`, `selected` starting and stopping the device,
// `image` set to none taking a snapshot, and a device number outside the
// list raising.
#include "face_fixture.h"

#include "gui/backend/camera/camera.h"
#include "gui/backend/camera/source.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/window_layer.h"
#include "runtime/types.h"
#include "tests/unit/pump_messages.h"

using namespace kiv;
using namespace kiv::gui;
using namespace kiv::gui::faces;
using namespace kiv::testing;

namespace {

class CameraFaceTest : public FaceTest {
  protected:
    void SetUp() override {
        FaceTest::SetUp();
        camera::set_provider(camera::provider_from_setting("synthetic:2"));
    }
    void TearDown() override {
        FaceTest::TearDown();
        camera::set_provider(nullptr);
    }
    static uint32_t image_type(const Cell& face) {
        return cell::type_of(facet_value(face, f_image));
    }
};

TEST_F(CameraFaceTest, DevicesFramesAndSelection) {
    Rooted<Cell> top(face("type: 'window size: 400x300"));
    HWnd parent = show(*top);
    Rooted<Cell> view(face("type: 'camera size: 320x240 selected: 2"));
    HWnd window = show(*view, parent);
    EXPECT_EQ(molded(facet_value(*view, f_data)), "[\"Kiv Test Camera 1\" \"Kiv Test Camera 2\"]");
    ASSERT_TRUE(pump_until([&] { return image_type(*view) == TYPE_IMAGE; }));
    EXPECT_DOUBLE_EQ(camera::ratio(window), 320.0 / 240.0);

    change(*view, f_selected, "none");
    update(*view);
    EXPECT_EQ(camera::ratio(window), 0.0);
    change(*view, f_image, "none");
    update(*view);
    EXPECT_EQ(image_type(*view), TYPE_NONE); // nothing runs: no snapshot

    change(*view, f_selected, "1");
    update(*view);
    EXPECT_DOUBLE_EQ(camera::ratio(window), 320.0 / 240.0);
    change(*view, f_image, "none");
    update(*view);
    EXPECT_EQ(image_type(*view), TYPE_IMAGE);

    change(*view, f_selected, "3");
    EXPECT_EQ(error_of([&] { update(*view); }),
              (runtime::ErrorSite{runtime::Category::access, err::access::cannot_open}));
    routine("destroy-view", {*top, Cell{TYPE_LOGIC, 1, 0, 0}});
}

} // namespace
