// GTK's touch gesture recognisers on a top-level. Each handler reads the
// fingers' centre and spread, records the step and returns; the step is
// translated into the layer's gesture messages once control is back in
// the layer.
#include "gui/backend/gestures.h"
#include "gui/backend/gtk/gtk_backend.h"

#include <cmath>

namespace kiv::gui::gtk {

namespace {

// A widget point as a screen point in device pixels.
Point screen_point(GtkWidget* widget, double x, double y) {
    int rx = int(x), ry = int(y);
    if (GdkWindow* window = gtk_widget_get_window(widget))
        gdk_window_get_root_coords(window, int(x), int(y), &rx, &ry);
    int scale = current().scale();
    return {rx * scale, ry * scale};
}

// The step as the gesture's fingers now stand.
GestureStep read_step(GtkGesture* gesture, GestureKind kind, GesturePhase phase, double angle) {
    GestureStep step{kind, phase, {}, 0, angle};
    GtkWidget* widget = gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(gesture));
    double x = 0, y = 0;
    gtk_gesture_get_bounding_box_center(gesture, &x, &y);
    step.location = screen_point(widget, x, y);
    GdkRectangle box{};
    if (gtk_gesture_get_bounding_box(gesture, &box))
        step.distance = std::hypot(box.width, box.height) * current().scale();
    return step;
}

void record(const GestureStep& step) {
    current().defer([step] { input_gesture_step(step); });
}

GestureKind kind_of(gpointer data) {
    return GestureKind(GPOINTER_TO_INT(data));
}

void on_begin(GtkGesture* gesture, GdkEventSequence*, gpointer kind) {
    record(read_step(gesture, kind_of(kind), GesturePhase::begin, 0));
}

void on_end(GtkGesture* gesture, GdkEventSequence*, gpointer kind) {
    record(read_step(gesture, kind_of(kind), GesturePhase::end, 0));
}

void on_scale(GtkGestureZoom* gesture, double, gpointer) {
    record(read_step(GTK_GESTURE(gesture), GestureKind::zoom, GesturePhase::update, 0));
}

void on_angle(GtkGestureRotate* gesture, double, double delta, gpointer) {
    record(read_step(GTK_GESTURE(gesture), GestureKind::rotate, GesturePhase::update, delta));
}

void on_drag(GtkGestureDrag* gesture, double, double, gpointer) {
    record(read_step(GTK_GESTURE(gesture), GestureKind::pan, GesturePhase::update, 0));
}

void on_long_press(GtkGestureLongPress* gesture, double x, double y, gpointer) {
    GtkWidget* widget = gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(gesture));
    record({GestureKind::long_press, GesturePhase::begin, screen_point(widget, x, y), 0, 0});
}

// Ties a recogniser to the widget's life and follows its begin and end.
void keep(GtkWidget* widget, GtkGesture* gesture, GestureKind kind, const char* name) {
    g_object_set_data_full(G_OBJECT(widget), name, gesture, g_object_unref);
    if (kind == GestureKind::long_press) return;
    gpointer data = GINT_TO_POINTER(int(kind));
    g_signal_connect(gesture, "begin", G_CALLBACK(on_begin), data);
    g_signal_connect(gesture, "end", G_CALLBACK(on_end), data);
}

} // namespace

void connect_gestures(Native& top) {
    GtkWidget* w = top.toplevel;
    gtk_widget_add_events(w, GDK_TOUCH_MASK);
    GtkGesture* zoom = gtk_gesture_zoom_new(w);
    keep(w, zoom, GestureKind::zoom, "kiv-zoom");
    g_signal_connect(zoom, "scale-changed", G_CALLBACK(on_scale), nullptr);
    GtkGesture* rotate = gtk_gesture_rotate_new(w);
    keep(w, rotate, GestureKind::rotate, "kiv-rotate");
    g_signal_connect(rotate, "angle-changed", G_CALLBACK(on_angle), nullptr);
    // A pan is a drag of two fingers.
    auto* pan =
        GTK_GESTURE(g_object_new(GTK_TYPE_GESTURE_DRAG, "widget", w, "n-points", 2, nullptr));
    keep(w, pan, GestureKind::pan, "kiv-pan");
    g_signal_connect(pan, "drag-update", G_CALLBACK(on_drag), nullptr);
    // A long press of a finger; held mouse buttons stay plain buttons.
    GtkGesture* press = gtk_gesture_long_press_new(w);
    gtk_gesture_single_set_touch_only(GTK_GESTURE_SINGLE(press), TRUE);
    keep(w, press, GestureKind::long_press, "kiv-long-press");
    g_signal_connect(press, "pressed", G_CALLBACK(on_long_press), nullptr);
}

} // namespace kiv::gui::gtk
