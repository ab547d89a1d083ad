// Series buffers, node frames and series frames.
//
// Values refer to a series buffer through a node id; the node frame slot
// holds the buffer's current address, so the collector can move buffers.
// Buffers are carved bump-pointer fashion from series frames of 1 MiB (the
// first) and 2 MiB (every later one); requests at or above the large
// threshold get an OS block of their own; heap-backed buffers come from the
// tracked heap and never move.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/cell.h"

namespace kiv {

// The header in front of every series buffer's data area. The data area
// follows the header directly and is 16-byte aligned.
struct Buffer {
    uint32_t flags;
    NodeId node;   // the node that refers to this buffer, 0 when abandoned
    uint32_t size; // bytes of data area, a multiple of 16
    uint32_t pins; // code running over the buffer: it must not move
    uint8_t* head; // first used unit
    uint8_t* tail; // one past the last used unit

    uint8_t* data() { return reinterpret_cast<uint8_t*>(this + 1); }
    uint8_t* data_end() { return data() + size; }
    uint32_t unit() const { return flags & 0x1Fu; }
    uint32_t length() const { return uint32_t(tail - head) / unit(); }
    Cell* head_cell() { return reinterpret_cast<Cell*>(head); }
    Cell* tail_cell() { return reinterpret_cast<Cell*>(tail); }
};
static_assert(sizeof(Buffer) % 16 == 0);

namespace series_flag {
constexpr uint32_t unit_mask = 0x1Fu;
constexpr uint32_t in_use = 0x80000000u;
constexpr uint32_t mark = 0x08000000u;
constexpr uint32_t large = 0x01000000u;
constexpr uint32_t heap = 0x00100000u;
} // namespace series_flag

namespace memory {

constexpr uint32_t node_frame_slots = 10000;
constexpr uint32_t initial_series_frame_size = 1048576;
constexpr uint32_t max_series_frame_size = 2097152; // also the large-buffer threshold
constexpr uint32_t frame_room_minimum = 0xCCCC;     // a frame emptier than this is not reused
// Bytes a buffer request takes beyond its data, as the frame-size and
// large-threshold rules count them (20-byte header and 4 spare bytes).
constexpr uint32_t counted_overhead = 24;
// The most data bytes one series buffer holds; a larger request is
// no-memory.
constexpr uint64_t max_series_bytes = 0xFFFFFFF0u;
// The most units one series buffer holds: lengths and positions are 32-bit
// signed integers, so a larger request is no-memory too, and a series
// can neither be made nor grown past it.
constexpr uint32_t max_series_length = 0x7FFFFFF0u;

// The bookkeeping of one node frame. Its slots are a window of the node
// table (`node_slots`): the frame's node ids index the table directly.
struct NodeFrame {
    NodeFrame* next;
    NodeFrame* prev;
    uint32_t ordinal; // index in the frame directory: node id = ordinal * 10000 + slot + 1
    uint32_t slot_count;
    int32_t free_head; // slot index of the first free slot, -1 when full
    uint32_t used;
    uint32_t stamp;     // collections done when the frame was made
    uint32_t used_last; // used count at the last collection
    uint32_t history;   // bit 0 set at each collection where the used count stayed the same
    uint32_t released;  // 1 once every node has left the frame
    // The frame's window of the node table. The table may move as it
    // grows, so the frame keeps its ordinal and finds the window anew.
    uintptr_t* slots() const;
};

struct SeriesFrame {
    SeriesFrame* next;
    SeriesFrame* prev;
    uint32_t size; // bytes of buffer space
    uint8_t* next_free;
    uint8_t* end;
    uint8_t* start() { return reinterpret_cast<uint8_t*>(this) + frame_header_size(); }
    static constexpr size_t frame_header_size() { return 48; }
};

struct LargeBlock {
    LargeBlock* next;
    uint32_t request; // bytes asked for, header included
    uint32_t spare;
    Buffer* buffer() { return reinterpret_cast<Buffer*>(this + 1); }
};
static_assert(sizeof(LargeBlock) % 16 == 0);

struct Record {
    size_t os_bytes = 0;
    NodeFrame* n_head = nullptr;
    NodeFrame* n_tail = nullptr;
    NodeFrame* n_active = nullptr;
    SeriesFrame* s_head = nullptr;
    SeriesFrame* s_active = nullptr;
    SeriesFrame* s_tail = nullptr;
    uint32_t s_start = initial_series_frame_size;
    uint32_t s_size = initial_series_frame_size;
    uint32_t s_max = max_series_frame_size;
    LargeBlock* l_head = nullptr;
    uint32_t collections = 0; // collections done so far, counted by the collector
};
extern Record record;

// The collector's entry, called by allocation when frames run out or a
// large buffer is requested; null until the collector is installed.
extern void (*collect_hook)();
// Stress mode: every buffer allocation calls the collector first.
extern bool collect_always;
// The most bytes of OS blocks the frames and large buffers may hold; 0 for
// no ceiling but the system's. Past it, allocation collects and then raises
// no-memory, as when the system refuses. An embedder that runs untrusted
// code sets it to keep a session's growth catchable.
extern size_t os_bytes_limit;
// The pinned buffers, innermost last; the collector marks what they hold.
// Pins nest with the C++ calls that walk code, so the stack's depth is
// bounded by the machine stack's.
struct PinStack {
    static constexpr size_t capacity = 1 << 20;
    Buffer** entries = nullptr;
    size_t count = 0;
    void push(Buffer* b) { entries[count++] = b; }
    void pop() { --count; }
    bool empty() const { return count == 0; }
    Buffer** begin() const { return entries; }
    Buffer** end() const { return entries + count; }
};
extern PinStack pinned;

// The frame directory, indexed by node frame ordinal; released frames
// leave an empty entry that a later frame takes.
extern std::vector<NodeFrame*> directory;

// The node table: one slot per node id, indexed by the id itself, so that
// finding a buffer is one load. A used slot holds the buffer's address; a
// free slot holds the tagged index of the next free slot of its frame.
// Each node frame owns a window of node_frame_slots slots; the table grows
// by doubling (it may move) and gives released windows back to the system.
extern uintptr_t* node_slots;

inline uintptr_t* NodeFrame::slots() const {
    return node_slots + size_t(ordinal) * node_frame_slots + 1;
}

inline NodeFrame* frame_of(NodeId node) {
    return directory[(node - 1) / node_frame_slots];
}

// Reading and writing a node's buffer address.
inline Buffer* buffer_of(NodeId node) {
    return reinterpret_cast<Buffer*>(node_slots[node]);
}
inline void set_buffer(NodeId node, Buffer* buffer) {
    node_slots[node] = reinterpret_cast<uintptr_t>(buffer);
}

void init();
void* alloc_block(size_t size);
// As alloc_block, but null when the system refuses the memory.
void* try_alloc_block(size_t size);
// How a new OS block is got: raising no-memory, or answering null.
using BlockSource = void* (*)(size_t);
void free_block(void* block);

NodeFrame* init_node_frame(uint32_t slots);
NodeId alloc_node();
void free_node(NodeId node);

SeriesFrame* init_series_frame(BlockSource source = alloc_block);
SeriesFrame* find_series_frame(size_t need);

// offset is the byte offset of the head in the data area, or -1 for the
// middle of the data area.
Buffer* alloc_buffer(uint32_t count, uint32_t unit, int32_t offset);
NodeId alloc_series(uint32_t count, uint32_t unit, int32_t offset);
NodeId alloc_heap_series(uint32_t count, uint32_t unit, int32_t offset);

Buffer* alloc_large(size_t need, BlockSource source = alloc_block);
void free_large(Buffer* buffer);
// Frees every unmarked large buffer (its node goes to `freed`) and clears
// the mark of the others.
void sweep_large_buffers(void (*freed)(NodeId));

void release_node_frame(NodeFrame* frame);
void release_series_frame(SeriesFrame* frame);
void review_node_frames();
void free_all_frames();
// For a session snapshot (runtime/session.h): frees the frames and large
// blocks the snapshot does not retain.
void free_unretained();

// A count of units a series is to be made of, as the allocation takes it;
// past max_series_length it raises no-memory.
uint32_t series_length(uint64_t count);

NodeId alloc_cells(uint32_t n);
NodeId alloc_cells_unset(uint32_t n);
NodeId alloc_bytes(uint32_t n);
NodeId alloc_units(uint32_t n, uint32_t unit);
NodeId alloc_bytes_filled(uint32_t n, uint8_t byte);
void set_buffer_flags(NodeId node, uint32_t bits);

// size in bytes; 0 doubles the current size.
Buffer* expand_series_raw(Buffer* buffer, int64_t size);
Buffer* expand_series(Buffer* buffer, int64_t size);
Buffer* expand_series_filled(Buffer* buffer, int64_t size, uint8_t byte);
NodeId copy_series(Buffer* buffer);

void fill(uint8_t* start, uint8_t* end, uint8_t byte);

} // namespace memory

// Keeps a buffer in place while C++ code walks it with raw pointers and
// may allocate meanwhile (the interpreter over a block of code). A pinned
// buffer is never moved or reclaimed; when it is replaced by an expansion
// it stays, abandoned, until the last pin goes.
class Pin {
  public:
    explicit Pin(NodeId node) : Pin(memory::buffer_of(node)) {}
    // The buffer of a node already looked up.
    explicit Pin(Buffer* buffer) : buffer_(buffer) {
        buffer_->pins++;
        memory::pinned.push(buffer_);
    }
    ~Pin() {
        buffer_->pins--;
        memory::pinned.pop();
    }
    Pin(const Pin&) = delete;
    Pin& operator=(const Pin&) = delete;
    Buffer* buffer() const { return buffer_; }

  private:
    Buffer* buffer_;
};

namespace buffer {
// Makes room for n more bytes at the tail and returns the old tail.
uint8_t* reserve_tail(Buffer*& buffer, uint32_t n);
} // namespace buffer

namespace cell {
// Appends an unset cell at the tail, expanding when full; `buffer` is
// updated when the buffer moved.
Cell* append_unset(Buffer*& buffer);
// append_unset on the buffer of a block cell's node.
Cell* alloc_tail(const Cell& block);
} // namespace cell

} // namespace kiv
