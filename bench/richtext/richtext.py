# richtext: 10,000 paragraphs of rich text laid out and measured with
# PangoCairo through python3-gi: the same 96-DPI context as kiv's (metrics
# unhinted, glyph positions unrounded), one layout per paragraph (40
# words, 8 style runs, wrapped at 400 pixels), then its height, its line
# count and a caret round trip.
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from pycairo_canvas import next_random  # noqa: E402
from pango_context import text_context  # noqa: E402

import gi  # noqa: E402

gi.require_version("Pango", "1.0")
from gi.repository import Pango  # noqa: E402

WORDS = ["Kiv", "lays", "out", "rich", "text", "with", "Pango", "runs", "of", "bold",
         "italic", "colour", "wrapped", "at", "four", "hundred", "pixels"]


def style(i, start, end):
    kind = i % 4
    if kind == 1:
        attr = Pango.attr_style_new(Pango.Style.ITALIC)
    elif kind == 2:
        attr = Pango.attr_foreground_new(65535, 0, 0)
    elif kind == 3:
        attr = Pango.attr_size_new_absolute(int(14 * 96 / 72 * Pango.SCALE))
    else:
        attr = Pango.attr_weight_new(Pango.Weight.BOLD)
    attr.start_index, attr.end_index = start, end
    return attr


context = text_context()
font = Pango.FontDescription()
font.set_family("Sans")
font.set_absolute_size(13 * Pango.SCALE)
lines = carets = 0
height = 0.0
for _ in range(10000):
    text = "".join(WORDS[next_random() % 17] + " " for _ in range(40))
    attrs = Pango.AttrList()
    for i in range(1, 9):
        start = next_random() % 200
        length = next_random() % 20 + 1
        attrs.insert(style(i, min(start, len(text)), min(start + length, len(text))))
    layout = Pango.Layout.new(context)
    layout.set_font_description(font)
    layout.set_text(text, -1)
    layout.set_width(400 * Pango.SCALE)
    layout.set_wrap(Pango.WrapMode.WORD_CHAR)
    layout.set_attributes(attrs)
    height += layout.get_extents()[1].height / Pango.SCALE
    lines += layout.get_line_count()
    pos = layout.index_to_pos(99)
    inside, index, trailing = layout.xy_to_index(pos.x, max(pos.y, 0))
    carets += index + trailing + 1
print("richtext", lines, carets, int(height))
