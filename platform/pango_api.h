// Pango, PangoCairo and fontconfig, opened with dlopen at the first text
// need (a font made, a layout measured or drawn), so that a start that
// shows no text loads none of them, nor the font files they read.
#pragma once

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

namespace kiv {

// The entry points: X(prefix, name) is the function prefix##name, kept in
// the field `name`.
#define KIV_PANGO_FUNCTIONS(X)                                                                     \
    X(pango_, font_description_new)                                                                \
    X(pango_, font_description_copy)                                                               \
    X(pango_, font_description_free)                                                               \
    X(pango_, font_description_set_family)                                                         \
    X(pango_, font_description_get_family)                                                         \
    X(pango_, font_description_set_absolute_size)                                                  \
    X(pango_, font_description_get_size)                                                           \
    X(pango_, font_description_set_weight)                                                         \
    X(pango_, font_description_get_weight)                                                         \
    X(pango_, font_description_set_style)                                                          \
    X(pango_, font_description_get_style)                                                          \
    X(pango_, font_description_from_string)                                                        \
    X(pango_, font_description_get_size_is_absolute)                                               \
    X(pango_, font_map_create_context)                                                             \
    X(pango_, context_set_font_description)                                                        \
    X(pango_, context_set_round_glyph_positions)                                                   \
    X(pango_, context_set_language)                                                                \
    X(pango_, language_get_default)                                                                \
    X(pango_, layout_new)                                                                          \
    X(pango_, layout_set_text)                                                                     \
    X(pango_, layout_get_text)                                                                     \
    X(pango_, layout_set_font_description)                                                         \
    X(pango_, layout_set_width)                                                                    \
    X(pango_, layout_set_height)                                                                   \
    X(pango_, layout_set_wrap)                                                                     \
    X(pango_, layout_set_alignment)                                                                \
    X(pango_, layout_set_attributes)                                                               \
    X(pango_, layout_get_attributes)                                                               \
    X(pango_, layout_set_tabs)                                                                     \
    X(pango_, layout_get_extents)                                                                  \
    X(pango_, layout_get_line_count)                                                               \
    X(pango_, get_log_attrs)                                                                       \
    X(pango_, layout_get_line_readonly)                                                            \
    X(pango_, layout_index_to_pos)                                                                 \
    X(pango_, layout_xy_to_index)                                                                  \
    X(pango_, layout_index_to_line_x)                                                              \
    X(pango_, layout_get_iter)                                                                     \
    X(pango_, layout_iter_free)                                                                    \
    X(pango_, layout_iter_next_line)                                                               \
    X(pango_, layout_iter_get_line_readonly)                                                       \
    X(pango_, layout_iter_get_line_extents)                                                        \
    X(pango_, layout_iter_get_baseline)                                                            \
    X(pango_, layout_line_get_x_ranges)                                                            \
    X(pango_, layout_line_get_extents)                                                             \
    X(pango_, attr_list_new)                                                                       \
    X(pango_, attr_list_unref)                                                                     \
    X(pango_, attr_list_insert)                                                                    \
    X(pango_, attribute_destroy)                                                                   \
    X(pango_, attr_foreground_new)                                                                 \
    X(pango_, attr_foreground_alpha_new)                                                           \
    X(pango_, attr_background_new)                                                                 \
    X(pango_, attr_background_alpha_new)                                                           \
    X(pango_, attr_weight_new)                                                                     \
    X(pango_, attr_style_new)                                                                      \
    X(pango_, attr_underline_new)                                                                  \
    X(pango_, attr_underline_color_new)                                                            \
    X(pango_, attr_strikethrough_new)                                                              \
    X(pango_, attr_strikethrough_color_new)                                                        \
    X(pango_, attr_family_new)                                                                     \
    X(pango_, attr_size_new_absolute)                                                              \
    X(pango_, attr_line_height_new_absolute)                                                       \
    X(pango_, tab_array_new)                                                                       \
    X(pango_, tab_array_set_tab)                                                                   \
    X(pango_, tab_array_free)                                                                      \
    X(pango_cairo_, font_map_new)                                                                  \
    X(pango_cairo_, font_map_set_resolution)                                                       \
    X(pango_cairo_, context_set_font_options)                                                      \
    X(pango_cairo_, show_layout)                                                                   \
    X(pango_cairo_, layout_path)                                                                   \
    X(cairo_, font_options_create)                                                                 \
    X(cairo_, font_options_destroy)                                                                \
    X(cairo_, font_options_set_hint_metrics)                                                       \
    X(cairo_, font_options_set_hint_style)                                                         \
    X(cairo_, font_options_set_antialias)                                                          \
    X(cairo_, font_options_set_subpixel_order)                                                     \
    X(g_, object_ref)                                                                              \
    X(g_, object_unref)                                                                            \
    X(g_, object_set_data_full)                                                                    \
    X(g_, object_get_data)                                                                         \
    X(g_, free)                                                                                    \
    X(Fc, Init)                                                                                    \
    X(Fc, PatternCreate)                                                                           \
    X(Fc, PatternAddString)                                                                        \
    X(Fc, ConfigSubstitute)                                                                        \
    X(Fc, DefaultSubstitute)                                                                       \
    X(Fc, FontMatch)                                                                               \
    X(Fc, PatternGetString)                                                                        \
    X(Fc, PatternDestroy)

struct PangoApi {
#define KIV_PANGO_FIELD(prefix, name) decltype(&prefix##name) name = nullptr;
    KIV_PANGO_FUNCTIONS(KIV_PANGO_FIELD)
#undef KIV_PANGO_FIELD
};

// Opens PangoCairo (with Pango, GObject and fontconfig under it) once;
// null when it cannot be loaded.
const PangoApi* pango_api();

// Loads fontconfig's configuration in the calling thread, once. A Pango
// font map starts a thread that loads it, and the first font lookup of
// another thread loads it too when that thread has not finished: the
// configuration (fonts.conf and every cache) would be read and kept
// twice. Called before the first font map is made.
void load_font_config(const PangoApi& api);

} // namespace kiv
