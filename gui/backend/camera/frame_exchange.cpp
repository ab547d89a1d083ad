#include "gui/backend/camera/frame_exchange.h"

#include <algorithm>

namespace kiv::gui::camera {

FrameExchange::FrameExchange(uint32_t width, uint32_t height, std::function<void(Notice)> notify)
    : width_(width), height_(height), notify_(std::move(notify)),
      snapshot_(size_t(width) * height) {
    for (auto& buffer : buffers_) buffer.resize(size_t(width) * height);
}

void FrameExchange::set_state(State state) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.store(state);
    }
    changed_.notify_all();
}

void FrameExchange::frame(const StreamFormat& format, const uint8_t* data, size_t length) {
    if (format.width != width_ || format.height != height_) return;
    int expected = wanted;
    bool snapshot = state_.compare_exchange_strong(expected, copying);
    bool preview = painted_.load(std::memory_order_acquire);
    if (!snapshot && !preview) return; // nobody would see this frame
    std::vector<uint32_t>& target = buffers_[back_];
    if (!convert_frame(format, data, length, target.data())) {
        if (snapshot) set_state(wanted); // a bad frame: the next one is taken
        return;
    }
    if (snapshot) {
        std::copy(target.begin(), target.end(), snapshot_.begin());
        set_state(ready);
        notify_(Notice::snapshot_ready);
    }
    if (preview) {
        back_ = middle_.exchange(back_ | fresh, std::memory_order_acq_rel) & ~fresh;
        painted_.store(false, std::memory_order_release);
        notify_(Notice::preview_frame);
    }
}

void FrameExchange::stream_ended() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_.store(true);
    }
    changed_.notify_all();
}

const uint32_t* FrameExchange::preview_frame() {
    if (middle_.load(std::memory_order_acquire) & fresh) {
        front_ = middle_.exchange(front_, std::memory_order_acq_rel) & ~fresh;
        shown_any_ = true;
    }
    return shown_any_ ? buffers_[front_].data() : nullptr;
}

void FrameExchange::painted() {
    painted_.store(true, std::memory_order_release);
}

bool FrameExchange::wait_for_snapshot(std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock<std::mutex> lock(mutex_);
    state_.store(wanted);
    for (;;) {
        int state = state_.load();
        if (state == ready) return true;
        if (state != copying && (ended_.load() || std::chrono::steady_clock::now() >= deadline)) {
            if (state_.compare_exchange_strong(state, idle)) return false;
            continue; // the capture thread took it meanwhile
        }
        if (state == copying)
            changed_.wait(lock);
        else
            changed_.wait_until(lock, deadline);
    }
}

} // namespace kiv::gui::camera
