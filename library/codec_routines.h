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

// The image codecs' routines, "png-encode" and its kin, img [image!]
// where [any-type!]: a new binary! holding the image in the format of the
// encoder number (0 BMP, 1 PNG, 2 GIF, 3 JPEG, 4 TIFF); `where` is left to
// the caller.
template <int32_t Encoder>
void image_encode(Cell* args);
// "image-decode" data [any-type!]: the image! a binary! or a file! holds
// (none for a binary of no known format).
void image_decode(Cell* args);

} // namespace kiv::codecs
