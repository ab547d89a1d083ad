/* richtext: 10,000 paragraphs of rich text laid out and measured with
 * PangoCairo in C: the same 96-DPI context as kiv's (metrics unhinted,
 * glyph positions unrounded), one layout per paragraph (40 words, 8 style
 * runs, wrapped at 400 pixels), then its height, its line count and a
 * caret round trip. */
#include <pango/pangocairo.h>
#include <stdio.h>
#include <string.h>

static const char* words[] = {"Kiv",    "lays",  "out",     "rich", "text", "with",
                              "Pango",  "runs",  "of",      "bold", "italic", "colour",
                              "wrapped", "at",   "four",    "hundred", "pixels"};
static unsigned seed = 1;

static unsigned next_random(void) {
    seed = (seed * 1021 + 12345) % 1048576;
    return seed;
}

static PangoContext* text_context(void) {
    PangoFontMap* map = pango_cairo_font_map_new();
    pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(map), 96);
    PangoContext* context = pango_font_map_create_context(map);
    g_object_unref(map);
    pango_context_set_language(context, pango_language_get_default());
    pango_context_set_round_glyph_positions(context, FALSE);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    return context;
}

static PangoAttribute* style(int i) {
    switch (i % 4) {
    case 1: return pango_attr_style_new(PANGO_STYLE_ITALIC);
    case 2: return pango_attr_foreground_new(65535, 0, 0);
    case 3: return pango_attr_size_new_absolute((int)(14 * 96.0 / 72 * PANGO_SCALE));
    default: return pango_attr_weight_new(PANGO_WEIGHT_BOLD);
    }
}

int main(void) {
    PangoContext* context = text_context();
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, "Sans");
    pango_font_description_set_absolute_size(font, 13 * PANGO_SCALE);
    long lines = 0, carets = 0;
    double height = 0;
    char text[512];
    for (int p = 0; p < 10000; ++p) {
        size_t length = 0;
        for (int w = 0; w < 40; ++w) {
            const char* word = words[next_random() % 17];
            size_t n = strlen(word);
            memcpy(text + length, word, n);
            text[length + n] = ' ';
            length += n + 1;
        }
        text[length] = 0;
        PangoAttrList* attrs = pango_attr_list_new();
        for (int i = 1; i <= 8; ++i) {
            unsigned start = next_random() % 200, run = next_random() % 20 + 1;
            PangoAttribute* attr = style(i);
            attr->start_index = start < length ? start : length;
            attr->end_index = start + run < length ? start + run : length;
            pango_attr_list_insert(attrs, attr);
        }
        PangoLayout* layout = pango_layout_new(context);
        pango_layout_set_font_description(layout, font);
        pango_layout_set_text(layout, text, (int)length);
        pango_layout_set_width(layout, 400 * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        pango_layout_set_attributes(layout, attrs);
        pango_attr_list_unref(attrs);
        PangoRectangle logical, pos;
        pango_layout_get_extents(layout, NULL, &logical);
        height += (double)logical.height / PANGO_SCALE;
        lines += pango_layout_get_line_count(layout);
        pango_layout_index_to_pos(layout, 99, &pos);
        int index = 0, trailing = 0;
        pango_layout_xy_to_index(layout, pos.x, pos.y > 0 ? pos.y : 0, &index, &trailing);
        carets += index + trailing + 1;
        g_object_unref(layout);
    }
    printf("richtext %ld %ld %d\n", lines, carets, (int)height);
    pango_font_description_free(font);
    g_object_unref(context);
    return 0;
}
