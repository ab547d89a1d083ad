// What a running camera's capture thread shares with the GUI thread: the
// preview's three frame buffers and the snapshot's state word and frame.
//
// Preview: the capture thread converts a frame only once the GUI has
// painted the last one, into its own back buffer, then swaps it with the
// middle buffer and posts one paint message; the GUI swaps the middle
// buffer with its front buffer when it paints. Neither side ever waits.
//
// Snapshots: the state word goes wanted -> copying on the capture thread
// (compare-exchange), copying -> ready once the frame is in, and wanted ->
// idle when the GUI gives up waiting (compare-exchange again, so a frame
// being copied is never abandoned). The snapshot frame is written only in
// state copying and read only in state ready.
#pragma once

#include "gui/backend/camera/source.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace kiv::gui::camera {

class FrameExchange : public FrameConsumer {
  public:
    enum State : int { idle = 0, wanted = 1, ready = 2, copying = 3 };
    enum class Notice { snapshot_ready, preview_frame };
    // `notify` runs on the capture thread; it may only post messages.
    FrameExchange(uint32_t width, uint32_t height, std::function<void(Notice)> notify);

    // Capture thread.
    void frame(const StreamFormat& format, const uint8_t* data, size_t length) override;
    void stream_ended() override;

    // GUI thread. The newest preview frame (width x height words), null
    // before the first; painted() asks for the next.
    const uint32_t* preview_frame();
    void painted();
    // Asks for a frame and waits up to `limit` for it; true when the
    // snapshot frame is ready, false when none came (the stream ended or
    // the time ran out).
    bool wait_for_snapshot(std::chrono::milliseconds limit);
    // The wanted state without waiting (the first frame of a stream).
    void want_snapshot() { state_.store(wanted); }
    State state() const { return State(state_.load()); }
    // Back to idle once the GUI has taken the ready frame.
    void taken() { state_.store(idle); }
    const std::vector<uint32_t>& snapshot() const { return snapshot_; }
    bool ended() const { return ended_.load(); }
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }

  private:
    void set_state(State state);

    uint32_t width_, height_;
    std::function<void(Notice)> notify_;
    std::atomic<int> state_{wanted};
    std::atomic<bool> ended_{false};
    std::vector<uint32_t> snapshot_;
    std::mutex mutex_;
    std::condition_variable changed_;

    static constexpr int fresh = 4; // the middle buffer holds an unshown frame
    std::array<std::vector<uint32_t>, 3> buffers_;
    int back_ = 0;               // capture thread
    std::atomic<int> middle_{1}; // index, plus `fresh`
    int front_ = 2;              // GUI thread
    bool shown_any_ = false;     // GUI thread
    std::atomic<bool> painted_{true};
};

} // namespace kiv::gui::camera
