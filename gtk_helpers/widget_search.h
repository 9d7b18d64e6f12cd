// Finding a widget inside a window or a page, depth first.
#ifndef KELVO_GTK_HELPERS_WIDGET_SEARCH_H
#define KELVO_GTK_HELPERS_WIDGET_SEARCH_H

#include <gtk/gtk.h>

// The first widget, root itself included, whose widget name is name; or null.
GtkWidget* FindWidgetNamed(GtkWidget* root, const char* name);
// The first widget, root itself included, of this type (or a subtype); or null.
GtkWidget* FindWidgetOfType(GtkWidget* root, GType type);
// The first button whose label reads text as shown, without its mnemonic
// underscores (a stock button's "_Close" reads "Close"); or null.
GtkWidget* FindButtonLabelled(GtkWidget* root, const char* text);

#endif
