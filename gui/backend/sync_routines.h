// The routines that run code with the faces' realtime synchronization set
// for its length: with-auto-sync and do-no-sync.
#pragma once

namespace kiv::gui::sync_routines {

void register_routines();

} // namespace kiv::gui::sync_routines
