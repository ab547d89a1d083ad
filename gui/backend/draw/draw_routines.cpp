#include "gui/backend/draw/draw_routines.h"

#include "datatypes/block.h"
#include "datatypes/function.h"
#include "gui/backend/draw/context.h"
#include "gui/backend/draw/reporting.h"
#include "runtime/roots.h"

namespace kiv::gui::draw {

// An empty block opens no drawing at all.
void draw_image(Cell* args) {
    Rooted<Cell> image(args[0]), commands(args[1]);
    if (block::rs_length(*commands) > 0) {
        Context ctx;
        ImageSession session(ctx, *image);
        if (session.open()) run_draw(ctx, *commands, Errors::raise);
    }
    args[0] = *image;
}

void register_routines() {
    routine::register_named("draw-image", draw_image);
}

} // namespace kiv::gui::draw
