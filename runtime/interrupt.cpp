#include "runtime/interrupt.h"

namespace kiv::runtime {

std::atomic<bool> interrupt_requested = false;
void (*interrupt_raiser)() = nullptr;

void take_interrupt() {
    if (interrupt_raiser) interrupt_raiser();
}

} // namespace kiv::runtime
