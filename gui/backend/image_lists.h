// Image lists: pictures of one size in numbered slots, which buttons show
// by their state. A picture of another size is scaled to the list's size.
#pragma once

#include <cairo.h>
#include <cstdint>

namespace kiv::gui {

using HImageList = int64_t;

// A list of `width` x `height` pictures with room for `slots` of them;
// 0 when the size is empty.
HImageList image_list_create(int width, int height, int slots);
bool image_list_destroy(HImageList list);
// Adds a copy of the picture scaled to the list's size; its index, -1 when
// the list is full or unknown.
int image_list_add(HImageList list, cairo_surface_t* picture);
int image_list_count(HImageList list);
// The picture of a slot (owned by the list); null outside the list.
cairo_surface_t* image_list_picture(HImageList list, int index);

// A button's image list (BCM_SETIMAGELIST, BCM_GETIMAGELIST): the list,
// the margins around the picture and its alignment.
struct ButtonImageList {
    HImageList list = 0;
    int32_t margin_left = 0, margin_top = 0, margin_right = 0, margin_bottom = 0;
    uint32_t align = 0;
};
// Alignments of the picture.
enum : uint32_t { BUTTON_IMAGELIST_ALIGN_CENTER = 4 };

// The states a button shows a picture for, in slot order of a list of six
// (a list of one picture shows it in every state).
enum class ButtonLook { normal, hot, pressed, disabled, defaulted, stylus_hot };
int image_slot(HImageList list, ButtonLook look);

} // namespace kiv::gui
