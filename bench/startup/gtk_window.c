/* The reference for kiv's start with one window: GTK started, one window
   shown until the X server maps it, then closed. Built on request only (target
   gtk_window_bench). */
#include <gtk/gtk.h>
#include <stdio.h>

static gboolean mapped(GtkWidget *widget, GdkEvent *event, gpointer done) {
    (void)widget;
    (void)event;
    *(gboolean *)done = TRUE;
    return FALSE;
}

int main(void) {
    if (!gtk_init_check(NULL, NULL)) return 2;
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gboolean done = FALSE;
    gtk_window_move(GTK_WINDOW(window), 100, 100);
    gtk_window_resize(GTK_WINDOW(window), 400, 300);
    g_signal_connect(window, "map-event", G_CALLBACK(mapped), &done);
    gtk_widget_show(window);
    while (!done) g_main_context_iteration(NULL, TRUE);
    while (g_main_context_iteration(NULL, FALSE)) {}
    gtk_widget_destroy(window);
    puts("painted");
    return 0;
}
