// The routines bound at start-up in every run, display or not: event?,
// find-flag? and send-event-os.
#pragma once

namespace kiv::gui::event_routines {

void register_routines();

} // namespace kiv::gui::event_routines
