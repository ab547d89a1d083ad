#include "gui/backend/text/layout_cache.h"

#include <cstring>
#include <list>
#include <unordered_map>
#include <utility>

#include "gui/backend/text/shared_context.h"

namespace kiv::gui::text {

namespace {

// Entries by key, most recently used first, at most `capacity` of them.
// Each keeps its font alive, so that a font address in a key names no
// other font while the entry lives.
template <typename Value>
class Recent {
  public:
    explicit Recent(size_t capacity) : capacity_(capacity) {}

    const Value* find(const std::string& key) {
        auto found = index_.find(key);
        if (found == index_.end()) return nullptr;
        order_.splice(order_.begin(), order_, found->second);
        return &found->second->value;
    }

    // False when the key is kept already; else the entry dropped to make
    // room, if any, is handed to `dropped`.
    template <typename Dropped>
    bool keep(const std::string& key, Value value, Font* format, Dropped dropped) {
        if (index_.count(key)) return false;
        order_.push_front({key, value, FontRef(format)});
        index_.emplace(key, order_.begin());
        if (order_.size() > capacity_) {
            Entry& oldest = order_.back();
            index_.erase(oldest.key);
            dropped(oldest.value);
            order_.pop_back();
        }
        return true;
    }

    template <typename Dropped>
    void clear(Dropped dropped) {
        for (Entry& entry : order_) dropped(entry.value);
        order_.clear();
        index_.clear();
    }

  private:
    struct Entry {
        std::string key;
        Value value;
        FontRef format;
    };
    size_t capacity_;
    std::list<Entry> order_;
    std::unordered_map<std::string, typename std::list<Entry>::iterator> index_;
};

// Enough for the rows of a large page, both drawn and measured.
Recent<PangoLayout*>& layouts() {
    static Recent<PangoLayout*> kept(512);
    return kept;
}

// Enough for the texts of a window of a few thousand faces.
Recent<TextSize>& sizes() {
    static Recent<TextSize> kept(4096);
    return kept;
}

void release(PangoLayout* layout) {
    pango().object_unref(layout);
}

void no_release(TextSize) {}

std::string size_key(const Font* format, int32_t width, const std::string& text) {
    std::string key(sizeof format + sizeof width, '\0');
    std::memcpy(key.data(), &format, sizeof format);
    std::memcpy(key.data() + sizeof format, &width, sizeof width);
    return key += text;
}

} // namespace

PangoLayout* find_layout(const std::string& key) {
    PangoLayout* const* kept = layouts().find(key);
    if (!kept) return nullptr;
    pango().object_ref(*kept);
    return *kept;
}

void keep_layout(const std::string& key, PangoLayout* layout, Font* format) {
    if (layouts().keep(key, layout, format, release)) pango().object_ref(layout);
}

bool find_size(const Font* format, int32_t width, const std::string& text, TextSize& size) {
    const TextSize* kept = sizes().find(size_key(format, width, text));
    if (kept) size = *kept;
    return kept != nullptr;
}

void keep_size(Font* format, int32_t width, const std::string& text, TextSize size) {
    sizes().keep(size_key(format, width, text), size, format, no_release);
}

void drop_layouts() {
    layouts().clear(release);
    sizes().clear(no_release);
}

} // namespace kiv::gui::text
