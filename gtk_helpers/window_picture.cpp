#include "gtk_helpers/window_picture.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include <algorithm>

namespace {

GdkPixbuf* PictureOf(GdkDrawable* drawable, int width, int height) {
  return gdk_pixbuf_get_from_drawable(nullptr, drawable, gdk_drawable_get_colormap(drawable), 0, 0, 0, 0,
                                      width, height);
}

}  // namespace

GdkPixbuf* PictureOfWindow(GtkWidget* window) {
  if (window == nullptr || !gtk_widget_get_realized(window)) return nullptr;
  GdkPixmap* pixmap = gtk_widget_get_snapshot(window, nullptr);
  if (pixmap == nullptr) return nullptr;
  int width = 0, height = 0;
  gdk_drawable_get_size(pixmap, &width, &height);
  GdkPixbuf* picture = PictureOf(pixmap, width, height);
  g_object_unref(pixmap);
  return picture;
}

bool SavePng(GdkPixbuf* picture, const std::string& file) {
  return picture != nullptr && gdk_pixbuf_save(picture, file.c_str(), "png", nullptr, nullptr);
}

bool SaveWindowPng(GtkWidget* window, const std::string& file) {
  GdkPixbuf* picture = PictureOfWindow(window);
  const bool saved = SavePng(picture, file);
  if (picture != nullptr) g_object_unref(picture);
  return saved;
}

bool SaveScreenPng(const std::string& file) {
  Display* display = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return false;
  int right = 0, bottom = 0;
  // Another client's window may go away between the listing and the query;
  // the X error that causes must not end the program.
  gdk_error_trap_push();
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, children[i], &attributes)) continue;
    if (attributes.map_state != IsViewable || attributes.c_class != InputOutput) continue;
    right = std::max(right, attributes.x + attributes.width + 2 * attributes.border_width);
    bottom = std::max(bottom, attributes.y + attributes.height + 2 * attributes.border_width);
  }
  gdk_error_trap_pop();
  if (children != nullptr) XFree(children);
  if (right <= 0 || bottom <= 0) return false;
  GdkWindow* screen = gdk_get_default_root_window();
  int width = 0, height = 0;
  gdk_drawable_get_size(screen, &width, &height);
  GdkPixbuf* picture = PictureOf(screen, std::min(right, width), std::min(bottom, height));
  const bool saved = SavePng(picture, file);
  if (picture != nullptr) g_object_unref(picture);
  return saved;
}
