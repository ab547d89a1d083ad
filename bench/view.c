/* view: the same 500 widgets as view.kiv with GTK 3 directly (button,
   label, entry, check button, scale in turn, 48x28, 25 a row 50 apart and
   rows 30 apart), each in an event box in a GtkFixed of a 1250x600 window,
   shown until drawn; then 1,000 synthetic presses handed to the event
   boxes, whose one shared handler counts them; then the window destroyed.
   Prints the milliseconds of each phase as view.kiv does. VIEW_FACES sets
   another number of widgets (for the memory per widget). bench/setup
   builds it into bench/data/view-gtk. */
#include <gtk/gtk.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static int count;

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static double ms(double a, double b) {
    return round((b - a) * 10000) / 10;
}

static void settle(void) {
    gdk_display_sync(gdk_display_get_default());
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

static gboolean on_down(GtkWidget* box, GdkEventButton* event, gpointer data) {
    (void)box, (void)event, (void)data;
    ++count;
    return FALSE;
}

static GtkWidget* make(int i) {
    switch (i % 5) {
    case 0: return gtk_button_new_with_label("w");
    case 1: return gtk_label_new("w");
    case 2: return gtk_entry_new();
    case 3: return gtk_check_button_new_with_label("w");
    default: return gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, 100, 1);
    }
}

int main(void) {
    const char* faces = getenv("VIEW_FACES");
    int total = faces ? atoi(faces) : 500;
    if (total < 1) return 1;
    GtkWidget** boxes = calloc(total, sizeof *boxes);
    double t0 = now();
    if (!gtk_init_check(NULL, NULL)) return 1;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "view");
    gtk_window_set_default_size(GTK_WINDOW(window), 1250, 600);
    GtkWidget* fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window), fixed);
    for (int i = 0; i < total; ++i) {
        GtkWidget* widget = make(i);
        gtk_widget_set_size_request(widget, 48, 28);
        boxes[i] = gtk_event_box_new();
        gtk_widget_add_events(boxes[i], GDK_BUTTON_PRESS_MASK);
        g_signal_connect(boxes[i], "button-press-event", G_CALLBACK(on_down), NULL);
        gtk_container_add(GTK_CONTAINER(boxes[i]), widget);
        gtk_fixed_put(GTK_FIXED(fixed), boxes[i], i % 25 * 50, i / 25 * 30);
    }
    gtk_widget_show_all(window);
    settle();
    double t1 = now();
    for (int i = 0; i < 1000; ++i) {
        GtkWidget* box = boxes[i % total];
        GdkEvent* event = gdk_event_new(GDK_BUTTON_PRESS);
        event->button.window = g_object_ref(gtk_widget_get_window(box));
        event->button.button = 1;
        event->button.x = event->button.y = 1;
        gdk_event_set_device(event, gdk_seat_get_pointer(
                                        gdk_display_get_default_seat(gdk_display_get_default())));
        gtk_widget_event(box, event);
        gdk_event_free(event);
    }
    settle();
    double t2 = now();
    gtk_widget_destroy(window);
    settle();
    double t3 = now();
    free(boxes);
    printf("view %d show %.1f events %.1f close %.1f\n", count, ms(t0, t1), ms(t1, t2),
           ms(t2, t3));
    return 0;
}
