#include "gui/backend/camera/v4l2.h"

#include "runtime/unicode.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace kiv::gui::camera {

namespace v4l2 {

int node_number(const char* name) {
    if (std::strncmp(name, "video", 5) != 0 || !name[5]) return -1;
    int number = 0;
    for (const char* p = name + 5; *p; ++p) {
        if (*p < '0' || *p > '9' || number > 100000000) return -1;
        number = number * 10 + (*p - '0');
    }
    return number;
}

std::string device_name(const uint8_t* card, size_t size) {
    const uint8_t* end = std::find(card, card + size, 0);
    std::string name;
    for (const uint8_t* p = card; p < end;) {
        int32_t cp;
        const uint8_t* next = utf8::decode_step(p, end, cp);
        uint8_t encoded[4];
        if (cp < 0)
            name.append(reinterpret_cast<const char*>(encoded), utf8::encode_char(0xFFFD, encoded));
        else
            name.append(reinterpret_cast<const char*>(p), size_t(next - p));
        p = next;
    }
    return name;
}

} // namespace v4l2

namespace {

// ioctl, retried when a signal interrupts it.
int control(int fd, unsigned long request, void* argument) {
    int result;
    do result = ioctl(fd, request, argument);
    while (result < 0 && errno == EINTR);
    return result;
}

int open_node(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

// The capabilities of the node itself (a device's metadata node shares the
// device's overall capabilities but not its video capture).
bool captures_video(int fd, v4l2_capability& caps) {
    caps = {};
    if (control(fd, VIDIOC_QUERYCAP, &caps) < 0) return false;
    uint32_t node = caps.capabilities & V4L2_CAP_DEVICE_CAPS ? caps.device_caps : caps.capabilities;
    return (node & V4L2_CAP_VIDEO_CAPTURE) && (node & V4L2_CAP_STREAMING);
}

bool offers(int fd, uint32_t pixel_format) {
    v4l2_fmtdesc description{};
    description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (description.index = 0; control(fd, VIDIOC_ENUM_FMT, &description) == 0;
         ++description.index)
        if (description.pixelformat == pixel_format) return true;
    return false;
}

constexpr int buffer_count = 4;

class V4l2Source : public Source {
  public:
    explicit V4l2Source(int fd) : fd_(fd) {}
    ~V4l2Source() override {
        stop();
        close(fd_);
    }

    // The device at its current size in YUYV, else in Motion JPEG.
    bool choose_format() {
        v4l2_format current{};
        current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (control(fd_, VIDIOC_G_FMT, &current) < 0) return false;
        uint32_t wanted = offers(fd_, V4L2_PIX_FMT_YUYV)    ? V4L2_PIX_FMT_YUYV
                          : offers(fd_, V4L2_PIX_FMT_MJPEG) ? V4L2_PIX_FMT_MJPEG
                                                            : 0;
        if (!wanted) return false;
        current.fmt.pix.pixelformat = wanted;
        current.fmt.pix.field = V4L2_FIELD_NONE;
        if (control(fd_, VIDIOC_S_FMT, &current) < 0 || current.fmt.pix.pixelformat != wanted)
            return false;
        const v4l2_pix_format& pix = current.fmt.pix;
        if (pix.width == 0 || pix.height == 0) return false;
        format_ = {wanted == V4L2_PIX_FMT_YUYV ? PixelFormat::yuyv : PixelFormat::mjpeg, pix.width,
                   pix.height, pix.bytesperline};
        return true;
    }

  protected:
    bool stream_on() override {
        v4l2_requestbuffers request{};
        request.count = buffer_count;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        if (control(fd_, VIDIOC_REQBUFS, &request) < 0 || request.count < 2) return release(false);
        mapped_ = std::min<uint32_t>(request.count, buffer_count);
        for (uint32_t i = 0; i < mapped_; ++i) {
            v4l2_buffer buffer = describe(i);
            if (control(fd_, VIDIOC_QUERYBUF, &buffer) < 0) return release(false);
            void* address = mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_,
                                 buffer.m.offset);
            if (address == MAP_FAILED) return release(false);
            buffers_[i] = {static_cast<uint8_t*>(address), buffer.length};
            if (control(fd_, VIDIOC_QBUF, &buffer) < 0) return release(false);
        }
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        return control(fd_, VIDIOC_STREAMON, &type) == 0 || release(false);
    }
    void stream_off() override {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        control(fd_, VIDIOC_STREAMOFF, &type);
        release(true);
    }
    int frame_fd() const override { return fd_; }
    int wait_ms() override { return -1; }
    // Every filled buffer goes to the consumer unless the driver marked it
    // damaged, then back to the driver. A device that went away (ENODEV),
    // or fails otherwise, ends the stream.
    bool deliver(FrameConsumer& consumer) override {
        for (;;) {
            v4l2_buffer buffer = describe(0);
            if (control(fd_, VIDIOC_DQBUF, &buffer) < 0) return errno == EAGAIN;
            if (buffer.index < mapped_ && !(buffer.flags & V4L2_BUF_FLAG_ERROR))
                consumer.frame(format_, buffers_[buffer.index].address,
                               std::min<size_t>(buffer.bytesused, buffers_[buffer.index].length));
            if (control(fd_, VIDIOC_QBUF, &buffer) < 0) return false;
        }
    }

  private:
    v4l2_buffer describe(uint32_t index) const {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        return buffer;
    }
    // Unmaps the buffers and gives them back to the driver.
    bool release(bool result) {
        for (uint32_t i = 0; i < mapped_; ++i)
            if (buffers_[i].address) munmap(buffers_[i].address, buffers_[i].length);
        buffers_ = {};
        mapped_ = 0;
        v4l2_requestbuffers none{};
        none.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        none.memory = V4L2_MEMORY_MMAP;
        control(fd_, VIDIOC_REQBUFS, &none);
        return result;
    }

    struct Mapping {
        uint8_t* address = nullptr;
        size_t length = 0;
    };
    int fd_;
    std::array<Mapping, buffer_count> buffers_{};
    uint32_t mapped_ = 0;
};

} // namespace

Enumeration V4l2Provider::enumerate() {
    Enumeration found;
    DIR* folder = opendir(folder_.c_str());
    if (!folder) {
        found.result = Enumeration::unreadable;
        return found;
    }
    std::vector<std::pair<int, std::string>> nodes;
    while (dirent* entry = readdir(folder))
        if (int number = v4l2::node_number(entry->d_name); number >= 0)
            nodes.emplace_back(number, folder_ + "/" + entry->d_name);
    closedir(folder);
    std::sort(nodes.begin(), nodes.end());
    for (auto& [number, path] : nodes) {
        int fd = open_node(path);
        if (fd < 0) continue;
        v4l2_capability caps;
        if (captures_video(fd, caps))
            found.devices.push_back({v4l2::device_name(caps.card, sizeof caps.card), path});
        close(fd);
    }
    found.result = found.devices.empty() ? Enumeration::no_devices : Enumeration::ok;
    return found;
}

std::unique_ptr<Source> V4l2Provider::open(const Device& device) {
    int fd = open_node(device.node);
    if (fd < 0) return nullptr;
    v4l2_capability caps;
    auto source = std::make_unique<V4l2Source>(fd);
    if (!captures_video(fd, caps) || !source->choose_format()) return nullptr;
    return source;
}

} // namespace kiv::gui::camera
