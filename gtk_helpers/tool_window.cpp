#include "gtk_helpers/tool_window.h"

GtkWidget* NewToolWindow(const char* title, int spacing, GtkWidget** box) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), title);
  gtk_container_set_border_width(GTK_CONTAINER(window), 8);
  *box = gtk_vbox_new(FALSE, spacing);
  gtk_container_add(GTK_CONTAINER(window), *box);
  return window;
}
