// Start of the face code: its window procedures and hooks set for the
// window layer, the message loop and the event translation.
#pragma once

namespace kiv::gui::faces {

void init();

} // namespace kiv::gui::faces
