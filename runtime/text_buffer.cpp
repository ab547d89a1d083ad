#include "runtime/text_buffer.h"

#include <algorithm>

#include "runtime/fatal.h"
#include "runtime/unicode.h"

namespace kiv::text_buffer {

void bad_unit() {
    runtime::quit_with_error(runtime::fatal::no_switch_matched, runtime::caller_address());
}

uint32_t length_whole(const Cell& value) {
    return memory::buffer_of(value.w2)->length();
}

uint32_t head_index(const Cell& value) {
    return std::min(value.w1, length_whole(value));
}

uint32_t length(const Cell& value) {
    return length_whole(value) - head_index(value);
}

Buffer* widen(Buffer* buffer, uint32_t from, uint32_t to) {
    switch (to) {
    case 2: return unicode::widen_1_2(buffer);
    case 4: return from == 1 ? unicode::widen_1_4(buffer) : unicode::widen_2_4(buffer);
    default: bad_unit();
    }
}

} // namespace kiv::text_buffer
