// A snapshot of the session: the heap and the modules' state at one
// moment, put back whenever asked, so that code run in between leaves
// nothing behind. An embedder that runs many unrelated pieces of code in
// one process (the console fuzz target) gives each the same fresh session
// this way, without starting the language again.
//
// The heap is saved whole: the series and node frames, the large buffers
// and the blocks of the tracked heap. While a snapshot is held none of
// those blocks is given back to the system, so that each is still there,
// at its address, to be written back; what was allocated after the
// snapshot is freed by the restore. Resources of the externals table that
// the snapshot holds are kept alive; those recorded since are released.
//
// State that a module keeps outside the heap and that code can change
// (switches, registries of nodes, counters) is registered by the module
// with `keep`, copied at the snapshot and assigned back at the restore.
#pragma once

#include <memory>

namespace kiv::session {

struct Kept {
    virtual ~Kept() = default;
    virtual const void* address() const = 0;
    virtual void save() = 0;
    virtual void restore() = 0;
};

template <class T>
struct KeptValue final : Kept {
    explicit KeptValue(T& object) : object(object) {}
    const void* address() const override { return &object; }
    void save() override { copy = object; }
    void restore() override { object = copy; }
    T& object;
    T copy{};
};

void add(std::unique_ptr<Kept> kept);

// Registers state of a module with the snapshot: copied when one is
// taken, assigned back at each restore. Registering the same object again
// does nothing. Modules register their globals where they define them:
// `const bool kept = session::keep(a, b);`.
template <class... T>
bool keep(T&... objects) {
    (add(std::make_unique<KeptValue<T>>(objects)), ...);
    return true;
}

// Takes the snapshot (replacing one held already). Call it between
// evaluations, with nothing rooted on the machine stack that a restore
// would leave dangling.
void take();
// Puts the heap and the kept state back as `take` found them.
void restore();
bool held();

// Whether the block (an OS block of the frames, or a tracked heap block)
// belongs to the snapshot: the allocator then keeps it when it is freed.
bool retains(const void* block);

} // namespace kiv::session
