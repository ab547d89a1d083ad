#include "gui/backend/camera/source.h"

#include "gui/backend/camera/synthetic.h"
#include "gui/backend/camera/v4l2.h"

#include <cerrno>
#include <cstdlib>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace kiv::gui::camera {

Source::~Source() = default;

bool Source::start(FrameConsumer& consumer) {
    stop();
    wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0) return false;
    if (!stream_on()) {
        close(wake_fd_);
        wake_fd_ = -1;
        return false;
    }
    streaming_ = true;
    thread_ = std::thread([this, &consumer] { run(consumer); });
    return true;
}

void Source::stop() {
    if (thread_.joinable()) {
        uint64_t one = 1;
        (void)!write(wake_fd_, &one, sizeof one);
        thread_.join();
    }
    if (streaming_) stream_off();
    streaming_ = false;
    if (wake_fd_ >= 0) close(wake_fd_);
    wake_fd_ = -1;
}

void Source::run(FrameConsumer& consumer) {
    pollfd waits[2] = {{wake_fd_, POLLIN, 0}, {frame_fd(), POLLIN, 0}};
    nfds_t count = waits[1].fd >= 0 ? 2 : 1;
    for (;;) {
        int ready = poll(waits, count, wait_ms());
        if (ready < 0 && errno != EINTR) break;
        if (waits[0].revents) return; // stopped
        if (!deliver(consumer) || waits[1].revents & (POLLHUP | POLLNVAL)) break;
    }
    consumer.stream_ended();
}

namespace {

std::unique_ptr<Provider>& current() {
    static std::unique_ptr<Provider> provider;
    return provider;
}

} // namespace

std::unique_ptr<Provider> provider_from_setting(const char* setting) {
    if (auto synthetic = SyntheticOptions::parse(setting ? setting : ""))
        return std::make_unique<SyntheticProvider>(*synthetic);
    return std::make_unique<V4l2Provider>("/dev");
}

Provider& provider() {
    auto& provider = current();
    if (!provider) provider = provider_from_setting(std::getenv("KIV_CAMERA"));
    return *provider;
}

void set_provider(std::unique_ptr<Provider> provider) {
    current() = std::move(provider);
}

} // namespace kiv::gui::camera
