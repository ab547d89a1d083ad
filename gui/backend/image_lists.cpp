#include "gui/backend/image_lists.h"

#include "platform/cairo_api.h"

#include <map>
#include <vector>

namespace kiv::gui {

namespace {

struct ImageList {
    int width = 0, height = 0, slots = 0;
    std::vector<cairo_surface_t*> pictures;
};

struct Lists {
    std::map<HImageList, ImageList> lists;
    HImageList next = 0x30000;
};

Lists& lists() {
    static Lists l;
    return l;
}

ImageList* find(HImageList list) {
    auto at = lists().lists.find(list);
    return at == lists().lists.end() ? nullptr : &at->second;
}

} // namespace

HImageList image_list_create(int width, int height, int slots) {
    if (width <= 0 || height <= 0 || slots <= 0) return 0;
    HImageList handle = lists().next++;
    lists().lists[handle] = {width, height, slots, {}};
    return handle;
}

bool image_list_destroy(HImageList list) {
    ImageList* l = find(list);
    if (!l) return false;
    for (cairo_surface_t* picture : l->pictures) cairo_api()->surface_destroy(picture);
    lists().lists.erase(list);
    return true;
}

int image_list_add(HImageList list, cairo_surface_t* picture) {
    ImageList* l = find(list);
    if (!l || !picture || int(l->pictures.size()) >= l->slots) return -1;
    const CairoApi& c = *cairo_api();
    int width = c.image_surface_get_width(picture), height = c.image_surface_get_height(picture);
    if (width <= 0 || height <= 0) return -1;
    cairo_surface_t* copy = c.image_surface_create(CAIRO_FORMAT_ARGB32, l->width, l->height);
    cairo_t* cr = c.create(copy);
    cairo_matrix_t scaled{double(l->width) / width, 0, 0, double(l->height) / height, 0, 0};
    c.set_matrix(cr, &scaled);
    c.set_source_surface(cr, picture, 0, 0);
    c.paint(cr);
    c.destroy(cr);
    c.surface_flush(copy);
    l->pictures.push_back(copy);
    return int(l->pictures.size()) - 1;
}

int image_list_count(HImageList list) {
    ImageList* l = find(list);
    return l ? int(l->pictures.size()) : 0;
}

cairo_surface_t* image_list_picture(HImageList list, int index) {
    ImageList* l = find(list);
    if (!l || index < 0 || index >= int(l->pictures.size())) return nullptr;
    return l->pictures[index];
}

int image_slot(HImageList list, ButtonLook look) {
    int count = image_list_count(list);
    if (count == 0) return -1;
    int slot = int(look);
    return slot < count ? slot : 0;
}

} // namespace kiv::gui
