// The container holding a top-level's widgets. Each child lies at a
// rectangle of its own (GDK pixels from the container's corner), as a
// child window lies where its parent puts it. Putting, placing and
// removing a child take the same time however many children there are,
// and placing a child allocates that child alone: its siblings are not
// laid out again. (GtkFixed searches its child list at every move and
// lays out every child after it.)
//
// A child gets its rectangle, or the minimum size it asks for where that
// is larger. A control lies in a clip: a windowed box whose window has
// exactly the rectangle and asks for no size, so the control inside,
// given at least its minimum, is cut off at the window's edge as a child
// window's content is.
#pragma once

#include <gtk/gtk.h>

namespace kiv::gui::gtk {

GtkWidget* placer_new();
// A clip, for one child: a windowed GtkEventBox.
GtkWidget* clip_new();
// Adds `child` above the other children, at `where`.
void placer_put(GtkWidget* placer, GtkWidget* child, const GdkRectangle& where);
// Moves and sizes a child of the placer.
void placer_place(GtkWidget* placer, GtkWidget* child, const GdkRectangle& where);

} // namespace kiv::gui::gtk
