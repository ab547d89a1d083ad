// Output hooks: callbacks that see what the runtime prints. Print hooks get
// each value that `print` or `prin` hands over, write hooks each piece of
// text that the console writer puts out. The GUI console registers one of
// each to show the output in its window.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::output_hooks {

// (value being printed, new-line flag)
using PrintHook = void (*)(const Cell* value, int new_line);
// (text just written, its length in bytes, 0)
using WriteHook = void (*)(const char* text, uint32_t length, int flag);

// An array of hooks in the tracked heap; it starts with room for 5 and
// grows by 5.
template <class Hook>
struct HookList {
    Hook* entries = nullptr;
    uint32_t count = 0;
    uint32_t capacity = 0;
};

// Allocates both lists empty (capacity 5). Earlier lists stay in the
// tracked heap until it is freed.
void init();
// Appends each non-null hook to its list.
void register_(PrintHook print, WriteHook write);
// Removes the first occurrence of each non-null hook from its list.
void unregister(PrintHook print, WriteHook write);

// Call every hook of the list in registration order.
void call_print(const Cell* value, int new_line);
void call_write(const char* text, uint32_t length, int flag);

const HookList<PrintHook>& print_hooks();
const HookList<WriteHook>& write_hooks();

} // namespace kiv::output_hooks
