// Video capture sources: what enumerates the devices, opens one, and runs
// its capture thread, which hands every frame to a consumer. The V4L2
// devices of /dev and the synthetic test cameras are the two kinds.
#pragma once

#include "gui/backend/camera/convert.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kiv::gui::camera {

// Receives a source's frames on its capture thread. The bytes are valid
// only during the call.
class FrameConsumer {
  public:
    virtual ~FrameConsumer() = default;
    virtual void frame(const StreamFormat& format, const uint8_t* data, size_t length) = 0;
    // The stream ended by itself (the device went away); no frame follows.
    virtual void stream_ended() = 0;
};

// One opened device. Its capture thread waits on the device and on an
// eventfd that stop() signals.
class Source {
  public:
    virtual ~Source();
    const StreamFormat& format() const { return format_; }
    // Starts streaming and the capture thread; false when the device
    // cannot stream.
    bool start(FrameConsumer& consumer);
    // Wakes and joins the capture thread, then ends streaming. Idempotent;
    // the destructor calls it.
    void stop();

  protected:
    // The kind's own parts of start and stop, on the calling thread.
    virtual bool stream_on() = 0;
    virtual void stream_off() = 0;
    // What the capture thread waits for: a descriptor that becomes
    // readable with frames (-1: none) and the longest wait in ms (-1: no
    // limit).
    virtual int frame_fd() const = 0;
    virtual int wait_ms() = 0;
    // Hands the frames that are ready to the consumer; false once the
    // stream has ended.
    virtual bool deliver(FrameConsumer& consumer) = 0;
    // A kind's destructor calls stop() first, so that no capture thread
    // runs into a half-destroyed source.
    StreamFormat format_;

  private:
    void run(FrameConsumer& consumer);
    std::thread thread_;
    int wake_fd_ = -1;
    bool streaming_ = false;
};

// A capture device as enumeration found it: its name and what the kind
// opens it by (a device node, a camera number).
struct Device {
    std::string name;
    std::string node;
};

struct Enumeration {
    enum Result { ok, no_devices, unreadable } result = no_devices;
    std::vector<Device> devices;
};

class Provider {
  public:
    virtual ~Provider() = default;
    virtual Enumeration enumerate() = 0;
    // The device ready to start, or null when it cannot be opened or
    // offers no format we convert.
    virtual std::unique_ptr<Source> open(const Device& device) = 0;
};

// The provider in use: KIV_CAMERA chooses it at the first call
// ("synthetic[:N][,SWITCH...]" for test cameras, else the V4L2 devices of
// /dev). Tests may put their own in place; null restores the default.
Provider& provider();
void set_provider(std::unique_ptr<Provider> provider);
std::unique_ptr<Provider> provider_from_setting(const char* setting);

} // namespace kiv::gui::camera
