// The headless backend: windows exist only as the layer's models with
// Cairo image surfaces, time is a virtual clock, input comes from the
// layer's input calls, and monitors are whatever the caller configures
// (none by default). Used without a display and by the tests.
#pragma once

#include "gui/backend/backend.h"

namespace kiv::gui {

class HeadlessBackend : public Backend {
  public:
    const char* name() const override { return "headless"; }
    double now_ms() override { return clock_; }
    // Nothing arrives on its own: a wait with a limit jumps the clock to
    // its end (the next due timer); a wait without one could never end.
    bool wait(double timeout_ms) override;
    // Moves the virtual clock forward.
    void advance(double ms) { clock_ += ms; }

  private:
    double clock_ = 0;
};

// Starts the window layer over a new headless backend and returns it.
HeadlessBackend& start_headless();

} // namespace kiv::gui
