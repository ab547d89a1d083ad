// The bodies of the codec routines that the boot sources bind.
#pragma once

#include "runtime/cell.h"

namespace kiv::codecs {

// Registers the bodies below under their routine names.
void register_routines();

// encode* data [any-type!] compact? [logic!]: a new binary! holding the
// data as KIVBIN, compact or regular.
void kivbin_encode(Cell* args);
// decode payload [any-type!]: the one value of a KIVBIN binary!, or the
// block of its values when it holds another count.
void kivbin_decode(Cell* args);

} // namespace kiv::codecs
