#include "tests/support/dialogs.h"

#include <gtk/gtk.h>

#include "gtk_helpers/message_boxes.h"

DialogWatcher::DialogWatcher() {
  source_ = g_timeout_add(10, reinterpret_cast<GSourceFunc>(&DialogWatcher::Tick), this);
}

DialogWatcher::~DialogWatcher() { g_source_remove(source_); }

int DialogWatcher::Tick(void* self) {
  DialogWatcher* watcher = static_cast<DialogWatcher*>(self);
  AnswerMessageBoxes(&watcher->texts_, &watcher->secondLines_);
  return TRUE;
}
