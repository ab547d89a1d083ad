#include "runtime/slot_table.h"

#include <vector>

#include "runtime/collector.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/session.h"
#include "runtime/types.h"

namespace kiv::slot_table {

Cell root;

namespace {

int32_t free_head = -1;
uint32_t slot_count = 0;
// Which cells hold a value: a stored integer! looks like a free cell.
std::vector<bool> in_use;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(root, free_head, slot_count, in_use);

Cell* cells() {
    return memory::buffer_of(root.w2)->head_cell();
}

} // namespace

void init() {
    // The block is reached by nothing else: the collector marks it through
    // this module's marker (once, however often init runs).
    collector::remove_marker(mark);
    collector::add_marker(mark);
    slot_count = initial_capacity;
    root = {TYPE_BLOCK, 0, memory::alloc_cells(slot_count), 0};
    in_use.assign(slot_count, false);
    link_free(0);
}

void link_free(uint32_t first) {
    Buffer* buffer = memory::buffer_of(root.w2);
    Cell* c = buffer->head_cell();
    for (uint32_t i = first; i < slot_count; ++i)
        c[i] = {TYPE_INTEGER, 0, i + 1 < slot_count ? i + 1 : uint32_t(-1), 0};
    free_head = first < slot_count ? int32_t(first) : -1;
    buffer->tail = buffer->head + size_t(slot_count) * sizeof(Cell);
}

uint32_t add(const Cell& value) {
    Rooted<Cell> copy(value); // the value may live in a buffer that moves
    if (free_head < 0) {
        uint32_t old = slot_count;
        memory::expand_series(memory::buffer_of(root.w2), int64_t(old) * 2 * sizeof(Cell));
        slot_count = old * 2;
        in_use.resize(slot_count, false);
        link_free(old);
    }
    uint32_t index = uint32_t(free_head);
    Cell& slot = cells()[index];
    free_head = int32_t(slot.w2);
    slot = copy.get();
    in_use[index] = true;
    return index + 1;
}

Cell* get(uint32_t handle) {
    if (handle == 0 || handle > slot_count || !in_use[handle - 1]) return nullptr;
    return &cells()[handle - 1];
}

void remove(uint32_t handle) {
    Cell* slot = get(handle);
    if (!slot) return;
    slot->header = TYPE_INTEGER;
    slot->w2 = uint32_t(free_head);
    free_head = int32_t(handle - 1);
    in_use[handle - 1] = false;
}

uint32_t capacity() {
    return slot_count;
}

void mark() {
    collector::mark_values(&root, &root + 1);
}

} // namespace kiv::slot_table
