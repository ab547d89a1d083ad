// The stage-0 program boots from the text sources: it has no image yet.
#include "boot/image.h"

namespace kiv::boot {

const uint8_t image_data[] = {0};
const size_t image_size = 0;

} // namespace kiv::boot
