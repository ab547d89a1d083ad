// The font of an input method's composition in a window, as IMM's
// composition font: the backend shows the pre-edit text in it.
#include "gui/backend/layer_state.h"
#include "gui/backend/text/fonts.h"
#include "gui/backend/window_layer.h"

#include <utility>

namespace kiv::gui {

void set_composition_font(HWnd window, uint64_t font) {
    detail::Window* w = detail::find(window);
    if (!w) return;
    text::Font* held = text::retain_font(reinterpret_cast<text::Font*>(font));
    text::release_font(static_cast<text::Font*>(std::exchange(w->composition_font, held)));
}

uint64_t get_composition_font(HWnd window) {
    detail::Window* w = detail::find(window);
    return w ? reinterpret_cast<uint64_t>(w->composition_font) : 0;
}

} // namespace kiv::gui
