#include "gui/backend/faces/face_images.h"

#include "datatypes/block.h"
#include "datatypes/image_layer.h"
#include "datatypes/pair.h"
#include "gui/backend/control_models.h"
#include "gui/backend/dpi.h"
#include "gui/backend/faces/face.h"
#include "gui/backend/window_layer.h"
#include "platform/cairo_api.h"
#include "runtime/types.h"

#include <vector>

namespace kiv::gui::faces {

namespace {

// A list of one picture shows it in every state; a longer one has a slot
// per state.
constexpr int state_slots = 6;

cairo_surface_t* picture_of(const Cell& value) {
    return cell::type_of(value) == TYPE_IMAGE && value.w2 ? image::drawing(value.w2) : nullptr;
}

struct Pictures {
    std::vector<cairo_surface_t*> pictures;
    int width = 0, height = 0;
};

Pictures pictures_of(const Cell& image) {
    Pictures p;
    if (cairo_surface_t* one = picture_of(image)) {
        p.pictures.push_back(one);
    } else if (cell::type_of(image) == TYPE_BLOCK) {
        const Cell* values = block::rs_head(image);
        int32_t length = block::rs_length(image);
        if (length == 2 && cell::type_of(values[1]) == TYPE_PAIR) {
            if (cairo_surface_t* sized = picture_of(values[0])) {
                p.pictures.push_back(sized);
                p.width = dpi_scale(pair::x_of(values[1]));
                p.height = dpi_scale(pair::y_of(values[1]));
                return p;
            }
        }
        for (int32_t i = 0; i < length; ++i)
            if (cairo_surface_t* picture = picture_of(values[i])) p.pictures.push_back(picture);
    }
    if (!p.pictures.empty()) {
        p.width = cairo_api()->image_surface_get_width(p.pictures[0]);
        p.height = cairo_api()->image_surface_get_height(p.pictures[0]);
    }
    return p;
}

} // namespace

void make_image_list(HWnd window, const Cell& face) {
    free_image_list(window);
    Pictures p = pictures_of(facet(face, f_image));
    ButtonImageList record;
    record.align = BUTTON_IMAGELIST_ALIGN_CENTER;
    if (!p.pictures.empty()) {
        int slots = p.pictures.size() == 1 ? 1 : state_slots;
        record.list = image_list_create(p.width, p.height, slots);
        for (int slot = 0; slot < slots; ++slot)
            image_list_add(record.list,
                           slot < int(p.pictures.size()) ? p.pictures[slot] : p.pictures[0]);
        send_message(window, BM_SETSTYLE, get_style(window) | BS_BITMAP, 0);
    }
    ButtonImageList none;
    send_message(window, BCM_SETIMAGELIST, 0, reinterpret_cast<int64_t>(&none));
    send_message(window, BCM_SETIMAGELIST, 0, reinterpret_cast<int64_t>(&record));
}

void free_image_list(HWnd window) {
    ButtonImageList old;
    if (send_message(window, BCM_GETIMAGELIST, 0, reinterpret_cast<int64_t>(&old)) && old.list)
        image_list_destroy(old.list);
}

} // namespace kiv::gui::faces
