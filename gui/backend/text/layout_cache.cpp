#include "gui/backend/text/layout_cache.h"

#include <list>
#include <unordered_map>
#include <utility>

#include "gui/backend/text/shared_context.h"

namespace kiv::gui::text {

namespace {

// Enough for the rows of a large page, both drawn and measured.
constexpr size_t capacity = 512;

struct Kept {
    std::string key;
    PangoLayout* layout;
    FontRef format;
};

// Most recently used first; the map finds an entry by its key.
struct Cache {
    std::list<Kept> order;
    std::unordered_map<std::string, std::list<Kept>::iterator> index;
};

Cache& cache() {
    static Cache c;
    return c;
}

void release(Kept& kept) {
    pango().object_unref(kept.layout);
}

} // namespace

PangoLayout* find_layout(const std::string& key) {
    Cache& c = cache();
    auto found = c.index.find(key);
    if (found == c.index.end()) return nullptr;
    c.order.splice(c.order.begin(), c.order, found->second);
    PangoLayout* layout = found->second->layout;
    pango().object_ref(layout);
    return layout;
}

void keep_layout(const std::string& key, PangoLayout* layout, Font* format) {
    Cache& c = cache();
    if (c.index.count(key)) return;
    pango().object_ref(layout);
    c.order.push_front({key, layout, FontRef(format)});
    c.index.emplace(key, c.order.begin());
    if (c.order.size() <= capacity) return;
    Kept& oldest = c.order.back();
    c.index.erase(oldest.key);
    release(oldest);
    c.order.pop_back();
}

void drop_layouts() {
    Cache& c = cache();
    for (Kept& kept : c.order) release(kept);
    c.order.clear();
    c.index.clear();
}

} // namespace kiv::gui::text
