// KIVBIN: the binary serialization of values.
//
// A container is the magic "KIVBIN", a version byte (skipped when read), a
// flags byte (0x01 compact layout, 0x02 body compressed with runtime/lz,
// 0x04 symbol table present) and a body: the record count, the payload
// size, the symbol table (symbol count, strings size, one 32-bit offset
// per symbol, NUL-ended names) and the records. The regular layout writes
// 32-bit words; the compact layout writes varints and one-byte headers.
//
// A series, object or bound word met a second time is written as a
// reference: the path of indexes at which it was first written, walked
// from the block of decoded values. A series is appended before its
// content is decoded, so shared and cyclic values read back as they were.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/cell.h"

namespace kiv::kivbin {

constexpr uint8_t flag_compact = 0x01;
constexpr uint8_t flag_compressed = 0x02;
constexpr uint8_t flag_symbols = 0x04;

// Records nest at most this deep, as molds do.
constexpr uint32_t max_depth = 1000;

// Decodes the binary's data from its head and appends the values to
// `target` (a block). Bad magic or bad compressed data raise script
// invalid-data with the binary; a corrupt record raises script
// kb-invalid-record with its byte offset + 1; a routine!, triple!,
// handle!, port! or event! record raises access no-codec. Values decoded
// before a failure stay in `target`.
void decode(const Cell& binary, Cell& target);

// Loads a boot image: its values are appended to `target`, the block of
// boot values, and `base` is the length `target` had before, where the
// boot-value table starts. Besides the records of decode, a boot image may
// hold context! records, word records bound to the context of an earlier
// boot value (by its index from `base`), and top-level definitions (a word
// record set to the value of the record after it; neither takes a place
// among the boot values). The collector stays off while it runs. A failure
// leaves the message in `failure` and raises nothing: the catalog that
// errors are made from may be among the values still to load.
struct BootLoad {
    uint32_t base = 0;
    std::string failure; // empty when the image loaded
};
BootLoad boot_load(const uint8_t* data, size_t length, Cell& target);

// Writes a boot image (compact layout, symbol table): every value of the
// block `top` from its head as a top-level record, except that a
// set-word! there writes a definition of its word by the value after it.
void encode_image(const Cell& top, Cell& out);

// Writes one value as a container in a new binary! in `out` (a root):
// compact or regular layout. A value holding a routine!, triple!,
// handle!, port! or event! (or a word bound where no record can name its
// context) raises access no-codec naming it; nesting beyond max_depth
// raises internal too-deep.
void encode(const Cell& value, bool compact, Cell& out);

} // namespace kiv::kivbin
