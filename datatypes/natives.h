// The natives table: the built-in functions that are not datatype actions,
// each in one slot numbered from 1. A native! value carries its slot
// number, never an address; the interpreter and compiled callers reach the
// function through this table.
//
// Every native reads its arguments from the current frame and leaves its
// result in slot 0. It receives a check flag (true: check the argument
// types first; the interpreter passes false, having checked them while
// fetching) and one word per refinement: -1 when absent, else the frame
// slot of the refinement's first argument.
#pragma once

#include <array>
#include <cstdint>

namespace kiv::natives {

constexpr uint32_t table_size = 120;

// The numbers of the natives the interpreter knows by number.
namespace number {
constexpr uint32_t if_ = 1;
constexpr uint32_t unless = 2;
constexpr uint32_t either = 3;
} // namespace number

using Entry = void (*)(bool check, const int32_t* refinements);

// The shape of a native's spec: its fixed arguments and its refinements
// (/local excluded); -1 when not given.
struct Arity {
    int32_t arguments = -1;
    int32_t refinements = -1;
};

// Fills slot `index` (1..120). An index outside the table or a null entry
// ends the process with a runtime error: registration is start-up code.
void register_native(uint32_t index, Entry entry, Arity arity = {});
// One more than the highest slot filled (1 while the table is empty).
uint32_t count();
// The entries by slot number; slot 0 stays null. Every native call reads
// it, so the lookup is in line.
extern std::array<Entry, table_size + 1> entries;

// The entry of a slot, null when the slot is empty or out of the table.
inline Entry entry(uint32_t index) {
    return index <= table_size ? entries[index] : nullptr;
}
Arity arity(uint32_t index);
// Empties the table.
void reset();

} // namespace kiv::natives
