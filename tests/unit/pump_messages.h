// Dispatching the layer's messages while other threads post them: the
// loop runs until a condition holds, sleeping briefly while the queue is
// empty, for at most `limit` (by default long enough for the slowest
// honest case on a heavily loaded machine).
#pragma once

#include "gui/backend/window_layer.h"

#include <chrono>
#include <thread>

namespace kiv::testing {

template <class Condition>
bool pump_until(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        gui::Msg msg;
        if (gui::peek_message(msg))
            gui::dispatch_message(msg);
        else if (std::chrono::steady_clock::now() > deadline)
            return false;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace kiv::testing
