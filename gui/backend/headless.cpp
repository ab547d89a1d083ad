#include "gui/backend/headless.h"

#include "gui/backend/window_layer.h"

namespace kiv::gui {

bool HeadlessBackend::wait(double timeout_ms) {
    if (timeout_ms < 0) return false;
    clock_ += timeout_ms;
    return true;
}

bool HeadlessBackend::clipboard_read(ClipData& data) {
    if (!clipboard_) return false;
    data.kind = ClipData::Kind::text;
    data.text = *clipboard_;
    return true;
}

HeadlessBackend& start_headless() {
    auto owned = std::make_unique<HeadlessBackend>();
    HeadlessBackend& b = *owned;
    layer_start(std::move(owned));
    return b;
}

} // namespace kiv::gui
