#include "tests/support/dialogs.h"

#include <gtk/gtk.h>

DialogWatcher::DialogWatcher() {
  source_ = g_timeout_add(10, reinterpret_cast<GSourceFunc>(&DialogWatcher::Tick), this);
}

DialogWatcher::~DialogWatcher() { g_source_remove(source_); }

int DialogWatcher::Tick(void* self) {
  auto* watcher = static_cast<DialogWatcher*>(self);
  GList* windows = gtk_window_list_toplevels();
  for (GList* w = windows; w != nullptr; w = w->next) {
    if (!GTK_IS_MESSAGE_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
    gchar* text = nullptr;
    g_object_get(w->data, "text", &text, nullptr);
    watcher->texts_.push_back(text ? text : "");
    g_free(text);
    gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_OK);
  }
  g_list_free(windows);
  return TRUE;
}
