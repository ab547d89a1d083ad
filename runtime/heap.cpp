#include "runtime/heap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "runtime/fatal.h"
#include "runtime/session.h"

namespace kiv::heap {
namespace {

// Header in front of every block; 32 bytes keep the user's data 16-byte
// aligned.
struct Block {
    Block* prev;
    Block* next;
    size_t size;
    size_t spare;
};
static_assert(sizeof(Block) % 16 == 0);

struct List {
    Block* first = nullptr;
    Block* last = nullptr;
} list;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(list);

// Gives a block back, unless a session snapshot holds it: it must still be
// there when the snapshot is restored.
void release(Block* b) {
    if (!session::retains(b)) std::free(b);
}

void* link(Block* b, size_t size) {
    b->prev = list.last;
    b->next = nullptr;
    b->size = size;
    if (list.last)
        list.last->next = b;
    else
        list.first = b;
    list.last = b;
    return b + 1;
}

void unlink(const Block* b) {
    (b->prev ? b->prev->next : list.first) = b->next;
    (b->next ? b->next->prev : list.last) = b->prev;
}

Block* find(void* pointer) {
    for (Block* b = list.first; b; b = b->next)
        if (b + 1 == pointer) return b;
    return nullptr;
}

[[noreturn]] void out_of_memory() {
    runtime::quit_with_error(runtime::fatal::out_of_memory, runtime::caller_address());
}

// The size of header and data; a request so large that it wraps around is
// exhaustion, not a small block.
size_t with_header(size_t size) {
    size_t total;
    if (__builtin_add_overflow(size, sizeof(Block), &total)) out_of_memory();
    return total;
}

} // namespace

void* try_allocate(size_t size) {
    size_t total;
    if (__builtin_add_overflow(size, sizeof(Block), &total)) return nullptr;
    auto* b = static_cast<Block*>(std::malloc(total));
    return b ? link(b, size) : nullptr;
}

void* allocate(size_t size) {
    void* p = try_allocate(size);
    if (!p) out_of_memory();
    return p;
}

void* allocate_zeroed(size_t size) {
    auto* b = static_cast<Block*>(std::calloc(1, with_header(size)));
    if (!b) out_of_memory();
    return link(b, size);
}

void* resize(void* pointer, size_t size) {
    if (!pointer) return allocate(size);
    if (size == 0) {
        free(pointer);
        return nullptr;
    }
    Block* old = find(pointer);
    if (!old) return allocate(size);
    if (session::retains(old)) {
        void* moved = allocate(size);
        std::memcpy(moved, pointer, std::min(size, old->size));
        unlink(old);
        return moved;
    }
    auto* b = static_cast<Block*>(std::realloc(old, with_header(size)));
    if (!b) out_of_memory();
    b->size = size;
    (b->prev ? b->prev->next : list.first) = b;
    (b->next ? b->next->prev : list.last) = b;
    return b + 1;
}

void free(void* pointer) {
    if (!pointer) return;
    Block* b = find(pointer);
    if (!b) return;
    unlink(b);
    release(b);
}

void free_all() {
    for (Block* b = list.first; b;) {
        Block* next = b->next;
        release(b);
        b = next;
    }
    list = {};
}

size_t block_count() {
    size_t n = 0;
    for (Block* b = list.first; b; b = b->next) ++n;
    return n;
}

void visit_blocks(void (*visit)(void* block, size_t bytes)) {
    for (Block* b = list.first; b; b = b->next) visit(b, sizeof(Block) + b->size);
}

void free_unretained() {
    for (Block* b = list.first; b;) {
        Block* next = b->next;
        if (!session::retains(b)) {
            unlink(b);
            std::free(b);
        }
        b = next;
    }
}

size_t total_bytes() {
    size_t n = 0;
    for (Block* b = list.first; b; b = b->next) n += b->size + 16;
    return n;
}

} // namespace kiv::heap
