#include "gui/backend/gtk/gtk_placer.h"

#include <algorithm>
#include <iterator>
#include <list>
#include <unordered_map>

namespace kiv::gui::gtk {

namespace {

struct Placed {
    GtkWidget* widget;
    GdkRectangle where;
};

struct Children {
    std::list<Placed> order; // drawing order: later children over earlier ones
    std::unordered_map<GtkWidget*, std::list<Placed>::iterator> at;
};

struct KivPlacer {
    GtkContainer parent;
    Children* children;
    gboolean allocated; // laid out once: a placed child can be allocated at once
};

struct KivPlacerClass {
    GtkContainerClass parent_class;
};

G_DEFINE_TYPE(KivPlacer, kiv_placer, GTK_TYPE_CONTAINER)

KivPlacer* as_placer(GtkWidget* widget) {
    return G_TYPE_CHECK_INSTANCE_CAST(widget, kiv_placer_get_type(), KivPlacer);
}

// A widget's allocation at `where` (x and y from the corner of the
// parent's window), never below the minimum it asks for: GTK's drawing
// breaks in a smaller one.
void allocate_at_least(GtkWidget* widget, const GtkAllocation& where) {
    GtkRequisition least;
    gtk_widget_get_preferred_size(widget, &least, nullptr);
    GtkAllocation at{where.x, where.y, std::max(where.width, least.width),
                     std::max(where.height, least.height)};
    gtk_widget_size_allocate(widget, &at);
}

void allocate_child(GtkWidget* placer, const Placed& child) {
    if (!gtk_widget_get_visible(child.widget)) return;
    GtkAllocation own;
    gtk_widget_get_allocation(placer, &own);
    allocate_at_least(child.widget, {own.x + child.where.x, own.y + child.where.y,
                                     child.where.width, child.where.height});
}

// The placer and the clip asks for no room: the layer sizes the
// top-level, children past its edge are clipped, never widening it, and a
// clip is as large as its face.
void no_size(GtkWidget*, gint* minimum, gint* natural) {
    *minimum = *natural = 0;
}

void no_size_for(GtkWidget* widget, gint, gint* minimum, gint* natural) {
    no_size(widget, minimum, natural);
}

void no_size_nor_baseline(GtkWidget* widget, gint, gint* minimum, gint* natural,
                          gint* minimum_baseline, gint* natural_baseline) {
    no_size(widget, minimum, natural);
    *minimum_baseline = *natural_baseline = -1;
}

GtkSizeRequestMode constant_size(GtkWidget*) {
    return GTK_SIZE_REQUEST_CONSTANT_SIZE;
}

// Every way GTK asks for a size, answered with none (a GtkEventBox passes
// its child's height-for-width on otherwise).
void ask_for_no_size(GtkWidgetClass* widget) {
    widget->get_request_mode = constant_size;
    widget->get_preferred_width = no_size;
    widget->get_preferred_height = no_size;
    widget->get_preferred_width_for_height = no_size_for;
    widget->get_preferred_height_for_width = no_size_for;
    widget->get_preferred_height_and_baseline_for_width = no_size_nor_baseline;
}

void size_allocate(GtkWidget* widget, GtkAllocation* allocation) {
    gtk_widget_set_allocation(widget, allocation);
    KivPlacer* self = as_placer(widget);
    self->allocated = TRUE;
    for (const Placed& child : self->children->order) allocate_child(widget, child);
}

void add(GtkContainer* container, GtkWidget* child) {
    placer_put(GTK_WIDGET(container), child, {0, 0, 1, 1});
}

void remove(GtkContainer* container, GtkWidget* child) {
    Children* children = as_placer(GTK_WIDGET(container))->children;
    auto found = children->at.find(child);
    if (found == children->at.end()) return;
    gtk_widget_unparent(child);
    children->order.erase(found->second);
    children->at.erase(found);
}

void forall(GtkContainer* container, gboolean, GtkCallback callback, gpointer data) {
    std::list<Placed>& order = as_placer(GTK_WIDGET(container))->children->order;
    // The callback may remove the child it is given (destroying them all).
    for (auto it = order.begin(); it != order.end();) {
        GtkWidget* child = it->widget;
        it = std::next(it);
        callback(child, data);
    }
}

void finalize(GObject* object) {
    delete as_placer(GTK_WIDGET(object))->children;
    G_OBJECT_CLASS(kiv_placer_parent_class)->finalize(object);
}

void kiv_placer_class_init(KivPlacerClass* type) {
    G_OBJECT_CLASS(type)->finalize = finalize;
    GtkWidgetClass* widget = GTK_WIDGET_CLASS(type);
    ask_for_no_size(widget);
    widget->size_allocate = size_allocate;
    GtkContainerClass* container = GTK_CONTAINER_CLASS(type);
    container->add = add;
    container->remove = remove;
    container->forall = forall;
}

void kiv_placer_init(KivPlacer* self) {
    self->children = new Children;
    self->allocated = FALSE;
    gtk_widget_set_has_window(GTK_WIDGET(self), FALSE);
}

// ---- The clip

struct KivClip {
    GtkEventBox parent;
};

struct KivClipClass {
    GtkEventBoxClass parent_class;
};

G_DEFINE_TYPE(KivClip, kiv_clip, GTK_TYPE_EVENT_BOX)

// The clip's window takes the allocation; the child inside gets as much,
// or its minimum where that is larger, cut off at the window's edge.
void clip_size_allocate(GtkWidget* widget, GtkAllocation* allocation) {
    gtk_widget_set_allocation(widget, allocation);
    if (gtk_widget_get_realized(widget))
        gdk_window_move_resize(gtk_widget_get_window(widget), allocation->x, allocation->y,
                               allocation->width, allocation->height);
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget));
    if (child && gtk_widget_get_visible(child))
        allocate_at_least(child, {0, 0, allocation->width, allocation->height});
}

void kiv_clip_class_init(KivClipClass* type) {
    GtkWidgetClass* widget = GTK_WIDGET_CLASS(type);
    ask_for_no_size(widget);
    widget->size_allocate = clip_size_allocate;
}

void kiv_clip_init(KivClip* self) {
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(self), TRUE);
}

} // namespace

GtkWidget* clip_new() {
    return GTK_WIDGET(g_object_new(kiv_clip_get_type(), nullptr));
}

GtkWidget* placer_new() {
    return GTK_WIDGET(g_object_new(kiv_placer_get_type(), nullptr));
}

void placer_put(GtkWidget* placer, GtkWidget* child, const GdkRectangle& where) {
    Children* children = as_placer(placer)->children;
    children->order.push_back({child, where});
    children->at[child] = std::prev(children->order.end());
    gtk_widget_set_parent(child, placer);
}

void placer_place(GtkWidget* placer, GtkWidget* child, const GdkRectangle& where) {
    KivPlacer* self = as_placer(placer);
    auto found = self->children->at.find(child);
    if (found == self->children->at.end()) return;
    Placed& placed = *found->second;
    if (gdk_rectangle_equal(&placed.where, &where)) return;
    placed.where = where;
    if (self->allocated) allocate_child(placer, placed);
}

} // namespace kiv::gui::gtk
