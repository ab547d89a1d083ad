#include "runtime/binding.h"

namespace kiv::binding {

uint32_t epoch = 1;

} // namespace kiv::binding
