#include "gtk_helpers/widget_search.h"

#include <cstring>
#include <string>

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

// A button's label as the user reads it: a stock button shows its stock
// item's text, and a mnemonic's underscore ("__" for a plain one) is not shown.
std::string ShownLabel(GtkButton* button) {
  const char* label = gtk_button_get_label(button);
  if (label == nullptr) return "";
  GtkStockItem stock;
  const bool isStock = gtk_button_get_use_stock(button) && gtk_stock_lookup(label, &stock);
  if (isStock) label = stock.label;
  if (!isStock && !gtk_button_get_use_underline(button)) return label;
  std::string shown;
  for (const char* c = label; *c != '\0'; ++c) {
    if (*c == '_' && c[1] != '\0') ++c;
    shown += *c;
  }
  return shown;
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

GtkWidget* FindButtonLabelled(GtkWidget* root, const char* text) {
  return FindWidget(root,
                    [text](GtkWidget* w) { return GTK_IS_BUTTON(w) && ShownLabel(GTK_BUTTON(w)) == text; });
}
