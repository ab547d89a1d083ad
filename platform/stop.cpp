#include "platform/stop.h"

namespace kiv::os {

std::atomic<bool> stop_requested = false;
void (*raise_stop)() = nullptr;

} // namespace kiv::os
