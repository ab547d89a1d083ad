# The text context the benchmarks measure and draw with, set as kiv sets
# its own: 96 DPI, metrics unhinted, glyph positions unrounded, grayscale
# anti-aliasing.
import cairo
import gi

gi.require_version("Pango", "1.0")
gi.require_version("PangoCairo", "1.0")
from gi.repository import Pango, PangoCairo  # noqa: E402


def text_context():
    font_map = PangoCairo.FontMap.new()
    font_map.set_resolution(96)
    context = font_map.create_context()
    context.set_language(Pango.Language.get_default())
    context.set_round_glyph_positions(False)
    options = cairo.FontOptions()
    options.set_hint_metrics(cairo.HINT_METRICS_OFF)
    options.set_hint_style(cairo.HINT_STYLE_NONE)
    options.set_antialias(cairo.ANTIALIAS_GRAY)
    PangoCairo.context_set_font_options(context, options)
    return context
