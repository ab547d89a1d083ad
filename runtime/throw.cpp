#include "runtime/throw.h"

namespace kiv::runtime {

Record record;

void throw_code(uint32_t code) {
    record.code = code;
    throw Throw{code};
}

} // namespace kiv::runtime
