// A small table from integer keys to values, bounded at 64 entries: an add
// beyond that is ignored. Searched linearly.
#pragma once

#include <cstdint>

namespace kiv::gui {

class KeyTable {
  public:
    static constexpr int capacity = 64;
    // Null when the key is absent.
    void* find(int64_t key) const {
        for (int i = 0; i < count_; ++i)
            if (entries_[i].key == key) return entries_[i].value;
        return nullptr;
    }
    void add(int64_t key, void* value) {
        if (count_ < capacity) entries_[count_++] = {key, value};
    }
    int size() const { return count_; }

  private:
    struct Entry {
        int64_t key;
        void* value;
    };
    Entry entries_[capacity] = {};
    int count_ = 0;
};

} // namespace kiv::gui
