// The small windows of the stand-in host and the gamepad: a top-level window
// with a border, holding a vertical box.
#ifndef KELVO_GTK_HELPERS_TOOL_WINDOW_H
#define KELVO_GTK_HELPERS_TOOL_WINDOW_H

#include <gtk/gtk.h>

// A new window with this title; *box gets its vertical box, whose children
// are spacing pixels apart.
GtkWidget* NewToolWindow(const char* title, int spacing, GtkWidget** box);

#endif
