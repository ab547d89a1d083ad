// Work done at a window's DPI: the DPI before it comes back however the
// work ends.
#pragma once

#include "gui/backend/dpi.h"
#include "gui/backend/gui_init.h"

namespace kiv::gui::faces {

class DpiBracket {
  public:
    explicit DpiBracket(HWnd window) : previous_(dpi_push(dpi_for_window(window))) {}
    ~DpiBracket() { dpi_pop(previous_); }
    DpiBracket(const DpiBracket&) = delete;
    DpiBracket& operator=(const DpiBracket&) = delete;

  private:
    double previous_;
};

} // namespace kiv::gui::faces
