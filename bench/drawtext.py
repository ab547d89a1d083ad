# drawtext: 100,000 text runs drawn into a 1000x1000 image with PangoCairo
# through python3-gi (Debian's gir1.2-pango-1.0 and python3-gi-cairo): the
# same 96-DPI context (metrics unhinted, glyph positions unrounded,
# grayscale anti-aliasing), one layout per run.
from pycairo_canvas import canvas, next_random, print_checksum
from pango_context import text_context

import gi

gi.require_version("Pango", "1.0")
gi.require_version("PangoCairo", "1.0")
from gi.repository import Pango, PangoCairo  # noqa: E402

WORDS = ["Kiv", "draws", "text", "with", "Pango", "fonts", "runs", "glyphs"]




def point():
    return next_random() % 1000, next_random() % 1000


surface, cr = canvas()
context = text_context()
font = Pango.FontDescription()
font.set_family("DejaVu Sans")
font.set_absolute_size(10 * 96 / 72 * Pango.SCALE)
font.set_weight(Pango.Weight.NORMAL)
font.set_style(Pango.Style.NORMAL)
for _ in range(100000):
    color = (next_random() % 256 / 255, next_random() % 256 / 255, next_random() % 256 / 255)
    x, y = point()
    word = WORDS[next_random() % 8]
    layout = Pango.Layout.new(context)
    layout.set_font_description(font)
    layout.set_text(word, -1)
    cr.set_source_rgba(*color, 1)
    cr.move_to(x, y)
    PangoCairo.show_layout(cr, layout)
    cr.new_path()
print_checksum("drawtext", surface)
