#include "runtime/binding.h"

namespace kiv::binding {

uint64_t epoch = 1;

} // namespace kiv::binding
