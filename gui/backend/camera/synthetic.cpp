#include "gui/backend/camera/synthetic.h"

#include "platform/image_formats.h"

#include <chrono>
#include <cstdlib>

namespace kiv::gui::camera {

std::optional<SyntheticOptions> SyntheticOptions::parse(const std::string& setting) {
    const std::string prefix = "synthetic";
    if (setting.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    SyntheticOptions options;
    size_t at = prefix.size();
    if (at < setting.size() && setting[at] == ':') {
        options.cameras = std::max(0, std::atoi(setting.c_str() + at + 1));
        at = setting.find(',', at);
    }
    while (at != std::string::npos && at < setting.size()) {
        size_t end = setting.find(',', at + 1);
        std::string item = setting.substr(at + 1, end == std::string::npos ? end : end - at - 1);
        if (item == "mjpeg")
            options.mjpeg = true;
        else if (item == "stall")
            options.stall = true;
        else if (item.rfind("unplug=", 0) == 0)
            options.unplug_after = std::atoi(item.c_str() + 7);
        at = end;
    }
    return options;
}

namespace synthetic {

std::vector<uint8_t> yuyv_frame(uint64_t k) {
    std::vector<uint8_t> bytes(size_t(width) * height * 2);
    uint8_t* out = bytes.data();
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; x += 2, out += 4) {
            out[0] = uint8_t(16 + (x + 2 * y + k) % 220);
            out[1] = uint8_t(16 + (x * 2 + k) % 225);
            out[2] = uint8_t(16 + (x + 1 + 2 * y + k) % 220);
            out[3] = uint8_t(16 + (y * 3 + 2 * k) % 225);
        }
    return bytes;
}

std::vector<uint32_t> picture(uint64_t k) {
    std::vector<uint8_t> bytes = yuyv_frame(k);
    std::vector<uint32_t> pixels(size_t(width) * height);
    convert_frame({PixelFormat::yuyv, width, height, width * 2}, bytes.data(), bytes.size(),
                  pixels.data());
    return pixels;
}

} // namespace synthetic

namespace {

// Motion JPEG as webcams send it: the picture as a baseline JPEG with its
// Huffman table segments (DHT) taken out.
std::vector<uint8_t> mjpeg_frame(uint64_t k) {
    std::vector<uint32_t> pixels = synthetic::picture(k);
    pixels::Grid grid{pixels.data(), synthetic::width, synthetic::height, nullptr, 0};
    std::vector<uint8_t> jpeg, stripped;
    if (!image_formats::encode_jpeg(grid, jpeg)) return jpeg;
    size_t at = 2;
    stripped.assign(jpeg.begin(), jpeg.begin() + 2);
    // Segments up to the start of scan; the entropy-coded data follows.
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
        size_t length = size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (jpeg[at + 1] != 0xC4)
            stripped.insert(stripped.end(), jpeg.begin() + at, jpeg.begin() + at + 2 + length);
        at += 2 + length;
    }
    stripped.insert(stripped.end(), jpeg.begin() + at, jpeg.end());
    return stripped;
}

using Clock = std::chrono::steady_clock;

class SyntheticSource : public Source {
  public:
    explicit SyntheticSource(const SyntheticOptions& options) : options_(options) {
        format_ = {options.mjpeg ? PixelFormat::mjpeg : PixelFormat::yuyv, synthetic::width,
                   synthetic::height, synthetic::width * 2};
    }
    ~SyntheticSource() override { stop(); }

  protected:
    bool stream_on() override {
        next_ = Clock::now();
        return true;
    }
    void stream_off() override {}
    int frame_fd() const override { return -1; }
    int wait_ms() override {
        if (options_.stall) return -1;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(next_ - Clock::now()).count();
        return int(std::max<int64_t>(left, 0));
    }
    bool deliver(FrameConsumer& consumer) override {
        if (options_.stall || Clock::now() < next_) return true;
        if (options_.unplug_after >= 0 && frame_ >= uint64_t(options_.unplug_after)) return false;
        std::vector<uint8_t> bytes =
            options_.mjpeg ? mjpeg_frame(frame_) : synthetic::yuyv_frame(frame_);
        consumer.frame(format_, bytes.data(), bytes.size());
        ++frame_;
        // A consumer that held the thread up gets no burst of late frames.
        next_ = std::max(next_ + std::chrono::microseconds(1000000 / synthetic::frames_per_second),
                         Clock::now());
        return true;
    }

  private:
    SyntheticOptions options_;
    Clock::time_point next_;
    uint64_t frame_ = 0;
};

} // namespace

Enumeration SyntheticProvider::enumerate() {
    Enumeration found;
    for (int n = 1; n <= options_.cameras; ++n)
        found.devices.push_back({"Kiv Test Camera " + std::to_string(n), std::to_string(n)});
    found.result = found.devices.empty() ? Enumeration::no_devices : Enumeration::ok;
    return found;
}

std::unique_ptr<Source> SyntheticProvider::open(const Device&) {
    return std::make_unique<SyntheticSource>(options_);
}

} // namespace kiv::gui::camera
