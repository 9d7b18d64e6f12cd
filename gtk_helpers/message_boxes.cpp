#include "gtk_helpers/message_boxes.h"

#include <gtk/gtk.h>

int AnswerMessageBoxes(std::vector<std::string>* texts, std::vector<std::string>* secondLines) {
  GList* windows = gtk_window_list_toplevels();
  int count = 0;
  for (GList* w = windows; w != nullptr; w = w->next) {
    if (!GTK_IS_MESSAGE_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
    gchar *text = nullptr, *secondLine = nullptr;
    g_object_get(w->data, "text", &text, "secondary-text", &secondLine, nullptr);
    texts->push_back(text ? text : "");
    if (secondLines != nullptr) secondLines->push_back(secondLine ? secondLine : "");
    g_free(text);
    g_free(secondLine);
    gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_OK);
    ++count;
  }
  g_list_free(windows);
  return count;
}
