#include "runtime/output_hooks.h"

#include <algorithm>

#include "runtime/heap.h"
#include "runtime/session.h"

namespace kiv::output_hooks {
namespace {

constexpr uint32_t growth = 5;

HookList<PrintHook> print_list;
HookList<WriteHook> write_list;
// Code can register and remove hooks: a restored session has its lists.
[[maybe_unused]] const bool kept_in_snapshot = session::keep(print_list, write_list);

template <class Hook>
void reset(HookList<Hook>& list) {
    list = {static_cast<Hook*>(heap::allocate(growth * sizeof(Hook))), 0, growth};
}

template <class Hook>
void append(HookList<Hook>& list, Hook hook) {
    if (!hook) return;
    if (list.count == list.capacity) {
        auto* grown = static_cast<Hook*>(heap::allocate((list.capacity + growth) * sizeof(Hook)));
        std::copy_n(list.entries, list.count, grown);
        heap::free(list.entries);
        list.entries = grown;
        list.capacity += growth;
    }
    list.entries[list.count++] = hook;
}

template <class Hook>
void remove(HookList<Hook>& list, Hook hook) {
    if (!hook) return;
    Hook* end = list.entries + list.count;
    Hook* found = std::find(list.entries, end, hook);
    if (found == end) return;
    std::copy(found + 1, end, found);
    --list.count;
}

// Hooks may register or remove hooks while they run: the list is re-read on
// every step.
template <class Hook, class... Args>
void call(const HookList<Hook>& list, Args... args) {
    for (uint32_t i = 0; i < list.count; ++i) list.entries[i](args...);
}

} // namespace

void init() {
    reset(print_list);
    reset(write_list);
}

void register_(PrintHook print, WriteHook write) {
    append(print_list, print);
    append(write_list, write);
}

void unregister(PrintHook print, WriteHook write) {
    remove(print_list, print);
    remove(write_list, write);
}

void call_print(const Cell* value, int new_line) {
    call(print_list, value, new_line);
}

void call_write(const char* text, uint32_t length, int flag) {
    call(write_list, text, length, flag);
}

const HookList<PrintHook>& print_hooks() {
    return print_list;
}
const HookList<WriteHook>& write_hooks() {
    return write_list;
}

} // namespace kiv::output_hooks
