#include "tests/ui/settings_host.h"

#include "gtk_helpers/widget_search.h"

const char* const kKeyButtonNames[8] = {"btn1", "btn2", "btn3", "btn4", "btn5", "btn6", "btn7", "btn8"};

PropertiesWindow::PropertiesWindow() {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), "Properties");
  notebook_ = gtk_notebook_new();
  gtk_container_add(GTK_CONTAINER(window_), notebook_);
  gtk_widget_show_all(window_);
}

PropertiesWindow::~PropertiesWindow() { gtk_widget_destroy(window_); }

int32_t PropertiesWindow::AddPage(const Plugin& plugin) { return plugin.SetProperty(notebook()); }

void PropertiesWindow::Settle() {
  for (int round = 0; round < 5; ++round) {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    gdk_window_process_all_updates();
    gdk_display_sync(gdk_display_get_default());
    g_usleep(10000);
  }
}

std::vector<GtkWidget*> Children(GtkWidget* container) {
  std::vector<GtkWidget*> result;
  GList* list = gtk_container_get_children(GTK_CONTAINER(container));
  for (GList* l = list; l != nullptr; l = l->next) result.push_back(GTK_WIDGET(l->data));
  g_list_free(list);
  return result;
}

GtkWidget* ChildNamed(GtkWidget* container, const std::string& name) {
  return FindWidgetNamed(container, name.c_str());
}

GtkWidget* ButtonLabelled(GtkWidget* container, const std::string& text) {
  for (GtkWidget* child : Children(container)) {
    if (GTK_IS_BUTTON(child) && TextOf(child) == text) return child;
  }
  return nullptr;
}

GtkWidget* FirstChildOfType(GtkWidget* container, GType type) {
  for (GtkWidget* child : Children(container)) {
    if (G_TYPE_CHECK_INSTANCE_TYPE(child, type)) return child;
  }
  return nullptr;
}

std::string TextOf(GtkWidget* widget) {
  const char* text = nullptr;
  if (GTK_IS_BUTTON(widget)) text = gtk_button_get_label(GTK_BUTTON(widget));
  if (GTK_IS_LABEL(widget)) text = gtk_label_get_text(GTK_LABEL(widget));
  return text ? text : "";
}

std::vector<std::string> ComboItems(GtkWidget* combo) {
  std::vector<std::string> items;
  GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(combo));
  GtkTreeIter iter;
  for (gboolean ok = gtk_tree_model_get_iter_first(model, &iter); ok;
       ok = gtk_tree_model_iter_next(model, &iter)) {
    gchar* text = nullptr;
    gtk_tree_model_get(model, &iter, 0, &text, -1);
    items.push_back(text ? text : "");
    g_free(text);
  }
  return items;
}

Placement PlacementOf(GtkWidget* fixed, GtkWidget* child) {
  Placement p{};
  gtk_container_child_get(GTK_CONTAINER(fixed), child, "x", &p.x, "y", &p.y, nullptr);
  gtk_widget_get_size_request(child, &p.width, &p.height);
  return p;
}

std::vector<std::string> KeyTexts(GtkWidget* page) {
  std::vector<std::string> texts;
  for (const char* name : kKeyButtonNames) {
    GtkWidget* button = ChildNamed(page, name);
    texts.push_back(button ? TextOf(button) : "<no " + std::string(name) + ">");
  }
  return texts;
}

GtkWarningCounter::GtkWarningCounter() {
  const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL);
  for (const char* domain : {"Gtk", "Gdk", "GLib", "GLib-GObject", "Pango"}) {
    handlers_.emplace_back(domain, g_log_set_handler(domain, levels, &GtkWarningCounter::Handler, this));
  }
}

GtkWarningCounter::~GtkWarningCounter() {
  for (const auto& h : handlers_) g_log_remove_handler(h.first.c_str(), h.second);
}

void GtkWarningCounter::Handler(const gchar* domain, GLogLevelFlags, const gchar* message, gpointer self) {
  auto* counter = static_cast<GtkWarningCounter*>(self);
  ++counter->count_;
  counter->last_ = std::string(domain ? domain : "") + ": " + (message ? message : "");
}

// GTK draws text through Pango, which starts fontconfig threads of its own
// ("[pango] FcInit", "[pango] FcFontSetMatch"). Fontconfig is not built for
// ThreadSanitizer, so its internal hand-overs read as races; none of them
// involve the plug-in's code. Only a ThreadSanitizer build asks for this.
extern "C" const char* __tsan_default_suppressions() { return "race:libfontconfig.so.1\n"; }
