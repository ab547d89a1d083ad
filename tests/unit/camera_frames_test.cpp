// Camera frames below the window: the YUYV and Motion JPEG converters,
// the synthetic cameras and their capture thread, V4L2 enumeration over
// folders without devices, and the exchange between a capture thread and
// the GUI thread.
#include "gui/backend/camera/convert.h"
#include "gui/backend/camera/frame_exchange.h"
#include "gui/backend/camera/synthetic.h"
#include "gui/backend/camera/v4l2.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

using namespace kiv::gui::camera;
using namespace std::chrono_literals;

namespace {

uint32_t rgb(uint8_t r, uint8_t g, uint8_t b) {
    return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

// Mean absolute difference per channel of two pictures.
double difference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int shift : {0, 8, 16})
            sum += std::abs(int(a[i] >> shift & 255) - int(b[i] >> shift & 255));
    return sum / (a.size() * 3.0);
}

bool has_marker(const std::vector<uint8_t>& jpeg, uint8_t marker) {
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return true;
    return false;
}

// Records what a capture thread hands over.
struct Recorder : FrameConsumer {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::vector<uint8_t>> frames;
    bool ended = false;
    void frame(const StreamFormat&, const uint8_t* data, size_t length) override {
        std::lock_guard<std::mutex> lock(mutex);
        frames.emplace_back(data, data + length);
        changed.notify_all();
    }
    void stream_ended() override {
        std::lock_guard<std::mutex> lock(mutex);
        ended = true;
        changed.notify_all();
    }
    template <class Condition>
    bool wait(Condition condition, std::chrono::milliseconds limit = 3s) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, limit, condition);
    }
};

} // namespace

// Hand-worked BT.601 limited range: Y 16..235 is black..white, the
// primaries come back within a step, and values outside the range clamp.
TEST(CameraConvert, YuvLimitedRange) {
    struct Case {
        int y, u, v;
        uint32_t pixel;
    } cases[] = {
        {16, 128, 128, rgb(0, 0, 0)},        {235, 128, 128, rgb(255, 255, 255)},
        {126, 128, 128, rgb(128, 128, 128)}, {81, 90, 240, rgb(255, 0, 0)},
        {145, 54, 34, rgb(0, 255, 1)},       {41, 240, 110, rgb(0, 0, 255)},
        {0, 128, 128, rgb(0, 0, 0)},         {255, 128, 128, rgb(255, 255, 255)},
        {235, 255, 255, rgb(255, 102, 255)},
    };
    for (auto& c : cases)
        EXPECT_EQ(yuv_pixel(c.y, c.u, c.v), c.pixel) << c.y << " " << c.u << " " << c.v;
}

// Rows top first, pairs sharing their chroma, the stride's padding
// skipped; a frame short of its last row is refused.
TEST(CameraConvert, YuyvLayout) {
    // 2 x 2 pixels, rows 6 bytes apart (4 used, 2 of padding); the last
    // row needs only its 4 bytes.
    const uint8_t bytes[] = {16, 128, 235, 128, 0, 0, //
                             81, 90,  81,  240};
    StreamFormat format{PixelFormat::yuyv, 2, 2, 6};
    uint32_t out[4] = {};
    ASSERT_TRUE(convert_frame(format, bytes, sizeof bytes, out));
    EXPECT_EQ(out[0], rgb(0, 0, 0));
    EXPECT_EQ(out[1], rgb(255, 255, 255));
    EXPECT_EQ(out[2], rgb(255, 0, 0));
    EXPECT_EQ(out[3], rgb(255, 0, 0));
    EXPECT_FALSE(convert_frame(format, bytes, sizeof bytes - 1, out));
}

// Webcams leave the Huffman tables out of their frames: the synthetic
// camera does too, and its frames still decode to the picture (within
// JPEG's loss). Cut short or of another size, a frame is refused.
TEST(CameraConvert, MotionJpegWithoutHuffmanTables) {
    SyntheticOptions options;
    options.mjpeg = true;
    SyntheticProvider provider(options);
    auto source = provider.open(provider.enumerate().devices.at(0));
    Recorder recorder;
    ASSERT_TRUE(source->start(recorder));
    ASSERT_TRUE(recorder.wait([&] { return !recorder.frames.empty(); }));
    source->stop();
    std::vector<uint8_t> jpeg = recorder.frames[0];
    EXPECT_FALSE(has_marker(jpeg, 0xC4)) << "the frame keeps its Huffman tables";
    ASSERT_TRUE(has_marker(jpeg, 0xDA));
    StreamFormat format = source->format();
    EXPECT_EQ(format.format, PixelFormat::mjpeg);
    std::vector<uint32_t> out(size_t(format.width) * format.height);
    ASSERT_TRUE(convert_frame(format, jpeg.data(), jpeg.size(), out.data()));
    EXPECT_LT(difference(out, synthetic::picture(0)), 6.0);
    EXPECT_FALSE(convert_frame(format, jpeg.data(), jpeg.size() / 2, out.data()));
    StreamFormat smaller = format;
    smaller.width /= 2;
    EXPECT_FALSE(convert_frame(smaller, jpeg.data(), jpeg.size(), out.data()));
}

TEST(CameraSources, SyntheticSettings) {
    struct Case {
        const char* setting;
        bool synthetic;
        int cameras;
        bool mjpeg, stall;
        int unplug;
    } cases[] = {
        {"synthetic", true, 1, false, false, -1},
        {"synthetic:12", true, 12, false, false, -1},
        {"synthetic:0", true, 0, false, false, -1},
        {"synthetic:2,mjpeg,unplug=5", true, 2, true, false, 5},
        {"synthetic,stall", true, 1, false, true, -1},
        {"", false, 0, false, false, 0},
        {"v4l2", false, 0, false, false, 0},
    };
    for (auto& c : cases) {
        auto options = SyntheticOptions::parse(c.setting);
        ASSERT_EQ(options.has_value(), c.synthetic) << c.setting;
        if (!options) continue;
        EXPECT_EQ(options->cameras, c.cameras) << c.setting;
        EXPECT_EQ(options->mjpeg, c.mjpeg) << c.setting;
        EXPECT_EQ(options->stall, c.stall) << c.setting;
        EXPECT_EQ(options->unplug_after, c.unplug) << c.setting;
    }
}

// Every device is kept and named in order.
TEST(CameraSources, TwelveSyntheticCameras) {
    Enumeration found = provider_from_setting("synthetic:12")->enumerate();
    ASSERT_EQ(found.result, Enumeration::ok);
    ASSERT_EQ(found.devices.size(), 12u);
    EXPECT_EQ(found.devices[0].name, "Kiv Test Camera 1");
    EXPECT_EQ(found.devices[11].name, "Kiv Test Camera 12");
    EXPECT_EQ(provider_from_setting("synthetic:0")->enumerate().result, Enumeration::no_devices);
}

// Frames come in order, each the picture of its number; an unplugged
// camera ends its stream after its last frame; a stalled one sends none.
TEST(CameraSources, SyntheticStreams) {
    SyntheticOptions options;
    options.unplug_after = 3;
    SyntheticProvider provider(options);
    auto source = provider.open({"", "1"});
    Recorder recorder;
    ASSERT_TRUE(source->start(recorder));
    ASSERT_TRUE(recorder.wait([&] { return recorder.ended; }));
    ASSERT_EQ(recorder.frames.size(), 3u);
    for (uint64_t k = 0; k < 3; ++k) EXPECT_EQ(recorder.frames[k], synthetic::yuyv_frame(k));
    source->stop();
    source->stop();

    options = {};
    options.stall = true;
    SyntheticProvider stalled(options);
    source = stalled.open({"", "1"});
    Recorder nothing;
    ASSERT_TRUE(source->start(nothing));
    EXPECT_FALSE(nothing.wait([&] { return !nothing.frames.empty() || nothing.ended; }, 150ms));
    source->stop();
}

// Stopping mid-stream, over and over, joins the thread every time and
// leaves no frame arriving after stop returned.
TEST(CameraSources, StartAndStopMidStream) {
    SyntheticProvider provider(SyntheticOptions{});
    auto source = provider.open({"", "1"});
    struct Checker : FrameConsumer {
        std::atomic<bool> stopped{false};
        std::atomic<int> frames{0}, late{0};
        void frame(const StreamFormat&, const uint8_t*, size_t) override {
            ++frames;
            if (stopped) ++late;
        }
        void stream_ended() override { ++late; }
    } checker;
    for (int i = 0; i < 1000; ++i) {
        checker.stopped = false;
        ASSERT_TRUE(source->start(checker));
        if (i % 100 == 0) std::this_thread::sleep_for(5ms);
        source->stop();
        checker.stopped = true;
    }
    EXPECT_GT(checker.frames.load(), 0);
    EXPECT_EQ(checker.late.load(), 0);
}

TEST(CameraSources, V4l2Names) {
    struct Case {
        const char* name;
        int number;
    } nodes[] = {{"video0", 0},   {"video12", 12}, {"video", -1},
                 {"video1a", -1}, {"vbi0", -1},    {"media0", -1}};
    for (auto& c : nodes) EXPECT_EQ(v4l2::node_number(c.name), c.number) << c.name;

    const uint8_t plain[32] = "USB Camera";
    EXPECT_EQ(v4l2::device_name(plain, sizeof plain), "USB Camera");
    const uint8_t broken[] = {'C', 'a', 'm', 0xC3, 0xA9, ' ', 0xFF, 'x', 0xE2, 0x82};
    EXPECT_EQ(v4l2::device_name(broken, sizeof broken), "Cam\xC3\xA9 \xEF\xBF\xBDx\xEF\xBF\xBD");
    uint8_t full[32];
    std::fill(std::begin(full), std::end(full), 'a');
    EXPECT_EQ(v4l2::device_name(full, sizeof full), std::string(32, 'a'));
}

// A folder that cannot be read, one without nodes and one whose nodes
// capture nothing (plain files) each give their own answer.
TEST(CameraSources, V4l2EnumerationWithoutDevices) {
    namespace fs = std::filesystem;
    fs::path folder = fs::temp_directory_path() / ("kiv-camera-" + std::to_string(getpid()));
    fs::create_directories(folder);
    EXPECT_EQ(V4l2Provider((folder / "missing").string()).enumerate().result,
              Enumeration::unreadable);
    EXPECT_EQ(V4l2Provider(folder.string()).enumerate().result, Enumeration::no_devices);
    for (const char* name : {"video0", "video10", "video2"}) std::ofstream(folder / name) << "x";
    V4l2Provider provider(folder.string());
    EXPECT_EQ(provider.enumerate().result, Enumeration::no_devices);
    EXPECT_EQ(provider.open({"x", (folder / "video0").string()}), nullptr);
    fs::remove_all(folder);
}

// The snapshot state word: a frame is taken only when wanted, a GUI that
// gives up leaves it idle, and a stream that ends answers at once.
TEST(CameraExchange, SnapshotStates) {
    std::atomic<int> snapshots{0}, previews{0};
    const uint32_t width = synthetic::width, height = synthetic::height;
    FrameExchange exchange(width, height, [&](FrameExchange::Notice notice) {
        ++(notice == FrameExchange::Notice::snapshot_ready ? snapshots : previews);
    });
    StreamFormat format{PixelFormat::yuyv, width, height, width * 2};
    auto frame = synthetic::yuyv_frame(7);
    exchange.frame(format, frame.data(), frame.size());
    EXPECT_EQ(exchange.state(), FrameExchange::ready); // the first frame is wanted
    EXPECT_EQ(exchange.snapshot(), synthetic::picture(7));
    exchange.taken();
    exchange.frame(format, frame.data(), frame.size());
    EXPECT_EQ(exchange.state(), FrameExchange::idle);
    EXPECT_EQ(snapshots.load(), 1);
    // The preview took the first frame; the second waits for a paint.
    EXPECT_EQ(previews.load(), 1);

    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(exchange.wait_for_snapshot(50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
    EXPECT_EQ(exchange.state(), FrameExchange::idle);

    // A short frame is dropped and the next good one taken.
    std::thread capture([&] {
        std::this_thread::sleep_for(20ms);
        exchange.frame(format, frame.data(), frame.size() - 1);
        exchange.frame(format, frame.data(), frame.size());
    });
    EXPECT_TRUE(exchange.wait_for_snapshot(2s));
    capture.join();
    EXPECT_EQ(exchange.snapshot(), synthetic::picture(7));
    exchange.taken();

    exchange.stream_ended();
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(exchange.wait_for_snapshot(2s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

// Preview frames are converted only after the last one was painted, and
// the GUI always sees the newest one.
TEST(CameraExchange, PreviewWaitsForPaint) {
    const uint32_t width = synthetic::width, height = synthetic::height;
    int previews = 0;
    FrameExchange exchange(width, height, [&](FrameExchange::Notice notice) {
        if (notice == FrameExchange::Notice::preview_frame) ++previews;
    });
    exchange.taken(); // no first snapshot
    StreamFormat format{PixelFormat::yuyv, width, height, width * 2};
    EXPECT_EQ(exchange.preview_frame(), nullptr);
    for (uint64_t k : {1, 2, 3}) {
        auto frame = synthetic::yuyv_frame(k);
        exchange.frame(format, frame.data(), frame.size());
    }
    EXPECT_EQ(previews, 1);
    auto shown = [&] {
        const uint32_t* pixels = exchange.preview_frame();
        return std::vector<uint32_t>(pixels, pixels + size_t(width) * height);
    };
    EXPECT_EQ(shown(), synthetic::picture(1));
    exchange.painted();
    auto frame = synthetic::yuyv_frame(4);
    exchange.frame(format, frame.data(), frame.size());
    EXPECT_EQ(previews, 2);
    EXPECT_EQ(shown(), synthetic::picture(4));
    EXPECT_EQ(shown(), synthetic::picture(4)); // repainting keeps it
}
