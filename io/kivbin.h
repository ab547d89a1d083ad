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

#include <cstdint>

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

// Writes one value as a container in a new binary! in `out` (a root):
// compact or regular layout. A value holding a routine!, triple!,
// handle!, port! or event! (or a word bound where no record can name its
// context) raises access no-codec naming it; nesting beyond max_depth
// raises internal too-deep.
void encode(const Cell& value, bool compact, Cell& out);

} // namespace kiv::kivbin
