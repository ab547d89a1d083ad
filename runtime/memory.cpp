#include "runtime/memory.h"

#include <algorithm>
#include <cstring>

#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/plan_store.h"
#include "runtime/session.h"

namespace kiv {
namespace memory {

Record record;
void (*collect_hook)() = nullptr;
bool collect_always = false;
size_t os_bytes_limit = 0;
PinStack pinned;
std::vector<NodeFrame*> directory;
uintptr_t* node_slots = nullptr;

namespace {

// Every OS block keeps its rounded size in a 16-byte prefix.
constexpr size_t os_prefix = 16;
constexpr size_t page = 4096;
// A carved buffer takes its header, its data and 16 spare bytes.
constexpr size_t buffer_overhead = sizeof(Buffer) + 16;
// Frames get this much more room than their nominal size, so that the
// largest buffer below the large threshold still fits a 2 MiB frame.
constexpr size_t frame_slack = buffer_overhead - counted_overhead;

size_t align_up(size_t n, size_t a) {
    return (n + a - 1) & ~(a - 1);
}

// Free node slots hold the index of the next free slot, tagged with bit 0.
uintptr_t free_link(int32_t next) {
    return (uintptr_t(int64_t(next) + 1) << 1) | 1;
}
int32_t free_next(uintptr_t slot) {
    return int32_t(slot >> 1) - 1;
}

void collect() {
    if (collect_hook) collect_hook();
}

// Collections are paced by allocation. When the frames run out, or a large
// buffer is asked for, a collection runs only once the bytes allocated
// since the last one reach an eighth of what survived it (and at least
// `min_collection_budget`); otherwise the heap grows. A heap that grows
// steadily is then marked about six times per doubling, however large it
// is, instead of once per frame, while the peak stays within an eighth of
// the live data plus the budget. When the system refuses memory while no
// collection was due, one runs before the request is tried again.
constexpr size_t min_collection_budget = size_t(4) << 20;

struct Pacing {
    size_t allocated = 0; // bytes of buffers carved since the last collection
    size_t live = 0;      // bytes in frames and large blocks after it
    uint32_t seen = 0;    // the collection those figures belong to
};
Pacing pacing;

// The node table itself is not kept: it may have moved since a snapshot,
// which writes its content back wherever it is.
[[maybe_unused]] const bool kept_in_snapshot = session::keep(record, directory, pacing);

size_t heap_bytes_in_use() {
    size_t bytes = 0;
    for (SeriesFrame* f = record.s_head; f; f = f->next) bytes += size_t(f->next_free - f->start());
    for (LargeBlock* b = record.l_head; b; b = b->next) bytes += b->request;
    return bytes;
}

bool collection_due() {
    if (pacing.seen != record.collections) {
        // A collection ran (by allocation or on request): start counting again.
        pacing = {0, heap_bytes_in_use(), record.collections};
    }
    return pacing.allocated >= std::max(min_collection_budget, pacing.live / 8);
}

Buffer* new_large_buffer(size_t need) {
    if (!collection_due())
        if (Buffer* buffer = alloc_large(need, try_alloc_block)) return buffer;
    collect();
    return alloc_large(need, alloc_block);
}

// A frame with room for `need` bytes, the buffer's data being `bytes`.
SeriesFrame* new_series_frame(size_t need, size_t bytes) {
    if (bytes + counted_overhead >= record.s_size) record.s_size = record.s_max;
    if (!collection_due())
        if (SeriesFrame* frame = init_series_frame(try_alloc_block)) return frame;
    collect();
    SeriesFrame* frame = find_series_frame(need);
    if (frame && size_t(frame->end - frame->next_free) >= frame_room_minimum) return frame;
    return init_series_frame(alloc_block);
}

// The node table's room, in frame windows; it starts small and doubles.
constexpr uint32_t initial_table_windows = 8;
uint32_t table_windows = 0;

constexpr size_t window_bytes = size_t(node_frame_slots) * sizeof(uintptr_t);

size_t table_bytes(uint32_t windows) {
    return align_up(size_t(windows) * window_bytes + sizeof(uintptr_t), page);
}

// Makes sure the table has a window for the frame of this ordinal.
void reserve_window(uint32_t ordinal) {
    if (ordinal < table_windows) return;
    uint32_t windows = table_windows ? table_windows : initial_table_windows;
    while (windows <= ordinal) windows *= 2;
    void* table =
        node_slots ? os::virtual_grow(node_slots, table_bytes(table_windows), table_bytes(windows))
                   : os::virtual_alloc(table_bytes(windows), false);
    if (!table) runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    node_slots = static_cast<uintptr_t*>(table);
    table_windows = windows;
}

// Gives the whole pages inside a released frame's window back to the
// system; the pages it shares with its neighbours stay.
void discard_window(uint32_t ordinal) {
    auto start = reinterpret_cast<uintptr_t>(node_slots + size_t(ordinal) * node_frame_slots + 1);
    uintptr_t first = align_up(start, page);
    uintptr_t last = (start + window_bytes) & ~uintptr_t(page - 1);
    if (last > first) os::virtual_discard(reinterpret_cast<void*>(first), last - first);
}

size_t data_bytes(uint32_t count, uint32_t unit) {
    uint64_t bytes = align_up(uint64_t(series_length(count)) * unit, 16);
    if (bytes > max_series_bytes)
        runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    return bytes;
}

} // namespace

void init() {
    record = Record{};
    directory.clear();
    // Made here rather than before main, so that a start-up short of
    // memory fails where it can be reported.
    if (!pinned.entries) pinned.entries = new Buffer*[PinStack::capacity];
    plan_store::init();
}

// An OS block of at least `size` bytes, or null when the system refuses
// or the ceiling would be passed.
void* try_alloc_block(size_t size) {
    size_t rounded = align_up(size + os_prefix, page);
    if (os_bytes_limit && (rounded > os_bytes_limit || record.os_bytes > os_bytes_limit - rounded))
        return nullptr;
    void* block = os::virtual_alloc(rounded, false);
    if (!block) return nullptr;
    *static_cast<size_t*>(block) = rounded;
    record.os_bytes += rounded;
    return static_cast<uint8_t*>(block) + os_prefix;
}

void* alloc_block(size_t size) {
    void* block = try_alloc_block(size);
    if (!block) runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    return block;
}

void free_block(void* pointer) {
    uint8_t* block = static_cast<uint8_t*>(pointer) - os_prefix;
    size_t rounded = *reinterpret_cast<size_t*>(block);
    record.os_bytes -= rounded;
    // A block of a session snapshot stays, to be written back.
    if (session::retains(pointer)) return;
    if (!os::virtual_free(block, rounded))
        runtime::fire_error(runtime::Category::internal, err::internal::wrong_mem);
}

NodeFrame* init_node_frame(uint32_t slots) {
    slots = std::min(slots, node_frame_slots);
    uint32_t ordinal = 0;
    while (ordinal < directory.size() && directory[ordinal]) ++ordinal;
    reserve_window(ordinal);
    auto* frame = static_cast<NodeFrame*>(alloc_block(sizeof(NodeFrame)));
    if (ordinal == directory.size())
        directory.push_back(frame);
    else
        directory[ordinal] = frame;

    frame->next = nullptr;
    frame->prev = record.n_tail;
    frame->ordinal = ordinal;
    frame->slot_count = slots;
    frame->free_head = slots ? 0 : -1;
    frame->used = 0;
    frame->stamp = record.collections;
    frame->used_last = 0;
    frame->history = 0;
    frame->released = 0;
    uintptr_t* window = frame->slots();
    for (uint32_t i = 0; i < slots; ++i) window[i] = free_link(i + 1 < slots ? int32_t(i + 1) : -1);

    if (record.n_tail)
        record.n_tail->next = frame;
    else
        record.n_head = record.n_active = frame;
    record.n_tail = frame;
    return frame;
}

NodeId alloc_node() {
    NodeFrame* frame = record.n_active;
    if (!frame || frame->free_head < 0) {
        frame = record.n_head;
        while (frame && (frame->free_head < 0 || frame->released)) frame = frame->next;
        if (!frame) frame = init_node_frame(node_frame_slots);
        record.n_active = frame;
    }
    int32_t slot = frame->free_head;
    uintptr_t* window = frame->slots();
    frame->free_head = free_next(window[slot]);
    window[slot] = 0;
    frame->used++;
    return frame->ordinal * node_frame_slots + uint32_t(slot) + 1;
}

void free_node(NodeId node) {
    plan_store::drop(node);
    NodeFrame* frame = frame_of(node);
    uint32_t slot = (node - 1) % node_frame_slots;
    frame->slots()[slot] = free_link(frame->free_head);
    frame->free_head = int32_t(slot);
    frame->used--;
}

SeriesFrame* init_series_frame(BlockSource source) {
    uint32_t size = record.s_size;
    auto* frame =
        static_cast<SeriesFrame*>(source(SeriesFrame::frame_header_size() + size + frame_slack));
    if (!frame) return nullptr;
    if (record.s_size < record.s_max) record.s_size = std::min(record.s_size * 2, record.s_max);
    frame->size = size;
    frame->next_free = frame->start();
    frame->end = frame->start() + size + frame_slack;

    // Keep the list in address order.
    SeriesFrame* after = nullptr;
    for (SeriesFrame* f = record.s_head; f && f < frame; f = f->next) after = f;
    frame->prev = after;
    frame->next = after ? after->next : record.s_head;
    (after ? after->next : record.s_head) = frame;
    (frame->next ? frame->next->prev : record.s_tail) = frame;
    if (!record.s_active) record.s_active = frame;
    return frame;
}

SeriesFrame* find_series_frame(size_t need) {
    for (SeriesFrame* f = record.s_head; f; f = f->next)
        if (f->next_free + need < f->end) return f;
    return nullptr;
}

Buffer* alloc_buffer(uint32_t count, uint32_t unit, int32_t offset) {
    size_t bytes = data_bytes(count, unit);
    size_t need = bytes + buffer_overhead;
    if (collect_always) collect();
    Buffer* buffer;
    uint32_t large = 0;
    pacing.allocated += need;
    if (bytes + counted_overhead >= max_series_frame_size) {
        buffer = new_large_buffer(need);
        large = series_flag::large;
    } else {
        SeriesFrame* frame = record.s_active;
        if (!frame || frame->next_free + need >= frame->end) {
            frame = find_series_frame(need);
            if (!frame) frame = new_series_frame(need, bytes);
            record.s_active = frame;
        }
        buffer = reinterpret_cast<Buffer*>(frame->next_free);
        frame->next_free += need;
    }
    buffer->flags = unit | series_flag::in_use | large;
    buffer->node = 0;
    buffer->size = uint32_t(bytes);
    buffer->pins = 0;
    buffer->head = buffer->data() + (offset < 0 ? bytes / 2 : size_t(offset));
    buffer->tail = buffer->head;
    return buffer;
}

NodeId alloc_series(uint32_t count, uint32_t unit, int32_t offset) {
    Buffer* buffer = alloc_buffer(count, unit, offset);
    NodeId node = alloc_node();
    set_buffer(node, buffer);
    buffer->node = node;
    return node;
}

NodeId alloc_heap_series(uint32_t count, uint32_t unit, int32_t offset) {
    size_t bytes = data_bytes(count, unit);
    auto* buffer = static_cast<Buffer*>(heap::allocate(sizeof(Buffer) + bytes));
    buffer->flags = unit | series_flag::in_use | series_flag::heap;
    buffer->size = uint32_t(bytes);
    buffer->pins = 0;
    buffer->head = buffer->tail = buffer->data() + offset;
    NodeId node = alloc_node();
    set_buffer(node, buffer);
    buffer->node = node;
    return node;
}

Buffer* alloc_large(size_t need, BlockSource source) {
    auto* block = static_cast<LargeBlock*>(source(sizeof(LargeBlock) + need));
    if (!block) return nullptr;
    block->next = nullptr;
    block->request = uint32_t(need);
    LargeBlock** link = &record.l_head;
    while (*link) link = &(*link)->next;
    *link = block;
    return block->buffer();
}

void free_large(Buffer* buffer) {
    LargeBlock* block = reinterpret_cast<LargeBlock*>(buffer) - 1;
    for (LargeBlock** link = &record.l_head; *link; link = &(*link)->next) {
        if (*link == block) {
            *link = block->next;
            break;
        }
    }
    free_block(block);
}

void sweep_large_buffers(void (*freed)(NodeId)) {
    LargeBlock** link = &record.l_head;
    while (LargeBlock* block = *link) {
        Buffer* buffer = block->buffer();
        if ((buffer->flags & series_flag::mark) || buffer->pins) {
            buffer->flags &= ~series_flag::mark;
            link = &block->next;
            continue;
        }
        if (buffer->node && (buffer->flags & series_flag::in_use) && freed) freed(buffer->node);
        *link = block->next;
        free_block(block);
    }
}

void release_node_frame(NodeFrame* frame) {
    (frame->prev ? frame->prev->next : record.n_head) = frame->next;
    (frame->next ? frame->next->prev : record.n_tail) = frame->prev;
    if (record.n_active == frame) record.n_active = record.n_tail;
    directory[frame->ordinal] = nullptr;
    discard_window(frame->ordinal);
    free_block(frame);
}

void release_series_frame(SeriesFrame* frame) {
    (frame->prev ? frame->prev->next : record.s_head) = frame->next;
    (frame->next ? frame->next->prev : record.s_tail) = frame->prev;
    if (record.s_active == frame) record.s_active = record.s_tail;
    free_block(frame);
}

void review_node_frames() {
    NodeFrame* chosen = nullptr;
    for (NodeFrame* frame = record.n_head; frame;) {
        NodeFrame* next = frame->next;
        if (frame->used == 0 || frame->released) {
            release_node_frame(frame);
        } else {
            if (!chosen && frame->used < frame->slot_count) chosen = frame;
            frame->history = (frame->history << 1) | (frame->used == frame->used_last ? 1 : 0);
            frame->used_last = frame->used;
        }
        frame = next;
    }
    if (chosen) record.n_active = chosen;
}

void free_all_frames() {
    plan_store::drop_all();
    while (record.n_head) release_node_frame(record.n_head);
    while (record.s_head) release_series_frame(record.s_head);
    while (record.l_head) free_large(record.l_head->buffer());
    record.n_active = nullptr;
    record.s_active = nullptr;
    record.s_size = record.s_start;
}

void free_unretained() {
    for (SeriesFrame* f = record.s_head; f;) {
        SeriesFrame* next = f->next;
        if (!session::retains(f)) free_block(f);
        f = next;
    }
    for (LargeBlock* b = record.l_head; b;) {
        LargeBlock* next = b->next;
        if (!session::retains(b)) free_block(b);
        b = next;
    }
    for (NodeFrame* f : directory)
        if (f && !session::retains(f)) free_block(f);
}

NodeId alloc_cells(uint32_t n) {
    return alloc_series(n, 16, 0);
}

NodeId alloc_cells_unset(uint32_t n) {
    NodeId node = alloc_cells(n);
    Buffer* buffer = buffer_of(node);
    auto* cells = reinterpret_cast<Cell*>(buffer->data());
    for (uint32_t i = 0; i < buffer->size / 16; ++i) cells[i] = Cell{cell::unset_header, 0, 0, 0};
    return node;
}

NodeId alloc_bytes(uint32_t n) {
    return alloc_series(n ? n : 16, 1, 0);
}

NodeId alloc_units(uint32_t n, uint32_t unit) {
    return alloc_series(n ? n : 16 / unit, unit, 0);
}

NodeId alloc_bytes_filled(uint32_t n, uint8_t byte) {
    NodeId node = alloc_bytes(n);
    Buffer* buffer = buffer_of(node);
    fill(buffer->data(), buffer->data_end(), byte);
    return node;
}

uint32_t series_length(uint64_t count) {
    if (count > max_series_length)
        runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    return uint32_t(count);
}

void set_buffer_flags(NodeId node, uint32_t bits) {
    buffer_of(node)->flags |= bits;
}

namespace {

// The raw expansion; `old` receives the abandoned buffer, whose bytes stay
// in place until the next collection.
Buffer* expand(Buffer* buffer, int64_t size, Buffer*& old) {
    uint32_t unit = buffer->unit();
    if (size == 0) size = int64_t(buffer->size) * 2;
    if (size <= 0 || uint64_t(size) > max_series_bytes)
        runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    series_length(uint64_t(size) / unit);
    NodeId node = buffer->node;
    // The node keeps its plan only while its cells stay as they were.
    plan_store::touch(node);
    Buffer* fresh = alloc_buffer(uint32_t(size / unit), unit, 0);
    old = buffer_of(node); // the collector may have moved it
    set_buffer(node, fresh);
    fresh->flags = (old->flags & ~(series_flag::large | series_flag::heap)) |
                   (fresh->flags & series_flag::large);
    fresh->node = node;
    fresh->tail = fresh->head + (old->tail - old->head);
    old->node = 0;
    old->flags &= ~series_flag::in_use;
    return fresh;
}

} // namespace

Buffer* expand_series_raw(Buffer* buffer, int64_t size) {
    Buffer* old;
    return expand(buffer, size, old);
}

Buffer* expand_series(Buffer* buffer, int64_t size) {
    Buffer* old;
    Buffer* fresh = expand(buffer, size, old);
    std::memcpy(fresh->head, old->head, size_t(old->data_end() - old->head));
    // Buffers outside the frames are not reclaimed by compaction.
    if (old->flags & series_flag::heap)
        heap::free(old);
    else if (old->flags & series_flag::large)
        free_large(old);
    return fresh;
}

Buffer* expand_series_filled(Buffer* buffer, int64_t size, uint8_t byte) {
    uint32_t old_size = buffer->size;
    Buffer* fresh = expand_series(buffer, size);
    fill(fresh->head + old_size, fresh->head + fresh->size, byte);
    return fresh;
}

NodeId copy_series(Buffer* buffer) {
    NodeId source = buffer->node;
    uint32_t unit = buffer->unit();
    uint32_t size = buffer->size ? buffer->size : 16;
    NodeId node = alloc_series(size / unit, unit, 0);
    Buffer* from = buffer_of(source);
    Buffer* to = buffer_of(node);
    to->flags = (from->flags & ~(series_flag::large | series_flag::heap | series_flag::mark)) |
                (to->flags & series_flag::large);
    std::memcpy(to->head, from->head, size_t(from->data_end() - from->head));
    to->tail = to->head + (from->tail - from->head);
    return node;
}

void fill(uint8_t* start, uint8_t* end, uint8_t byte) {
    if (end > start) std::memset(start, byte, size_t(end - start));
}

} // namespace memory

namespace buffer {

uint8_t* reserve_tail(Buffer*& buffer, uint32_t n) {
    plan_store::touch(buffer->node);
    if (buffer->tail + n > buffer->data_end()) {
        int64_t size = n > buffer->size ? int64_t(n) * 2 : int64_t(buffer->size) * 2;
        buffer = memory::expand_series(buffer, size);
    }
    uint8_t* old_tail = buffer->tail;
    buffer->tail += n;
    return old_tail;
}

} // namespace buffer

namespace cell {

Cell* append_unset(Buffer*& buffer) {
    plan_store::touch(buffer->node);
    if (buffer->tail + sizeof(Cell) > buffer->data_end()) buffer = memory::expand_series(buffer, 0);
    Cell* c = buffer->tail_cell();
    c->header = unset_header;
    buffer->tail += sizeof(Cell);
    return c;
}

Cell* alloc_tail(const Cell& block) {
    Buffer* buffer = memory::buffer_of(block.w2);
    return append_unset(buffer);
}

} // namespace cell
} // namespace kiv
