#include "gtk_helpers/widget_search.h"

#include <cstring>

namespace {

template <typename Match>
GtkWidget* FindWidget(GtkWidget* widget, const Match& matches) {
  if (widget == nullptr) return nullptr;
  if (matches(widget)) return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* c = children; c != nullptr && found == nullptr; c = c->next)
    found = FindWidget(GTK_WIDGET(c->data), matches);
  g_list_free(children);
  return found;
}

}  // namespace

GtkWidget* FindWidgetNamed(GtkWidget* root, const char* name) {
  return FindWidget(root, [name](GtkWidget* w) {
    const char* own = gtk_widget_get_name(w);
    return own != nullptr && std::strcmp(own, name) == 0;
  });
}

GtkWidget* FindWidgetOfType(GtkWidget* root, GType type) {
  return FindWidget(root, [type](GtkWidget* w) { return G_TYPE_CHECK_INSTANCE_TYPE(w, type) != 0; });
}
