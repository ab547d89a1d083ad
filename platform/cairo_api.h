// Cairo, opened with dlopen at its first use (the window layer starting,
// an image's drawing cache), so that a run that draws nothing does not
// load it, nor the X and font libraries it brings.
#pragma once

#include <cairo.h>

namespace kiv {

#define KIV_CAIRO_FUNCTIONS(X)                                                                     \
    X(create)                                                                                      \
    X(destroy)                                                                                     \
    X(set_source_surface)                                                                          \
    X(paint)                                                                                       \
    X(rectangle)                                                                                   \
    X(clip)                                                                                        \
    X(surface_destroy)                                                                             \
    X(image_surface_create)                                                                        \
    X(image_surface_create_for_data)                                                               \
    X(image_surface_get_width)                                                                     \
    X(image_surface_get_height)                                                                    \
    X(region_create)                                                                               \
    X(region_create_rectangle)                                                                     \
    X(region_destroy)                                                                              \
    X(region_union)                                                                                \
    X(region_intersect_rectangle)                                                                  \
    X(region_subtract)                                                                             \
    X(region_translate)                                                                            \
    X(region_is_empty)                                                                             \
    X(region_get_extents)                                                                          \
    X(region_num_rectangles)                                                                       \
    X(region_get_rectangle)                                                                        \
    X(image_surface_get_data)                                                                      \
    X(image_surface_get_stride)                                                                    \
    X(surface_flush)                                                                               \
    X(surface_mark_dirty)                                                                          \
    X(surface_status)                                                                              \
    X(status)                                                                                      \
    X(save)                                                                                        \
    X(restore)                                                                                     \
    X(set_source_rgba)                                                                             \
    X(set_operator)                                                                                \
    X(set_antialias)                                                                               \
    X(set_fill_rule)                                                                               \
    X(set_line_width)                                                                              \
    X(set_line_join)                                                                               \
    X(set_line_cap)                                                                                \
    X(set_miter_limit)                                                                             \
    X(set_dash)                                                                                    \
    X(set_matrix)                                                                                  \
    X(identity_matrix)                                                                             \
    X(new_path)                                                                                    \
    X(new_sub_path)                                                                                \
    X(move_to)                                                                                     \
    X(line_to)                                                                                     \
    X(curve_to)                                                                                    \
    X(close_path)                                                                                  \
    X(fill)                                                                                        \
    X(fill_preserve)                                                                               \
    X(stroke)                                                                                      \
    X(reset_clip)                                                                                  \
    X(copy_clip_rectangle_list)                                                                    \
    X(push_group)                                                                                  \
    X(pop_group_to_source)                                                                         \
    X(rectangle_list_destroy)                                                                      \
    X(surface_reference)                                                                           \
    X(copy_path)                                                                                   \
    X(copy_path_flat)                                                                              \
    X(path_extents)                                                                                \
    X(append_path)                                                                                 \
    X(path_destroy)                                                                                \
    X(set_source)                                                                                  \
    X(pattern_create_linear)                                                                       \
    X(pattern_create_radial)                                                                       \
    X(pattern_add_color_stop_rgba)                                                                 \
    X(pattern_set_extend)                                                                          \
    X(pattern_set_matrix)                                                                          \
    X(pattern_destroy)                                                                             \
    X(fill_extents)                                                                                \
    X(stroke_extents)                                                                              \
    X(pattern_create_for_surface)                                                                  \
    X(pattern_set_filter)                                                                          \
    X(surface_create_for_rectangle)                                                                \
    X(mask_surface)

// The entry points, named without their cairo_ prefix.
struct CairoApi {
#define KIV_CAIRO_FIELD(name) decltype(&cairo_##name) name = nullptr;
    KIV_CAIRO_FUNCTIONS(KIV_CAIRO_FIELD)
#undef KIV_CAIRO_FIELD
};

// Opens libcairo once; null when it cannot be loaded.
const CairoApi* cairo_api();

} // namespace kiv
