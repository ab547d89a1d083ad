// Camera windows on the headless backend with synthetic cameras: the
// device list, preview frames painted into the window, snapshots, the
// error lines and raises, and messages that outlive their stream.
#include "gui_fixture.h"

#include "datatypes/float.h"
#include "datatypes/image.h"
#include "datatypes/image_layer.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "gui/backend/camera/camera.h"
#include "gui/backend/camera/synthetic.h"
#include "gui/backend/camera/v4l2.h"
#include "gui/backend/classes.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/window_layer.h"
#include "gui/backend/window_proc.h"
#include "platform/cairo_api.h"
#include "runtime/collector.h"
#include "runtime/externals.h"
#include "runtime/roots.h"
#include "tests/unit/pump_messages.h"

#include <chrono>

using namespace kiv;
using namespace kiv::testing;
using namespace kiv::gui;
using namespace std::chrono_literals;

namespace {

void no_awake(Cell&, Cell& answer) {
    none::make_at(answer);
}

// The face's `image` of the camera window under test.
Cell* face_image_cell = nullptr;
Cell* face_image(HWnd) {
    return face_image_cell;
}

// A provider whose one device cannot be opened.
struct BrokenProvider : camera::Provider {
    camera::Enumeration enumerate() override {
        return {camera::Enumeration::ok, {{"Broken Camera", "x"}}};
    }
    std::unique_ptr<camera::Source> open(const camera::Device&) override { return nullptr; }
};

class CameraTest : public GuiValuesTest {
  protected:
    void SetUp() override {
        DatatypeTest::SetUp();
        start_values(no_awake);
        string::init();
        externals::init();
        collector::hooks.mark_external = [](uint32_t index) { externals::mark(int32_t(index)); };
        collector::add_sweeper(externals::sweep);
        image::pressure = {};
        image::init_layer();
        image::init();
        saved_proc = class_hooks().camera_proc;
        class_hooks().camera_proc = camera::window_proc;
        gui::init();
        for (int i = 0; i < 4; ++i) {
            none::make_at(cells()[i]);
            roots::cells.push_back(&cells()[i]);
        }
        face_image_cell = &cells()[0];
        camera::hooks().face_image = face_image;
        camera::set_snapshot_wait(3000ms);
    }
    void TearDown() override {
        gui::cleanup();
        camera::set_provider(nullptr);
        camera::hooks() = {};
        face_image_cell = nullptr;
        class_hooks().camera_proc = saved_proc;
        collector::hooks.mark_external = nullptr;
        GuiValuesTest::TearDown();
    }
    // Rooted cells for the face's values: image, data, ratio, snapshot.
    static Cell* cells() {
        static Cell store[4];
        return store;
    }
    static void use(const char* setting) {
        camera::set_provider(camera::provider_from_setting(setting));
    }
    static HWnd camera_window(int width = 320, int height = 240) {
        return create_window("KivCamera", "", WS_VISIBLE, {0, 0, width, height}, 0, 0);
    }
    // Starts device `selected` of the window; what the init printed.
    std::string start(HWnd window, int32_t selected) {
        for (int i = 0; i < 4; ++i) none::make_at(cells()[i]);
        ::testing::internal::CaptureStdout();
        try {
            camera::init(window, cells()[1], int_cell(selected), &cells()[2]);
        } catch (...) {
            ::testing::internal::GetCapturedStdout();
            throw;
        }
        return ::testing::internal::GetCapturedStdout();
    }
    static std::vector<uint32_t> pixels_of(const Cell& image) {
        const uint32_t* p = image::lock_pixels(image);
        std::vector<uint32_t> out(p, p + image::pixel_count(image));
        image::unlock_pixels(image, false);
        return out;
    }
    // The synthetic frame the pixels show (-1: none of the first 400).
    static int frame_number(const std::vector<uint32_t>& pixels) {
        for (int k = 0; k < 400; ++k)
            if (pixels == camera::synthetic::picture(k)) return k;
        return -1;
    }
    static uint32_t surface_pixel(HWnd window, int x, int y) {
        cairo_surface_t* surface = window_surface(window);
        cairo_api()->surface_flush(surface);
        auto data = cairo_api()->image_surface_get_data(surface);
        int stride = cairo_api()->image_surface_get_stride(surface);
        return reinterpret_cast<uint32_t*>(data + y * stride)[x] | 0xFF000000u;
    }
    static std::string names(const Cell& block) {
        std::string out;
        for (Cell* c = block::rs_head(block); c < block::rs_tail(block); ++c)
            out += formed(*c) + ";";
        return out;
    }
    WindowProc saved_proc = nullptr;
};

} // namespace

TEST_F(CameraTest, ListsDevicesAndStarts) {
    use("synthetic:12");
    HWnd window = camera_window();
    EXPECT_EQ(start(window, 12), "");
    ASSERT_EQ(cell::type_of(cells()[1]), TYPE_BLOCK);
    EXPECT_EQ(block::rs_length(cells()[1]), 12);
    EXPECT_EQ(formed(*block::rs_abs_at(cells()[1], 11)), "Kiv Test Camera 12");
    ASSERT_EQ(cell::type_of(cells()[2]), TYPE_FLOAT);
    EXPECT_DOUBLE_EQ(float_::get(cells()[2]), 320.0 / 240.0);
    EXPECT_DOUBLE_EQ(camera::ratio(window), 320.0 / 240.0);
    // The first frame of the stream becomes the face's image.
    ASSERT_TRUE(pump_until([] { return cell::type_of(cells()[0]) == TYPE_IMAGE; }));
    EXPECT_GE(frame_number(pixels_of(cells()[0])), 0);
}

// No devices, or no readable device folder: a line, `data` untouched and
// no record (a running camera's is freed), so that selecting raises
// cannot-open.
TEST_F(CameraTest, NoHardware) {
    struct Case {
        std::unique_ptr<camera::Provider> provider;
        const char* line;
    } cases[] = {
        {camera::provider_from_setting("synthetic:0"), "No video capture hardware\n"},
        {std::make_unique<camera::V4l2Provider>("/nonexistent/kiv-devices"),
         "Error Creating Device Enumerator\n"},
    };
    use("synthetic");
    HWnd window = camera_window();
    start(window, 1);
    for (auto& c : cases) {
        camera::set_provider(std::move(c.provider));
        cells()[1] = int_cell(5);
        ::testing::internal::CaptureStdout();
        camera::init(window, cells()[1], int_cell(1), nullptr);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.line);
        EXPECT_EQ(cells()[1].w2, 5u);
        EXPECT_EQ(get_window_long(window, slot_widget_extra), 0);
        EXPECT_EQ(error_of([&] { camera::select(window, 0); }),
                  (runtime::ErrorSite{runtime::Category::access, err::access::cannot_open}));
    }
}

TEST_F(CameraTest, SelectOutsideTheDevicesRaises) {
    use("synthetic:2");
    HWnd window = camera_window();
    start(window, 2);
    const runtime::ErrorSite cannot_open{runtime::Category::access, err::access::cannot_open};
    for (int32_t selected : {0, 3, -1}) {
        EXPECT_EQ(error_of([&] { camera::select(window, selected - 1); }), cannot_open) << selected;
        EXPECT_EQ(error_of([&] { start(window, selected); }), cannot_open) << selected;
    }
    EXPECT_EQ(camera::ratio(window), 0.0);
}

TEST_F(CameraTest, DeviceThatCannotPreview) {
    camera::set_provider(std::make_unique<BrokenProvider>());
    HWnd window = camera_window();
    EXPECT_EQ(start(window, 1), "This device cannot preview!\n");
    EXPECT_EQ(cell::type_of(cells()[2]), TYPE_NONE); // no ratio
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(camera::select(window, 0));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "This device cannot preview!\n");
}

// Snapshots are whole synthetic frames, upright, in YUYV exactly and in
// Motion JPEG within JPEG's loss.
TEST_F(CameraTest, SnapshotsAreFrames) {
    use("synthetic");
    HWnd window = camera_window();
    start(window, 1);
    camera::snapshot(window, cells()[3]);
    ASSERT_EQ(cell::type_of(cells()[3]), TYPE_IMAGE);
    EXPECT_EQ(image::width_of(cells()[3]), 320u);
    EXPECT_EQ(image::height_of(cells()[3]), 240u);
    int first = frame_number(pixels_of(cells()[3]));
    EXPECT_GE(first, 0);
    camera::snapshot(window, cells()[3]);
    EXPECT_GT(frame_number(pixels_of(cells()[3])), first);

    use("synthetic,mjpeg");
    start(window, 1);
    camera::snapshot(window, cells()[3]);
    ASSERT_EQ(cell::type_of(cells()[3]), TYPE_IMAGE);
    std::vector<uint32_t> pixels = pixels_of(cells()[3]), best;
    double nearest = 1e9;
    for (int k = 0; k < 400; ++k) {
        std::vector<uint32_t> expected = camera::synthetic::picture(k);
        double sum = 0;
        for (size_t i = 0; i < pixels.size(); i += 7)
            for (int shift : {0, 8, 16})
                sum += std::abs(int(pixels[i] >> shift & 255) - int(expected[i] >> shift & 255));
        nearest = std::min(nearest, sum / (pixels.size() / 7.0 * 3));
    }
    EXPECT_LT(nearest, 6.0);
}

// A stalled camera answers none once the wait is over; an unplugged one
// ends quietly and answers none at once.
TEST_F(CameraTest, StallAndUnplug) {
    use("synthetic,stall");
    camera::set_snapshot_wait(100ms);
    HWnd window = camera_window();
    EXPECT_EQ(start(window, 1), "");
    auto began = std::chrono::steady_clock::now();
    camera::snapshot(window, cells()[3]);
    EXPECT_EQ(cell::type_of(cells()[3]), TYPE_NONE);
    EXPECT_GE(std::chrono::steady_clock::now() - began, 100ms);

    use("synthetic,unplug=2");
    camera::set_snapshot_wait(3000ms);
    EXPECT_EQ(start(window, 1), "");
    ::testing::internal::CaptureStdout();
    bool first = pump_until([] { return cell::type_of(cells()[0]) == TYPE_IMAGE; });
    // Snapshots take the frames left until the stream is over.
    auto deadline = std::chrono::steady_clock::now() + 60s;
    do
        camera::snapshot(window, cells()[3]);
    while (cell::type_of(cells()[3]) == TYPE_IMAGE && std::chrono::steady_clock::now() < deadline);
    began = std::chrono::steady_clock::now();
    camera::snapshot(window, cells()[3]);
    EXPECT_EQ(cell::type_of(cells()[3]), TYPE_NONE);
    EXPECT_LT(std::chrono::steady_clock::now() - began, 1s);
    pump_until([] { return false; }, 50ms);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(first);
}

// The preview paints the newest frame fitted on black bars; a resize
// fits it again.
TEST_F(CameraTest, PreviewPaintsFrames) {
    use("synthetic");
    HWnd window = camera_window();
    start(window, 1);
    auto painted_frame = [&] {
        std::vector<uint32_t> shown(320 * 240);
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x) shown[y * 320 + x] = surface_pixel(window, x, y);
        return frame_number(shown);
    };
    int first = -1;
    ASSERT_TRUE(pump_until([&] { return (first = painted_frame()) >= 0; }));
    ASSERT_TRUE(pump_until([&] { return painted_frame() > first; }));

    set_window_pos(window, {0, 0, 400, 100});
    // The old picture reached x = 10; the fitted one starts at x = 133.
    ASSERT_TRUE(pump_until([&] {
        return surface_pixel(window, 10, 50) == 0xFF000000u &&
               surface_pixel(window, 200, 50) != 0xFF000000u;
    }));
    for (auto [x, y] : {std::pair{10, 50}, {132, 10}, {267, 90}, {390, 50}})
        EXPECT_EQ(surface_pixel(window, x, y), 0xFF000000u) << x << "," << y;
}

TEST_F(CameraTest, Fit) {
    struct Case {
        int width, height;
        Rect place;
    } cases[] = {
        {320, 240, {0, 0, 320, 240}},
        {400, 100, {133, 0, 266, 100}},
        {100, 400, {0, 162, 100, 237}},
        {0, 100, {0, 0, 0, 0}},
    };
    for (auto& c : cases)
        EXPECT_EQ(camera::fit(320, 240, c.width, c.height), c.place) << c.width << "x" << c.height;
}

// Frame messages of a stream that was stopped, restarted or freed change
// nothing; stop is idempotent and destruction frees the record.
TEST_F(CameraTest, LateFrameMessages) {
    use("synthetic");
    HWnd window = camera_window();
    start(window, 1);
    ASSERT_TRUE(pump_until([] { return cell::type_of(cells()[0]) == TYPE_IMAGE; }));
    none::make_at(cells()[0]);
    // A snapshot message of generation 0 never matches a stream.
    send_message(window, camera::snapshot_message, 0, 0);
    send_message(window, camera::preview_message, 0, 0);
    EXPECT_EQ(cell::type_of(cells()[0]), TYPE_NONE);
    camera::stop(window);
    camera::stop(window);
    pump_until([] { return false; }, 100ms);
    EXPECT_EQ(cell::type_of(cells()[0]), TYPE_NONE);
    camera::snapshot(window, cells()[3]);
    EXPECT_EQ(cell::type_of(cells()[3]), TYPE_NONE);
    // Selected again, a new stream runs in the same record.
    EXPECT_TRUE(camera::select(window, 0));
    camera::snapshot(window, cells()[3]);
    EXPECT_EQ(cell::type_of(cells()[3]), TYPE_IMAGE);
    destroy_window(window);
    pump_until([] { return false; }, 100ms);
}
