#include "runtime/collector.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/binding.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/session.h"
#include "runtime/types.h"

namespace kiv::collector {

bool active = false;
bool stress = false;
Stats stats;
Hooks hooks;

// Registered markers and sweepers stay: a module registers its own once.
[[maybe_unused]] const bool kept_in_snapshot = session::keep(active, stats);

namespace {

constexpr size_t max_markers = 100;
constexpr uint8_t poison_byte = 0xDB;

bool is_running = false;
std::vector<void (*)()> markers;
std::vector<void (*)()> sweepers;
// Blocks marked but not yet scanned.
std::vector<NodeId> pending;
// Heap-backed buffers marked in this collection; their marks are cleared
// at the end since compaction never visits them.
std::vector<Buffer*> marked_outside_frames;
std::vector<NodeId> freed_nodes;

void drain() {
    while (!pending.empty()) {
        NodeId node = pending.back();
        pending.pop_back();
        Buffer* b = memory::buffer_of(node);
        if (b->unit() == sizeof(Cell)) mark_values(b->head_cell(), b->tail_cell());
    }
}

void keep_if(uint32_t node) {
    if (node) keep(node);
}

void mark_hash_table(NodeId table) {
    if (!table) return;
    if (hooks.mark_hash_table)
        hooks.mark_hash_table(table);
    else
        keep(table);
}

void mark_roots() {
    for (Cell* c : roots::cells) mark_values(c, c + 1);
    // Pinned buffers are being walked by running code: what they hold stays,
    // even when an expansion has already replaced them.
    for (Buffer* b : memory::pinned) {
        if (b->node && (b->flags & series_flag::in_use)) {
            mark_block(b->node);
        } else if (b->unit() == sizeof(Cell)) {
            mark_values(b->head_cell(), b->tail_cell());
        }
    }
    for (NodeId* n : roots::nodes)
        if (*n) mark_block(*n);
    drain();
    for (auto* marker : markers) {
        if (marker) marker();
        drain();
    }
}

size_t footprint(const Buffer* b) {
    return sizeof(Buffer) + b->size + 16;
}

// Moves the run of buffers [from, from + length) to `to` (the areas may
// overlap) and points every node at its buffer's new place.
void move_run(uint8_t* from, size_t length, uint8_t* to) {
    if (from == to) return;
    std::memmove(to, from, length);
    ptrdiff_t distance = to - from;
    for (uint8_t* p = to; p < to + length;) {
        auto* b = reinterpret_cast<Buffer*>(p);
        b->head += distance;
        b->tail += distance;
        memory::set_buffer(b->node, b);
        p += footprint(b);
    }
    stats.bytes_moved += length;
}

// Turns [from, to) into one abandoned buffer that the next collection
// reclaims; every gap is at least one buffer long.
void fill_dead(uint8_t* from, uint8_t* to) {
    auto* dead = reinterpret_cast<Buffer*>(from);
    dead->flags = 1;
    dead->node = 0;
    dead->size = uint32_t(size_t(to - from) - sizeof(Buffer) - 16);
    dead->pins = 0;
    dead->head = dead->tail = dead->data();
    if (stress) memory::fill(dead->data(), to, poison_byte);
}

// Compacts frame F: unmarked buffers are dropped (their nodes queued for
// freeing), marked ones lose their mark and slide down over the gaps. With
// a previous frame P that has more than the minimum room, runs of live
// buffers move to P's free tail while they fit, which lets later frames
// drain into earlier ones.
void compact_frame(memory::SeriesFrame* frame, memory::SeriesFrame* previous) {
    size_t room = 0;
    if (previous && size_t(previous->end - previous->next_free) > memory::frame_room_minimum)
        room = size_t(previous->end - previous->next_free);
    bool into_previous = room > 0;
    uint8_t* gap = nullptr;
    uint8_t* p = frame->start();
    while (p < frame->next_free) {
        auto* b = reinterpret_cast<Buffer*>(p);
        if (b->pins) {
            // A pinned buffer stays where it is: the gap before it becomes
            // one dead buffer, and nothing after it moves into the
            // previous frame.
            if (gap) fill_dead(gap, p);
            gap = nullptr;
            into_previous = false;
            b->flags &= ~series_flag::mark;
            p += footprint(b);
            continue;
        }
        if (!(b->flags & series_flag::mark)) {
            if (b->node && (b->flags & series_flag::in_use)) freed_nodes.push_back(b->node);
            if (!gap) gap = p;
            p += footprint(b);
            continue;
        }
        // A run of live buffers, cut where it stops fitting the room left.
        uint8_t* run = p;
        size_t length = 0;
        size_t last = 0;
        while (p < frame->next_free) {
            auto* live = reinterpret_cast<Buffer*>(p);
            if (!(live->flags & series_flag::mark) || live->pins) break;
            if (into_previous && length >= room) break;
            live->flags &= ~series_flag::mark;
            last = footprint(live);
            length += last;
            p += last;
        }
        if (into_previous && length >= room && length - last > 0 && length - last < room) {
            // Leave the last buffer for the next run, marked again.
            p -= last;
            length -= last;
            reinterpret_cast<Buffer*>(p)->flags |= series_flag::mark;
        }
        if (into_previous && length < room) {
            move_run(run, length, previous->next_free);
            previous->next_free += length;
            room -= length;
            if (room <= memory::frame_room_minimum) into_previous = false;
            if (!gap) gap = run;
        } else if (gap) {
            move_run(run, length, gap);
            gap += length;
        } else {
            into_previous = false;
        }
    }
    if (gap) {
        if (stress) memory::fill(gap, frame->next_free, poison_byte);
        frame->next_free = gap;
    }
}

void compact_frames() {
    memory::SeriesFrame* previous = nullptr;
    for (memory::SeriesFrame* f = memory::record.s_head; f;) {
        memory::SeriesFrame* next = f->next;
        compact_frame(f, previous);
        if (f->next_free == f->start() && f != memory::record.s_tail) {
            memory::release_series_frame(f);
        } else {
            previous = f;
        }
        f = next;
    }
    if (!memory::record.s_active) memory::record.s_active = memory::record.s_tail;
}

void queue_freed(NodeId node) {
    freed_nodes.push_back(node);
}

void flush_freed_nodes() {
    std::sort(freed_nodes.begin(), freed_nodes.end());
    for (NodeId node : freed_nodes) memory::free_node(node);
    stats.nodes_freed += uint32_t(freed_nodes.size());
    freed_nodes.clear();
}

} // namespace

void init() {
    stats = Stats{};
    markers.clear();
    sweepers.clear();
    const char* env = std::getenv("KIV_GC_STRESS");
    stress = env && env[0] == '1';
    memory::collect_hook = run;
    memory::collect_always = stress;
}

bool running() {
    return is_running;
}

void run() {
    if (active && !is_running) collect();
}

void collect() {
    if (is_running) return;
    is_running = true;
    // Contexts freed now may come back as other contexts: what was
    // resolved ahead of time is resolved again.
    binding::bump();
    mark_roots();
    for (auto* sweeper : sweepers) sweeper();
    compact_frames();
    memory::sweep_large_buffers(queue_freed);
    flush_freed_nodes();
    memory::review_node_frames();
    for (Buffer* b : marked_outside_frames) b->flags &= ~series_flag::mark;
    marked_outside_frames.clear();
    stats.collections++;
    memory::record.collections = stats.collections;
    is_running = false;
}

void add_marker(void (*marker)()) {
    // A module started again (as tests do) keeps one registration.
    if (std::find(markers.begin(), markers.end(), marker) != markers.end()) return;
    if (markers.size() < max_markers) markers.push_back(marker);
}

void remove_marker(void (*marker)()) {
    auto it = std::find(markers.begin(), markers.end(), marker);
    if (it != markers.end()) *it = nullptr;
}

void add_sweeper(void (*sweeper)()) {
    sweepers.push_back(sweeper);
}

bool keep(NodeId node) {
    Buffer* b = memory::buffer_of(node);
    if (!b || (b->flags & series_flag::mark)) return false;
    b->flags |= series_flag::mark;
    if (b->flags & series_flag::heap) marked_outside_frames.push_back(b);
    return true;
}

bool marked(NodeId node) {
    Buffer* b = memory::buffer_of(node);
    return b && (b->flags & series_flag::mark);
}

void mark_block(NodeId node) {
    if (node && keep(node)) pending.push_back(node);
}

void mark_context(NodeId node) {
    mark_block(node);
}

void unmark(NodeId node) {
    memory::buffer_of(node)->flags &= ~series_flag::mark;
}

void mark_values(const Cell* first, const Cell* end) {
    for (const Cell* c = first; c < end; ++c) {
        switch (cell::type_of(*c)) {
        case TYPE_WORD:
        case TYPE_SET_WORD:
        case TYPE_LIT_WORD:
        case TYPE_GET_WORD:
        case TYPE_REFINEMENT: mark_block(c->w1); break;
        case TYPE_BLOCK:
        case TYPE_PAREN:
        case TYPE_PATH:
        case TYPE_LIT_PATH:
        case TYPE_SET_PATH:
        case TYPE_GET_PATH: mark_block(c->w2); break;
        case TYPE_SYMBOL:
            keep_if(c->w3);
            keep_if(c->w2);
            break;
        case TYPE_STRING:
        case TYPE_FILE:
        case TYPE_URL:
        case TYPE_TAG:
        case TYPE_EMAIL:
        case TYPE_REF:
            keep_if(c->w2);
            keep_if(c->w3);
            break;
        case TYPE_BITSET:
        case TYPE_VECTOR:
        case TYPE_BINARY: keep_if(c->w2); break;
        case TYPE_OBJECT:
        case TYPE_ERROR:
        case TYPE_PORT:
            mark_context(c->w1);
            keep_if(c->w3);
            break;
        case TYPE_CONTEXT:
            mark_hash_table(c->w1);
            if (!(c->header & cell::stack_values_flag)) mark_block(c->w2);
            break;
        case TYPE_HASH:
        case TYPE_MAP:
            mark_block(c->w2);
            mark_hash_table(c->w3);
            break;
        case TYPE_FUNCTION:
        case TYPE_ROUTINE:
            mark_context(c->w1);
            mark_block(c->w2);
            mark_block(c->w3);
            break;
        case TYPE_NATIVE:
        case TYPE_ACTION:
        case TYPE_OP: {
            mark_block(c->w2);
            mark_block(c->w3);
            uint32_t wrapped = (c->header >> 16) & 0xFF;
            if (cell::type_of(*c) == TYPE_OP &&
                (wrapped == TYPE_FUNCTION || wrapped == TYPE_ROUTINE))
                mark_context(c->w1);
            break;
        }
        case TYPE_IMAGE:
            if (c->w2) {
                keep(c->w2);
                if (hooks.mark_image) hooks.mark_image(c->w2);
            }
            break;
        case TYPE_HANDLE:
            if (int32_t(c->w3) >= 0 && hooks.mark_external) hooks.mark_external(c->w3);
            break;
        case TYPE_EVENT:
            if ((c->header & cell::event_block_flag) && c->w2) mark_block(c->w2);
            break;
        default: break;
        }
    }
}

} // namespace kiv::collector
