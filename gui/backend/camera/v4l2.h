// Video capture devices through V4L2: the /dev/videoN nodes that capture
// video by streaming, in numeric order, each opened non-blocking with four
// memory-mapped buffers in YUYV when the device offers it, else in Motion
// JPEG, at the size it is set to.
#pragma once

#include "gui/backend/camera/source.h"

#include <string>

namespace kiv::gui::camera {

class V4l2Provider : public Provider {
  public:
    // `folder` holds the device nodes (/dev; tests give their own).
    explicit V4l2Provider(std::string folder) : folder_(std::move(folder)) {}
    Enumeration enumerate() override;
    std::unique_ptr<Source> open(const Device& device) override;

  private:
    std::string folder_;
};

namespace v4l2 {
// The N of a "videoN" name, or -1 for any other name.
int node_number(const char* name);
// A device's name as V4L2 gives it (up to `size` bytes, NUL-terminated or
// not) made valid UTF-8, invalid bytes becoming U+FFFD.
std::string device_name(const uint8_t* card, size_t size);
} // namespace v4l2

} // namespace kiv::gui::camera
