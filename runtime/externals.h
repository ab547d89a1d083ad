// The externals table: operating-system resources (bitmaps, fonts, COM
// objects) owned by values. A value keeps the index of a record, never the
// resource's pointer; each record has a kind whose release callback frees
// the resource. The collector marks the records that reachable values
// refer to and then sweeps the table, releasing every unmarked resource
// exactly once.
#pragma once

#include <cstdint>

namespace kiv::externals {

using Release = void (*)(void* pointer);
// Whether a resource is still referenced, for kinds whose owners are not
// cells that mark the record (the owner is a buffer the collector marks).
using Live = bool (*)(void* pointer);

constexpr uint32_t max_kinds = 20;
constexpr uint32_t initial_capacity = 1000;
constexpr uint32_t kind_mask = 0xFFu;
constexpr uint32_t mark_flag = 0x80000000u;
constexpr uint32_t free_kind = 0x40000000u; // the whole kind word of a free record
constexpr int32_t none = -1;                // no record; ends a list

struct Entry {
    uint32_t kind; // kind number (1-based) in bits 0-7, plus the mark
    void* pointer;
    int32_t next;
};

struct Kind {
    const char* name;
    Release release;
    Live live;
};

struct Table {
    Entry* records = nullptr; // in the tracked heap
    uint32_t capacity = 0;
    int32_t used_head = none;
    int32_t free_head = none;
    Kind* kinds = nullptr; // max_kinds slots, in registration order
    uint32_t kind_count = 0;
};
extern Table table;

// Allocates the kind table and the records, all of them free. Calling it
// again drops the previous table without releasing anything.
void init();

// Registers a kind and returns its number, or 0 (a kind that releases
// nothing) when all slots are taken. With `live`, the sweep keeps an
// unmarked record of the kind for which it answers true.
uint32_t register_kind(const char* name, Release release, Live live = nullptr);

// Records a resource and returns its index; the table grows (doubling)
// before its last free record is taken, so a free record always remains.
int32_t store(void* pointer, uint32_t kind);

// Calls the release callback of the kind in `kind` (low 8 bits) with the
// pointer, when the kind is registered and has one.
void release(uint32_t kind, void* pointer);
void release_entry(const Entry& entry);

// The record in use at `index`, or null for a free record or an index the
// table never gave out.
const Entry* entry(int32_t index);

// Stores a new pointer; a different old one is released.
void replace(int32_t index, void* pointer);

// Frees the record (releasing its resource first when `release_it`) and
// returns `none` for the caller to keep as its index. An index that holds
// no record is left alone.
int32_t remove(int32_t index, bool release_it);

// Marks the record for the current collection; true when it was not marked
// yet. A non-null pointer replaces the stored one without releasing it.
// Indexes that hold no record (negative ones included) mark nothing.
bool mark(int32_t index, void* pointer = nullptr);

// Calls `callback` with the pointer of every record of `kind`, most recent
// first; the records stay.
void release_all(uint32_t kind, Release callback);

// After marking: releases and frees every unmarked record that its kind
// does not declare live, and clears the mark of the others. Release callbacks must not store or
// remove records.
void sweep();

} // namespace kiv::externals
