#include "plugin/message.h"

#include <gtk/gtk.h>

#include <cstdarg>
#include <cstdio>

namespace {

void ShowBox(const char* advice, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof(text), format, args);

  // A host that never opened a display cannot show a box; a dialog would
  // only abort inside GTK, so the text goes to standard error instead.
  if (gdk_display_get_default() == nullptr) {
    std::fprintf(stderr, "Kelvo: %s%s%s\n", text, advice ? " - " : "", advice ? advice : "");
    return;
  }
  // "%s" so that a per-cent sign in the text is shown as it is.
  GtkWidget* dialog =
      gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "%s", text);
  gtk_window_set_title(GTK_WINDOW(dialog), "Kelvo plugin");
  if (advice != nullptr && advice[0] != '\0') {
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", advice);
  }
  // Gone from the screen as soon as it is answered: the loop may return
  // only later (a busy main loop), and meanwhile the box must not be seen,
  // or answered, a second time.
  g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_hide), nullptr);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

}  // namespace

void Message(const char* format, ...) {
  va_list args;
  va_start(args, format);
  ShowBox(nullptr, format, args);
  va_end(args);
}

void MessageWithAdvice(const char* advice, const char* format, ...) {
  va_list args;
  va_start(args, format);
  ShowBox(advice, format, args);
  va_end(args);
}
