#include "runtime/session.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/binding.h"
#include "runtime/collector.h"
#include "runtime/externals.h"
#include "runtime/heap.h"
#include "runtime/memory.h"
#include "runtime/plan_store.h"

namespace kiv::session {
namespace {

// Constructed on first use: modules register while their globals are
// initialised, in any order.
std::vector<std::unique_ptr<Kept>>& registry() {
    static std::vector<std::unique_ptr<Kept>> kept;
    return kept;
}

// A block of the heap and a copy of its bytes.
struct Saved {
    uint8_t* start;
    std::vector<uint8_t> bytes;
};

struct Snapshot {
    bool held = false;
    std::vector<Saved> blocks;
    // The blocks given back to nobody while the snapshot is held, sorted.
    std::vector<const void*> retained;
    // The node table's windows of the snapshot's frames: the table may
    // move as it grows, so it is written back wherever it is then.
    std::vector<uintptr_t> node_slots;
    // The externals' records in use, index and resource.
    std::vector<std::pair<int32_t, void*>> externals;
};
Snapshot snapshot;

void save(void* start, size_t bytes) {
    auto* first = static_cast<uint8_t*>(start);
    snapshot.blocks.push_back({first, std::vector<uint8_t>(first, first + bytes)});
}

void save_externals() {
    snapshot.externals.clear();
    for (int32_t i = externals::table.used_head; i != externals::none;
         i = externals::table.records[i].next)
        snapshot.externals.emplace_back(i, externals::table.records[i].pointer);
    std::sort(snapshot.externals.begin(), snapshot.externals.end());
}

bool from_snapshot(int32_t index, void* pointer) {
    return std::binary_search(snapshot.externals.begin(), snapshot.externals.end(),
                              std::make_pair(index, pointer));
}

// The snapshot's resources stay alive whatever the code run since dropped:
// the restore brings back the values that refer to them.
void mark_snapshot_externals() {
    for (const auto& [index, pointer] : snapshot.externals) externals::mark(index);
}

// Releases the resources recorded since the snapshot.
void release_new_externals() {
    for (int32_t i = externals::table.used_head; i != externals::none;
         i = externals::table.records[i].next) {
        const externals::Entry& entry = externals::table.records[i];
        if (!from_snapshot(i, entry.pointer)) externals::release_entry(entry);
    }
}

} // namespace

void add(std::unique_ptr<Kept> kept) {
    auto& kept_state = registry();
    for (const auto& k : kept_state)
        if (k->address() == kept->address()) return;
    kept_state.push_back(std::move(kept));
}

void take() {
    snapshot.blocks.clear();
    snapshot.retained.clear();
    for (memory::SeriesFrame* f = memory::record.s_head; f; f = f->next) {
        save(f, size_t(f->next_free - reinterpret_cast<uint8_t*>(f)));
        snapshot.retained.push_back(f);
    }
    for (memory::LargeBlock* b = memory::record.l_head; b; b = b->next) {
        save(b, sizeof(memory::LargeBlock) + b->request);
        snapshot.retained.push_back(b);
    }
    for (memory::NodeFrame* f : memory::directory) {
        if (!f) continue;
        save(f, sizeof(memory::NodeFrame));
        snapshot.retained.push_back(f);
    }
    heap::visit_blocks([](void* block, size_t bytes) {
        save(block, bytes);
        snapshot.retained.push_back(block);
    });
    std::sort(snapshot.retained.begin(), snapshot.retained.end());
    size_t slots = memory::directory.size() * memory::node_frame_slots + 1;
    snapshot.node_slots.assign(memory::node_slots, memory::node_slots + slots);
    save_externals();
    collector::add_marker(mark_snapshot_externals);
    for (auto& kept : registry()) kept->save();
    snapshot.held = true;
}

void restore() {
    if (!snapshot.held) return;
    release_new_externals();
    // Plans made since describe cells the restore brings back as they were.
    plan_store::drop_all();
    memory::free_unretained();
    heap::free_unretained();
    for (Saved& saved : snapshot.blocks)
        std::memcpy(saved.start, saved.bytes.data(), saved.bytes.size());
    std::copy(snapshot.node_slots.begin(), snapshot.node_slots.end(), memory::node_slots);
    for (auto& kept : registry()) kept->restore();
    // Code plans made since name cells that may now mean something else.
    binding::bump();
}

bool held() {
    return snapshot.held;
}

bool retains(const void* block) {
    return snapshot.held &&
           std::binary_search(snapshot.retained.begin(), snapshot.retained.end(), block);
}

} // namespace kiv::session
