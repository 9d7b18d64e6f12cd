// Pictures of windows, drawn afresh into a pixmap of their own: they do not
// depend on whether the X server has shown the window yet, or on what
// covers it.
#ifndef KELVO_GTK_HELPERS_WINDOW_PICTURE_H
#define KELVO_GTK_HELPERS_WINDOW_PICTURE_H

#include <gtk/gtk.h>

#include <string>

// The realized window drawn into a new pixbuf (the caller unrefs it); null
// when the window is null, not realized, or cannot be drawn.
GdkPixbuf* PictureOfWindow(GtkWidget* window);
// PictureOfWindow saved as a PNG file.
bool SaveWindowPng(GtkWidget* window, const std::string& file);
// The part of the screen that the mapped top-level windows of every client
// cover, from the top left corner, saved as a PNG file: on a bare X server
// (Xvfb) a picture of all the windows together.
bool SaveScreenPng(const std::string& file);
bool SavePng(GdkPixbuf* picture, const std::string& file);

#endif
