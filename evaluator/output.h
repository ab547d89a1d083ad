// The output natives print and prin: a block is reduced and formed, a
// string handed over as it stands, any other value formed; the text goes
// to the print hooks (output_hooks), which the console registers.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::natives {

void print(bool check, const int32_t* refinements);
void prin(bool check, const int32_t* refinements);

// Prints slot 0 of the current frame, then the new line when new_line is
// 1; the result is unset!.
void print_value(bool check, int new_line);

// The new-line argument of the last print (1 print, 0 prin); the GUI
// console reads it.
extern int last_new_line;

// The block that print reduces into. Each call appends its values behind
// those of the calls it is nested in and cuts them off again when it ends,
// however it ends, so the block is empty between top-level prints.
const Cell& print_work_block();

// Makes the print work block and binds print and prin to their native
// numbers.
void register_output();

} // namespace kiv::natives
