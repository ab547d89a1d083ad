// Camera faces: the window of class KivCamera shows a capture device's live
// picture and answers snapshots as image! values. Each camera window keeps
// its record's number in its widget slot (0: no camera); the record holds
// every device enumeration found, the running source and what its capture
// thread shares with the GUI thread. Capture threads only post messages;
// everything else runs on the GUI thread.
#pragma once

#include "gui/backend/messages.h"
#include "gui/backend/window_types.h"
#include "runtime/cell.h"

#include <chrono>

namespace kiv::gui::camera {

// Posted by a capture thread (wParam: the stream's generation): a snapshot
// frame is ready; a new preview frame waits to be painted.
inline constexpr uint32_t snapshot_message = WM_USER + 1;
inline constexpr uint32_t preview_message = WM_USER + 3;

// What the face code gives the camera: the face's `image` cell of a camera
// window (null when it has none), which the first frame of a stream fills
// when it is none. It is asked again after the image is made.
struct Hooks {
    Cell* (*face_image)(HWnd window) = nullptr;
};
Hooks& hooks();

// Lists the devices into `data` (a new block of their names) and keeps
// them in a record of the window; when `selected` is an integer, starts
// device `selected` (1-based) and, when `ratio` is given, stores the
// picture's aspect ratio there as a float!. Without devices the window
// gets no record, `data` stays as it was and a line tells why. The cells
// given here and to snapshot() are rooted cells or argument slots, which
// stay where they are while values are made.
void init(HWnd window, Cell& data, const Cell& selected, Cell* ratio);
// Starts the device at the 0-based index, stopping the one running: false
// (with a line) when the device cannot preview. An index outside the
// devices, or a window without cameras, raises access cannot-open with
// index + 1.
bool select(HWnd window, int64_t index);
// Stops the running device: its capture thread is woken and joined
// before streaming ends and the buffers go. Idempotent.
void stop(HWnd window);
// Stops, then frees the record (WM_DESTROY does this).
void release(HWnd window);
// The aspect ratio of the window's running device (width / height), 0
// when none runs.
double ratio(HWnd window);
// Waits for the next frame of the running device and makes it an image!
// in `image`; none when there is no running device or no frame comes in
// time.
void snapshot(HWnd window, Cell& image);
// How long a snapshot waits (3 s unless a test lowers it).
void set_snapshot_wait(std::chrono::milliseconds limit);

// The picture's place in a width x height window: its aspect ratio kept,
// centred, the bars on two sides.
Rect fit(uint32_t frame_width, uint32_t frame_height, int32_t width, int32_t height);

// The window procedure of KivCamera.
int64_t window_proc(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam);

} // namespace kiv::gui::camera
