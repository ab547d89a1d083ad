// Synthetic cameras for tests: "Kiv Test Camera N", 320x240 at 30 frames
// a second, frame k a function of (k, x, y). Switches make them send
// Motion JPEG without Huffman tables, stall (no frame ever) or go away
// after some frames, as an unplugged device does.
#pragma once

#include "gui/backend/camera/source.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kiv::gui::camera {

struct SyntheticOptions {
    int cameras = 1;
    bool mjpeg = false;
    bool stall = false;
    int unplug_after = -1; // frames; -1: never
    // "synthetic", "synthetic:N", each optionally followed by switches
    // ",mjpeg", ",stall", ",unplug=K"; nothing for another setting.
    static std::optional<SyntheticOptions> parse(const std::string& setting);
};

namespace synthetic {
inline constexpr uint32_t width = 320, height = 240;
inline constexpr int frames_per_second = 30;
// Frame k in YUYV: Y varies per pixel, U and V per pair of pixels.
std::vector<uint8_t> yuyv_frame(uint64_t k);
// The picture frame k shows.
std::vector<uint32_t> picture(uint64_t k);
} // namespace synthetic

class SyntheticProvider : public Provider {
  public:
    explicit SyntheticProvider(SyntheticOptions options) : options_(options) {}
    Enumeration enumerate() override;
    std::unique_ptr<Source> open(const Device& device) override;

  private:
    SyntheticOptions options_;
};

} // namespace kiv::gui::camera
