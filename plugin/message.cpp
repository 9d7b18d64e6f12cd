#include "plugin/message.h"

#include <gtk/gtk.h>

#include <cstdarg>
#include <cstdio>

void Message(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);

  // A host that never opened a display cannot show a box; a dialog would
  // only abort inside GTK, so the text goes to standard error instead.
  if (gdk_display_get_default() == nullptr) {
    std::fprintf(stderr, "Kelvo: %s\n", text);
    return;
  }
  // "%s" so that a per-cent sign in the text is shown as it is.
  GtkWidget* dialog =
      gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "%s", text);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}
