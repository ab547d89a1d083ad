#include "runtime/externals.h"

#include "runtime/heap.h"
#include "runtime/session.h"

namespace kiv::externals {

Table table;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(table);

namespace {

// Chains records [first, last) into a free list ending at `none`.
void chain_free(uint32_t first, uint32_t last) {
    for (uint32_t i = first; i < last; ++i)
        table.records[i] = {free_kind, nullptr, i + 1 < last ? int32_t(i + 1) : none};
}

void grow() {
    uint32_t old = table.capacity;
    table.capacity = old * 2;
    table.records =
        static_cast<Entry*>(heap::resize(table.records, sizeof(Entry) * size_t(table.capacity)));
    chain_free(old, table.capacity);
    table.records[table.free_head].next = int32_t(old);
}

bool in_use(int32_t index) {
    return index >= 0 && uint32_t(index) < table.capacity && table.records[index].kind != free_kind;
}

void push_free(int32_t index) {
    table.records[index] = {free_kind, nullptr, table.free_head};
    table.free_head = index;
}

} // namespace

void init() {
    heap::free(table.records);
    heap::free(table.kinds);
    table = {};
    table.kinds = static_cast<Kind*>(heap::allocate_zeroed(sizeof(Kind) * max_kinds));
    table.capacity = initial_capacity;
    table.records = static_cast<Entry*>(heap::allocate(sizeof(Entry) * initial_capacity));
    chain_free(0, initial_capacity);
    table.free_head = 0;
}

uint32_t register_kind(const char* name, Release release, Live live) {
    if (table.kind_count == max_kinds) return 0;
    table.kinds[table.kind_count] = {name, release, live};
    return ++table.kind_count;
}

int32_t store(void* pointer, uint32_t kind) {
    if (table.records[table.free_head].next == none) grow();
    int32_t index = table.free_head;
    Entry& e = table.records[index];
    table.free_head = e.next;
    e = {kind, pointer, table.used_head};
    table.used_head = index;
    return index;
}

void release(uint32_t kind, void* pointer) {
    uint32_t k = kind & kind_mask;
    if (k >= 1 && k <= table.kind_count && table.kinds[k - 1].release)
        table.kinds[k - 1].release(pointer);
}

void release_entry(const Entry& entry) {
    release(entry.kind, entry.pointer);
}

const Entry* entry(int32_t index) {
    return in_use(index) ? &table.records[index] : nullptr;
}

void replace(int32_t index, void* pointer) {
    if (!in_use(index)) return;
    Entry& e = table.records[index];
    void* old = e.pointer;
    e.pointer = pointer;
    if (old != pointer) release(e.kind, old);
}

int32_t remove(int32_t index, bool release_it) {
    if (!in_use(index)) return none;
    if (release_it) release_entry(table.records[index]);
    int32_t* link = &table.used_head;
    while (*link != index) link = &table.records[*link].next;
    *link = table.records[index].next;
    push_free(index);
    return none;
}

bool mark(int32_t index, void* pointer) {
    if (!in_use(index)) return false;
    Entry& e = table.records[index];
    if (pointer) e.pointer = pointer;
    if (e.kind & mark_flag) return false;
    e.kind |= mark_flag;
    return true;
}

void release_all(uint32_t kind, Release callback) {
    for (int32_t i = table.used_head; i != none; i = table.records[i].next)
        if ((table.records[i].kind & kind_mask) == kind) callback(table.records[i].pointer);
}

namespace {

bool live(const Entry& e) {
    uint32_t k = e.kind & kind_mask;
    return k >= 1 && k <= table.kind_count && table.kinds[k - 1].live &&
           table.kinds[k - 1].live(e.pointer);
}

} // namespace

void sweep() {
    int32_t* link = &table.used_head;
    while (*link != none) {
        int32_t index = *link;
        Entry& e = table.records[index];
        if ((e.kind & mark_flag) || live(e)) {
            e.kind &= ~mark_flag;
            link = &e.next;
            continue;
        }
        Entry gone = e;
        *link = e.next;
        push_free(index);
        release_entry(gone);
    }
}

} // namespace kiv::externals
