/* 2,000 widgets in one window with GTK directly, as bench/faces/faces.kiv
   does through Kiv's faces: buttons, check buttons, entries,
   labels and scales in turn, 100x24, each in an event box in a GtkFixed;
   made and shown until drawn, their text or value and position changed,
   then destroyed. Prints the seconds of each phase. Target
   gtk_faces_bench, built on request. */
#include <gtk/gtk.h>
#include <stdio.h>
#include <time.h>

#define COUNT 2000

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static void settle(void) {
    gdk_display_sync(gdk_display_get_default());
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

static GtkWidget* make(int i) {
    char text[32];
    snprintf(text, sizeof text, "face %d", i + 1);
    switch (i % 5) {
    case 0: return gtk_button_new_with_label(text);
    case 1: return gtk_check_button_new_with_label(text);
    case 2: {
        GtkWidget* entry = gtk_entry_new();
        gtk_entry_set_text(GTK_ENTRY(entry), text);
        return entry;
    }
    case 3: return gtk_label_new(text);
    default: return gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, 100, 1);
    }
}

static void change(GtkWidget* widget, int i) {
    switch (i % 5) {
    case 0: gtk_button_set_label(GTK_BUTTON(widget), "changed"); break;
    case 1: gtk_button_set_label(GTK_BUTTON(widget), "changed"); break;
    case 2: gtk_entry_set_text(GTK_ENTRY(widget), "changed"); break;
    case 3: gtk_label_set_text(GTK_LABEL(widget), "changed"); break;
    default: gtk_range_set_value(GTK_RANGE(widget), 50); break;
    }
}

int main(void) {
    if (!gtk_init_check(NULL, NULL)) return 1;
    static GtkWidget* boxes[COUNT];
    static GtkWidget* widgets[COUNT];
    double start = now();
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 2100, 520);
    GtkWidget* fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window), fixed);
    for (int i = 0; i < COUNT; ++i) {
        boxes[i] = gtk_event_box_new();
        widgets[i] = make(i);
        gtk_widget_set_size_request(widgets[i], 100, 24);
        gtk_container_add(GTK_CONTAINER(boxes[i]), widgets[i]);
        gtk_fixed_put(GTK_FIXED(fixed), boxes[i], i / 20 * 105, i % 20 * 26);
    }
    gtk_widget_show_all(window);
    settle();
    double create = now() - start;
    start = now();
    for (int i = 0; i < COUNT; ++i) {
        change(widgets[i], i);
        gtk_fixed_move(GTK_FIXED(fixed), boxes[i], i / 20 * 105 + 1, i % 20 * 26 + 1);
    }
    settle();
    double update = now() - start;
    start = now();
    gtk_widget_destroy(window);
    settle();
    double destroy = now() - start;
    printf("%.4f %.4f %.4f\n", create, update, destroy);
    return 0;
}
